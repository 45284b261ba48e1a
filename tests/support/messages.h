// The program's message texts that more than one test folder waits for, each written
// once, character for character.
#pragma once
#include <QString>

#include "platform/messages.h"

namespace testsupport {

inline const QString kFirstRun = QStringLiteral(
    "This is your first time running. An empty file will now be generated and you can then "
    "begin entering your website information on the next screen.  Click the ADD button to add "
    "to your list.");
inline const QString kNoDataFile = QStringLiteral(
    "No data file found. If you are storing data externally, make sure you have connected your "
    "external drive or USB (flash) thumb drive, diskette, etc, then click OK to continue.");
inline const QString kCreateQuestion = QStringLiteral(
    "We will now create a new file for you to store your data. If this is your first time "
    "running then click YES to create the file. (If this is \"not\" the first time running, "
    "then click NO as this message should only appear the first time you run. )");
inline const QString kVerify = QStringLiteral(
    "Verify the line below to make sure it is readable. This is to make sure you have entered "
    "your old password phrase successfully. It is recommended you print or save your old "
    "password list temporarily before changing your password encryption phrase in case a "
    "mistake is made. Click YES to continue, or NO to cancel this");
inline const QString kAdded = QStringLiteral("Successfully added to your list.");
// The key phrase typed once more: before Verify re-keys a plain file, before the seal box seals.
inline const QString kOldPhraseAgain =
    QStringLiteral("Type your old key phrase once more, to make sure the data file is changed from the right one.");
inline const QString kOldPhraseDiffers = QStringLiteral(
    "The old key phrase typed again is not the one in the box, so nothing was changed. Check the old phrase and "
    "try again.");
// The seal box's questions.
inline const QString kSealQuestion = QStringLiteral(
    "Seal the data file?\n\nKeyfold then encrypts the whole file under your key phrase, with a key that takes about "
    "half a second to make from a phrase, so a found copy cannot be read by trying phrases quickly. Older versions "
    "of Keyfold cannot open a sealed file.");
inline const QString kUnsealQuestion = QStringLiteral(
    "Unseal the data file?\n\nIt is then stored as before, readable by older versions of Keyfold, and anyone who "
    "finds a copy of it can read the entries with some effort.");
inline const QString kSealPhraseAgain = QStringLiteral(
    "Type your key phrase once more. The data file is sealed under it only when it is the phrase you opened the "
    "file with.");
inline const QString kSealPhraseDiffers = QStringLiteral(
    "This is not the key phrase you opened the data file with, so the data file was not sealed and is as it "
    "was.\n\nIf the list shows your entries as you know them, tick the box again and type the same phrase as at "
    "the start.");
inline const QString kPhraseControl = QStringLiteral(
    "The key phrase holds a line break, a tab or another control character, which a key phrase cannot hold (a "
    "pasted text of more than one line brings one). Please type the phrase on one line, without them.");
// Create Text List's question, once the list is written (window tests and the benchmark).
inline const QString kTextListQuestion = QStringLiteral(
    "A text file showing your entire list has been created for you. You can edit, change, cut "
    "and paste, or add anything you wish with this notepad list, and even print directly from "
    "here if you wish. The text file for this is on your hard drive in the installation folder, "
    "and this should be deleted \"after\" you have closed your notepad list. If you want me to "
    "delete it for you (recommended), then after you have closed notepad, click \"Yes\" to delete "
    "this text file so it is not left behind.");
inline const QString kNoWebsite = QStringLiteral("There is no website address listed in the website box");

inline QString deleteQuestion(const QString& boxText) {
    return "You chose delete. You sure you want to delete entry " + boxText + "? (Click \"Yes\" to delete)";
}
inline QString browserNotOpened(const QString& address) {
    return "Your web browser could not be opened. You will need to click and open your your browser and go to " +
           address + " You can also use the Go There button.";
}

// The two boxes of a start without a data file: the notice, then the question whether to
// create one, answered create or not.
inline void expectNoDataFileBoxes(bool create) {
    platform::testing::expectBox(platform::BoxKind::Plain, kNoDataFile);
    platform::testing::expectBox(platform::BoxKind::Confirm, kCreateQuestion, create);
}

}  // namespace testsupport
