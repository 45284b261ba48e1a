// The browser window: opening, the progress label, the size of the browser area,
// masking and copying, navigation buttons and their messages, closing.
#include "window_test.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>

#include "platform/clipboard.h"
#include "vault/locations.h"
#include "vault/settings.h"

using namespace browsertest;
using platform::BoxKind;

namespace {
const QString kNoWebsite = QStringLiteral("There is no website address listed in the website box");
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
    TFrmBrowse window;
    QCOMPARE(window.Label1->text(), "");
    struct Case {
        int progress, max;
        const char* text;
        Qt::CursorShape cursor;
    };
    const Case cases[] = {
        {50, 200, "25% Loaded", Qt::WaitCursor},   {0, 0, "Done Loading.", Qt::ArrowCursor},
        {37, 200, "18% Loaded", Qt::WaitCursor},   {200, 200, "100% Loaded", Qt::WaitCursor},
        {300, 200, "Done Loading.", Qt::ArrowCursor}, {0, 200, "0% Loaded", Qt::WaitCursor},
        {-1, 200, "Done Loading.", Qt::ArrowCursor}, {2000000000, 2100000000, "95% Loaded", Qt::WaitCursor},
    };
    for (const Case& c : cases) {
        window.WebBrowser1ProgressChange(c.progress, c.max);
        QCOMPARE(window.Label1->text(), QString::fromLatin1(c.text));
        QCOMPARE(window.WebBrowser1->cursor().shape(), c.cursor);
    }
}

void WindowTest::openingWithoutWebsiteShowsNoWindow() {
    AutoFillUser = QStringLiteral("earlier");
    AutoFillPwd = QStringLiteral("earlier");
    platform::testing::expectBox(BoxKind::Plain, kNoWebsite);
    QVERIFY(PrepareBrowseWindow(request(QStringLiteral(" \t\r\n "), false)) == nullptr);
    QVERIFY(boxesAsExpected());
    QCOMPARE(AutoFillUser, "earlier");
    QCOMPARE(AutoFillPwd, "earlier");

    // An address that cannot be opened goes to the error report; no window.
    platform::testing::expectBox(BoxKind::Error, QStringLiteral("The address \"a b\" cannot be opened."));
    const platform::BrowseRequest bad = request(QStringLiteral("a b"), false);
    keyfold_open_browser(&bad);
    QVERIFY(boxesAsExpected());
}

void WindowTest::openingSizesAndRestoresTheBrowserArea() {
    vault::SaveSize("FrmBrowse", settingsFile, 500, 400);
    std::unique_ptr<TFrmBrowse> window = PrepareBrowseWindow(request(QStringLiteral("  ") + first + "\t", false));
    QVERIFY(window);
    QSignalSpy finished(window->WebBrowser1, &QWebEngineView::loadFinished);
    window->show();
    QCOMPARE(window->windowTitle(), "Keyfold Auto Viewer - Password Filler");
    QCOMPARE(window->size(), screen());
    QCOMPARE(window->WebBrowser1->size(), screen());
    QCOMPARE(window->LblName->text(), "Site: MY BANK");
    QVERIFY(window->EdUser->isVisibleTo(window.get()));
    QVERIFY(window->EdPwd->isVisibleTo(window.get()));
    QCOMPARE(window->CmdHide->text(), "Hide");
    QCOMPARE(window->EdUser->text(), " bob ");
    QCOMPARE(window->EdPwd->text(), "pw\"1");
    QCOMPARE(AutoFillUser, " bob ");
    QCOMPARE(AutoFillPwd, "pw\"1");
    QVERIFY(window->Timer1->isActive());

    QVERIFY(finished.wait(15000));
    QCOMPARE(window->EdURL->text(), first);
    QCOMPARE(window->Label1->text(), "Done Loading.");

    // Nothing saved for the browser area: screen width by screen height less 50.
    QTRY_VERIFY_WITH_TIMEOUT(!window->Timer1->isActive(), 3000);
    QCOMPARE(window->WebBrowser1->size(), QSize(screen().width(), screen().height() - 50));

    // The size cross changes the browser area by 20 pixels, not the window.
    window->BitBtn3->click();
    window->BitBtn3->click();
    window->BitBtn4->click();
    window->BitBtn5->click();
    window->BitBtn5->click();
    window->BitBtn6->click();
    const QSize area(screen().width() + 20, screen().height() - 50 + 20);
    QCOMPARE(window->WebBrowser1->size(), area);
    QCOMPARE(window->size(), screen());

    window->BitBtn1->click();
    QVERIFY(!window->isVisible());
    const std::string ini = settingsFile;
    QCOMPARE(vault::ReadWidth("Webbrowser1", ini), area.width());
    QCOMPARE(vault::ReadHeight("Webbrowser1", ini), area.height());
    QCOMPARE(vault::ReadWidth("FrmBrowse", ini), window->frameGeometry().width());
    QCOMPARE(vault::ReadHeight("FrmBrowse", ini), window->frameGeometry().height());
    QVERIFY(boxesAsExpected());
}

