// The key phrase dialog: its controls, the phrase taken by Continue and by the close
// button, "Show typed characters", and re-keying the data file.
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

#include <QCheckBox>
#include <QClipboard>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include "platform/messages.h"
#include "platform/userkey.h"
#include "support.h"
#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/fileio.h"
#include "vault/locations.h"
#include "vault/session.h"
#include "windows/FormSupport.h"
#include "windows/KeyPhraseDialog.h"
#include "windows/MainWindow.h"
#include "platform/windows1252lineedit.h"
#include "tests/support/controls.h"
#include "tests/support/vault_files.h"

using testsupport::SiteList;

using namespace gui_test;
using platform::BoxKind;
using platform::testing::expectBox;

namespace {
const QString kSection = QStringLiteral(
    "This section is to change your password encryption phrase. Enter your old and new phrase, "
    "make sure you type is correctly.");
const QString kCancelled = QStringLiteral("Nothing changed, you have chosen cancel");
const QString kCompleted = QStringLiteral("Conversion complete. Enter your new password phrase and click \"Continue\"");
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

// Runs `action` with the files this process writes limited to `bytes`, so the new file
// beside the data file grows too large, and checks the error box that names it.
void withFilesLimitedTo(rlim_t bytes, const std::function<void()>& action) {
    expectBox(BoxKind::Error,
              QStringLiteral("I/O error 27\n") + QString::fromStdString(vault::tempNameFor(dataFilePath())));
    {
        FileSizeLimit limit(bytes);
        action();
    }
    VERIFY_BOXES();
}

const std::vector<Entry> kTwo = {{0, "A", "ZED", "http://zed", "zu", "zc", "zp"},
                                 {1, "A", "ABC", "http://abc", "au", "ac", "ap"}};

// Opens the change panel and types the old and the new phrase.
void typeRekey(const KeyDialogControls& c, const QString& oldPhrase, const QString& newPhrase) {
    c.changePhraseBox->setChecked(true);
    c.oldPhraseEdit->setText(oldPhrase);
    c.newPhraseEdit->setText(newPhrase);
}
}  // namespace

class KeyDialogTest : public QObject {
    Q_OBJECT
private slots:
    void init() { freshStart(); }

    void dialogLayout() {
        ProgramAtKeyDialog program;
        auto& [main, key, c] = program;
        QCOMPARE(key.windowTitle(), QStringLiteral("Encryption Key Phrase"));
        QCOMPARE(c.continueButton->text(), QStringLiteral("Continue"));
        QCOMPARE(c.verifyButton->text(), QStringLiteral("Verify"));
        QVERIFY(!c.continueButton->isDefault() && !c.continueButton->autoDefault());
        QVERIFY(!c.verifyButton->autoDefault());
        QCOMPARE(c.phraseEdit->echoMode(), QLineEdit::Password);
        QVERIFY(!c.changePanel->isEnabled());
        c.changePhraseBox->setChecked(true);
        QVERIFY(c.changePanel->isEnabled());
        c.changePhraseBox->setChecked(false);
        QVERIFY(!c.changePanel->isEnabled());
        QCOMPARE(c.oldPhraseEdit->accessibleName(), QStringLiteral("Enter old password phrase"));
        // The keyboard's round through the dialog, back to the phrase box (by the controls'
        // object names, as the form names them).
        QCOMPARE(testsupport::tabOrderAfter(c.phraseEdit, 8),
                 QStringList({"Button1", "CheckBox1", "ChkChange", "EdVerify", "EdOld", "EdNew", "Cmdverify",
                              "EdKeyContinue"}));
        // One font throughout, the phrase box with its style sheet included: 11 pixels
        // of the first of the form's families that is there.
        const QStringList families = {QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                                      QStringLiteral("Arial")};
        QList<QWidget*> widgets = key.findChildren<QWidget*>();
        widgets << &key;
        for (QWidget* w : widgets) {
            QCOMPARE(w->font().pixelSize(), 11);
            QCOMPARE(w->font().families(), families);
        }
        QCOMPARE(QFontInfo(c.phraseEdit->font()).family(), QFontInfo(key.font()).family());
        // Enter and Escape in the phrase box neither continue nor close.
        key.show();
        QVERIFY(QTest::qWaitForWindowExposed(&key));
        c.phraseEdit->setFocus();
        QTest::keyClick(c.phraseEdit, Qt::Key_Return);
        QTest::keyClick(c.phraseEdit, Qt::Key_Escape);
        QVERIFY(key.isVisible());
        VERIFY_BOXES();
        key.hide();
    }

