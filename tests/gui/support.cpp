#include "support.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSettings>

#include "platform/windows1252lineedit.h"
#include "platform/appdata.h"
#include "platform/messages.h"
#include "tests/support/program_files.h"
#include "tests/support/vault_files.h"
#include "vault/entry.h"
#include "vault/locations.h"
#include "vault/session.h"
#include "windows/KeyPhraseDialog.h"
#include "tests/support/controls.h"

using testsupport::SiteList;

namespace gui_test {

vault::Locations setupPaths() { return testsupport::programFiles(); }

vault::Locations paths() { return vault::locateFiles(platform::appDataFolder()); }

void freshStart() {
    QDir(QString::fromStdString(platform::appDataFolder() + "/Keyfold")).removeRecursively();
    QSettings key(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvel"), QStringLiteral("Keyfold"));
    key.clear();
    key.sync();
    platform::testing::reset();
}

void writeDataFile(const std::string& phrase, const std::vector<Entry>& entries, int slotCount) {
    setupPaths();
    std::vector<std::pair<int, vault::SiteRecord>> placed;
    // Addresses as the program stores them, with a scheme; an empty one, or one with a
    // scheme of its own (a local page), is left as a test wrote it.
    for (const Entry& e : entries) {
        const bool entry = e.status == "A" || e.status == "U";
        const bool asWritten = !entry || e.website.empty() || e.website.find("://") != std::string::npos;
        const std::string website = asWritten ? e.website : vault::completedAddress(e.website);
        placed.emplace_back(e.slot, vault::makeRecord(e.status, e.name, website, e.user, e.comments, e.password));
    }
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
    main->session().setSealCost(kCheapSealCost);
    KeyPhraseDialog key(&main->session());
    main->finishLookAfterFirstPaintOf(&key);
    loadListWhenPhraseIsSet(key, *main);
    key.prepare();
    const KeyDialogControls c(key);
    c.phraseEdit->setText(phrase);
    key.show();
    if (byContinue)
        c.continueButton->click();
    else
        key.close();
    return main;
}

void loadListWhenPhraseIsSet(KeyPhraseDialog& key, MainWindow& main) {
    QObject::connect(&key, &KeyPhraseDialog::phraseSet, &main, &MainWindow::loadAtStart);
}

ProgramAtKeyDialog::ProgramAtKeyDialog(bool prepared) : key(&main.session()), c(key) {
    main.session().setSealCost(kCheapSealCost);
    loadListWhenPhraseIsSet(key, main);
    if (prepared) key.prepare();
}

KeyDialogControls::KeyDialogControls(const KeyPhraseDialog& key)
    : phraseEdit(key.phraseEdit()),
      continueButton(key.continueButton()),
      showTypedBox(key.showTypedBox()),
      changePhraseBox(key.changePhraseBox()),
      changePanel(key.changePanel()),
      oldPhraseEdit(key.oldPhraseEdit()),
      newPhraseEdit(key.newPhraseEdit()),
      verifyButton(key.verifyButton()),
      verifyEdit(key.verifyLineEdit()) {}

void sealDataFile(const std::string& phrase) {
    vault::Session s(paths());
    s.setSealCost(kCheapSealCost);
    if (s.openWithPhrase(phrase) != vault::PhraseOutcome::Opened || s.seal() != vault::SealOutcome::Sealed)
        qFatal("the test's data file could not be sealed");
}

QString noAddressText(bool programEnds) {
    const QString start = QStringLiteral(
        "This key phrase does not seem to open the data file %1: under it, no entry's website address holds "
        "http:// or https://, as every address Keyfold stores does. ");
    const QString end = QStringLiteral(
        "\n\nOnly if the entries were stored without http:// or https:// (a file converted from an old version), "
        "open the file anyway under this phrase.");
    const QString middle = programEnds ? QStringLiteral(
                                             "Unless you open the file anyway, Keyfold ends now, and "
                                             "nothing was shown or written; at the next start, check the "
                                             "phrase (letter case counts).")
                                       : QStringLiteral("Check the phrase (letter case counts) and try again.");
    return (start + middle + end).arg(QString::fromStdString(dataFilePath()));
}

QString sealedRefusesText(bool programEnds) {
    return (programEnds ? QStringLiteral("This key phrase does not open the sealed data file %1.\n\nKeyfold ends "
                                         "now, and nothing was shown or written. At the next start, check the phrase "
                                         "(letter case counts).")
                        : QStringLiteral("This key phrase does not open the sealed data file %1.\n\nCheck the phrase "
                                         "(letter case counts) and try again."))
        .arg(QString::fromStdString(dataFilePath()) + QStringLiteral(".sealed"));
}

void typeEntry(MainWindow* w, const QString& name, const QString& site, const QString& user, const QString& pwd,
               const QString& comments) {
    w->nameEdit()->setText(name);
    w->websiteEdit()->setText(site);
    w->userIdEdit()->setText(user);
    w->passwordEdit()->setText(pwd);
    w->commentsEdit()->setText(comments);
}

QStringList listLines(MainWindow* w) { return SiteList(w).lines(); }

}  // namespace gui_test
