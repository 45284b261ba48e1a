// Start-up of the program: the main window's controls, the list loaded under the key
// phrase, the remembered size and masking state, the exit by Enter, the memory panel.
#include <QAccessible>
#include <QDir>
#include <functional>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QtTest>
#include <QGuiApplication>
#include <QScreen>
#include <tuple>

#include "platform/windows1252lineedit.h"
#include "platform/memory.h"
#include "platform/messages.h"
#include "platform/userkey.h"
#include "support.h"
#include "vault/locations.h"
#include "vault/session.h"
#include "vault/settings.h"
#include "windows/KeyPhraseDialog.h"
#include "windows/MainWindow.h"
#include "tests/support/controls.h"
#include "tests/support/vault_files.h"

using testsupport::SiteList;

using namespace gui_test;
using platform::BoxKind;
using platform::testing::expectBox;

namespace {
// Shows a key phrase dialog until the window, made with its controls waiting, has them
// and its look, still hidden behind the dialog.
void madeWhileTheKeyDialogShows(MainWindow& w) {
    KeyPhraseDialog key(&w.session());
    w.finishLookAfterFirstPaintOf(&key);
    key.show();
    // The window has no controls at all until they are made.
    QTRY_VERIFY(w.findChild<QPushButton*>() && !w.addButton()->icon().isNull());
    QVERIFY(w.isHidden());
    QVERIFY(key.isVisible());
}
}  // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void init() { freshStart(); }

    void controlsSitAtTheirPlaces() {
        MainWindow w;
        VERIFY_BOXES();
        QCOMPARE(w.windowTitle(), QStringLiteral("Keyfold"));
        // The list's own rectangle (its rows follow from it) and a place only the masked
        // window shows; the rest of the window is in the screenshots.
        QCOMPARE(w.siteList()->geometry(), QRect(8, 35, 251, 505));
        QCOMPARE(w.userHiddenLabel()->geometry(), QRect(274, 167, 111, 13));
        for (auto* box : {w.nameEdit(), w.websiteEdit(), w.commentsEdit(), w.userIdEdit(), w.passwordEdit()})
            QCOMPARE(box->maxLength(), box == w.passwordEdit() ? 25 : 255);
        // The filter keeps no hidden list box of its own.
        QCOMPARE(w.findChildren<QAbstractItemView*>().size(), 1);
        QCOMPARE(w.deleteButton()->toolTip(), QStringLiteral("Delete the highlighted site from your list"));
        QCOMPARE(w.changeLocationButton()->toolTip(),
                 QStringLiteral("For best security, store password data on a thumb drive or "
                                "memory card so it can be removed"));
        // The pictures and the list's font are there by the time the window shows.
        w.show();
        QVERIFY(QFontInfo(SiteList(w).view->font()).fixedPitch());
        QCOMPARE(w.defaultBrowserButton()->icon().cacheKey(), w.browserWindowButton()->icon().cacheKey());
        QVERIFY(!w.addButton()->icon().isNull());

        // Screen readers find the boxes by their labels' texts.
        QCOMPARE(SiteList(w).view->accessibleName(), QStringLiteral("Sites"));
        QCOMPARE(w.nameEdit()->accessibleName(), QStringLiteral("Name (Name to identify the website)"));
        QCOMPARE(w.passwordLabel()->buddy(), static_cast<QWidget*>(w.passwordEdit()));

        // Keyboard order of the boxes, then the three editing commands (by the controls'
        // object names, as the form names them).
        QCOMPARE(testsupport::tabOrderAfter(w.nameEdit(), 7),
                 QStringList({"Edwebsite", "EdComments", "EdUser", "Edpwd", "CmdAdd", "CmdUpdate", "CmdDelete"}));
    }

    // The button pictures and the list's font are made while the key dialog waits for
    // the phrase, with the main window still hidden; at the latest the list load makes
    // them, before its lines go in.
    void picturesAreMadeWhileTheKeyDialogWaits() {
        {
            MainWindow w;
            QVERIFY(w.addButton()->icon().isNull());
            madeWhileTheKeyDialogShows(w);
            QCOMPARE(w.defaultBrowserButton()->icon().cacheKey(), w.browserWindowButton()->icon().cacheKey());
            QVERIFY(QFontInfo(SiteList(w).view->font()).fixedPitch());
        }
        MainWindow w;
        w.loadAtStart();
        QVERIFY(w.isHidden());
        QVERIFY(!w.helpButton()->icon().isNull());
        QVERIFY(QFontInfo(SiteList(w).view->font()).fixedPitch());
    }

    void nameBoxIsUpperCaseAndEightBit() {
        MainWindow w;
        auto* name = w.nameEdit();
        auto* comments = w.commentsEdit();
        auto* password = w.passwordEdit();
        name->setText(QStringLiteral("ebay \u00e9t\u00e9"));
        QCOMPARE(name->text(), QStringLiteral("EBAY \u00c9T\u00c9"));
        name->clear();
        QTest::keyClicks(name, QStringLiteral("abc"));
        QCOMPARE(name->text(), QStringLiteral("ABC"));
        // Every box shows what it was given, also characters Windows-1252 cannot hold (Add
        // and Update refuse those); the name box upper-cases only where Windows-1252 can.
        comments->setText(QStringLiteral("\u20ac5 \u2713 \U0001F600"));
        QCOMPARE(comments->text(), QStringLiteral("\u20ac5 \u2713 \U0001F600"));
        QCOMPARE(platform::lackingWindows1252(comments->text()), std::u32string(U"\u2713\U0001F600"));
        password->setText(QString(30, QChar(0x2713)));
        QCOMPARE(password->text(), QString(25, QChar(0x2713)));
        name->setText(QStringLiteral("\u017c\u00f3\u0142w \u00ff"));
        QCOMPARE(name->text(), QStringLiteral("\u017c\u00d3\u0142W \u0178"));
        // The undefined codes of the code page survive the round trip.
        std::string all;
        for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
        QCOMPARE(platform::toWindows1252(platform::fromWindows1252(all)), all);
        // What a box would hold is what it holds once set: upper case, cut to length.
        const std::string lower = "ebay \xE9t\xE9 \xFF \xDF \x9A";
        for (const std::string& bytes : {all, lower, std::string(300, 'q'), std::string()}) {
            for (platform::Windows1252LineEdit* box : {name, w.websiteEdit(), password}) {
                const std::string expected = box->windows1252TextFor(bytes);
                box->setWindows1252Text(bytes);
                QCOMPARE(box->windows1252Text(), expected);
            }
        }
        QCOMPARE(name->windows1252TextFor(lower), std::string("EBAY \xC9T\xC9 \x9F \xDF \x8A"));
    }

    // The first start makes the sealed file under the phrase typed; a plain one under the
    // empty phrase or when the settings file asks for it, and the line under the seal box
    // then says what a plain file means.
    void firstStartCreatesTheFile() {
        const QString sealedPath = QString::fromStdString(dataFilePath()) + QStringLiteral(".sealed");
        const struct {
            QString phrase;
            bool plainInSettings;
            bool sealed;
            QString notice;  // empty: none shown
        } cases[] = {
            {QStringLiteral("k"), false, true, {}},
            {QStringLiteral("k"), true, false, kNotSealed},
            {QString(), false, false, kNotSealedNoPhrase},
        };
        for (const auto& c : cases) {
            freshStart();
            setupPaths();
            if (c.plainInSettings) vault::writeIniString(paths().settingsFile, "DataFile", "SealNewFile", "0");
            expectBox(BoxKind::Plain, kFirstRun);
            auto w = startProgram(c.phrase);
            VERIFY_BOXES();
            QCOMPARE(w->session().isSealed(), c.sealed);
            QCOMPARE(vault::fileExists(dataFilePath()), !c.sealed);
            QCOMPARE(QFile::exists(sealedPath), c.sealed);
            QCOMPARE(w->sealCheckBox()->isChecked(), c.sealed);
            QCOMPARE(w->locationLabel()->text(), c.sealed ? sealedPath : QString::fromStdString(dataFilePath()));
            const QLabel* notice = w->notSealedLabel();
            QCOMPARE(notice->isHidden(), c.notice.isEmpty());
            if (!c.notice.isEmpty()) QCOMPARE(notice->text(), c.notice);
            // The new file works at once and opens at the next start under its phrase.
            typeEntry(w.get(), "MAIL", "mail.example", "ann", "pw", "");
            expectBox(BoxKind::Plain, kAdded);
            w->addButton()->click();
            VERIFY_BOXES();
            vault::Session next(paths());
            QCOMPARE(next.openWithPhrase(c.phrase.toStdString()), vault::PhraseOutcome::Opened);
            QCOMPARE(next.listNames(), std::vector<std::string>{"MAIL"});
        }
        freshStart();
        expectBox(BoxKind::Plain, kFirstRun);
        auto w = startProgram(QString());
        VERIFY_BOXES();
        QVERIFY(vault::directoryExists(paths().dataFolder));
        QCOMPARE(fileBytes(dataFilePath()), std::string(1104000, '\0'));
        QCOMPARE(SiteList(w).count(), 0);
        QCOMPARE(w->countLabel()->text(), QStringLiteral("Total Sites = 0"));
        QCOMPARE(w->locationLabel()->text(), QString::fromStdString(dataFilePath()));
        const QString totalLine = w->memoryTotalLabel()->text();
        QVERIFY(totalLine.startsWith(QStringLiteral("RAM memory on your system   : ")));
        QVERIFY(totalLine.endsWith(QLatin1Char('k')));
        QVERIFY(w->nameEdit()->text().isEmpty());
    }

    void firstStartClosedByTheCloseButtonAsksBeforeCreating() {
        expectNoDataFileBoxes(false);
        auto w = startProgram(QString(), false);
        VERIFY_BOXES();
        QVERIFY(!vault::fileExists(dataFilePath()));
        QCOMPARE(w->countLabel()->text(), QStringLiteral("Total Sites = 0"));

        expectNoDataFileBoxes(true);
        w = startProgram(QString(), false);
        VERIFY_BOXES();
        QCOMPARE(fileBytes(dataFilePath()).size(), std::size_t(1104000));

        // Under a phrase, the file made there is the sealed one too.
        freshStart();
        expectNoDataFileBoxes(true);
        w = startProgram(QStringLiteral("k"), false);
        VERIFY_BOXES();
        QVERIFY(!vault::fileExists(dataFilePath()));
        QVERIFY(w->session().isSealed());
        QVERIFY(w->sealCheckBox()->isChecked());
        QVERIFY(w->notSealedLabel()->isHidden());
    }

    // A first phrase that cannot be used is refused before the file is made: nothing is
    // left behind, and the next phrase makes it.
    void refusedFirstPhraseLeavesNoFile() {
        ProgramAtKeyDialog program;
        auto& [main, key, c] = program;
        key.show();
        c.phraseEdit->setText(QString(256, QLatin1Char('a')));
        expectBox(BoxKind::Warning,
                  QStringLiteral("The key phrase is longer than 255 characters. Please type a shorter one."));
        c.continueButton->click();
        VERIFY_BOXES();
        QVERIFY(key.isVisible());
        QVERIFY(!main.session().dataFileExists());
        QVERIFY(!vault::fileExists(vault::tempNameFor(dataFilePath())));
        c.phraseEdit->setText(QStringLiteral(" k "));
        expectBox(BoxKind::Plain, kFirstRun);
        c.continueButton->click();
        VERIFY_BOXES();
        QVERIFY(!key.isVisible());
        QVERIFY(main.session().isSealed());
        QCOMPARE(c.phraseEdit->text(), QStringLiteral("k"));  // the phrase as taken
        vault::Session next(paths());
        QCOMPARE(next.openWithPhrase("k"), vault::PhraseOutcome::Opened);
    }

    void listIsSortedAndTheFirstLineShown() {
        writeDataFile("secret", {{0, "A", "ZED", "http://zed.example", "zu", "zc", "zp"},
                                 {1, "D", "", "", "", "", ""},
                                 {2, "U", "ABC", "http://abc.example", "au", "ac", "ap"},
                                 {4, "A", "NEVER", "", "", "", ""}});  // behind a never-used slot
        auto w = startProgram(QStringLiteral("secret"));
        VERIFY_BOXES();
        QCOMPARE(listLines(w.get()), QStringList({"ABC", "ZED"}));
        QCOMPARE(SiteList(w).currentRow(), 0);
        for (const auto& [box, text] : {std::pair{w->nameEdit(), "ABC"},
                                        {w->websiteEdit(), "http://abc.example"},
                                        {w->userIdEdit(), "au"},
                                        {w->commentsEdit(), "ac"},
                                        {w->passwordEdit(), "ap"}})
            QCOMPARE(box->text(), QString::fromLatin1(text));
        QCOMPARE(w->countLabel()->text(), QStringLiteral("Total Sites = 2"));
    }

    // A wrong phrase is caught before anything is shown or written: by Continue and by
    // the close button, on a plain file (its addresses) and on a sealed one (its tag).
    // Only a plain file can be opened anyway, at the user's word.
    void wrongPhraseIsCaughtBeforeAnythingIsShownOrWritten() {
        for (bool sealed : {false, true}) {
            for (bool byContinue : {true, false}) {
                freshStart();
                writeDataFile("secret", {{0, "A", "ZED", "w", "u", "c", "p"}, {1, "A", "ABC", "w", "u", "c", "p"}});
                if (sealed) sealDataFile("secret");
                const std::string file = dataFilePath() + (sealed ? ".sealed" : "");
                const std::string before = fileBytes(file);
                ProgramAtKeyDialog program;
                auto& [main, key, c] = program;
                key.show();
                c.phraseEdit->setText(QStringLiteral("xecret"));
                // The close button then ends Keyfold: its message asks for no new try.
                if (sealed)
                    expectBox(BoxKind::Warning, sealedRefusesText(!byContinue));
                else
                    expectBox(BoxKind::OpenAnyway, noAddressText(!byContinue), false);
                if (byContinue)
                    c.continueButton->click();
                else
                    key.close();
                VERIFY_BOXES();
                QCOMPARE(key.phraseOpened(), false);
                QVERIFY(main.session().cipher().phrase().empty());
                QCOMPARE(fileBytes(file), before);
                QCOMPARE(key.isVisible(), byContinue);  // the close button then ends the program
                if (!byContinue) continue;
                // The right phrase then opens it; a plain file also opens anyway.
                c.phraseEdit->setText(sealed ? QStringLiteral("secret") : QStringLiteral("xecret"));
                if (!sealed) expectBox(BoxKind::OpenAnyway, noAddressText(), true);
                c.continueButton->click();
                VERIFY_BOXES();
                QVERIFY(key.phraseOpened());
                QCOMPARE(listLines(&main).size(), 2);
                QCOMPARE(listLines(&main).contains(QStringLiteral("ABC")), sealed);
                QCOMPARE(main.sealCheckBox()->isChecked(), sealed);
                // A plain file that is there stays plain, and the window says what that means.
                QCOMPARE(vault::fileExists(dataFilePath()), !sealed);
                QCOMPARE(main.notSealedLabel()->isHidden(), sealed);
            }
        }
    }

    // A sealed file whose image was damaged is told from a wrong phrase: the right phrase
    // is told to reach for a backup, a wrong one to check the phrase; the file stays as
    // it was and the dialog stays open.
    void damagedSealedFileIsToldFromAWrongPhrase() {
        freshStart();
        writeDataFile("secret", {{0, "A", "ABC", "w", "u", "c", "p"}});
        sealDataFile("secret");
        const std::string file = dataFilePath() + ".sealed";
        std::string damaged = fileBytes(file);
        damaged[damaged.size() - 20] ^= 0x01;
        testsupport::writeBytes(file, damaged);
        const QString damagedText =
            QStringLiteral(
                "The sealed data file %1 has been damaged or altered, so Keyfold does not read it and nothing was "
                "saved. Keep the file as it is and use a backup copy.")
                .arg(QString::fromStdString(file));
        ProgramAtKeyDialog program;
        auto& [main, key, c] = program;
        key.show();
        for (const auto& [phrase, kind, text] : {std::tuple{"secret", BoxKind::Error, damagedText},
                                                 std::tuple{"xecret", BoxKind::Warning, sealedRefusesText()}}) {
            c.phraseEdit->setText(QString::fromLatin1(phrase));
            expectBox(kind, text);
            c.continueButton->click();
            VERIFY_BOXES();
            QVERIFY(!key.phraseOpened());
            QVERIFY(key.isVisible());
            QVERIFY(c.continueButton->isEnabled());
            QCOMPARE(fileBytes(file), damaged);
        }
    }

    // The seal box acts on every way the user turns it: the mouse, the space bar, and an
    // assistive tool's toggle and press actions. With both files there it writes nothing
    // and says which file stays.
    void sealBoxActsOnEveryWayItIsTurned() {
        freshStart();
        writeDataFile("k", {{0, "A", "MAIL", "http://mail.example", "u", "", "pw"}});
        const QString plain = QString::fromStdString(dataFilePath());
        const QString sealed = plain + QStringLiteral(".sealed");
        auto w = startProgram(QStringLiteral("k"));
        w->session().setSealCost({1, 8192});
        QCheckBox* box = w->sealCheckBox();
        QAccessibleActionInterface* actions = QAccessible::queryAccessibleInterface(box)->actionInterface();
        QVERIFY(actions);
        const struct {
            const char* how;
            std::function<void()> turn;
        } ways[] = {
            {"mouse", [&] { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2)); }},
            {"space bar",
             [&] {
                 box->setFocus();
                 QTest::keyClick(box, Qt::Key_Space);
             }},
            {"toggle action", [&] { actions->doAction(QAccessibleActionInterface::toggleAction()); }},
            {"press action", [&] { actions->doAction(QAccessibleActionInterface::pressAction()); }},
        };
        for (const auto& way : ways) {
            for (bool sealing : {true, false}) {
                const QString what = QString::fromLatin1(way.how) + (sealing ? " seals" : " unseals");
                expectBox(BoxKind::Confirm, sealing ? kSealQuestion : kUnsealQuestion);
                if (sealing) expectBox(BoxKind::PhrasePrompt, kSealPhraseAgain, true, QStringLiteral("k"));
                expectBox(BoxKind::Information, sealing
                                                    ? QStringLiteral("The data file is sealed:\n") + sealed
                                                    : QStringLiteral("The data file is no longer sealed:\n") + plain);
                way.turn();
                QTRY_COMPARE_WITH_TIMEOUT(QFile::exists(sealed), sealing, 2000);  // a press action clicks later
                VERIFY_BOXES();
                QVERIFY2(QFile::exists(plain) != sealing, qPrintable(what));
                QCOMPARE(box->isChecked(), sealing);
            }
        }

        // Both files there: unsealing would replace the plain one, which may hold more.
        expectBox(BoxKind::Confirm, kSealQuestion);
        expectBox(BoxKind::PhrasePrompt, kSealPhraseAgain, true, QStringLiteral("k"));
        expectBox(BoxKind::Information, QStringLiteral("The data file is sealed:\n") + sealed);
        box->click();
        VERIFY_BOXES();
        writeDataFile("k", {{0, "A", "OLDER", "http://older.example", "u", "", "pw"}});
        const std::string plainBytes = fileBytes(dataFilePath()), sealedBytes = fileBytes(sealed.toStdString());
        expectBox(BoxKind::Confirm, kUnsealQuestion);
        expectBox(BoxKind::Warning,
                  QStringLiteral("The data file stays sealed: Keyfold uses the sealed data file %1, and it stays.\n\n"
                                 "The plain data file %2 lies beside it. It may hold entries the sealed file lacks "
                                 "(older versions of Keyfold write only that file; a seal or unseal that stopped "
                                 "part-way leaves it too), so Keyfold does not replace it. Nothing was written.\n\n"
                                 "Move or delete the plain data file, then untick the box again.")
                      .arg(sealed, plain));
        actions->doAction(QAccessibleActionInterface::toggleAction());
        VERIFY_BOXES();
        QVERIFY(box->isChecked());
        QCOMPARE(fileBytes(dataFilePath()), plainBytes);
        QCOMPARE(fileBytes(sealed.toStdString()), sealedBytes);
    }

    void sizeAndMaskingAreRestoredAndSaved() {
        setupPaths();
        vault::saveSize("Frmfirst", paths().settingsFile, 0, 700);
        platform::writeUserKeyBool(QStringLiteral("Show"), false);
        const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
        {
            // At the program's start the controls wait for the key dialog's paint; the
            // size and masking state are read at creation, in force once they exist.
            MainWindow late(nullptr, MainWindow::Controls::AfterKeyDialog);
            QVERIFY(late.findChildren<QWidget*>().isEmpty());
            vault::saveSize("Frmfirst", paths().settingsFile, 0, 0);
            platform::writeUserKeyBool(QStringLiteral("Show"), true);
            madeWhileTheKeyDialogShows(late);
            QCOMPARE(late.height(), std::min(700, room.height()));
            QVERIFY(late.userIdEdit()->isHidden());
            QCOMPARE(late.maskingButton()->text(), QStringLiteral("S"));
            vault::saveSize("Frmfirst", paths().settingsFile, 0, 700);
            platform::writeUserKeyBool(QStringLiteral("Show"), false);
        }
        {
            MainWindow w;
            QCOMPARE(w.width(), 666);  // 0 keeps the designed width
            QCOMPARE(w.height(), std::min(700, room.height()));
            QVERIFY(w.userIdEdit()->isHidden());
            QVERIFY(w.passwordEdit()->isHidden());
            QVERIFY(!w.userHiddenLabel()->isHidden());
            QVERIFY(!w.passwordHiddenLabel()->isHidden());
            QCOMPARE(w.maskingButton()->text(), QStringLiteral("S"));
            w.resize(700, 650);
            w.toggleMasking();
            w.close();
        }
        QCOMPARE(vault::readWidth("Frmfirst", paths().settingsFile), 700);
        QCOMPARE(vault::readHeight("Frmfirst", paths().settingsFile), 650);
        QCOMPARE(platform::readUserKeyBool(QStringLiteral("Show")), std::optional<bool>(true));

        // A size beyond the screen is kept within it; one too small grows to show every control.
        for (int size : {30000, 60}) {
            vault::saveSize("Frmfirst", paths().settingsFile, size, size);
            MainWindow w;
            const QRect controls = w.childrenRect();
            QCOMPARE(w.size(), size > 60 ? room.size()
                                         : QSize(std::min(controls.right() + 1 + controls.left(), room.width()),
                                                 std::min(controls.bottom() + 1 + controls.top(), room.height())));
        }
        vault::saveSize("Frmfirst", paths().settingsFile, 0, 0);

        // A value of another type than an integer reads as absent: the boxes show.
        {
            QSettings key(QSettings::NativeFormat, QSettings::UserScope, "Quorvel", "Keyfold");
            key.setValue("Show", QStringLiteral("no"));
        }
        QCOMPARE(platform::readUserKeyBool(QStringLiteral("Show")), std::optional<bool>());
        MainWindow w;
        QVERIFY(!w.userIdEdit()->isHidden());
        QCOMPARE(w.maskingButton()->text(), QStringLiteral("H"));
        QVERIFY(w.userHiddenLabel()->isHidden());
        VERIFY_BOXES();
    }

    void closeGoesOnWhenTheSizeCannotBeWritten() {
        MainWindow w;
        w.show();
        w.toggleMasking();
        QDir(QString::fromStdString(paths().dataFolder)).removeRecursively();
        expectBox(BoxKind::Error,
                  QStringLiteral("Unable to write to %1").arg(QString::fromStdString(paths().settingsFile)));
        w.close();
        VERIFY_BOXES();
        QVERIFY(!w.isVisible());
        QCOMPARE(platform::readUserKeyBool(QStringLiteral("Show")), std::optional<bool>(false));
    }

    void enterInTheNameBoxClosesTheProgram() {
        writeDataFile("", {{0, "A", "ABC", "w", "u", "c", "p"}});
        auto w = startProgram(QString());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->toggleMasking();
        w->nameEdit()->setFocus();
        QTest::keyClick(w->nameEdit(), Qt::Key_Escape);
        QVERIFY(w->isVisible());  // Escape does nothing
        QTest::keyClick(w->nameEdit(), Qt::Key_Return);
        QVERIFY(!w->isVisible());
        VERIFY_BOXES();
        QCOMPARE(vault::readWidth("Frmfirst", paths().settingsFile), w->frameGeometry().width());
        QCOMPARE(vault::readHeight("Frmfirst", paths().settingsFile), w->frameGeometry().height());
        QCOMPARE(platform::readUserKeyBool(QStringLiteral("Show")), std::optional<bool>(false));

        // Enter on a button presses that button, not Exit.
        auto again = startProgram(QString());
        again->show();
        QVERIFY(QTest::qWaitForWindowExposed(again.get()));
        again->maskingButton()->setFocus();
        QTest::keyClick(again->maskingButton(), Qt::Key_Return);
        QVERIFY(again->isVisible());
        QCOMPARE(again->maskingButton()->text(),
                 QStringLiteral("H"));  // masked state was restored, then toggled
        // Enter in the list is Exit as well.
        SiteList(again).view->setFocus();
        QTest::keyClick(SiteList(again).view, Qt::Key_Return);
        QVERIFY(!again->isVisible());
        QCOMPARE(platform::readUserKeyBool(QStringLiteral("Show")), std::optional<bool>(true));
        VERIFY_BOXES();
    }

    // Enter never drops typed work: where a box holds text that differs from the entry on
    // show (or any text, with no entry shown), it asks first, No the default; No keeps
    // the program and the text, Yes ends it as before.
    void enterAsksBeforeDroppingTypedWork() {
        const QString question = QStringLiteral(
            "What you typed in the boxes has not been added or updated. Exit anyway and lose it? "
            "(Click \"No\" to keep it and go on.)");
        std::unique_ptr<QMessageBox> box(platform::testing::makeBox(platform::BoxKind::ConfirmNo, question));
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
        const struct {
            bool emptyList;
            EntryBox box;      // typed into (nullptr: nothing)
            QString typed;     // appended; "\b" takes the last character back out
            EntryBox enterIn;  // a box, or nullptr: the list
            bool asked, answer, ends;
        } cases[] = {
            {false, nullptr, {}, &MainWindow::commentsEdit, false, false, true},
            {false, &MainWindow::commentsEdit, QStringLiteral("x"), &MainWindow::nameEdit, true, false, false},
            {false, &MainWindow::passwordEdit, QStringLiteral("2"), nullptr, true, true, true},
            {false, &MainWindow::userIdEdit, QStringLiteral("x\b"), nullptr, false, false,
             true},  // the same text again
            {false, &MainWindow::nameEdit, QStringLiteral("\b"), &MainWindow::websiteEdit, true, false, false},
            {true, nullptr, {}, &MainWindow::nameEdit, false, false, true},
            {true, &MainWindow::nameEdit, QStringLiteral("new"), &MainWindow::nameEdit, true, false, false},
            {true, &MainWindow::commentsEdit, QStringLiteral(" "), &MainWindow::commentsEdit, true, true, true},
        };
        for (const auto& c : cases) {
            freshStart();
            if (c.emptyList)
                writeDataFile("", {});
            else
                writeDataFile("", {{0, "A", "ABC", "http://abc", "u", "c", "p"}});
            auto w = startProgram(QString());
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w.get()));
            QString expectedText;
            if (c.box) {
                auto* edit = (w.get()->*c.box)();
                edit->setFocus();
                edit->end(false);
                for (QChar ch : c.typed)
                    if (ch == QLatin1Char('\b'))
                        QTest::keyClick(edit, Qt::Key_Backspace);
                    else
                        QTest::keyClicks(edit, QString(ch));
                expectedText = edit->text();
            }
            if (c.asked) platform::testing::expectBox(platform::BoxKind::ConfirmNo, question, c.answer);
            QWidget* target = c.enterIn ? static_cast<QWidget*>((w.get()->*c.enterIn)()) : SiteList(w).view;
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Return);
            VERIFY_BOXES();
            QVERIFY2(w->isVisible() == !c.ends,
                     c.box ? qPrintable((w.get()->*c.box)()->objectName()) : "nothing typed");
            if (c.box && !c.ends) QCOMPARE((w.get()->*c.box)()->text(), expectedText);
        }
    }

    void memoryPanelLines() {
        platform::MemoryLines l = platform::memoryLines(2048, 1024);
        QCOMPARE(l.total, QStringLiteral("RAM memory on your system   : 2048k"));
        QCOMPARE(l.available, QStringLiteral("RAM memory currently available    : 1024k"));
        QCOMPARE(l.percent, QStringLiteral("RAM memory available: 51%"));
        // Below 100 MB the share is still defined.
        QCOMPARE(platform::memoryLines(64, 16).percent, QStringLiteral("RAM memory available: 25%"));
        QCOMPARE(platform::memoryLines(0, 0).percent, QStringLiteral("RAM memory available: 0%"));
        // Halves go to the even megabyte.
        QCOMPARE(platform::megabytesRounded(1572864), std::int64_t(2));  // 1.5
        QCOMPARE(platform::megabytesRounded(2621440), std::int64_t(2));  // 2.5
        QCOMPARE(platform::megabytesRounded(2621441), std::int64_t(3));
        QCOMPARE(platform::megabytesRounded(524288), std::int64_t(0));  // 0.5
        QVERIFY(platform::memoryFigure(platform::MemoryKind::TotalPhysical) > 0);
        QVERIFY(platform::memoryFigure(platform::MemoryKind::AvailablePhysical) <=
                platform::memoryFigure(platform::MemoryKind::TotalPhysical));
    }

    void unexpectedBoxesAreReported() {
        platform::showPlain(QStringLiteral("surprise"));
        expectBox(BoxKind::Information, QStringLiteral("x"));
        platform::showWarning(QStringLiteral("x"));
        QCOMPARE(platform::testing::takeFailures().size(), 2);
        QCOMPARE(platform::testing::pendingCount(), 0);
        // What leaves a handler becomes the error box with its own text.
        expectBox(BoxKind::Error, QStringLiteral("Disk full"));
        platform::runGuarded([] { throw std::runtime_error("Disk full"); });
        VERIFY_BOXES();
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