    // The dialog tells once that the phrase is set, on its first close, whichever way
    // it closes; a failing receiver is reported and the dialog closes all the same.
    void phraseSetIsSignalledOnce() {
        writeDataFile("", {});
        KeyPhraseDialog key;
        const KeyDialogControls c(key);
        QSignalSpy spy(&key, &KeyPhraseDialog::phraseSet);
        QObject::connect(&key, &KeyPhraseDialog::phraseSet, &key, [] { throw std::runtime_error("Disk full"); });
        key.prepare();
        key.show();
        CLICK_WITH_BOXES(c.continueButton, {BoxKind::Error, QStringLiteral("Disk full")});
        QVERIFY(!key.isVisible());
        QCOMPARE(spy.count(), 1);
        key.show();
        key.close();
        QCOMPARE(spy.count(), 1);
        QVERIFY(platform::readUserKeyBool(QStringLiteral("CheckFirstScreen")).has_value());
    }

    // The main window's rule through the shared key rules: Enter on a button presses it,
    // Enter elsewhere presses the fallback button, Escape does nothing.
    void keyRulesWithAFallbackButton() {
        QWidget window;
        auto* box = new QLineEdit(&window);
        auto* other = new QPushButton(QStringLiteral("Other"), &window);
        auto* exit = new QPushButton(QStringLiteral("Exit"), &window);
        QSignalSpy otherClicks(other, &QPushButton::clicked);
        QSignalSpy exitClicks(exit, &QPushButton::clicked);
        forms::setKeyRules(
            &window,
            {.enter = forms::KeyRules::Enter::FocusedButton, .enterElsewhere = exit, .escapeDoesNothing = true});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        QTest::keyClick(box, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(exitClicks.count(), 2);
        other->setFocus();
        QTest::keyClick(other, Qt::Key_Return);
        QCOMPARE(otherClicks.count(), 1);
        QCOMPARE(exitClicks.count(), 2);
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(window.isVisible());
    }

    void showTypedCharactersIsRemembered() {
        platform::writeUserKeyBool(QStringLiteral("CheckFirstScreen"), true);
        writeDataFile("", {});
        MainWindow main;
        {
            KeyPhraseDialog key(&main.session());
            loadListWhenPhraseIsSet(key, main);
            const KeyDialogControls c(key);
            key.prepare();
            QVERIFY(c.showTypedBox->isChecked());
            QCOMPARE(c.phraseEdit->echoMode(), QLineEdit::Normal);
            c.showTypedBox->setChecked(false);
            QCOMPARE(c.phraseEdit->echoMode(), QLineEdit::Password);
            key.show();
            c.continueButton->click();
        }
        QCOMPARE(platform::readUserKeyBool(QStringLiteral("CheckFirstScreen")), std::optional<bool>(false));
        VERIFY_BOXES();
        // A value already stored is not written again; one that only reads the same
        // (" 0") or text that is no number is replaced by the usual text.
        QSettings stored(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvel"),
                         QStringLiteral("Keyfold"));
        for (const char* before : {" 0", "yes", "0"}) {
            stored.setValue(QStringLiteral("CheckFirstScreen"), QString::fromLatin1(before));
            stored.sync();
            platform::writeUserKeyBool(QStringLiteral("CheckFirstScreen"), false);
            stored.sync();
            QCOMPARE(stored.value(QStringLiteral("CheckFirstScreen")).toString(), QStringLiteral("0"));
        }
    }

    void continueAndTheCloseButtonBothTrim() {
        writeDataFile("key", kTwo);
        for (bool byContinue : {true, false}) {
            auto w = startProgram(QStringLiteral("  key  "), byContinue);
            VERIFY_BOXES();
            QCOMPARE(w->session().cipher().phrase(), std::string("key"));
            QCOMPARE(listLines(w.get()), QStringList({"ABC", "ZED"}));
        }
    }

    // A phrase the data file cannot hold as typed is refused with its reason, never cut
    // or turned into "?": the dialog stays, nothing is loaded or re-keyed. Taken by the
    // close button, the same refusal ends Keyfold, and its message asks for no new try.
    void unusablePhrasesAreRefusedWithTheirReason() {
        writeDataFile("k", kTwo);
        const std::string before = fileBytes(dataFilePath());
        const QString ends = QStringLiteral(" Keyfold ends now, and nothing was shown or written.");
        const QString controlEnds = QStringLiteral(
                                        "The key phrase holds a line break, a tab or another control character, which "
                                        "a key phrase cannot hold (a "
                                        "pasted text of more than one line brings one).") +
                                    ends;
        const QString characters = QStringLiteral(
            "The key phrase holds characters that Keyfold's data file cannot hold: \"\u043f\" (U+043F), "
            "\"\u0430\" (U+0430), \"\u0440\" (U+0440), \"\u043e\" (U+043E), \"\u043b\" (U+043B), "
            "\"\u044c\" (U+044C).");
        const struct {
            QString phrase;
            QString message;
            QString closing;  // the message when the close button takes the phrase
        } cases[] = {
            {QString(300, QLatin1Char('x')),
             QStringLiteral("The key phrase is longer than 255 characters. Please type a shorter one."),
             QStringLiteral("The key phrase is longer than 255 characters.") + ends},
            {QStringLiteral(" \u043f\u0430\u0440\u043e\u043b\u044c "),
             characters + QStringLiteral(" Please type the phrase without them."), characters + ends},
            {QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"),
             QStringLiteral("The key phrase holds a zero character. Please type it again."),
             QStringLiteral("The key phrase holds a zero character.") + ends},
            {QStringLiteral(" ab\tcd "), kPhraseControl, controlEnds},
            {QStringLiteral("ab\x7f"), kPhraseControl, controlEnds},
        };
        for (const auto& t : cases) {
            ProgramAtKeyDialog program;
            auto& [main, key, c] = program;
            key.show();
            c.phraseEdit->setText(t.phrase);
            expectBox(BoxKind::Warning, t.message);
            c.continueButton->click();
            QVERIFY(key.isVisible());
            typeRekey(c, QStringLiteral("k"), t.phrase);
            CLICK_WITH_BOXES(c.verifyButton, {BoxKind::Warning, t.message});
            QVERIFY(main.session().cipher().phrase().empty());
            expectBox(BoxKind::Warning, t.closing);
            key.close();
            VERIFY_BOXES();
            QVERIFY(!key.isVisible());
            QVERIFY(!key.phraseOpened());
        }
        QCOMPARE(fileBytes(dataFilePath()), before);
    }

    // A text of two lines reaches every phrase box whole, however it comes in (set, pasted
    // from the clipboard, inserted as a drop does), and is refused there: by Continue, by
    // the close button and by Verify, with nothing loaded or written.
    void aPastedLineBreakIsRefusedInEveryPhraseBox() {
        writeDataFile("ab", kTwo);
        const std::string before = fileBytes(dataFilePath());
        const QString twoLines = QStringLiteral("ab\ncd");
        const std::function<void(QLineEdit*)> ways[] = {
            [&](QLineEdit* box) { box->setText(twoLines); },
            [&](QLineEdit* box) {
                box->clear();
                QApplication::clipboard()->setText(twoLines);
                box->paste();
            },
            [&](QLineEdit* box) {
                box->clear();
                box->insert(twoLines);
            },
        };
        for (const auto& putInto : ways) {
            ProgramAtKeyDialog program;
            auto& [main, key, c] = program;
            key.show();
            putInto(c.phraseEdit);
            QCOMPARE(c.phraseEdit->text(), twoLines);
            CLICK_WITH_BOXES(c.continueButton, {BoxKind::Warning, kPhraseControl});
            QVERIFY(key.isVisible());
            expectBox(BoxKind::Warning, kPhraseControl.left(kPhraseControl.indexOf(QLatin1String(" Please"))) +
                                            QStringLiteral(" Keyfold ends now, and nothing was shown or written."));
            key.close();
            VERIFY_BOXES();
            QVERIFY(!key.phraseOpened());
            typeRekey(c, QStringLiteral("ab"), QStringLiteral("new"));
            putInto(c.oldPhraseEdit);
            CLICK_WITH_BOXES(c.verifyButton, {BoxKind::Warning, kPhraseControl});
            c.oldPhraseEdit->setText(QStringLiteral("ab"));
            putInto(c.newPhraseEdit);
            CLICK_WITH_BOXES(c.verifyButton, {BoxKind::Warning, kPhraseControl});
            QVERIFY(main.session().cipher().phrase().empty());
            QVERIFY(main.countLabel()->text().isEmpty());
        }
        QCOMPARE(fileBytes(dataFilePath()), before);
    }

    void continueFailureKeepsTheDialogOpen() {
        writeDataFile("", {}, 1);  // a file of one slot cannot give its second
        ProgramAtKeyDialog program;
        auto& [main, key, c] = program;
        key.show();
        c.phraseEdit->setText(QStringLiteral(" k "));
        CLICK_WITH_BOXES(c.continueButton, {BoxKind::Error, QStringLiteral("Read beyond end of file\n") +
                                                                QString::fromStdString(dataFilePath())});
        QVERIFY(key.isVisible());
        QVERIFY(!main.session().dataFile().isOpen());
        QVERIFY(main.countLabel()->text().isEmpty());  // nothing loaded yet
        key.hide();
    }

    void verifyRefusesAnEmptyNewPhraseAndNoLeavesTheFile() {
        writeDataFile("old", kTwo);
        const std::string before = fileBytes(dataFilePath());
        ProgramAtKeyDialog program;
        auto& [main, key, c] = program;
        typeRekey(c, QStringLiteral(" old "), QStringLiteral("   "));
        c.verifyEdit->setText(QStringLiteral("stale"));
        CLICK_WITH_BOXES(c.verifyButton, {BoxKind::Plain, kSection});
        QCOMPARE(c.oldPhraseEdit->text(), QStringLiteral("old"));
        QCOMPARE(c.newPhraseEdit->text(), QString());
        QVERIFY(c.verifyEdit->text().isEmpty());
        QCOMPARE(fileBytes(dataFilePath()), before);

        c.newPhraseEdit->setText(QStringLiteral("new"));
        CLICK_WITH_BOXES(c.verifyButton, {BoxKind::PhrasePrompt, kOldPhraseAgain, true, QStringLiteral(" old ")},
                         {BoxKind::Confirm, kVerify, false}, {BoxKind::Plain, kCancelled});
        QCOMPARE(c.verifyEdit->text(), QStringLiteral("ZED"));  // lowest in-use slot
        QCOMPARE(fileBytes(dataFilePath()), before);
        // The old phrase typed again must be the box's: another phrase, one that only
        // looks alike, or none, changes nothing and asks nothing more.
        for (const QString& again : {QStringLiteral("olD"), QStringLiteral("ol d"), QStringLiteral("old\t1")}) {
            c.verifyEdit->clear();
            CLICK_WITH_BOXES(c.verifyButton, {BoxKind::PhrasePrompt, kOldPhraseAgain, true, again},
                             {BoxKind::Warning, kOldPhraseDiffers});
            QVERIFY(c.verifyEdit->text().isEmpty());
        }
        CLICK_WITH_BOXES(c.verifyButton, {BoxKind::PhrasePrompt, kOldPhraseAgain, false}, {BoxKind::Plain, kCancelled});
        QCOMPARE(fileBytes(dataFilePath()), before);
    }

    void completedRekeyOpensWithTheNewPhraseOnly() {
        writeDataFile("old", kTwo);
        {
            ProgramAtKeyDialog program;
            auto& [main, key, c] = program;
            typeRekey(c, QStringLiteral("old"), QStringLiteral("new"));
            CLICK_WITH_BOXES(c.verifyButton, {BoxKind::PhrasePrompt, kOldPhraseAgain, true, QStringLiteral("old")},
                             {BoxKind::Confirm, kVerify, true}, {BoxKind::Plain, kCompleted});
            QCOMPARE(c.verifyEdit->text(), QStringLiteral("ZED"));
        }
        const vault::SiteRecord r = readSlot(1, "new");
        QCOMPARE(r.name.str(), std::string("ABC"));
        QCOMPARE(r.password.str(), std::string("ap"));
        QCOMPARE(r.status.str(), std::string("A"));

        auto w = startProgram(QStringLiteral("new"));
        QCOMPARE(listLines(w.get()), QStringList({"ABC", "ZED"}));
        QCOMPARE(w->userIdEdit()->text(), QStringLiteral("au"));
        // The old phrase no longer opens the file; a re-key from it is refused too.
        expectBox(BoxKind::OpenAnyway, noAddressText(), false);
        w = startProgram(QStringLiteral("old"));
        QVERIFY(w->session().cipher().phrase().empty());
        const std::string rekeyed = fileBytes(dataFilePath());
        {
            ProgramAtKeyDialog program;
            auto& [main, key, c] = program;
            typeRekey(c, QStringLiteral("old"), QStringLiteral("third"));
            expectBox(BoxKind::PhrasePrompt, kOldPhraseAgain, true, QStringLiteral("old"));
            expectBox(BoxKind::Warning,
                      QStringLiteral("The old key phrase does not open the data file, so nothing was changed. Check "
                                     "the old phrase and try again."));
            c.verifyButton->click();
        }
        VERIFY_BOXES();
        QCOMPARE(fileBytes(dataFilePath()), rekeyed);
        // A sealed file's tag proves the old phrase: nothing more is asked.
        sealDataFile("new");
        {
            ProgramAtKeyDialog program;
            auto& [main, key, c] = program;
            main.session().setSealCost({1, 8192});
            typeRekey(c, QStringLiteral("new"), QStringLiteral("fourth"));
            CLICK_WITH_BOXES(c.verifyButton, {BoxKind::Confirm, kVerify, true}, {BoxKind::Plain, kCompleted});
        }
        QCOMPARE(listLines(startProgram(QStringLiteral("fourth")).get()), QStringList({"ABC", "ZED"}));
    }

    void rekeyFailingPartWayLeavesTheOldFile() {
        std::vector<Entry> many;
        for (int i = 0; i < 20; ++i) many.push_back({i, "A", "SITE" + std::to_string(i), "http://s", "u", "c", "p"});
        writeDataFile("old", many);
        const std::string before = fileBytes(dataFilePath());
        ProgramAtKeyDialog program;
        auto& [main, key, c] = program;
        typeRekey(c, QStringLiteral("old"), QStringLiteral("new"));
        expectBox(BoxKind::PhrasePrompt, kOldPhraseAgain, true, QStringLiteral("old"));
        expectBox(BoxKind::Confirm, kVerify, true);
        withFilesLimitedTo(5 * 1104, [&] { c.verifyButton->click(); });
        QCOMPARE(fileBytes(dataFilePath()), before);
        QCOMPARE(readSlot(19, "old").name.str(), std::string("SITE19"));
        // The dialog carries on: the file still opens under the old phrase.
        c.phraseEdit->setText(QStringLiteral("old"));
        key.show();
        c.continueButton->click();
        QCOMPARE(SiteList(main).count(), 20);
        QVERIFY(listLines(&main).contains(QStringLiteral("SITE7")));
        VERIFY_BOXES();
    }

    void aLinkToAnAbsentDriveIsNotReplacedByANewFile() {
        setupPaths();
        const std::string absent = paths().dataFolder + "/stick/KFOLD30.DAT";
        QCOMPARE(::symlink(absent.c_str(), dataFilePath().c_str()), 0);
        ProgramAtKeyDialog program;
        auto& [main, key, c] = program;
        key.show();
        CLICK_WITH_BOXES(
            c.continueButton,
            {BoxKind::Error, QStringLiteral("Your data file is a link to %1, which cannot be reached (is its "
                                            "drive attached?). No new data file was created.")
                                 .arg(QString::fromStdString(absent))});
        QVERIFY(vault::isDanglingLink(dataFilePath()));
    }

    void failedLegacyConversionIsReportedAndStartUpGoesOn() {
        setupPaths();
        // A legacy file of 400 slots.
        testsupport::writeBytes(
            paths().legacyFile,
            testsupport::legacyBytes(std::vector(400, testsupport::legacyRecord("A", "N", "", "", "", "", '\0'))));
        ProgramAtKeyDialog program(false);
        auto& [main, key, c] = program;
        withFilesLimitedTo(4 * 1104, [&] { key.prepare(); });
        QVERIFY(vault::fileExists(paths().legacyFile));
        QVERIFY(!vault::fileExists(dataFilePath()));
        // The phrase is still taken and the list loads.
        expectBox(BoxKind::Plain, kFirstRun);
        key.show();
        c.continueButton->click();
        VERIFY_BOXES();
        QVERIFY(!key.isVisible());
        QCOMPARE(main.countLabel()->text(), QStringLiteral("Total Sites = 0"));

        // A legacy file without one whole record is not converted, and the user is told so.
        QFile::remove(QString::fromStdString(dataFilePath()));
        testsupport::writeBytes(paths().legacyFile, std::string(1051 - 10, '\0'));
        KeyPhraseDialog again(&main.session());
        loadListWhenPhraseIsSet(again, main);
        const KeyDialogControls c2(again);
        expectBox(BoxKind::Warning,
                  QStringLiteral("The old data file %1 could not be converted and was left as it was.")
                      .arg(QString::fromStdString(paths().legacyFile)));
        again.prepare();
        VERIFY_BOXES();
        QCOMPARE(QFileInfo(QString::fromStdString(paths().legacyFile)).size(), 1051 - 10);
        QVERIFY(!vault::fileExists(dataFilePath()));
    }
};

QTEST_MAIN(KeyDialogTest)
#include "test_keydialog.moc"
