#include "support.h"

#include <fstream>
#include <iterator>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>

#include "platform/ansi.h"
#include "platform/appdata.h"
#include "platform/messages.h"
#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/locations.h"
#include "windows/Ukey.h"

namespace gui_test {

void setupPaths() {
    vault::SetupDataFolder(platform::appDataFolder());
    vault::SetupStoragePaths();
}

void freshStart() {
    if (vault::DataFileIsOpen()) vault::CloseDataFile();
    QDir(QString::fromStdString(platform::appDataFolder() + "/Keyfold")).removeRecursively();
    QSettings key(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvel"),
                  QStringLiteral("Keyfold"));
    key.clear();
    key.sync();
    vault::SetKeyPhrase("");
    platform::testing::reset();
}

void writeDataFile(const std::string& phrase, const std::vector<Entry>& entries, int slotCount) {
    setupPaths();
    QFile::remove(QString::fromStdString(dataFilePath()));  // a new file every time
    vault::CreateDataFile();
    if (slotCount != vault::kNewFileSlots)
        QFile::resize(QString::fromStdString(dataFilePath()),
                      static_cast<qint64>(slotCount) * static_cast<qint64>(vault::kSlotSize));
    const std::string saved = vault::KeyPhrase();
    vault::InitCipherTables();
    vault::SetKeyPhrase(phrase);
    vault::OpenDataFile();
    for (const Entry& e : entries) {
        vault::CurrentRecord =
            vault::MakeRecord(e.status, e.name, e.website, e.user, e.comments, e.password);
        vault::WriteSlot(e.slot);
    }
    vault::CloseDataFile();
    vault::SetKeyPhrase(saved);
}

vault::SiteRecord readSlot(int n, const std::string& phrase) {
    const std::string saved = vault::KeyPhrase();
    vault::SetKeyPhrase(phrase);
    vault::OpenDataFile();
    for (int i = 0; i <= n; ++i) vault::ReadSlot();
    vault::CloseDataFile();
    vault::DecipherRecord();
    vault::SiteRecord r = vault::CurrentRecord;
    vault::SetKeyPhrase(saved);
    return r;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string dataFilePath() { return vault::Paths().dataFile; }

std::unique_ptr<TFrmfirst> startProgram(const QString& phrase, bool byContinue) {
    auto main = std::make_unique<TFrmfirst>();
    TFrmKey key(main.get());
    key.PrepareDialog();
    key.EdKeyContinue->setText(phrase);
    key.show();
    if (byContinue)
        key.Button1->click();
    else
        key.close();
    return main;
}

QStringList listLines(TFrmfirst* w) {
    QStringList lines;
    for (int i = 0; i < w->ListBox1->count(); ++i) lines << w->ListBox1->item(i)->text();
    return lines;
}

QStringList boxProblems() {
    QStringList problems = platform::testing::takeFailures();
    if (const int n = platform::testing::pendingCount())
        problems << QStringLiteral("%1 expected box(es) never shown").arg(n);
    return problems;
}

}  // namespace gui_test
