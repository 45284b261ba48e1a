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

std::unique_ptr<TFrmfirst> startProgram(const QString& phrase, bool byContinue) {
    auto main = std::make_unique<TFrmfirst>();
    KeyPhraseDialog key(&main->session());
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

void loadListWhenPhraseIsSet(KeyPhraseDialog& key, TFrmfirst& main) {
    QObject::connect(&key, &KeyPhraseDialog::phraseSet, &main, &TFrmfirst::LoadAtStart);
}

KeyDialogControls::KeyDialogControls(const KeyPhraseDialog& key)
    : EdKeyContinue(findControl<platform::AnsiLineEdit>(&key, "EdKeyContinue")),
      Button1(findControl<QPushButton>(&key, "Button1")),
      CheckBox1(findControl<QCheckBox>(&key, "CheckBox1")),
      ChkChange(findControl<QCheckBox>(&key, "ChkChange")),
      PanelChange(findControl<QFrame>(&key, "PanelChange")),
      EdOld(findControl<platform::AnsiLineEdit>(&key, "EdOld")),
      EdNew(findControl<platform::AnsiLineEdit>(&key, "EdNew")),
      Cmdverify(findControl<QPushButton>(&key, "Cmdverify")),
      EdVerify(findControl<platform::AnsiLineEdit>(&key, "EdVerify")) {}

QStringList listLines(TFrmfirst* w) {
    QStringList lines;
    for (int i = 0; i < w->ListBox1->count(); ++i) lines << w->ListBox1->item(i)->text();
    return lines;
}

}  // namespace gui_test
