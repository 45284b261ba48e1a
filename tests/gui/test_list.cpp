// Working with the list: selection, the filter, Refresh, masking, copying and pasting.
#include <QAccessible>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QMenu>
#include <QContextMenuEvent>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include "platform/clipboard.h"
#include "platform/messages.h"
#include "support.h"
#include "vault/locations.h"
#include "vault/settings.h"
#include "windows/MainWindow.h"
#include "platform/windows1252lineedit.h"
#include <QFrame>
#include "tests/support/controls.h"

using testsupport::SiteList;

using namespace gui_test;
using platform::BoxKind;
using platform::testing::expectBox;

bool onWayland() { return QGuiApplication::platformName() == QLatin1String("wayland"); }
bool onX11() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

// What another program pastes from the clipboard (wl-paste under Wayland, xclip on
// X11); "(no paste)" when it finds nothing.
QString pastedElsewhere() {
    QProcess paste;
    if (onWayland())
        paste.start(QStringLiteral("wl-paste"), {"--no-newline"});
    else
        paste.start(QStringLiteral("xclip"), {"-o", "-selection", "clipboard"});
    // The program answers the paste from its own event loop.
    QElapsedTimer waited;
    waited.start();
    while (paste.state() != QProcess::NotRunning && waited.elapsed() < 5000) QTest::qWait(20);
    return paste.exitCode() == 0 ? QString::fromUtf8(paste.readAllStandardOutput()) : QStringLiteral("(no paste)");
}

class ListTest : public QObject {
    Q_OBJECT
private slots:
    void init() { freshStart(); }

    void selectingALineShowsItsEntry() {
        const std::string longText(200, 'w');
        writeDataFile("k", {{0, "A", "MAIL", "http://mail/" + longText, "mu" + longText, "mc" + longText, "mp"},
                            {1, "A", "BANK", "http://bank", "bu", "bc", "bp"},
                            {2, "A", "BANK", "http://bank2", "b2", "c2", "p2"}});
        auto w = startProgram(QStringLiteral("k"));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(listLines(w.get()), QStringList({"BANK", "BANK", "MAIL"}));
        // A real click on MAIL.
        const QRect mailRect = SiteList(w).rowRect(2);
        QTest::mouseClick(SiteList(w).view->viewport(), Qt::LeftButton, {}, mailRect.center());
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("MAIL"));
        QCOMPARE(w->passwordEdit()->text(), QStringLiteral("mp"));
        // Long texts show their start.
        for (const auto* box : {w->nameEdit(), w->websiteEdit(), w->userIdEdit(), w->commentsEdit(), w->passwordEdit()})
            QCOMPARE(box->cursorPosition(), 0);
        // The keyboard moves the selection too; both BANK lines show the lower slot.
        SiteList(w).view->setFocus();
        QTest::keyClick(SiteList(w).view, Qt::Key_Up);
        QCOMPARE(SiteList(w).currentRow(), 1);
        QCOMPARE(w->websiteEdit()->text(), QStringLiteral("http://bank"));
        // Pressing on one line and letting go on another selects that one: it is shown.
        QWidget* view = SiteList(w).view->viewport();
        const QPoint from = SiteList(w).rowRect(0).center();
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QMouseEvent drag(QEvent::MouseMove, QPointF(mailRect.center()), QPointF(view->mapToGlobal(mailRect.center())),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(view, &drag);
        QTest::mouseRelease(view, Qt::LeftButton, {}, mailRect.center());
        QCOMPARE(SiteList(w).currentRow(), 2);
        QTRY_COMPARE(w->nameEdit()->text(), QStringLiteral("MAIL"));
        QCOMPARE(w->passwordEdit()->text(), QStringLiteral("mp"));
        QCOMPARE(w->userIdEdit()->cursorPosition(), 0);
        // A line whose entry another copy has deleted since leaves the boxes as they are,
        // without a message.
        writeDataFile("k", {{0, "D", "", "", "", "", ""},
                            {1, "A", "BANK", "http://bank", "bu", "bc", "bp"},
                            {2, "A", "BANK", "http://bank2", "b2", "c2", "p2"}});
        SiteList(w).setCurrentRow(2);
        w->showSelectedEntry();
        QCOMPARE(w->passwordEdit()->text(), QStringLiteral("mp"));
        VERIFY_BOXES();
        w->hide();
    }

