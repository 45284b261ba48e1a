#include "support.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>

#include "platform/ansi.h"
#include "platform/appdata.h"
#include "platform/messages.h"
#include "tests/support/program_files.h"
#include "tests/support/vault_files.h"
#include "vault/locations.h"
#include "windows/KeyPhraseDialog.h"
#include "tests/support/controls.h"

using testsupport::control;

namespace gui_test {

vault::Locations setupPaths() { return testsupport::programFiles(); }

vault::Locations paths() { return vault::LocateFiles(platform::appDataFolder()); }

void freshStart() {
    QDir(QString::fromStdString(platform::appDataFolder() + "/Keyfold")).removeRecursively();
    QSettings key(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvel"),
                  QStringLiteral("Keyfold"));
    key.clear();
    key.sync();
    platform::testing::reset();
}

void writeDataFile(const std::string& phrase, const std::vector<Entry>& entries, int slotCount) {
    setupPaths();
    std::vector<std::pair<int, vault::SiteRecord>> placed;
    for (const Entry& e : entries)
        placed.emplace_back(e.slot, vault::MakeRecord(e.status, e.name, e.website, e.user, e.comments, e.password));
    QFile::remove(QString::fromStdString(dataFilePath()));  // a new file every time
    testsupport::writeDataFile(dataFilePath(), testsupport::dataFileBytes(placed, slotCount, phrase));
}

vault::SiteRecord readSlot(int n, const std::string& phrase) {
    return testsupport::slotOf(testsupport::readBytes(dataFilePath()), n, phrase);
}

std::string fileBytes(const std::string& path) { return testsupport::readBytes(path); }

std::string dataFilePath() { return paths().dataFile; }

std::unique_ptr<MainWindow> startProgram(const QString& phrase, bool byContinue) {
    // As the program starts: the window's controls wait for the dialog's paint, or
    // for the list load where the dialog closes first.
    auto main = std::make_unique<MainWindow>(nullptr, MainWindow::Controls::AfterKeyDialog);
    KeyPhraseDialog key(&main->session());
    main->finishLookAfterFirstPaintOf(&key);
    loadListWhenPhraseIsSet(key, *main);
    key.prepare();
    const KeyDialogControls c(key);
    c.EdKeyContinue->setText(phrase);
    key.show();
    if (byContinue)
        c.Button1->click();
    else
        key.close();
    return main;
}

void loadListWhenPhraseIsSet(KeyPhraseDialog& key, MainWindow& main) {
    QObject::connect(&key, &KeyPhraseDialog::phraseSet, &main, &MainWindow::loadAtStart);
}

ProgramAtKeyDialog::ProgramAtKeyDialog(bool prepared) : key(&main.session()), c(key) {
    loadListWhenPhraseIsSet(key, main);
    if (prepared) key.prepare();
}

KeyDialogControls::KeyDialogControls(const KeyPhraseDialog& key)
    : EdKeyContinue(control<platform::AnsiLineEdit>(&key, "EdKeyContinue")),
      Button1(control<QPushButton>(&key, "Button1")),
      CheckBox1(control<QCheckBox>(&key, "CheckBox1")),
      ChkChange(control<QCheckBox>(&key, "ChkChange")),
      PanelChange(control<QFrame>(&key, "PanelChange")),
      EdOld(control<platform::AnsiLineEdit>(&key, "EdOld")),
      EdNew(control<platform::AnsiLineEdit>(&key, "EdNew")),
      Cmdverify(control<QPushButton>(&key, "Cmdverify")),
      EdVerify(control<platform::AnsiLineEdit>(&key, "EdVerify")) {}

QStringList listLines(MainWindow* w) {
    QStringList lines;
    for (int i = 0; i < control<QListWidget>(w, "ListBox1")->count(); ++i)
        lines << control<QListWidget>(w, "ListBox1")->item(i)->text();
    return lines;
}

}  // namespace gui_test
