// The browser window: opening, the progress label, the size of the browser area,
// masking and copying, navigation buttons and their messages, closing.
#include "window_test.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QQuickWindow>
#include <QScreen>

#include "platform/channel.h"
#include "platform/clipboard.h"
#include "vault/locations.h"
#include "vault/settings.h"
#include "windows/BrowserChild.h"

using namespace browsertest;
using platform::BoxKind;

namespace {
const QString kNoUrl = QStringLiteral("There is no website address listed in the URL box");
const QString kBack = QStringLiteral(
    "There are no more previous pages for display. To return to your password list, either click the "
    "\"Close\" button or simply swap over to the password window without closing this browser screen.");
const QString kForward = QStringLiteral(
    "There are no more forward pages for display. To return to your password list, either click the "
    "\"Close\" button or simply swap over to the password window without closing this browser screen.");
const QString kRefresh = QStringLiteral("An error occurred while trying to refresh this page.");

QSize screen() { return QGuiApplication::primaryScreen()->size(); }
}  // namespace

void WindowTest::initTestCase() {
    QVERIFY(folder.isValid());
    settingsFile = testsupport::programFiles().settingsFile;
    first = writePage(folder, "first", "<p>first</p>");
    second = writePage(folder, "second", "<p>second</p>");
}

void WindowTest::init() {
    platform::testing::reset();
    QFile::remove(QString::fromStdString(settingsFile));
}

platform::BrowseRequest WindowTest::request(const QString& website, bool masked) const {
    platform::BrowseRequest r;
    r.name = QStringLiteral("MY BANK");
    r.website = website;
    r.user = QStringLiteral(" bob ");
    r.password = QStringLiteral("pw\"1");
    r.masked = masked;
    return r;
}

void WindowTest::progressLabelAndCursor() {
    BrowserWindow window;
    // This program made Qt's shared OpenGL context at start, as the window's own process
    // does; without OpenGL here, the page is drawn by the software scene graph all the same.
    QCOMPARE(QQuickWindow::sceneGraphBackend(), "software");
    QCOMPARE(label(&window, "Label1")->text(), "");
    // Every picture button has the style's picture its form names.
    for (const char* name : {"CmdBack", "CmdForward", "CmdHome", "CmdSearch", "BitBtn7", "BitBtn8", "BitBtn2",
                             "BitBtn1", "BitBtn6", "BitBtn4", "BitBtn3", "BitBtn5"})
        QVERIFY2(!button(&window, name)->icon().isNull(), name);
    QVERIFY(button(&window, "Button1")->icon().isNull());
    struct Case {
        int progress, max;
        const char* text;
        Qt::CursorShape cursor;
    };
    const Case cases[] = {
        {50, 200, "25% Loaded", Qt::WaitCursor},      {0, 0, "Done Loading.", Qt::ArrowCursor},
        {37, 200, "18% Loaded", Qt::WaitCursor},      {200, 200, "100% Loaded", Qt::WaitCursor},
        {300, 200, "Done Loading.", Qt::ArrowCursor}, {0, 200, "0% Loaded", Qt::WaitCursor},
        {-1, 200, "Done Loading.", Qt::ArrowCursor},  {2000000000, 2100000000, "95% Loaded", Qt::WaitCursor},
    };
    for (const Case& c : cases) {
        emit view(&window)->progressChanged(c.progress, c.max);
        QCOMPARE(label(&window, "Label1")->text(), QString::fromLatin1(c.text));
        QCOMPARE(view(&window)->cursor().shape(), c.cursor);
    }
}

void WindowTest::openingWithoutWebsiteShowsNoWindow() {
    platform::testing::expectBox(BoxKind::Plain, testsupport::kNoWebsite);
    QVERIFY(BrowserWindow::prepare(request(QStringLiteral(" \t\r\n "), false)) == nullptr);
    QVERIFY(boxesAsExpected());

    // An address that cannot be opened goes to the error report; no window. Only web
    // pages open: a script, inline data, a local file or an inner page of the engine
    // (a website box can hold them, from an import) is no address here.
    for (const char* address : {"a b", "javascript:alert(1)", "JavaScript:alert(1)//http://x.example",
                                "data:text/html,<script>alert(1)</script>", "file:///etc/passwd", "chrome://gpu"}) {
        platform::testing::expectBox(BoxKind::Error,
                                     QStringLiteral("The address \"%1\" cannot be opened.").arg(address));
        // As the window's process meets it: the program's opening message on the channel.
        int sockets[2];
        QVERIFY(platform::makeSocketPair(sockets));
        platform::Channel program(sockets[0]), channel(sockets[1]);
        QVERIFY(program.send({"open", "MY BANK", address, "bob", "pw", "0"}));
        QCOMPARE(runBrowserProcess(channel), 0);
        QVERIFY2(boxesAsExpected(), address);
    }
}

