// The key phrase dialog: its controls, the phrase taken by Continue and by the close
// button, "Show typed characters", and re-keying the data file.
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "platform/messages.h"
#include "platform/userkey.h"
#include "support.h"
#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/fileio.h"
#include "vault/locations.h"
#include "vault/session.h"
#include "windows/Ukey.h"
#include "windows/MainWindow.h"
#include "platform/ansi.h"
#include "tests/support/controls.h"

using testsupport::control;

using namespace gui_test;
using platform::BoxKind;
using platform::testing::expectBox;

namespace {
const QString kSection = QStringLiteral(
    "This section is to change your password encryption phrase. Enter your old and new phrase, "
    "make sure you type is correctly.");
const QString kVerify = QStringLiteral(
    "Verify the line below to make sure it is readable. This is to make sure you have entered "
    "your old password phrase successfully. It is recommended you print or save your old "
    "password list temporarily before changing your password encryption phrase in case a "
    "mistake is made. Click YES to continue, or NO to cancel this");
const QString kCancelled = QStringLiteral("Nothing changed, you have chosen cancel");
const QString kCompleted =
    QStringLiteral("Conversion complete. Enter your new password phrase and click \"Continue\"");
const QString kFirstRun = QStringLiteral(
    "This is your first time running. An empty file will now be generated and you can then "
    "begin entering your website information on the next screen.  Click the ADD button to add "
    "to your list.");

// Limits the size of files this process may write, so a write fails part-way.
struct FileSizeLimit {
    rlimit saved{};
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit l = saved;
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
};

const std::vector<Entry> kTwo = {{0, "A", "ZED", "http://zed", "zu", "zc", "zp"},
                                 {1, "A", "ABC", "http://abc", "au", "ac", "ap"}};
}  // namespace

class KeyDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init() { freshStart(); }

    void dialogLayout() {
        MainWindow main;
        TFrmKey key(&main);
        key.PrepareDialog();
        QCOMPARE(key.windowTitle(), QStringLiteral("Encryption Key Phrase"));
        QCOMPARE(key.size(), QSize(416, 396));
        QCOMPARE(key.EdKeyContinue->geometry(), QRect(18, 61, 377, 21));
        QCOMPARE(key.Button1->geometry(), QRect(301, 86, 94, 25));
        QCOMPARE(key.PanelChange->geometry(), QRect(18, 177, 377, 200));
        QCOMPARE(key.EdVerify->geometry(), QRect(16, 149, 329, 21));
        QCOMPARE(key.CheckBox1->geometry(), QRect(34, 88, 183, 17));
        QCOMPARE(key.ChkChange->geometry(), QRect(18, 152, 221, 17));
        QCOMPARE(key.EdVerify->parentWidget(), static_cast<QWidget*>(key.PanelChange));
        QCOMPARE(key.Button1->text(), QStringLiteral("Continue"));
        QCOMPARE(key.Cmdverify->text(), QStringLiteral("Verify"));
        QVERIFY(!key.Button1->isDefault() && !key.Button1->autoDefault());
        QVERIFY(!key.Cmdverify->autoDefault());
        QCOMPARE(key.EdKeyContinue->echoMode(), QLineEdit::Password);
        QVERIFY(!key.PanelChange->isEnabled());
        key.ChkChange->setChecked(true);
        QVERIFY(key.PanelChange->isEnabled());
        key.ChkChange->setChecked(false);
        QVERIFY(!key.PanelChange->isEnabled());
        QCOMPARE(key.EdOld->accessibleName(), QStringLiteral("Enter old password phrase"));
        QWidget* next = key.EdKeyContinue->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
        QCOMPARE(next, static_cast<QWidget*>(key.Button1));
        // Enter and Escape in the phrase box neither continue nor close.
        key.show();
        QVERIFY(QTest::qWaitForWindowExposed(&key));
        key.EdKeyContinue->setFocus();
        QTest::keyClick(key.EdKeyContinue, Qt::Key_Return);
        QTest::keyClick(key.EdKeyContinue, Qt::Key_Escape);
        QVERIFY(key.isVisible());
        VERIFY_BOXES();
        key.hide();
    }

    void showTypedCharactersIsRemembered() {
        platform::writeUserKeyBool(QStringLiteral("CheckFirstScreen"), true);
        writeDataFile("", {});
        MainWindow main;
        {
            TFrmKey key(&main);
            key.PrepareDialog();
            QVERIFY(key.CheckBox1->isChecked());
            QCOMPARE(key.EdKeyContinue->echoMode(), QLineEdit::Normal);
            key.CheckBox1->setChecked(false);
            QCOMPARE(key.EdKeyContinue->echoMode(), QLineEdit::Password);
            key.show();
            key.Button1->click();
        }
        QCOMPARE(platform::readUserKeyBool(QStringLiteral("CheckFirstScreen")), std::optional<bool>(false));
        VERIFY_BOXES();
    }

    void continueTrimsTheCloseButtonDoesNot() {
        writeDataFile("key", kTwo);
        auto w = startProgram(QStringLiteral("  key  "));
        VERIFY_BOXES();
        QCOMPARE(w->session().cipher().phrase(), std::string("key"));
        QCOMPARE(listLines(w.get()), QStringList({"ABC", "ZED"}));

        w = startProgram(QStringLiteral("  key  "), false);
        VERIFY_BOXES();
        QCOMPARE(w->session().cipher().phrase(), std::string("  key  "));
        QVERIFY(!listLines(w.get()).contains(QStringLiteral("ABC")));
    }

    void phraseNeverExceeds255Characters() {
        writeDataFile("", {});
        MainWindow main;
        TFrmKey key(&main);
        key.PrepareDialog();
        const QString longPhrase(300, QLatin1Char('x'));
        key.EdKeyContinue->setText(longPhrase);
        key.EdOld->setText(longPhrase);
        key.EdNew->setText(longPhrase);
        QCOMPARE(key.EdKeyContinue->text().size(), 255);
        QCOMPARE(key.EdOld->text().size(), 255);
        QCOMPARE(key.EdNew->text().size(), 255);
        key.show();
        key.Button1->click();
        QCOMPARE(main.session().cipher().phrase(), std::string(255, 'x'));
        VERIFY_BOXES();
    }

    void continueFailureKeepsTheDialogOpen() {
        writeDataFile("", {}, 1);  // a file of one slot cannot give its second
        MainWindow main;
        TFrmKey key(&main);
        key.PrepareDialog();
        key.show();
        key.EdKeyContinue->setText(QStringLiteral(" k "));
        expectBox(BoxKind::Error, QStringLiteral("Read beyond end of file"));
        key.Button1->click();
        VERIFY_BOXES();
        QVERIFY(key.isVisible());
        QVERIFY(!main.session().dataFile().isOpen());
        QVERIFY(control<QLabel>(main, "LblCount")->text().isEmpty());  // nothing loaded yet
        key.hide();
    }

    void verifyRefusesAnEmptyNewPhraseAndNoLeavesTheFile() {
        writeDataFile("old", kTwo);
        const std::string before = fileBytes(dataFilePath());
        MainWindow main;
        TFrmKey key(&main);
        key.PrepareDialog();
        key.ChkChange->setChecked(true);
        key.EdOld->setText(QStringLiteral(" old "));
        key.EdNew->setText(QStringLiteral("   "));
        key.EdVerify->setText(QStringLiteral("stale"));
        expectBox(BoxKind::Plain, kSection);
        key.Cmdverify->click();
        VERIFY_BOXES();
        QCOMPARE(key.EdOld->text(), QStringLiteral("old"));
        QCOMPARE(key.EdNew->text(), QString());
        QVERIFY(key.EdVerify->text().isEmpty());
        QCOMPARE(fileBytes(dataFilePath()), before);

        key.EdNew->setText(QStringLiteral("new"));
        expectBox(BoxKind::Confirm, kVerify, false);
        expectBox(BoxKind::Plain, kCancelled);
        key.Cmdverify->click();
        VERIFY_BOXES();
        QCOMPARE(key.EdVerify->text(), QStringLiteral("ZED"));  // lowest in-use slot
        QCOMPARE(fileBytes(dataFilePath()), before);
    }

    void completedRekeyOpensWithTheNewPhraseOnly() {
        writeDataFile("old", kTwo);
        {
            MainWindow main;
            TFrmKey key(&main);
            key.PrepareDialog();
            key.ChkChange->setChecked(true);
            key.EdOld->setText(QStringLiteral("old"));
            key.EdNew->setText(QStringLiteral("new"));
            expectBox(BoxKind::Confirm, kVerify, true);
            expectBox(BoxKind::Plain, kCompleted);
            key.Cmdverify->click();
            VERIFY_BOXES();
            QCOMPARE(key.EdVerify->text(), QStringLiteral("ZED"));
        }
        const vault::SiteRecord r = readSlot(1, "new");
        QCOMPARE(r.Name.str(), std::string("ABC"));
        QCOMPARE(r.Password.str(), std::string("ap"));
        QCOMPARE(r.Status.str(), std::string("A"));

        auto w = startProgram(QStringLiteral("new"));
        QCOMPARE(listLines(w.get()), QStringList({"ABC", "ZED"}));
        QCOMPARE(control<platform::AnsiLineEdit>(w, "EdUser")->text(), QStringLiteral("au"));
        w = startProgram(QStringLiteral("old"));
        QVERIFY(!listLines(w.get()).contains(QStringLiteral("ABC")));
        VERIFY_BOXES();
    }

    void rekeyFailingPartWayLeavesTheOldFile() {
        std::vector<Entry> many;
        for (int i = 0; i < 20; ++i)
            many.push_back({i, "A", "SITE" + std::to_string(i), "http://s", "u", "c", "p"});
        writeDataFile("old", many);
        const std::string before = fileBytes(dataFilePath());
        MainWindow main;
        TFrmKey key(&main);
        key.PrepareDialog();
        key.ChkChange->setChecked(true);
        key.EdOld->setText(QStringLiteral("old"));
        key.EdNew->setText(QStringLiteral("new"));
        expectBox(BoxKind::Confirm, kVerify, true);
        expectBox(BoxKind::Error, QStringLiteral("I/O error 27"));  // file too large
        {
            FileSizeLimit limit(5 * 1104);
            key.Cmdverify->click();
        }
        VERIFY_BOXES();
        QCOMPARE(fileBytes(dataFilePath()), before);
        QCOMPARE(readSlot(19, "old").Name.str(), std::string("SITE19"));
        // The dialog carries on: the file still opens under the old phrase.
        key.EdKeyContinue->setText(QStringLiteral("old"));
        key.show();
        key.Button1->click();
        QCOMPARE(control<QListWidget>(main, "ListBox1")->count(), 20);
        QVERIFY(listLines(&main).contains(QStringLiteral("SITE7")));
        VERIFY_BOXES();
    }

    void aLinkToAnAbsentDriveIsNotReplacedByANewFile() {
        setupPaths();
        const std::string absent = paths().dataFolder + "/stick/KFOLD30.DAT";
        QCOMPARE(::symlink(absent.c_str(), dataFilePath().c_str()), 0);
        MainWindow main;
        TFrmKey key(&main);
        key.PrepareDialog();
        key.show();
        expectBox(BoxKind::Error, QStringLiteral("Your data file is a link to %1, which cannot be reached (is its "
                                                 "drive attached?). No new data file was created.")
                                      .arg(QString::fromStdString(absent)));
        key.Button1->click();
        VERIFY_BOXES();
        QVERIFY(vault::IsDanglingLink(dataFilePath()));
    }

    void failedLegacyConversionIsReportedAndStartUpGoesOn() {
        setupPaths();
        {
            // A legacy file of 400 slots.
            std::string bytes(400 * 1051, '\0');
            for (int i = 0; i < 400; ++i) {
                bytes[i * 1051] = 1;
                bytes[i * 1051 + 1] = 'A';
                bytes[i * 1051 + 2] = 1;
                bytes[i * 1051 + 3] = 'N';
            }
            QFile f(QString::fromStdString(paths().legacyFile));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes.data(), static_cast<qint64>(bytes.size()));
        }
        MainWindow main;
        TFrmKey key(&main);
        expectBox(BoxKind::Error, QStringLiteral("I/O error 27"));
        {
            FileSizeLimit limit(4 * 1104);
            key.PrepareDialog();
        }
        VERIFY_BOXES();
        QVERIFY(vault::FileExists(paths().legacyFile));
        QVERIFY(!vault::FileExists(dataFilePath()));
        // The phrase is still taken and the list loads.
        expectBox(BoxKind::Plain, kFirstRun);
        key.show();
        key.Button1->click();
        VERIFY_BOXES();
        QVERIFY(!key.isVisible());
        QCOMPARE(control<QLabel>(main, "LblCount")->text(), QStringLiteral("Total Sites = 0"));

        // A legacy file without one whole record is not converted, and the user is told so.
        QFile::remove(QString::fromStdString(dataFilePath()));
        {
            QFile f(QString::fromStdString(paths().legacyFile));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(std::string(1051 - 10, '\0').data(), 1051 - 10);
        }
        TFrmKey again(&main);
        expectBox(BoxKind::Warning,
                  QStringLiteral("The old data file %1 could not be converted and was left as it was.")
                      .arg(QString::fromStdString(paths().legacyFile)));
        again.PrepareDialog();
        VERIFY_BOXES();
        QCOMPARE(QFileInfo(QString::fromStdString(paths().legacyFile)).size(), 1051 - 10);
        QVERIFY(!vault::FileExists(dataFilePath()));
    }
};

QTEST_MAIN(KeyDialogTest)
#include "test_keydialog.moc"
