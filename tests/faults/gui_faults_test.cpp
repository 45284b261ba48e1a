// The failing disk as the user meets it: the command's error box shows the failure's
// own text, the data file is as before (or the one slot fully written), and the window
// keeps working for the next command.
#include <QCheckBox>
#include <QPushButton>
#include <QtTest>
#include <cerrno>
#include <cstdio>

#include "../gui/support.h"
#include "platform/messages.h"
#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/fileio.h"
#include "vault/locations.h"
#include "vault/session.h"
#include "windows/KeyPhraseDialog.h"
#include "windows/MainWindow.h"
#include "platform/windows1252lineedit.h"
#include "tests/support/controls.h"

using testsupport::SiteList;

using namespace gui_test;
using platform::BoxKind;
using platform::testing::expectBox;
using vault::testing::Op;

namespace {
// A failure's box: the system's text, and the data file on the line under it.
QString onDataFile(const char* text) {
    return QString::fromLatin1(text) + '\n' + QString::fromStdString(dataFilePath());
}
}  // namespace

class GuiFaultTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        freshStart();
        vault::testing::clearFaults();
    }
    void cleanup() { vault::testing::clearFaults(); }

    void addOnAFullDiskThenAgain() {
        writeDataFile("key", {{0, "A", "BANK", "http://bank", "b", "", "pw1"}, {1, "D", "", "", "", "", ""}});
        auto w = startProgram(QStringLiteral("key"));
        const std::string before = fileBytes(dataFilePath());

        typeEntry(w.get(), "MAIL", "http://mail", "someone", "pw2");
        vault::testing::failNthCall(1, ENOSPC, Op::Write);
        CLICK_WITH_BOXES(w->addButton(), {BoxKind::Error, onDataFile("Disk full")});
        QVERIFY(vault::testing::faultFired());
        QVERIFY(fileBytes(dataFilePath()) == before);
        QCOMPARE(listLines(w.get()), QStringList({"BANK"}));
        QVERIFY(!w->session().dataFile().isOpen());

        // The disk has room again: the same click goes through.
        CLICK_WITH_BOXES(w->addButton(), {BoxKind::Plain, kAdded});
        QCOMPARE(listLines(w.get()), QStringList({"BANK", "MAIL"}));
        QCOMPARE(readSlot(1, "key").name.str(), std::string("MAIL"));
    }

    void updateWithAFailingFlushAndAFailingRead() {
        writeDataFile("key", {{0, "A", "BANK", "http://bank", "b", "", "pw1"}});
        auto w = startProgram(QStringLiteral("key"));
        const std::string before = fileBytes(dataFilePath());

        typeEntry(w.get(), "BANK", "http://bank.example", "someone", "new");
        vault::testing::failNthCall(1, EIO, Op::Read);
        CLICK_WITH_BOXES(w->updateButton(), {BoxKind::Error, onDataFile("I/O error 5")});
        QVERIFY(fileBytes(dataFilePath()) == before);

        // The write lands but its flush fails: reported, and the slot is whole.
        vault::testing::failNthCall(1, EIO, Op::Sync);
        CLICK_WITH_BOXES(w->updateButton(), {BoxKind::Error, onDataFile("I/O error 5")});
        const vault::SiteRecord r = readSlot(0, "key");
        QCOMPARE(r.status.str(), std::string("U"));
        QCOMPARE(r.password.str(), std::string("new"));
        QVERIFY(!w->session().dataFile().isOpen());
    }

    void dataFileRemovedWhileTheProgramRuns() {
        writeDataFile("", {{0, "A", "BANK", "http://bank", "b", "", "pw1"}, {1, "A", "MAIL", "http://m", "", "", ""}});
        auto w = startProgram(QString());
        QCOMPARE(std::remove(dataFilePath().c_str()), 0);

        w->nameEdit()->setText(QStringLiteral("BANK"));
        CLICK_WITH_BOXES(w->deleteButton(), {BoxKind::Confirm, deleteQuestion(QStringLiteral("BANK")), true},
                         {BoxKind::Error, onDataFile("File not found")});

        typeEntry(w.get(), "NEW", "http://new", "someone");
        CLICK_WITH_BOXES(w->addButton(), {BoxKind::Error, onDataFile("File not found")});

        // The text list reads every entry through the list: the first read fails.
        CLICK_WITH_BOXES(w->textListButton(), {BoxKind::Error, onDataFile("File not found")});
        QVERIFY(!vault::fileExists(dataFilePath()));
        QCOMPARE(listLines(w.get()), QStringList({"BANK", "MAIL"}));
    }

    // The file is read 128 slots at a time; the second read fails, as a disk whose slots
    // from 128 on cannot be read. Refresh keeps the names before the failure and shows
    // the last of them; the text list stops at the first line it cannot look up, with
    // that line selected and the boxes on the entry before it.
    void readsThatFailPartWay() {
        auto nameOf = [](int i) { return QStringLiteral("N%1").arg(i, 3, 10, QLatin1Char('0')); };
        std::vector<Entry> entries;
        for (int i = 0; i < 130; ++i) {
            const std::string n = nameOf(i).toStdString();
            entries.push_back({i, "A", n, "http://" + n, "user" + n, "", "pw" + n});
        }
        writeDataFile("key", entries);
        auto w = startProgram(QStringLiteral("key"));
        QCOMPARE(SiteList(w).count(), 130);

        vault::testing::failNthCall(2, EIO, Op::Read);
        CLICK_WITH_BOXES(w->refreshButton(), {BoxKind::Error, onDataFile("I/O error 5")});
        QVERIFY(vault::testing::faultFired());
        QStringList first128;
        for (int i = 0; i < 128; ++i) first128 << nameOf(i);
        QCOMPARE(listLines(w.get()), first128);
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("N127"));
        QCOMPARE(w->websiteEdit()->text(), QStringLiteral("http://N127"));
        QCOMPARE(w->userIdEdit()->text(), QStringLiteral("userN127"));
        QCOMPARE(w->passwordEdit()->text(), QStringLiteral("pwN127"));
        QCOMPARE(SiteList(w).currentRow(), -1);
        QVERIFY(!w->session().dataFile().isOpen());

        w->refreshButton()->click();
        QCOMPARE(SiteList(w).count(), 130);
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("N129"));
        vault::testing::failNthCall(2, EIO, Op::Read);
        CLICK_WITH_BOXES(w->textListButton(), {BoxKind::Error, onDataFile("I/O error 5")});
        QVERIFY(vault::testing::faultFired());
        QCOMPARE(SiteList(w).currentRow(), 128);
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("N127"));
        QCOMPARE(w->userIdEdit()->text(), QStringLiteral("userN127"));
        QVERIFY(!w->session().dataFile().isOpen());
        // The unfinished list, passwords in clear, is not left behind.
        QVERIFY(!vault::fileExists(w->session().paths().dataFolder + "/Tempfile.txt"));
    }

    void rekeyOnAFullDiskKeepsTheOldPhraseAndFile() {
        writeDataFile("old",
                      {{0, "A", "BANK", "http://bank", "b", "", "pw1"}, {2, "A", "MAIL", "http://m", "", "", ""}});
        const std::string before = fileBytes(dataFilePath());
        ProgramAtKeyDialog program;
        auto& [main, key, c] = program;
        c.changePhraseBox->setChecked(true);
        main.session().setKeyPhrase("old");
        for (Op op : {Op::Write, Op::Rename}) {
            c.oldPhraseEdit->setText(QStringLiteral("old"));
            c.newPhraseEdit->setText(QStringLiteral("new"));
            vault::testing::failNthCall(1, ENOSPC, op);
            expectBox(BoxKind::PhrasePrompt, testsupport::kOldPhraseAgain, true, QStringLiteral("old"));
            expectBox(BoxKind::Confirm, kVerify, true);
            // The new file beside it could not be written, or not renamed over it.
            const std::string failed = op == Op::Write ? vault::tempNameFor(dataFilePath()) : dataFilePath();
            CLICK_WITH_BOXES(c.verifyButton,
                             {BoxKind::Error, QStringLiteral("Disk full\n") + QString::fromStdString(failed)});
            QVERIFY(vault::testing::faultFired());
            QVERIFY(fileBytes(dataFilePath()) == before);
            QCOMPARE(main.session().cipher().phrase(), std::string("old"));
            QVERIFY(!vault::fileExists(vault::tempNameFor(dataFilePath())));
        }
        QCOMPARE(readSlot(2, "old").name.str(), std::string("MAIL"));
        key.hide();
    }

    void windowSizeThatCannotBeWritten() {
        writeDataFile("", {});
        auto w = startProgram(QString());
        vault::testing::failNthCall(1, ENOSPC, Op::Write);
        expectBox(BoxKind::Error, "Unable to write to " + QString::fromStdString(w->session().paths().settingsFile));
        w->close();
        VERIFY_BOXES();
        QVERIFY(vault::testing::faultFired());
        QVERIFY(!vault::fileExists(w->session().paths().settingsFile));
    }
};

QTEST_MAIN(GuiFaultTest)
#include "gui_faults_test.moc"