    void filterNarrowsAndRefreshRestores() {
        writeDataFile("", {{0, "A", "AMAZON", "http://amazon", "", "", ""},
                           {1, "A", "BANK", "http://bank", "", "", ""},
                           {2, "A", "MAIL", "http://mail", "mu", "", "mp"},
                           {3, "A", "MY BANK", "http://mybank", "", "", ""}});
        auto w = startProgram(QString());
        QCOMPARE(w->countLabel()->text(), QStringLiteral("Total Sites = 4"));
        QTest::keyClicks(w->filterEdit(), QStringLiteral("a"));
        QCOMPARE(listLines(w.get()), QStringList({"AMAZON", "BANK", "MAIL", "MY BANK"}));
        QTest::keyClicks(w->filterEdit(), QStringLiteral("m"));
        QCOMPARE(listLines(w.get()), QStringList({"AMAZON"}));
        QCOMPARE(SiteList(w).currentRow(), -1);
        QTest::keyClick(w->filterEdit(), Qt::Key_Backspace);
        QCOMPARE(listLines(w.get()), QStringList({"AMAZON"}));
        QCOMPARE(w->countLabel()->text(), QStringLiteral("Total Sites = 4"));
        QCOMPARE(w->nameEdit()->text(),
                 QStringLiteral("AMAZON"));  // boxes keep their entry

        w->refreshButton()->click();
        QCOMPARE(w->filterEdit()->text(), QString());
        QCOMPARE(listLines(w.get()), QStringList({"AMAZON", "BANK", "MAIL", "MY BANK"}));
        QCOMPARE(SiteList(w).currentRow(), -1);
        QCOMPARE(w->nameEdit()->text(),
                 QStringLiteral("MY BANK"));  // last in-use slot of the file
        QCOMPARE(w->countLabel()->text(), QStringLiteral("Total Sites = 4"));

        // Blanks only do nothing; a leading blank is part of the filter.
        w->filterEdit()->setText(QStringLiteral("   "));
        QCOMPARE(SiteList(w).count(), 4);
        w->filterEdit()->setText(QStringLiteral(" b"));
        QCOMPARE(listLines(w.get()), QStringList({"MY BANK"}));

        // A character the data file cannot hold is kept as typed and found in no name,
        // not even in one holding the "?" it would be in 8-bit text.
        writeDataFile("", {{0, "A", "WHAT?", "http://what", "", "", ""}, {1, "A", "MAIL", "http://mail", "", "", ""}});
        const struct {
            QString typed;
            QStringList lines;
        } filters[] = {{QStringLiteral("?"), {"WHAT?"}},
                       {QString::fromUtf8("\xc5\x9d"), {}},
                       {QString::fromUtf8("wh\xc5\x9d"), {}},
                       {QString::fromUtf8("\xc3\xa9"), {}}};
        for (const auto& f : filters) {
            w->refreshButton()->click();
            w->filterEdit()->setText(f.typed);
            QCOMPARE(w->filterEdit()->text(), f.typed);
            QCOMPARE(listLines(w.get()), f.lines);
        }
        VERIFY_BOXES();
    }

