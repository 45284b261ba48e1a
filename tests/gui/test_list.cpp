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

using testsupport::control;
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
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdName")->text(), QStringLiteral("MAIL"));
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "Edpwd")->text(), QStringLiteral("mp"));
        // Long texts show their start.
        for (const auto* box : {control<platform::Windows1252LineEdit>(w, "EdName"),
                                control<platform::Windows1252LineEdit>(w, "Edwebsite"),
                                control<platform::Windows1252LineEdit>(w, "EdUser"),
                                control<platform::Windows1252LineEdit>(w, "EdComments"),
                                control<platform::Windows1252LineEdit>(w, "Edpwd")})
            QCOMPARE(box->cursorPosition(), 0);
        // The keyboard moves the selection too; both BANK lines show the lower slot.
        SiteList(w).view->setFocus();
        QTest::keyClick(SiteList(w).view, Qt::Key_Up);
        QCOMPARE(SiteList(w).currentRow(), 1);
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "Edwebsite")->text(), QStringLiteral("http://bank"));
        // Pressing on one line and letting go on another selects that one: it is shown.
        QWidget* view = SiteList(w).view->viewport();
        const QPoint from = SiteList(w).rowRect(0).center();
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QMouseEvent drag(QEvent::MouseMove, QPointF(mailRect.center()), QPointF(view->mapToGlobal(mailRect.center())),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(view, &drag);
        QTest::mouseRelease(view, Qt::LeftButton, {}, mailRect.center());
        QCOMPARE(SiteList(w).currentRow(), 2);
        QTRY_COMPARE(control<platform::Windows1252LineEdit>(w, "EdName")->text(), QStringLiteral("MAIL"));
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "Edpwd")->text(), QStringLiteral("mp"));
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdUser")->cursorPosition(), 0);
        // A line whose entry another copy has deleted since leaves the boxes as they are,
        // without a message.
        writeDataFile("k", {{0, "D", "", "", "", "", ""},
                            {1, "A", "BANK", "http://bank", "bu", "bc", "bp"},
                            {2, "A", "BANK", "http://bank2", "b2", "c2", "p2"}});
        SiteList(w).setCurrentRow(2);
        w->showSelectedEntry();
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "Edpwd")->text(), QStringLiteral("mp"));
        VERIFY_BOXES();
        w->hide();
    }

    void filterNarrowsAndRefreshRestores() {
        writeDataFile("", {{0, "A", "AMAZON", "http://amazon", "", "", ""},
                           {1, "A", "BANK", "http://bank", "", "", ""},
                           {2, "A", "MAIL", "http://mail", "mu", "", "mp"},
                           {3, "A", "MY BANK", "http://mybank", "", "", ""}});
        auto w = startProgram(QString());
        QCOMPARE(control<QLabel>(w, "LblCount")->text(), QStringLiteral("Total Sites = 4"));
        QTest::keyClicks(control<platform::Windows1252LineEdit>(w, "EdFilter"), QStringLiteral("a"));
        QCOMPARE(listLines(w.get()), QStringList({"AMAZON", "BANK", "MAIL", "MY BANK"}));
        QTest::keyClicks(control<platform::Windows1252LineEdit>(w, "EdFilter"), QStringLiteral("m"));
        QCOMPARE(listLines(w.get()), QStringList({"AMAZON"}));
        QCOMPARE(SiteList(w).currentRow(), -1);
        QTest::keyClick(control<platform::Windows1252LineEdit>(w, "EdFilter"), Qt::Key_Backspace);
        QCOMPARE(listLines(w.get()), QStringList({"AMAZON"}));
        QCOMPARE(control<QLabel>(w, "LblCount")->text(), QStringLiteral("Total Sites = 4"));
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdName")->text(),
                 QStringLiteral("AMAZON"));  // boxes keep their entry

        control<QPushButton>(w, "CmdReload")->click();
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdFilter")->text(), QString());
        QCOMPARE(listLines(w.get()), QStringList({"AMAZON", "BANK", "MAIL", "MY BANK"}));
        QCOMPARE(SiteList(w).currentRow(), -1);
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdName")->text(),
                 QStringLiteral("MY BANK"));  // last in-use slot of the file
        QCOMPARE(control<QLabel>(w, "LblCount")->text(), QStringLiteral("Total Sites = 4"));

        // Blanks only do nothing; a leading blank is part of the filter.
        control<platform::Windows1252LineEdit>(w, "EdFilter")->setText(QStringLiteral("   "));
        QCOMPARE(SiteList(w).count(), 4);
        control<platform::Windows1252LineEdit>(w, "EdFilter")->setText(QStringLiteral(" b"));
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
            control<QPushButton>(w, "CmdReload")->click();
            control<platform::Windows1252LineEdit>(w, "EdFilter")->setText(f.typed);
            QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdFilter")->text(), f.typed);
            QCOMPARE(listLines(w.get()), f.lines);
        }
        VERIFY_BOXES();
    }

    void maskingCopyingAndPasting() {
        writeDataFile("", {{0, "A", "MAIL", "http://mail", "me@mail", "", "Secret12"}});
        auto w = startProgram(QString());
        control<QPushButton>(w, "CmdHide")->click();
        QVERIFY(control<platform::Windows1252LineEdit>(w, "EdUser")->isHidden());
        QVERIFY(!control<QLabel>(w, "LblUserHidden")->isHidden());
        QCOMPARE(control<QPushButton>(w, "CmdHide")->text(), QStringLiteral("S"));
        QCOMPARE(control<QLabel>(w, "LblPwdHidden")->geometry().topLeft(), QPoint(274, 212));

        // Copying works masked too; the panel flashes and stays a shade darker.
        // The black lasts about a tenth of a second, long enough to be seen.
        QCOMPARE(control<QFrame>(w, "Panel1")->palette().color(QPalette::Window), QColor(239, 239, 239));
        QElapsedTimer flash;
        flash.start();
        control<QPushButton>(w, "BitBtn4")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Secret12"));
        QCOMPARE(control<QFrame>(w, "Panel1")->palette().color(QPalette::Window), QColor(Qt::black));
        QTRY_COMPARE(control<QFrame>(w, "Panel1")->palette().color(QPalette::Window), QColor(232, 232, 232));
        QVERIFY2(flash.elapsed() >= 90, qPrintable(QString::number(flash.elapsed())));
        control<QPushButton>(w, "BitBtn3")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("me@mail"));
        QTRY_COMPARE(control<QFrame>(w, "Panel1")->palette().color(QPalette::Window), QColor(232, 232, 232));
        // Screen readers tell the one-letter buttons apart by what they do.
        auto spoken = [](QWidget* b) { return QAccessible::queryAccessibleInterface(b)->text(QAccessible::Name); };
        QCOMPARE(spoken(control<QPushButton>(w, "BitBtn3")), QStringLiteral("Copy User ID"));
        QCOMPARE(spoken(control<QPushButton>(w, "BitBtn4")), QStringLiteral("Copy Password"));
        QCOMPARE(spoken(control<QPushButton>(w, "CmdHide")), QStringLiteral("Show User ID and Password"));
        control<QPushButton>(w, "CmdHide")->click();
        QVERIFY(!control<platform::Windows1252LineEdit>(w, "EdUser")->isHidden());
        QVERIFY(control<QLabel>(w, "LblPwdHidden")->isHidden());
        QCOMPARE(control<QPushButton>(w, "CmdHide")->text(), QStringLiteral("H"));
        QCOMPARE(spoken(control<QPushButton>(w, "CmdHide")), QStringLiteral("Hide User ID and Password"));

        // A double click pastes through the box's own paste: its limits apply.
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QGuiApplication::clipboard()->setText(QString(30, QLatin1Char('z')));
        QTest::mouseDClick(control<platform::Windows1252LineEdit>(w, "Edpwd"), Qt::LeftButton);
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "Edpwd")->text(), QString(25, QLatin1Char('z')));
        QGuiApplication::clipboard()->setText(QStringLiteral("my bank \u00e9"));
        QTest::mouseDClick(control<platform::Windows1252LineEdit>(w, "EdName"), Qt::LeftButton);
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdName")->text(), QStringLiteral("MY BANK \u00c9"));
        QGuiApplication::clipboard()->setText(QStringLiteral("note"));
        w->pasteInto(control<platform::Windows1252LineEdit>(w, "EdComments"));
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdComments")->text(), QStringLiteral("note"));
        QGuiApplication::clipboard()->clear();
        w->pasteInto(control<platform::Windows1252LineEdit>(w, "Edwebsite"));
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "Edwebsite")->text(), QString());
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "Edwebsite")->contextMenuPolicy(), Qt::DefaultContextMenu);

        // A pasted line break ends what a one-line box takes, by double click or keyboard.
        QGuiApplication::clipboard()->setText(QStringLiteral("line one\nline two"));
        QTest::mouseDClick(control<platform::Windows1252LineEdit>(w, "EdName"), Qt::LeftButton);
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdName")->text(), QStringLiteral("LINE ONE"));
        QGuiApplication::clipboard()->setText(QStringLiteral("first\r\nsecond"));
        control<platform::Windows1252LineEdit>(w, "EdComments")->setFocus();
        control<platform::Windows1252LineEdit>(w, "EdComments")->selectAll();
        QTest::keyClick(control<platform::Windows1252LineEdit>(w, "EdComments"), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdComments")->text(), QStringLiteral("first"));
        // The box's context menu pastes the same way.
        QGuiApplication::clipboard()->setText(QStringLiteral("menu\rtext"));
        control<platform::Windows1252LineEdit>(w, "EdComments")->selectAll();
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(5, 5),
                                    control<platform::Windows1252LineEdit>(w, "EdComments")->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(control<platform::Windows1252LineEdit>(w, "EdComments"), &menuEvent);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction* pasteAction = nullptr;
        for (QAction* a : menu->actions())
            if (a->text().startsWith(QStringLiteral("&Paste"))) pasteAction = a;
        QVERIFY(pasteAction);
        pasteAction->trigger();
        menu->close();
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdComments")->text(), QStringLiteral("menu"));
        QGuiApplication::clipboard()->setText(QStringLiteral("\nhidden"));
        w->pasteInto(control<platform::Windows1252LineEdit>(w, "EdUser"));
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdUser")->text(), QString());

        // Typing and pasting into the upper-case Name box can be undone step by step.
        control<platform::Windows1252LineEdit>(w, "EdName")->clear();
        QTest::keyClicks(control<platform::Windows1252LineEdit>(w, "EdName"), QStringLiteral("ab"));
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdName")->text(), QStringLiteral("AB"));
        QGuiApplication::clipboard()->setText(QStringLiteral(" cd\nef"));
        QTest::keyClick(control<platform::Windows1252LineEdit>(w, "EdName"), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdName")->text(), QStringLiteral("AB CD"));
        QVERIFY(control<platform::Windows1252LineEdit>(w, "EdName")->isUndoAvailable());
        QTest::keyClick(control<platform::Windows1252LineEdit>(w, "EdName"), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(control<platform::Windows1252LineEdit>(w, "EdName")->text(), QStringLiteral("AB"));
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
        control<QPushButton>(w, "BitBtn4")->click();
        QCOMPARE(clipboard->text(), QStringLiteral("Secret12"));
        QCOMPARE(clipboard->mimeData()->data(QStringLiteral("x-kde-passwordManagerHint")), QByteArray("secret"));
        QTRY_COMPARE_WITH_TIMEOUT(clipboard->text(), QString(), 3000);

        // A newer copy is never wiped, even one of the same text.
        control<QPushButton>(w, "BitBtn3")->click();
        clipboard->setText(QStringLiteral("me@mail"));
        QTest::qWait(1500);
        QCOMPARE(clipboard->text(), QStringLiteral("me@mail"));
        QVERIFY(!clipboard->mimeData()->hasFormat(QStringLiteral("x-kde-passwordManagerHint")));

        // Copying again starts the delay again; 0 keeps the copy until the program ends.
        clearAfter("0");
        control<QPushButton>(w, "BitBtn4")->click();
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
            const char* button;
            QString pasted;
        } copies[] = {{"BitBtn4", QStringLiteral("Secret12")}, {"BitBtn3", QStringLiteral("me@mail")}};
        for (const auto& copy : copies) {
            control<QPushButton>(w, copy.button)->click();
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
