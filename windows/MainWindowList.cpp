// The main window's list and the entry on show: loading the list, the selection, the
// filter, masking and the clipboard.
#include <optional>

#include <QItemSelectionModel>
#include <QListView>
#include <QScopedValueRollback>
#include <QTimer>

#include "platform/windows1252lineedit.h"
#include "platform/clipboard.h"
#include "platform/messages.h"
#include "platform/secret.h"
#include "ui_MainWindow.h"
#include "vault/session.h"
#include "vault/entry.h"
#include "vault/secret.h"
#include "windows/EntryListModel.h"
#include "windows/MainWindow.h"

using platform::fromWindows1252;
using platform::Windows1252LineEdit;

namespace {

const QColor kPanelAfterCopy(232, 232, 232);
constexpr int kCopyFlashMs = 100;

const char* const kCreateFileQuestion =
    QT_TRANSLATE_NOOP("MainWindow",
                      "We will now create a new file for you to store your data. If this is your first time "
                      "running then click YES to create the file. (If this is \"not\" the first time running, "
                      "then click NO as this message should only appear the first time you run. )");

}  // namespace

void MainWindow::loadList() {
    if (!session_->dataFileExists()) {
        session_->refuseUnreachableLink();
        // A sealed file's key is derived where the session's key work says (off the
        // window's thread); a file another copy made meanwhile is as good.
        if (platform::askYesNo(tr(kCreateFileQuestion))) session_->createDataFile(session_->newFileKind());
        return;
    }
    // Only the entry that comes last stays in the boxes, so the rows go into the list
    // together and that entry into the boxes once, when the scan ends or fails.
    std::vector<EntryListModel::Row> rows;
    std::optional<vault::Entry> lastInUse;
    auto settle = [&] {
        if (rows.empty()) return;
        entries_->addRows(std::move(rows));
        showEntry(*lastInUse);
        vault::wipeSecret(lastInUse->userId);
        vault::wipeSecret(lastInUse->password);
    };
    try {
        session_->listEntriesWithSlots([&](int slot, const vault::Entry& entry) {
            rows.push_back({slot, entry.name, fromWindows1252(entry.name)});
            lastInUse = entry;
        });
    } catch (...) {
        settle();
        throw;
    }
    settle();
}

namespace {
// Sets a box that holds a secret: its old text is overwritten once the box has let it go,
// so the entry shown before leaves no copy behind in freed memory.
void setSecretText(Windows1252LineEdit* box, const QString& text) {
    QString old = box->text();  // shares the box's buffer
    box->setText(text);
    platform::wipe(old);  // now its only holder
}
}  // namespace

void MainWindow::showEntry(const vault::Entry& entry) {
    nameEdit()->setText(fromWindows1252(entry.name));
    websiteEdit()->setText(fromWindows1252(entry.website));
    setSecretText(userIdEdit(), fromWindows1252(entry.userId));
    commentsEdit()->setText(fromWindows1252(entry.comments));
    setSecretText(passwordEdit(), fromWindows1252(entry.password));
    // Each box shows the start of its text, however long it is.
    for (Windows1252LineEdit* box : {nameEdit(), websiteEdit(), userIdEdit(), commentsEdit(), passwordEdit()})
        box->setCursorPosition(0);
    rememberShownTexts();
}

void MainWindow::showCount() { countLabel()->setText(tr("Total Sites = %1").arg(shownEntries_->rowCount())); }

// ---------------------------------------------------------------------------------
// Selection, filter, masking and clipboard
// ---------------------------------------------------------------------------------

void MainWindow::showSelectedEntry() {
    if (shownEntries_->rowCount() == 0) return;
    const QModelIndex line = siteList()->currentIndex();
    if (!line.isValid() || !siteList()->selectionModel()->isSelected(line)) return;  // no line selected
    if (std::optional<vault::Entry> entry = session_->find(shownEntries_->shownRow(line.row()).name)) {
        showEntry(*entry);
        vault::wipeSecret(entry->userId);
        vault::wipeSecret(entry->password);
    }
}

void MainWindow::filterList() {
    const vault::NameFilter filter = vault::NameFilter::fromUtf8(filterEdit()->text().toStdString());
    if (shownEntries_->rowCount() == 0 || !filter.active()) return;
    // The current line may be filtered out: the selection must not move on to another
    // line and show it.
    const QScopedValueRollback quiet(selectingInCode_, true);
    shownEntries_->narrow(filter);
    selectRowQuietly(-1);
}

void MainWindow::refreshList() {
    filterEdit()->clear();
    {
        const QScopedValueRollback quiet(selectingInCode_, true);
        shownEntries_->widen();
        entries_->clear();
    }
    loadList();
}

bool MainWindow::entriesShown() const { return !userIdEdit()->isHidden(); }

void MainWindow::setMasked(bool masked) {
    userIdEdit()->setHidden(masked);
    passwordEdit()->setHidden(masked);
    maskingButton()->setText(masked ? tr("S") : tr("H"));
    // The caption is a single letter; a screen reader says what a press does.
    maskingButton()->setAccessibleName(masked ? tr("Show User ID and Password") : tr("Hide User ID and Password"));
    userHiddenLabel()->setHidden(!masked);
    passwordHiddenLabel()->setHidden(!masked);
}

void MainWindow::toggleMasking() { setMasked(entriesShown()); }

void MainWindow::copyUserId() { copyToClipboard(userIdEdit()->text()); }

void MainWindow::copyPassword() { copyToClipboard(passwordEdit()->text()); }

void MainWindow::pasteInto(Windows1252LineEdit* box) {
    // The box's own paste, so its length limit, upper case and single line apply.
    box->clear();
    box->pasteClipboard();
}

void MainWindow::copyToClipboard(const QString& text) {
    // The panel flashes black long enough to be seen, then keeps a shade darker.
    QPalette pal = panel()->palette();
    pal.setColor(QPalette::Window, Qt::black);
    panel()->setPalette(pal);
    platform::copySecret(text);
    if (!copyFlash_) {
        copyFlash_ = new QTimer(this);
        copyFlash_->setSingleShot(true);
        copyFlash_->setInterval(kCopyFlashMs);
        connect(copyFlash_, &QTimer::timeout, this, [this] {
            QPalette after = panel()->palette();
            after.setColor(QPalette::Window, kPanelAfterCopy);
            panel()->setPalette(after);
        });
    }
    copyFlash_->start();
}

void MainWindow::selectRowQuietly(int row) {
    QItemSelectionModel* selection = siteList()->selectionModel();
    const QScopedValueRollback quiet(selectingInCode_, true);
    selection->setCurrentIndex(shownEntries_->index(row, 0), QItemSelectionModel::ClearAndSelect);
}

void MainWindow::selectFirstLineAndShow() {
    selectRowQuietly(0);
    if (shownEntries_->rowCount() > 0) showSelectedEntry();
}
