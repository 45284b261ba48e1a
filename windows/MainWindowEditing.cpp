// The main window's entry editing: add, update and delete through the session, each
// outcome turned into the message the user sees.
#include <QListView>
#include <QScopedValueRollback>

#include "platform/windows1252lineedit.h"
#include "platform/messages.h"
#include "ui_MainWindow.h"
#include "vault/keyphrase.h"
#include "vault/secret.h"
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
QString lackingText(vault::Field field, const std::u32string& lacking) {
    const QString text =
        lacking.size() == 1
            ? MainWindow::tr("The %1 holds a character that cannot be stored: %2. Remove it; nothing was saved.")
            : MainWindow::tr("The %1 holds characters that cannot be stored: %2. Remove them; nothing was saved.");
    return text.arg(fieldName(field), QString::fromStdString(vault::describeCharacters(lacking)));
}

// The message for an entry that breaks a rule of the vault; Add names the name and the
// address together, as its first refusal always did.
QString ruleText(vault::EntryRule rule, vault::Field field, unsigned char character, vault::Operation operation) {
    switch (rule) {
    case vault::EntryRule::Passed: return {};
    case vault::EntryRule::SpaceInPassword: return MainWindow::tr(kSpaceInPassword);
    case vault::EntryRule::NameMissing:
        return MainWindow::tr(operation == vault::Operation::Update ? kNeedName : kNeedNameAndWebsite);
    case vault::EntryRule::WebsiteMissing: return MainWindow::tr(kNeedNameAndWebsite);
    case vault::EntryRule::ControlCharacter: return controlCharacterText(field, character);
    case vault::EntryRule::TooLong: return tooLongText(field);
    }
    return {};
}

}  // namespace

std::optional<vault::Entry> MainWindow::storableEntry(bool nameOnly) const {
    const std::pair<platform::Windows1252LineEdit*, vault::Field> boxes[] = {{nameEdit(), vault::Field::Name},
                                                                             {websiteEdit(), vault::Field::Website},
                                                                             {userIdEdit(), vault::Field::UserId},
                                                                             {passwordEdit(), vault::Field::Password},
                                                                             {commentsEdit(), vault::Field::Comments}};
    for (const auto& [box, field] : boxes)
        if (const std::u32string lacking = platform::lackingWindows1252(box->text());
            !lacking.empty() && (!nameOnly || field == vault::Field::Name)) {
            platform::showPlain(lackingText(field, lacking));
            return std::nullopt;
        }
    if (nameOnly) return vault::Entry{toWindows1252(nameEdit()->text()), {}, {}, {}, {}};
    return vault::Entry{toWindows1252(nameEdit()->text()), toWindows1252(websiteEdit()->text()),
                        toWindows1252(userIdEdit()->text()), passwordEdit()->secretText(),
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
    std::optional<vault::Entry> typed = storableEntry();
    if (!typed) return;
    vault::WipeAtScopeEnd wipe(typed->userId);  // the password wipes itself
    const vault::AddResult result = session_->add(*typed, vault::Operation::Add, listed, showCompletedAddress());
    const std::string wanted = vault::nameKey(typed->name);
    switch (result.outcome) {
    case vault::AddOutcome::Refused:
        platform::showPlain(ruleText(result.rule, result.field, result.character, vault::Operation::Add));
        // A missing name or address refreshes the count, as the file's refusals do.
        if (result.rule == vault::EntryRule::NameMissing || result.rule == vault::EntryRule::WebsiteMissing)
            showCount();
        return;
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
        rememberShownTexts();
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
    // A name the file cannot hold is refused, never looked up as another one ("?" in
    // place of what was typed).
    std::optional<vault::Entry> typed = storableEntry(deleting);
    if (!typed) return;
    vault::WipeAtScopeEnd wipe(typed->userId);  // the password wipes itself
    const vault::ChangeResult result =
        deleting ? session_->remove(typed->name) : session_->update(*typed, showCompletedAddress());
    switch (result.outcome) {
    case vault::ChangeOutcome::Refused:
        platform::showPlain(ruleText(result.rule, result.field, result.character, vault::Operation::Update));
        return;
    case vault::ChangeOutcome::NotFound: platform::showPlain(tr(kNameNotFound)); return;
    case vault::ChangeOutcome::Updated:
        rememberShownTexts();  // the boxes hold what is stored now
        platform::showPlain(tr("%1 has been updated.").arg(nameEdit()->text()));
        return;
    case vault::ChangeOutcome::Deleted:
        // The line goes once the slot is written, so a failed write leaves list and file alike.
        {
            const QScopedValueRollback quiet(selectingInCode_, true);
            entries_->removeEntry(result.slot, result.entry.name);
        }
        rememberShownTexts();  // what the boxes hold now is gone from the file on purpose
        platform::showPlain(tr("%1 has been deleted.").arg(nameEdit()->text()));
        return;
    }
}
