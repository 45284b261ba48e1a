// Shared fixtures of the window tests: data files built through the vault, the
// program started as a user starts it, and the data file read back through the vault.
#pragma once
#include <memory>
#include <string>
#include <vector>
#include <QString>
#include <QStringList>

#include "platform/windows1252lineedit.h"
#include "tests/support/boxes.h"
#include "tests/support/controls.h"
#include "tests/support/messages.h"
#include "vault/locations.h"
#include "vault/record.h"
#include "vault/seal.h"
#include "windows/KeyPhraseDialog.h"
#include "windows/MainWindow.h"

class QCheckBox;
class QFrame;
class QPushButton;

namespace gui_test {

// One of the main window's five entry boxes, by its accessor (&MainWindow::nameEdit).
using EntryBox = platform::Windows1252LineEdit* (MainWindow::*)() const;

struct Entry {
    int slot;
    std::string status;  // "A", "U", "D"
    std::string name, website, user, comments, password;
};

// Settles the paths as the program does (data folder under the test's HOME, created).
vault::Locations setupPaths();
// The paths the program works with now (the stored location, if any, counts).
vault::Locations paths();
// Removes the data folder and the per-user key, and clears the message-box hook.
void freshStart();
// A new 1000-slot data file (or `slots` slots) with the entries written under phrase.
void writeDataFile(const std::string& phrase, const std::vector<Entry>& entries, int slotCount = 1000);
// Slot n read back through the vault and deciphered under phrase.
vault::SiteRecord readSlot(int n, const std::string& phrase);
// The data file's bytes.
std::string fileBytes(const std::string& path);
std::string dataFilePath();

// Starts the program: main window created hidden, key dialog with the phrase typed,
// left by Continue (or by its close button), list loaded.
// A sealing key that costs next to nothing, for every file the window tests seal or
// make sealed (a new data file is sealed under a non-empty phrase).
inline constexpr vault::SealCost kCheapSealCost{1, 8192};
std::unique_ptr<MainWindow> startProgram(const QString& phrase, bool byContinue = true);

QStringList listLines(MainWindow* w);
// Types an entry into the main window's boxes, each box set (an absent text empties it).
void typeEntry(MainWindow* w, const QString& name, const QString& site, const QString& user = {},
               const QString& pwd = {}, const QString& comments = {});

// The data file sealed under phrase, at the smallest key cost (fast tests).
void sealDataFile(const std::string& phrase);
// The key dialog's words for a phrase that does not open the plain or the sealed data file.
// The refusals of a wrong phrase; programEnds: as the close button's path words them.
QString noAddressText(bool programEnds = false);
QString sealedRefusesText(bool programEnds = false);

// Connects a key phrase dialog made on main's session as the program does: the list
// loads when the phrase is set.
void loadListWhenPhraseIsSet(KeyPhraseDialog& key, MainWindow& main);

// The key phrase dialog's controls, reached through its accessors.
struct KeyDialogControls {
    explicit KeyDialogControls(const KeyPhraseDialog& key);
    QLineEdit* phraseEdit;
    QPushButton* continueButton;
    QCheckBox* showTypedBox;
    QCheckBox* changePhraseBox;
    QFrame* changePanel;
    QLineEdit* oldPhraseEdit;
    QLineEdit* newPhraseEdit;
    QPushButton* verifyButton;
    platform::Windows1252LineEdit* verifyEdit;
};

// The program at its key phrase dialog: the hidden main window, the dialog on its
// session with the list loading when the phrase is set, and the dialog's controls. The
// dialog is prepared as the program prepares it, unless prepared is false.
struct ProgramAtKeyDialog {
    explicit ProgramAtKeyDialog(bool prepared = true);
    MainWindow main;
    KeyPhraseDialog key;
    KeyDialogControls c;
};

using testsupport::boxProblems;
using testsupport::deleteQuestion;
using testsupport::expectNoDataFileBoxes;
using testsupport::kAdded;
using testsupport::kFirstRun;
// The line under the seal box while the plain file is in use.
inline const QString kNotSealed =
    QStringLiteral("Not sealed: anyone with a copy can read it. Tick the box to seal it.");
inline const QString kNotSealedNoPhrase =
    QStringLiteral("Not sealed: anyone with a copy can read it. Sealing needs a key phrase.");
using testsupport::kOldPhraseAgain;
using testsupport::kOldPhraseDiffers;
using testsupport::kPhraseControl;
using testsupport::kSealPhraseAgain;
using testsupport::kSealPhraseDiffers;
using testsupport::kSealQuestion;
using testsupport::kUnsealQuestion;
using testsupport::kVerify;

}  // namespace gui_test