    void maskingCopyingAndPasting() {
        writeDataFile("", {{0, "A", "MAIL", "http://mail", "me@mail", "", "Secret12"}});
        auto w = startProgram(QString());
        w->maskingButton()->click();
        QVERIFY(w->userIdEdit()->isHidden());
        QVERIFY(!w->userHiddenLabel()->isHidden());
        QCOMPARE(w->maskingButton()->text(), QStringLiteral("S"));
        QCOMPARE(w->passwordHiddenLabel()->geometry().topLeft(), QPoint(274, 212));

        // Copying works masked too; the panel flashes and stays a shade darker.
        // The black lasts about a tenth of a second, long enough to be seen.
        QCOMPARE(w->panel()->palette().color(QPalette::Window), QColor(239, 239, 239));
        QElapsedTimer flash;
        flash.start();
        w->copyPasswordButton()->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Secret12"));
        QCOMPARE(w->panel()->palette().color(QPalette::Window), QColor(Qt::black));
        QTRY_COMPARE(w->panel()->palette().color(QPalette::Window), QColor(232, 232, 232));
        QVERIFY2(flash.elapsed() >= 90, qPrintable(QString::number(flash.elapsed())));
        w->copyUserIdButton()->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("me@mail"));
        QTRY_COMPARE(w->panel()->palette().color(QPalette::Window), QColor(232, 232, 232));
        // Screen readers tell the one-letter buttons apart by what they do.
        auto spoken = [](QWidget* b) { return QAccessible::queryAccessibleInterface(b)->text(QAccessible::Name); };
        QCOMPARE(spoken(w->copyUserIdButton()), QStringLiteral("Copy User ID"));
        QCOMPARE(spoken(w->copyPasswordButton()), QStringLiteral("Copy Password"));
        QCOMPARE(spoken(w->maskingButton()), QStringLiteral("Show User ID and Password"));
        w->maskingButton()->click();
        QVERIFY(!w->userIdEdit()->isHidden());
        QVERIFY(w->passwordHiddenLabel()->isHidden());
        QCOMPARE(w->maskingButton()->text(), QStringLiteral("H"));
        QCOMPARE(spoken(w->maskingButton()), QStringLiteral("Hide User ID and Password"));

