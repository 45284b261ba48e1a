// The main window's entry editing: add, update and delete through the session, each
// outcome turned into the message the user sees.
#include <QListView>
#include <QScopedValueRollback>

#include "platform/windows1252lineedit.h"
#include "platform/messages.h"
#include "ui_MainWindow.h"
#include "vault/session.h"
#include "windows/EntryListModel.h"
#include "windows/MainWindow.h"

using platform::fromWindows1252;
using platform::toWindows1252;

namespace {

const char* const kSpaceInPassword =
    QT_TRANSLATE_NOOP("MainWindow", "You cannot enter a space in the password. Remove the space.");
const char* const kNeedNameAndWebsite =
    QT_TRANSLATE_NOOP("MainWindow",
                      "You must enter a name and a website address to add. The name can be any name you wish to "
                      "identify your site with, and the web address needs to be the actual website address. "
                      "After adding, the name will appear on the list, and you can then FTP to and any name in "
                      "your list.");
const char* const kFileFull =
    QT_TRANSLATE_NOOP("MainWindow", "Please delete one of your entries before adding another");
const char* const kAdded = QT_TRANSLATE_NOOP("MainWindow", "Successfully added to your list.");
const char* const kNeedName =
    QT_TRANSLATE_NOOP("MainWindow",
                      "You must have a name in the NAME box. Please click and select an item from your list. If "
                      "your list is empty, you can use the ADD button to add new names and web addresses to the "
                      "list.");
const char* const kNameNotFound =
    QT_TRANSLATE_NOOP("MainWindow",
                      "The NAME was not found. Use the ADD button to add a new name to the list. If you want to "
                      "use the UPDATE or DELETE button, the name must already exist in the list.");

// The box for a name the list or the file holds already; the ending says what to update.
QString duplicateText(const std::string& name, bool listed) {
    const QString text = listed ? MainWindow::tr(
                                      "This name (%1) already exists in your list. Change the name if "
                                      "you wish to add a new name, or use the update button to update "
                                      "this name.")
                                : MainWindow::tr(
                                      "This name (%1) already exists in your list. Change the name if "
                                      "you wish to add a new name, or use the update button to update "
                                      "the name.");
    // The name goes in last, so a "%" in it stays as it is.
    return text.arg(fromWindows1252(name));
}

QString fieldName(vault::Field field) {
    switch (field) {
    case vault::Field::Name: return MainWindow::tr("name");
    case vault::Field::Website: return MainWindow::tr("website address");
    case vault::Field::UserId: return MainWindow::tr("user ID");
    case vault::Field::Password: return MainWindow::tr("password");
    case vault::Field::Comments: return MainWindow::tr("comment");
    }
    return {};
}

// The boxes for a text the data file cannot take as it is.
QString controlCharacterText(vault::Field field, unsigned char character) {
    return MainWindow::tr("The %1 holds a control character (code %2), which cannot be stored. Remove it.")
        .arg(fieldName(field))
        .arg(character);
}
QString tooLongText(vault::Field field) {
    return MainWindow::tr("The %1 is longer than the %2 characters it can hold.")
        .arg(fieldName(field))
        .arg(vault::fieldWidth(field));
}

}  // namespace

vault::Entry MainWindow::typedEntry() const {
    return vault::Entry{toWindows1252(nameEdit()->text()), toWindows1252(websiteEdit()->text()),
                        toWindows1252(userIdEdit()->text()), toWindows1252(passwordEdit()->text()),
                        toWindows1252(commentsEdit()->text())};
}

std::function<void(const vault::Entry&, bool)> MainWindow::showCompletedAddress() {
    return [this](const vault::Entry& entry, bool addressCompleted) {
        if (addressCompleted) websiteEdit()->setText(fromWindows1252(entry.website));
    };
}

void MainWindow::addEntry() {
    // The list test looks at the lines the list shows now (after a filter only the
    // matching ones); the file's own test follows in the vault.
    auto listed = [this](const std::string& key) {
        for (int row = 0; row < shownEntries_->rowCount(); ++row)
            if (vault::nameKey(shownEntries_->shownRow(row).name) == key) return true;
        return false;
    };
    const vault::AddResult result = session_->add(typedEntry(), listed, showCompletedAddress());
    const std::string wanted = vault::nameKey(toWindows1252(nameEdit()->text()));
    switch (result.outcome) {
    case vault::AddOutcome::SpaceInPassword: platform::showPlain(tr(kSpaceInPassword)); return;
    case vault::AddOutcome::NameOrWebsiteMissing:
        platform::showPlain(tr(kNeedNameAndWebsite));
        showCount();
        return;
    case vault::AddOutcome::ControlCharacter:
        platform::showPlain(controlCharacterText(result.field, result.character));
        return;
    case vault::AddOutcome::TooLong: platform::showPlain(tooLongText(result.field)); return;
    case vault::AddOutcome::ListedAlready: platform::showConfirmOk(duplicateText(wanted, true)); return;
    case vault::AddOutcome::Full:
        platform::showPlain(tr(kFileFull));
        showCount();
        return;
    case vault::AddOutcome::Duplicate:
        platform::showConfirmOk(duplicateText(wanted, false));
        showCount();
        return;
    case vault::AddOutcome::Added: {
        {
            const QScopedValueRollback quiet(selectingInCode_, true);
            entries_->insertEntry({result.slot, result.entry.name, fromWindows1252(result.entry.name)});
        }
        platform::showPlain(tr(kAdded));
        selectFirstLineAndShow();
        showCount();
        return;
    }
    }
}

void MainWindow::updateEntry() { applyEntryChange(false); }

void MainWindow::deleteEntry() {
    if (!platform::askYesNo(tr("You chose delete. You sure you want to delete entry %1? (Click \"Yes\" to delete)")
                                .arg(nameEdit()->text())))
        return;
    applyEntryChange(true);
    selectFirstLineAndShow();
    showCount();
}

void MainWindow::applyEntryChange(bool deleting) {
    const vault::ChangeResult result = deleting ? session_->remove(toWindows1252(nameEdit()->text()))
                                                : session_->update(typedEntry(), showCompletedAddress());
    switch (result.outcome) {
    case vault::ChangeOutcome::SpaceInPassword: platform::showPlain(tr(kSpaceInPassword)); return;
    case vault::ChangeOutcome::NameMissing: platform::showPlain(tr(kNeedName)); return;
    case vault::ChangeOutcome::ControlCharacter:
        platform::showPlain(controlCharacterText(result.field, result.character));
        return;
    case vault::ChangeOutcome::TooLong: platform::showPlain(tooLongText(result.field)); return;
    case vault::ChangeOutcome::NotFound: platform::showPlain(tr(kNameNotFound)); return;
    case vault::ChangeOutcome::Updated: platform::showPlain(tr("%1 has been updated.").arg(nameEdit()->text())); return;
    case vault::ChangeOutcome::Deleted:
        // The line goes once the slot is written, so a failed write leaves list and file alike.
        {
            const QScopedValueRollback quiet(selectingInCode_, true);
            entries_->removeEntry(result.slot, result.entry.name);
        }
        platform::showPlain(tr("%1 has been deleted.").arg(nameEdit()->text()));
        return;
    }
}