void WindowTest::maskedOpeningAndCopying() {
    // A saved width without a height: the width, and the screen's height less 50.
    vault::SaveSize("Webbrowser1", settingsFile, 640, 0);
    platform::BrowseRequest marked = request(first, true);
    marked.name = QStringLiteral("L <B>BOLD</B> & <I>IT</I>");
    std::unique_ptr<TFrmBrowse> window = PrepareBrowseWindow(marked);
    QVERIFY(window);
    QCOMPARE(window->WebBrowser1->size(), screen());
    window->show();
    // The name is shown as it is, tags and all, never as markup.
    QCOMPARE(window->LblName->text(), "Site: L <B>BOLD</B> & <I>IT</I>");
    QCOMPARE(window->LblName->textFormat(), Qt::PlainText);
    QVERIFY(!window->EdUser->isVisible());
    QVERIFY(!window->EdPwd->isVisible());
    QVERIFY(window->Label2->isVisible());
    QCOMPARE(window->Label2->text(), "User Hidden Password Hidden");
    QCOMPARE(window->CmdHide->text(), "Show");

    // Copying while hidden copies the box as edited, with the black flash.
    window->EdUser->setText(QStringLiteral("edited"));
    window->Button2->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), "edited");
    window->Button3->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), "pw\"1");
    // Marked as a secret; clearing takes it off again.
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->data("x-kde-passwordManagerHint"), "secret");
    platform::clearCopiedSecret();
    QCOMPARE(QGuiApplication::clipboard()->text(), "");
    QCOMPARE(window->palette().color(QPalette::Window), QColor(232, 232, 232));

    window->CmdHide->click();
    QVERIFY(window->EdUser->isVisible());
    QVERIFY(window->EdPwd->isVisible());
    QCOMPARE(window->CmdHide->text(), "Hide");
    window->CmdHide->click();
    QVERIFY(!window->EdUser->isVisible());
    QCOMPARE(window->CmdHide->text(), "Show");

    QTRY_COMPARE_WITH_TIMEOUT(window->WebBrowser1->size(), QSize(640, screen().height() - 50), 3000);
    QCOMPARE(AutoFillPwd, "pw\"1");
    window->close();
    // The values auto-fill would write do not outlive the window.
    QCOMPARE(AutoFillUser, "");
    QCOMPARE(AutoFillPwd, "");
    QVERIFY(boxesAsExpected());
}

void WindowTest::navigationButtons() {
    TFrmBrowse window;
    window.show();
    // No page at all: nothing to go back to, forward to or reload.
    platform::testing::expectBox(BoxKind::Plain, kBack);
    platform::testing::expectBox(BoxKind::Plain, kForward);
    platform::testing::expectBox(BoxKind::Plain, kRefresh);
    window.CmdBack->click();
    window.CmdForward->click();
    window.BitBtn8->click();
    QVERIFY(boxesAsExpected());

    // "Go" with an empty address box.
    window.EdURL->setText(QStringLiteral("  \t"));
    platform::testing::expectBox(BoxKind::Plain, kNoUrl);
    window.Button1->click();
    QVERIFY(boxesAsExpected());
    QCOMPARE(window.EdURL->text(), "  \t");

    QSignalSpy finished(window.WebBrowser1, &QWebEngineView::loadFinished);
    window.EdURL->setText(QStringLiteral(" ") + first + QStringLiteral(" "));
    window.Button1->click();
    QVERIFY(finished.wait(15000));
    QCOMPARE(window.EdURL->text(), first);
    platform::testing::expectBox(BoxKind::Plain, kBack);
    window.CmdBack->click();
    QVERIFY(boxesAsExpected());

    QVERIFY(loadAndWait(window.WebBrowser1, second));
    QCOMPARE(window.EdURL->text(), second);
    window.CmdBack->click();
    QTRY_COMPARE_WITH_TIMEOUT(window.EdURL->text(), first, 10000);
    platform::testing::expectBox(BoxKind::Plain, kBack);
    window.CmdBack->click();
    QVERIFY(boxesAsExpected());
    window.CmdForward->click();
    QTRY_COMPARE_WITH_TIMEOUT(window.EdURL->text(), second, 10000);
    platform::testing::expectBox(BoxKind::Plain, kForward);
    window.CmdForward->click();
    window.BitBtn8->click();
    window.BitBtn7->click();
    QVERIFY(boxesAsExpected());

    // Escape does not close the window; its close box does.
    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(window.isVisible());
    window.close();
    QVERIFY(!window.isVisible());
}