        // A double click pastes through the box's own paste: its limits apply.
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QGuiApplication::clipboard()->setText(QString(30, QLatin1Char('z')));
        QTest::mouseDClick(w->passwordEdit(), Qt::LeftButton);
        QCOMPARE(w->passwordEdit()->text(), QString(25, QLatin1Char('z')));
        QGuiApplication::clipboard()->setText(QStringLiteral("my bank \u00e9"));
        QTest::mouseDClick(w->nameEdit(), Qt::LeftButton);
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("MY BANK \u00c9"));
        QGuiApplication::clipboard()->setText(QStringLiteral("note"));
        w->pasteInto(w->commentsEdit());
        QCOMPARE(w->commentsEdit()->text(), QStringLiteral("note"));
        QGuiApplication::clipboard()->clear();
        w->pasteInto(w->websiteEdit());
        QCOMPARE(w->websiteEdit()->text(), QString());
        QCOMPARE(w->websiteEdit()->contextMenuPolicy(), Qt::DefaultContextMenu);

        // A pasted line break ends what a one-line box takes, by double click or keyboard.
        QGuiApplication::clipboard()->setText(QStringLiteral("line one\nline two"));
        QTest::mouseDClick(w->nameEdit(), Qt::LeftButton);
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("LINE ONE"));
        QGuiApplication::clipboard()->setText(QStringLiteral("first\r\nsecond"));
        w->commentsEdit()->setFocus();
        w->commentsEdit()->selectAll();
        QTest::keyClick(w->commentsEdit(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->commentsEdit()->text(), QStringLiteral("first"));
        // The box's context menu pastes the same way.
        QGuiApplication::clipboard()->setText(QStringLiteral("menu\rtext"));
        w->commentsEdit()->selectAll();
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    w->commentsEdit()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(w->commentsEdit(), &menuEvent);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction* pasteAction = nullptr;
        for (QAction* a : menu->actions())
            if (a->text().startsWith(QStringLiteral("&Paste"))) pasteAction = a;
        QVERIFY(pasteAction);
        pasteAction->trigger();
        menu->close();
        QCOMPARE(w->commentsEdit()->text(), QStringLiteral("menu"));
        QGuiApplication::clipboard()->setText(QStringLiteral("\nhidden"));
        w->pasteInto(w->userIdEdit());
        QCOMPARE(w->userIdEdit()->text(), QString());

        // Typing and pasting into the upper-case Name box can be undone step by step.
        w->nameEdit()->clear();
        QTest::keyClicks(w->nameEdit(), QStringLiteral("ab"));
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("AB"));
        QGuiApplication::clipboard()->setText(QStringLiteral(" cd\nef"));
        QTest::keyClick(w->nameEdit(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("AB CD"));
        QVERIFY(w->nameEdit()->isUndoAvailable());
        QTest::keyClick(w->nameEdit(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("AB"));
        VERIFY_BOXES();
        w->hide();
    }

    void copiedSecretsLeaveTheClipboard() {
        writeDataFile("", {{0, "A", "MAIL", "http://mail", "me@mail", "", "Secret12"}});
        auto w = startProgram(QString());
        QClipboard* clipboard = QGuiApplication::clipboard();
        const std::string ini = paths().settingsFile;
        auto clearAfter = [&](const char* value) { vault::writeIniString(ini, "Clipboard", "ClearAfter", value); };

        // The delay: 10 s unless set; 0 is never; anything unreadable is the default.
        QCOMPARE(platform::clipboardClearSeconds(), 10);
        for (auto [text, seconds] : {std::pair{"0", 0}, {"$1E", 30}, {" 7 ", 7}, {"-5", 10}, {"soon", 10}}) {
            clearAfter(text);
            QCOMPARE(platform::clipboardClearSeconds(), seconds);
        }

        // Marked as a secret beside the text, and gone after the delay.
        clearAfter("1");
        w->copyPasswordButton()->click();
        QCOMPARE(clipboard->text(), QStringLiteral("Secret12"));
        QCOMPARE(clipboard->mimeData()->data(QStringLiteral("x-kde-passwordManagerHint")), QByteArray("secret"));
        QTRY_COMPARE_WITH_TIMEOUT(clipboard->text(), QString(), 3000);

        // A newer copy is never wiped, even one of the same text.
        w->copyUserIdButton()->click();
        clipboard->setText(QStringLiteral("me@mail"));
        QTest::qWait(1500);
        QCOMPARE(clipboard->text(), QStringLiteral("me@mail"));
        QVERIFY(!clipboard->mimeData()->hasFormat(QStringLiteral("x-kde-passwordManagerHint")));

        // Copying again starts the delay again; 0 keeps the copy until the program ends.
        clearAfter("0");
        w->copyPasswordButton()->click();
        QTest::qWait(1500);
        QCOMPARE(clipboard->text(), QStringLiteral("Secret12"));
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        qApp->exec();
        QCOMPARE(clipboard->text(), QString());
        VERIFY_BOXES();
    }

    // On a real window system (run under a Wayland compositor and on X by CTest) the
    // copy buttons' copies paste in other programs, and go after the delay.
    void copyButtonsPasteInOtherPrograms() {
        if (!onWayland() && !onX11()) QSKIP("needs Wayland or X11");
        writeDataFile("", {{0, "A", "MAIL", "http://mail", "me@mail", "", "Secret12"}});
        vault::writeIniString(paths().settingsFile, "Clipboard", "ClearAfter", "2");
        auto w = startProgram(QString());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // A Wayland compositor takes a copy only from the window that had the person's
        // last input: a key typed into it (a virtual keyboard, as a person would).
        QProcess typist;
        if (onWayland()) {
            typist.start(QStringLiteral("wtype"), {"-s", "300", "-k", "Shift_L", "-s", "60000"});
            QTest::qWait(1000);
        }
        const struct {
            QPushButton* button;
            QString pasted;
        } copies[] = {{w->copyPasswordButton(), QStringLiteral("Secret12")},
                      {w->copyUserIdButton(), QStringLiteral("me@mail")}};
        for (const auto& copy : copies) {
            copy.button->click();
            QCOMPARE(pastedElsewhere(), copy.pasted);
        }
        QTest::qWait(2500);
        QCOMPARE(pastedElsewhere(), QStringLiteral("(no paste)"));
        typist.kill();
        typist.waitForFinished(5000);
        VERIFY_BOXES();
        w->hide();
    }
};

QTEST_MAIN(ListTest)
#include "test_list.moc"