void WindowTest::openingSizesAndRestoresTheBrowserArea() {
    vault::saveSize("FrmBrowse", settingsFile, 500, 400);
    std::unique_ptr<BrowserWindow> window = BrowserWindow::prepare(request(QStringLiteral("  ") + first + "\t", false));
    QVERIFY(window);
    QSignalSpy finished(view(window.get()), &QWebEngineView::loadFinished);
    window->show();
    QCOMPARE(window->windowTitle(), "Keyfold Auto Viewer - Password Filler");
    QCOMPARE(window->size(), screen());
    QCOMPARE(view(window.get())->size(), screen());
    QCOMPARE(label(window.get(), "LblName")->text(), "Site: MY BANK");
    QVERIFY(edit(window.get(), "EdUser")->isVisibleTo(window.get()));
    QVERIFY(edit(window.get(), "EdPwd")->isVisibleTo(window.get()));
    QCOMPARE(button(window.get(), "CmdHide")->text(), "Hide");
    QCOMPARE(edit(window.get(), "EdUser")->text(), " bob ");
    QCOMPARE(edit(window.get(), "EdPwd")->text(), "pw\"1");
    QCOMPARE(view(window.get())->fillValues().user, " bob ");
    QCOMPARE(view(window.get())->fillValues().password, "pw\"1");
    QVERIFY(sizingTimer(window.get())->isActive());

    QVERIFY(finished.wait(15000));
    QCOMPARE(edit(window.get(), "EdURL")->text(), first);
    QCOMPARE(label(window.get(), "Label1")->text(), "Done Loading.");

    // Nothing saved for the browser area: screen width by screen height less 50.
    QTRY_VERIFY_WITH_TIMEOUT(!sizingTimer(window.get())->isActive(), 3000);
    QCOMPARE(view(window.get())->size(), QSize(screen().width(), screen().height() - 50));

    // The size cross changes the browser area by 20 pixels, not the window.
    button(window.get(), "BitBtn3")->click();
    button(window.get(), "BitBtn3")->click();
    button(window.get(), "BitBtn4")->click();
    button(window.get(), "BitBtn5")->click();
    button(window.get(), "BitBtn5")->click();
    button(window.get(), "BitBtn6")->click();
    const QSize area(screen().width() + 20, screen().height() - 50 + 20);
    QCOMPARE(view(window.get())->size(), area);
    QCOMPARE(window->size(), screen());

    button(window.get(), "BitBtn1")->click();
    QVERIFY(!window->isVisible());
    const std::string ini = settingsFile;
    QCOMPARE(vault::readWidth("Webbrowser1", ini), area.width());
    QCOMPARE(vault::readHeight("Webbrowser1", ini), area.height());
    QCOMPARE(vault::readWidth("FrmBrowse", ini), window->frameGeometry().width());
    QCOMPARE(vault::readHeight("FrmBrowse", ini), window->frameGeometry().height());
    QVERIFY(boxesAsExpected());
}

void WindowTest::storedAreaSizeStaysWithinTheScreen() {
    // Sizes a hand-edited or damaged settings file may hold: never a page area larger
    // than the screen (nor one of no size at all).
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const struct {
        int width, height;
        QSize shown;
    } cases[] = {
        {30000, 30000, area.size()},
        {2147483647, 2147483647, area.size()},
        {-2147483647, -5, QSize(1, 1)},
        {640, 480, QSize(640, 480)},
    };
    for (const auto& c : cases) {
        vault::saveSize("Webbrowser1", settingsFile, c.width, c.height);
        std::unique_ptr<BrowserWindow> window = BrowserWindow::prepare(request(first, false));
        QVERIFY(window);
        window->show();
        QTRY_VERIFY_WITH_TIMEOUT(!sizingTimer(window.get())->isActive(), 3000);
        QCOMPARE(view(window.get())->size(), c.shown);
        window->close();
    }
}

