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
    QCOMPARE(window.progressLabel()->text(), "");
    // Every picture button has the style's picture its form names.
    for (QPushButton* button :
         {window.backButton(), window.forwardButton(), window.homeButton(), window.searchButton(), window.stopButton(),
          window.reloadButton(), window.autoFillButton(), window.closeButton(), window.shortenButton(),
          window.narrowButton(), window.widenButton(), window.lengthenButton()})
        QVERIFY2(!button->icon().isNull(), qPrintable(button->objectName()));
    QVERIFY(window.goButton()->icon().isNull());
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
        emit window.pageView()->progressChanged(c.progress, c.max);
        QCOMPARE(window.progressLabel()->text(), QString::fromLatin1(c.text));
        QCOMPARE(window.pageView()->cursor().shape(), c.cursor);
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
    QSignalSpy finished(window->pageView(), &QWebEngineView::loadFinished);
    window->show();
    QCOMPARE(window->windowTitle(), "Keyfold Auto Viewer - Password Filler");
    QCOMPARE(window->size(), screen());
    QCOMPARE(window->pageView()->size(), screen());
    QCOMPARE(window->siteNameLabel()->text(), "Site: MY BANK");
    QVERIFY(window->userIdEdit()->isVisibleTo(window.get()));
    QVERIFY(window->passwordEdit()->isVisibleTo(window.get()));
    QCOMPARE(window->maskingButton()->text(), "Hide");
    QCOMPARE(window->userIdEdit()->text(), " bob ");
    QCOMPARE(window->passwordEdit()->text(), "pw\"1");
    QCOMPARE(window->pageView()->fillValues().user, " bob ");
    QCOMPARE(window->pageView()->fillValues().password, "pw\"1");
    QVERIFY(window->sizingTimer()->isActive());

    QVERIFY(finished.wait(15000));
    QCOMPARE(window->addressEdit()->text(), first);
    QCOMPARE(window->progressLabel()->text(), "Done Loading.");

    // Nothing saved for the browser area: screen width by screen height less 50.
    QTRY_VERIFY_WITH_TIMEOUT(!window->sizingTimer()->isActive(), 3000);
    QCOMPARE(window->pageView()->size(), QSize(screen().width(), screen().height() - 50));

    // The size cross changes the browser area by 20 pixels, not the window.
    window->widenButton()->click();
    window->widenButton()->click();
    window->narrowButton()->click();
    window->lengthenButton()->click();
    window->lengthenButton()->click();
    window->shortenButton()->click();
    const QSize area(screen().width() + 20, screen().height() - 50 + 20);
    QCOMPARE(window->pageView()->size(), area);
    QCOMPARE(window->size(), screen());

    window->closeButton()->click();
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
        QTRY_VERIFY_WITH_TIMEOUT(!window->sizingTimer()->isActive(), 3000);
        QCOMPARE(window->pageView()->size(), c.shown);
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
    QCOMPARE(window->pageView()->size(), screen());
    window->show();
    // The name is shown as it is, tags and all, never as markup.
    QCOMPARE(window->siteNameLabel()->text(), "Site: L <B>BOLD</B> & <I>IT</I>");
    QCOMPARE(window->siteNameLabel()->textFormat(), Qt::PlainText);
    QVERIFY(!window->userIdEdit()->isVisible());
    QVERIFY(!window->passwordEdit()->isVisible());
    QVERIFY(window->hiddenValuesLabel()->isVisible());
    QCOMPARE(window->hiddenValuesLabel()->text(), "User Hidden Password Hidden");
    QCOMPARE(window->maskingButton()->text(), "Show");

    // Copying while hidden copies the box as edited, with the black flash.
    window->userIdEdit()->setText(QStringLiteral("edited"));
    window->copyUserIdButton()->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), "edited");
    window->copyPasswordButton()->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), "pw\"1");
    // Marked as a secret; clearing takes it off again.
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->data("x-kde-passwordManagerHint"), "secret");
    platform::clearCopiedSecret();
    QCOMPARE(QGuiApplication::clipboard()->text(), "");
    QCOMPARE(window->palette().color(QPalette::Window), QColor(232, 232, 232));

    window->maskingButton()->click();
    QVERIFY(window->userIdEdit()->isVisible());
    QVERIFY(window->passwordEdit()->isVisible());
    QCOMPARE(window->maskingButton()->text(), "Hide");
    window->maskingButton()->click();
    QVERIFY(!window->userIdEdit()->isVisible());
    QCOMPARE(window->maskingButton()->text(), "Show");

    QTRY_COMPARE_WITH_TIMEOUT(window->pageView()->size(), QSize(640, screen().height() - 50), 3000);
    QCOMPARE(window->pageView()->fillValues().password, "pw\"1");
    window->close();
    // The values auto-fill would write do not outlive the window.
    QCOMPARE(window->pageView()->fillValues().user, "");
    QCOMPARE(window->pageView()->fillValues().password, "");
    QVERIFY(boxesAsExpected());
}

void WindowTest::navigationButtons() {
    BrowserWindow window;
    window.show();
    // No page at all: nothing to go back to, forward to or reload.
    platform::testing::expectBox(BoxKind::Plain, kBack);
    platform::testing::expectBox(BoxKind::Plain, kForward);
    platform::testing::expectBox(BoxKind::Plain, kRefresh);
    window.backButton()->click();
    window.forwardButton()->click();
    window.reloadButton()->click();
    QVERIFY(boxesAsExpected());

    // "Go" with an empty address box.
    window.addressEdit()->setText(QStringLiteral("  \t"));
    CLICK_WITH_BOXES(window.goButton(), {BoxKind::Plain, kNoUrl});
    QCOMPARE(window.addressEdit()->text(), "  \t");
    // "Go" with a script: refused like any address that is no web page.
    window.addressEdit()->setText(QStringLiteral("javascript:document.title='run'"));
    CLICK_WITH_BOXES(
        window.goButton(),
        {BoxKind::Error, QStringLiteral("The address \"javascript:document.title='run'\" cannot be opened.")});

    QSignalSpy finished(window.pageView(), &QWebEngineView::loadFinished);
    window.addressEdit()->setText(QStringLiteral(" ") + first + QStringLiteral(" "));
    window.goButton()->click();
    QVERIFY(finished.wait(15000));
    QCOMPARE(window.addressEdit()->text(), first);
    CLICK_WITH_BOXES(window.backButton(), {BoxKind::Plain, kBack});

    QVERIFY(loadAndWait(window.pageView(), second));
    QCOMPARE(window.addressEdit()->text(), second);
    window.backButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(window.addressEdit()->text(), first, 10000);
    CLICK_WITH_BOXES(window.backButton(), {BoxKind::Plain, kBack});
    window.forwardButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(window.addressEdit()->text(), second, 10000);
    platform::testing::expectBox(BoxKind::Plain, kForward);
    window.forwardButton()->click();
    window.reloadButton()->click();
    window.stopButton()->click();
    QVERIFY(boxesAsExpected());

    // Escape does not close the window; its close box does.
    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(window.isVisible());
    window.close();
    QVERIFY(!window.isVisible());
}
