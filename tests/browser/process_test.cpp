// The program's side of the browser window: the window runs in a process of its own,
// the program never loads the web engine, and a window whose process ends without
// being closed is said so while the program goes on.
#include <csignal>
#include <unistd.h>
#include <QApplication>
#include <QColor>
#include <QDeadlineTimer>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "platform/browser_process.h"
#include "platform/messages.h"
#include "platform/secret.h"
#include "tests/support/boxes.h"
#include "tests/support/freed_blocks.h"
#include "tests/support/memory_search.h"
#include "tests/support/messages.h"
#include "tests/support/page_server.h"
#include "tests/support/program_files.h"
#include "vault/locations.h"
#include "vault/settings.h"

using testsupport::boxesAsExpected;

namespace {

bool webEngineLoaded(qint64 pid = 0) {
    QFile maps(pid ? QStringLiteral("/proc/%1/maps").arg(pid) : QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) return false;
    return maps.readAll().contains("libQt6WebEngine");
}

const QString kEnded = QStringLiteral(
    "The browser window ended unexpectedly. Your password list is unchanged; use \"Open Within\" to open the "
    "site again.");

}  // namespace

class ProcessTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir folder;  // the page
    std::unique_ptr<testsupport::PageServer> server;

    platform::BrowseRequest request() const {
        platform::BrowseRequest r;
        r.name = QStringLiteral("EXAMPLE");
        r.website = server->address(QStringLiteral("/page.html"));
        r.user = QStringLiteral("ann");
        r.password = QStringLiteral("pw");
        return r;
    }

    // Opens the window and, once it is on the screen, runs `inside` with its process id;
    // the window must be gone within the time. Returns the process id it had.
    qint64 withWindow(const std::function<void(qint64)>& inside, const platform::BrowseRequest* asked = nullptr) {
        qint64 pid = 0;
        QDeadlineTimer deadline(30000);
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (!platform::testing::browserWindowShown()) {
                if (deadline.hasExpired()) {
                    poll.stop();
                    if (const qint64 p = platform::testing::browserProcessId()) ::kill(pid_t(p), SIGKILL);
                }
                return;
            }
            poll.stop();
            pid = platform::testing::browserProcessId();
            inside(pid);
        });
        poll.start(20);
        platform::openBrowserWindow(asked ? *asked : request());
        return pid;
    }

private slots:
    void initTestCase() {
        QFile page(folder.filePath(QStringLiteral("page.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<body style=\"background:#33aa77\"><form><input name=user></form>");
        page.close();
        server = std::make_unique<testsupport::PageServer>(folder.path());
        QVERIFY(server->start());
    }

    void opensTheWindowInItsOwnProcess() {
        const std::string settingsFile = testsupport::programFiles().settingsFile;
        platform::testing::reset();

        platform::BrowseRequest blank = request();
        blank.website = QStringLiteral("  \t ");
        platform::testing::expectBox(platform::BoxKind::Plain, testsupport::kNoWebsite);
        platform::openBrowserWindow(blank);
        QVERIFY(boxesAsExpected());

        // The password goes to the window's process in the opening message; once the
        // window has closed, no 8-bit or UTF-8 copy of it is left in this process (the
        // request's UTF-16 strings are Qt's). 25 characters: a freed block is found by
        // the password's end (see MemorySearch::copies).
        constexpr unsigned char kMask = 0x47;
        const std::string hidden = keyfoldtest::MemorySearch::masked("Ye6%Wq2!Hn8^Tz4&Mc1*Kd7#P", kMask);
        platform::BrowseRequest asked = request();
        asked.password.clear();
        for (const char m : hidden) asked.password += QChar(char16_t(static_cast<unsigned char>(m ^ kMask)));
        keyfoldtest::MemorySearch search;
        keyfoldtest::FreedBlockWatch watch(hidden, kMask);

        // Started ahead, as the program does when a person heads for "Open Within".
        platform::warmBrowserProcess();
        bool engineThere = false, drawn = false;
        const bool onX = QGuiApplication::platformName() == QLatin1String("xcb");
        const qint64 pid = withWindow(
            [&](qint64 child) {
                engineThere = webEngineLoaded(child);
                // On X the page shows on the screen: its colour where the browser area is.
                QDeadlineTimer deadline(15000);
                while (onX && !drawn && !deadline.hasExpired()) {
                    drawn = QGuiApplication::primaryScreen()->grabWindow(0).toImage().pixelColor(300, 400) ==
                            QColor(0x33, 0xaa, 0x77);
                    QTest::qWait(50);
                }
                platform::testing::closeBrowserWindow();
            },
            &asked);
        platform::wipe(asked.password);
        search.keep();
        QCOMPARE(search.copies(hidden, kMask), 0);
        QCOMPARE(watch.blocksWithText(), 0);
        QVERIFY(pid > 0);
        QVERIFY(engineThere);
        QVERIFY(!onX || drawn);
        QVERIFY(!webEngineLoaded());
        QVERIFY(boxesAsExpected());
        // Closing stored both sizes; the process is gone.
        QVERIFY(vault::readWidth("FrmBrowse", settingsFile) > 0);
        QVERIFY(vault::readWidth("Webbrowser1", settingsFile) > 0);
        QVERIFY(::kill(pid_t(pid), 0) != 0);
        QCOMPARE(platform::testing::browserProcessId(), 0);
    }

    void aWindowThatEndsUnaskedIsSaidSo() {
        platform::testing::reset();
        // Killed, or crashed: the program says so and goes on; a next window opens.
        for (int signal : {SIGKILL, SIGSEGV}) {
            platform::testing::expectBox(platform::BoxKind::Warning, kEnded);
            QVERIFY(withWindow([signal](qint64 child) { ::kill(pid_t(child), signal); }) > 0);
            QVERIFY2(boxesAsExpected(), qPrintable(QString::number(signal)));
        }
        QVERIFY(withWindow([](qint64) { platform::testing::closeBrowserWindow(); }) > 0);
        QVERIFY(boxesAsExpected());
        QVERIFY(!webEngineLoaded());
        // A process started ahead and never used ends with the program (main's end).
        platform::warmBrowserProcess();
    }
};

int main(int argc, char** argv) {
    // As the program starts: no OpenGL attribute, and for root no sandbox switch (the
    // browser's process must cope with both itself).
    if (::geteuid() == 0) qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    QApplication app(argc, argv);
    ProcessTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "process_test.moc"
