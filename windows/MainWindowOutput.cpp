// The main window's printed list and text list.
#include <memory>
#include <optional>

#include <QDir>

#include "output/printlayout.h"
#include "output/textlist.h"
#include "platform/windows1252lineedit.h"
#include "platform/messages.h"
#include "platform/printer.h"
#include "platform/shell.h"
#include "ui_MainWindow.h"
#include "vault/session.h"
#include "windows/EntryListModel.h"
#include "windows/MainWindow.h"

using platform::displayPath;
using platform::fromWindows1252;
using platform::toWindows1252;

namespace {

const char* const kPrintQuestion =
    QT_TRANSLATE_NOOP("MainWindow", "You chose print. You sure you want to print your list of passwords now? ");
const char* const kNoViewerText =
    QT_TRANSLATE_NOOP("MainWindow",
                      "You cannot view this file because you do not have a default web browser setup. You can "
                      "still view this file by opening notepad and pointing to the file Tempfile.txt which is "
                      "now located in your install directory.");
const char* const kDeleteTextListQuestion =
    QT_TRANSLATE_NOOP("MainWindow",
                      "A text file showing your entire list has been created for you. You can edit, change, cut "
                      "and paste, or add anything you wish with this notepad list, and even print directly from "
                      "here if you wish. The text file for this is on your hard drive in the installation "
                      "folder, and this should be deleted \"after\" you have closed your notepad list. If you "
                      "want me to delete it for you (recommended), then after you have closed notepad, click "
                      "\"Yes\" to delete this text file so it is not left behind.");
const char* const kTextListDeletedText =
    QT_TRANSLATE_NOOP("MainWindow", "This temporary file has been deleted from your hard drive");
const char* const kTextListNotDeletedText =
    QT_TRANSLATE_NOOP("MainWindow",
                      "This temporary file could \"not\" be deleted. Chances are you have it open. When you "
                      "close your notepad, remember to go delete the temporary file list at : ");
const char* const kTextListKeptText =
    QT_TRANSLATE_NOOP("MainWindow",
                      "Nothing done. Dont forget to manually delete the following file when you are done "
                      "viewing it: ");

}  // namespace

void MainWindow::printList() {
    if (!platform::askYesNo(tr(kPrintQuestion))) return;
    // The job starts on the default printer before the data file is opened.
    std::unique_ptr<platform::PrinterDevice> printer = platform::PrinterDevice::openDefault();
    if (!printer) {
        platform::showError(tr(platform::kNoDefaultPrinterText));
        return;
    }
    // Every in-use slot in slot order, from the file itself (not the list on screen);
    // the lines are read back from the boxes. An error drops the job unsent.
    // The lines are the boxes' texts as each entry would show there; only the last
    // entry printed stays in the boxes, also when the job ends early.
    std::optional<vault::Entry> lastPrinted;
    try {
        output::printList(*printer, [&](const auto& print) {
            session_->forEachPrintable([&](const vault::Entry& entry) {
                lastPrinted = entry;
                print({nameEdit()->windows1252TextFor(entry.name), websiteEdit()->windows1252TextFor(entry.website),
                       userIdEdit()->windows1252TextFor(entry.userId), passwordEdit()->secretTextFor(entry.password)});
            });
        });
    } catch (...) {
        if (lastPrinted) showEntry(*lastPrinted);
        throw;
    }
    if (lastPrinted) showEntry(*lastPrinted);
}

void MainWindow::createTextList() {
    const std::string path = output::textListPath(session_->paths().dataFolder);
    const QString shownPath = QDir::toNativeSeparators(displayPath(path));
    {
        output::TextListFile file(path);
        // The entries the list shows, in its order, each as clicking its line would show
        // it in the boxes (a name no slot holds leaves the boxes as they were). The file
        // is read once, and the list and the boxes are set once, to the line the walk
        // stopped at: the last one, or the one whose entry failed.
        vault::ListedNameIndex index(*session_);
        const vault::Entry* shown = nullptr;
        std::string name = nameEdit()->windows1252Text(), website = websiteEdit()->windows1252Text(),
                    user = userIdEdit()->windows1252Text(), comments = commentsEdit()->windows1252Text();
        vault::SecretText password = passwordEdit()->secretText();
        auto settle = [&](int row) {
            selectRowQuietly(row);
            if (shown) showEntry(*shown);
        };
        const int count = shownEntries_->rowCount();
        int row = 0;
        try {
            for (; row < count; ++row) {
                if (const vault::Entry* e = index.find(shownEntries_->shownRow(row).name)) {
                    shown = e;
                    name = nameEdit()->windows1252TextFor(e->name);
                    website = websiteEdit()->windows1252TextFor(e->website);
                    user = userIdEdit()->windows1252TextFor(e->userId);
                    password = passwordEdit()->secretTextFor(e->password);
                    comments = commentsEdit()->windows1252TextFor(e->comments);
                }
                file.writeEntry(name, website, user, password, comments);
            }
        } catch (...) {
            settle(row);
            throw;
        }
        if (count > 0) settle(count - 1);
        file.close();
    }
    // The question follows at once; a viewer that fails later is reported when it does.
    platform::shellOpen(
        shownPath, this, [this] { platform::showPlain(tr(kNoViewerText)); }, platform::ShellShow::Normal);
    if (platform::askYesNo(tr(kDeleteTextListQuestion))) {
        if (output::removeTextList(path))
            platform::showPlain(tr(kTextListDeletedText));
        else
            platform::showPlain(tr(kTextListNotDeletedText) + shownPath);
    } else {
        platform::showPlain(tr(kTextListKeptText) + shownPath);
    }
}