void WindowTest::maskedOpeningAndCopying() {
    // A saved width without a height: the width, and the screen's height less 50.
    vault::saveSize("Webbrowser1", settingsFile, 640, 0);
    platform::BrowseRequest marked = request(first, true);
    marked.name = QStringLiteral("L <B>BOLD</B> & <I>IT</I>");
    std::unique_ptr<BrowserWindow> window = BrowserWindow::prepare(marked);
    QVERIFY(window);
    QCOMPARE(view(window.get())->size(), screen());
    window->show();
    // The name is shown as it is, tags and all, never as markup.
    QCOMPARE(label(window.get(), "LblName")->text(), "Site: L <B>BOLD</B> & <I>IT</I>");
    QCOMPARE(label(window.get(), "LblName")->textFormat(), Qt::PlainText);
    QVERIFY(!edit(window.get(), "EdUser")->isVisible());
    QVERIFY(!edit(window.get(), "EdPwd")->isVisible());
    QVERIFY(label(window.get(), "Label2")->isVisible());
    QCOMPARE(label(window.get(), "Label2")->text(), "User Hidden Password Hidden");
    QCOMPARE(button(window.get(), "CmdHide")->text(), "Show");

    // Copying while hidden copies the box as edited, with the black flash.
    edit(window.get(), "EdUser")->setText(QStringLiteral("edited"));
    button(window.get(), "Button2")->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), "edited");
    button(window.get(), "Button3")->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), "pw\"1");
    // Marked as a secret; clearing takes it off again.
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->data("x-kde-passwordManagerHint"), "secret");
    platform::clearCopiedSecret();
    QCOMPARE(QGuiApplication::clipboard()->text(), "");
    QCOMPARE(window->palette().color(QPalette::Window), QColor(232, 232, 232));

    button(window.get(), "CmdHide")->click();
    QVERIFY(edit(window.get(), "EdUser")->isVisible());
    QVERIFY(edit(window.get(), "EdPwd")->isVisible());
    QCOMPARE(button(window.get(), "CmdHide")->text(), "Hide");
    button(window.get(), "CmdHide")->click();
    QVERIFY(!edit(window.get(), "EdUser")->isVisible());
    QCOMPARE(button(window.get(), "CmdHide")->text(), "Show");

    QTRY_COMPARE_WITH_TIMEOUT(view(window.get())->size(), QSize(640, screen().height() - 50), 3000);
    QCOMPARE(view(window.get())->fillValues().password, "pw\"1");
    window->close();
    // The values auto-fill would write do not outlive the window.
    QCOMPARE(view(window.get())->fillValues().user, "");
    QCOMPARE(view(window.get())->fillValues().password, "");
    QVERIFY(boxesAsExpected());
}

void WindowTest::navigationButtons() {
    BrowserWindow window;
    window.show();
    // No page at all: nothing to go back to, forward to or reload.
    platform::testing::expectBox(BoxKind::Plain, kBack);
    platform::testing::expectBox(BoxKind::Plain, kForward);
    platform::testing::expectBox(BoxKind::Plain, kRefresh);
    button(&window, "CmdBack")->click();
    button(&window, "CmdForward")->click();
    button(&window, "BitBtn8")->click();
    QVERIFY(boxesAsExpected());

    // "Go" with an empty address box.
    edit(&window, "EdURL")->setText(QStringLiteral("  \t"));
    CLICK_WITH_BOXES(button(&window, "Button1"), {BoxKind::Plain, kNoUrl});
    QCOMPARE(edit(&window, "EdURL")->text(), "  \t");
    // "Go" with a script: refused like any address that is no web page.
    edit(&window, "EdURL")->setText(QStringLiteral("javascript:document.title='run'"));
    CLICK_WITH_BOXES(
        button(&window, "Button1"),
        {BoxKind::Error, QStringLiteral("The address \"javascript:document.title='run'\" cannot be opened.")});

    QSignalSpy finished(view(&window), &QWebEngineView::loadFinished);
    edit(&window, "EdURL")->setText(QStringLiteral(" ") + first + QStringLiteral(" "));
    button(&window, "Button1")->click();
    QVERIFY(finished.wait(15000));
    QCOMPARE(edit(&window, "EdURL")->text(), first);
    CLICK_WITH_BOXES(button(&window, "CmdBack"), {BoxKind::Plain, kBack});

    QVERIFY(loadAndWait(view(&window), second));
    QCOMPARE(edit(&window, "EdURL")->text(), second);
    button(&window, "CmdBack")->click();
    QTRY_COMPARE_WITH_TIMEOUT(edit(&window, "EdURL")->text(), first, 10000);
    CLICK_WITH_BOXES(button(&window, "CmdBack"), {BoxKind::Plain, kBack});
    button(&window, "CmdForward")->click();
    QTRY_COMPARE_WITH_TIMEOUT(edit(&window, "EdURL")->text(), second, 10000);
    platform::testing::expectBox(BoxKind::Plain, kForward);
    button(&window, "CmdForward")->click();
    button(&window, "BitBtn8")->click();
    button(&window, "BitBtn7")->click();
    QVERIFY(boxesAsExpected());

    // Escape does not close the window; its close box does.
    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(window.isVisible());
    window.close();
    QVERIFY(!window.isVisible());
}
