// Shows each of the four windows with fixed content and saves one PNG per window:
//   keyfold_screenshots OUTDIR
// Run it through tools/screenshots.sh, which gives it a virtual display and the same
// HOME at every run (the data file's path and the page's address are on screen).
// Controls are found by object name, so the driver follows the windows' code, not
// their C++ members.
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleHints>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>
#include <cstdio>
#include <memory>

#include "platform/browser_process.h"
#include "platform/memory.h"
#include "support.h"
#include "tests/support/page_server.h"
#include "windows/BrowserView.h"
#include "windows/BrowserWindow.h"
#include "windows/KeyPhraseDialog.h"
#include "windows/MainWindow.h"
#include "windows/AboutBox.h"

namespace {

QString outDir;
int failures = 0;

// Lets the window settle (shown, laid out, painted) and saves what it draws.
void save(QWidget* window, const char* name) {
    if (!QTest::qWaitForWindowExposed(window)) {
        std::fprintf(stderr, "%s: never shown\n", name);
        ++failures;
    }
    QTest::qWait(300);
    const QString path = outDir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
    if (!window->grab().save(path)) {
        std::fprintf(stderr, "%s: cannot write %s\n", name, qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

const char* const kPhrase = "sesame";

const std::vector<gui_test::Entry> kEntries = {
    {0, "A", "EXAMPLE BANK", "https://bank.example.com/login", "jsmith", "Card ends 4411", "pW0rd!2019"},
    {1, "A", "MAIL", "https://mail.example.org", "jane.smith@example.org", "", "correct-horse"},
    {2, "U", "LIBRARY", "http://library.example.net", "J0471", "Renew by phone", "b00ks"},
    {3, "D", "OLD SHOP", "http://shop.example.com", "js", "", "gone"},
    {4, "A", "CHESS CLUB", "https://chess.example.com", "knight7", "Thursday nights", "e4e5Nf3"},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Keyfold"));
    QApplication::setOrganizationName(QStringLiteral("Quorvel"));
    outDir = QString::fromLocal8Bit(argv[1]);
    // A steady text cursor and the pointer off every window: no blink, no hover.
    QGuiApplication::styleHints()->setCursorFlashTime(0);
    QCursor::setPos(1279, 1023);

    gui_test::freshStart();
    gui_test::writeDataFile(kPhrase, kEntries);

    // The key phrase dialog, with a phrase typed; Continue loads the main window's list.
    // As the program starts: the main window's controls are made after the dialog's paint.
    auto mainWindow = std::make_unique<MainWindow>(nullptr, MainWindow::Controls::AfterKeyDialog);
    {
        KeyPhraseDialog key(&mainWindow->session());
        mainWindow->finishLookAfterFirstPaintOf(&key);
        gui_test::loadListWhenPhraseIsSet(key, *mainWindow);
        key.prepare();
        key.phraseEdit()->setText(QString::fromLatin1(kPhrase));
        key.show();
        save(&key, "key-phrase-dialog");
        key.continueButton()->click();
    }

    // The main window. The memory panel shows fixed figures, since the machine's vary
    // from one run to the next; the lines are made as the window makes them.
    const platform::MemoryLines memory = platform::memoryLines(8192, 5120);
    mainWindow->memoryTotalLabel()->setText(memory.total);
    mainWindow->memoryAvailableLabel()->setText(memory.available);
    mainWindow->memoryPercentLabel()->setText(memory.percent);
    mainWindow->show();
    save(mainWindow.get(), "main-window");

    // The about box, as the main window opens it.
    {
        AboutBox box(mainWindow.get());
        box.show();
        save(&box, "about-box");
    }

    // The browser window on a local page, opened as the main window opens it.
    {
        const QString page = QDir::homePath() + QStringLiteral("/page.html");
        QFile file(page);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) ++failures;
        file.write(
            "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Sign in</title></head>"
            "<body style=\"font-family: sans-serif\"><h1>Example Bank</h1>"
            "<p>Sign in to your account.</p>"
            "<form><p>User <input id=\"user\" name=\"user\"></p>"
            "<p>Password <input id=\"pass\" name=\"pass\" type=\"password\"></p>"
            "<p><input type=\"submit\" value=\"Sign in\"></p></form></body></html>");
        file.close();
        platform::BrowseRequest request;
        request.owner = mainWindow.get();
        request.name = QStringLiteral("EXAMPLE BANK");
        // Served on a fixed port, since the address is on screen.
        testsupport::PageServer server(QDir::homePath());
        if (!server.start(47613)) {
            std::fprintf(stderr, "port 47613 is taken\n");
            ++failures;
        }
        request.website = server.address(QStringLiteral("/page.html"));
        request.user = QStringLiteral("jsmith");
        request.password = QStringLiteral("pW0rd!2019");
        std::unique_ptr<BrowserWindow> window = BrowserWindow::prepare(request);
        QWebEngineView* view = window ? window->pageView() : nullptr;
        if (!view) {
            std::fprintf(stderr, "no browser window\n");
            ++failures;
        } else {
            QSignalSpy loaded(view, &QWebEngineView::loadFinished);
            window->show();
            if (loaded.isEmpty() && !loaded.wait(15000)) {
                std::fprintf(stderr, "the page never loaded\n");
                ++failures;
            }
            // The window sizes its page once its own timer has run; then the engine paints.
            for (int i = 0; window->sizingTimer()->isActive() && i < 100; ++i) QTest::qWait(50);
            QTest::qWait(1000);
            save(window.get(), "browser-window");
        }
    }

    mainWindow->hide();
    return failures == 0 ? 0 : 1;
}
