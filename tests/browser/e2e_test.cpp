// From the main window to the browser window's process: "Open Within" and a double
// click on a name open the entry's page in a window of its own process, the main window
// takes no input meanwhile and the program never loads the web engine. (The fill
// itself, the window's process asking the program, is in the browser_window group.)
#include <csignal>
#include <functional>
#include <map>
#include <set>
#include <QApplication>
#include <QDeadlineTimer>
#include <QEnterEvent>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "support.h"
#include "windows/MainWindow.h"
#include "platform/windows1252lineedit.h"
#include "platform/browser_process.h"
#include "tests/support/controls.h"
#include "tests/support/page_server.h"

using testsupport::SiteList;

using namespace gui_test;

namespace {

bool webEngineLoaded() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngine");
}

// The processes this one started, and theirs, alive now (zombies not counted).
std::set<qint64> descendants() {
    std::map<qint64, qint64> parentOf;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
        if (fields.size() > 1 && fields[0] != "Z") parentOf[entry.toLongLong()] = fields[1].toLongLong();
    }
    std::set<qint64> found{QCoreApplication::applicationPid()};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [pid, parent] : parentOf)
            if (found.count(parent) && found.insert(pid).second) grew = true;
    }
    found.erase(QCoreApplication::applicationPid());
    return found;
}

// Runs `inside` once the browser window's process reports its window on the screen,
// then closes the window; `open` is what opens it. Returns whether the window came.
bool withBrowserWindow(const std::function<void()>& open, const std::function<void()>& inside) {
    bool came = false;
    QDeadlineTimer deadline(30000);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const qint64 pid = platform::testing::browserProcessId();
        if (!platform::testing::browserWindowShown()) {
            if (pid && deadline.hasExpired()) ::kill(pid_t(pid), SIGKILL);
            return;
        }
        poll.stop();
        came = true;
        inside();
        platform::testing::closeBrowserWindow();
    });
    poll.start(20);
    open();
    return came;
}

}  // namespace

class EndToEndTest : public QObject {
    Q_OBJECT
private slots:
    // No browser process runs until a person heads for a page; one started then, or
    // left waiting after a window closed, goes after the quiet while.
    void browserProcessOnlyWhileAPageIsWanted() {
        freshStart();
        writeDataFile("phrase", {{0, "A", "MY BANK", "http://127.0.0.1:9/", "carol", "", "pw"}});
        auto w = startProgram(QStringLiteral("phrase"));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QTest::qWait(2000);  // longer than the program ever waited before starting one
        QCOMPARE(descendants(), std::set<qint64>{});
        QCOMPARE(platform::testing::waitingProcessId(), 0);

        platform::testing::setQuietWhile(300);
        QPushButton* openWithin = w->browserWindowButton();
        bool noneBesideTheWindow = false;
        // Wayland lets no program move the pointer: there the button is told it came.
        const auto pointerOn = [](QWidget* target) {
            if (QGuiApplication::platformName() != QLatin1String("wayland")) {
                QTest::mouseMove(target);
                return;
            }
            const QPointF centre = QRectF(target->rect()).center();
            QEnterEvent entered(centre, centre, target->mapToGlobal(centre));
            QCoreApplication::sendEvent(target, &entered);
        };
        const struct {
            const char* intent;
            std::function<void()> act;
        } cases[] = {
            {"pointer on Open Within", [&] { pointerOn(openWithin); }},
            {"focus on Open Within",
             [&] {
                 w->activateWindow();
                 openWithin->setFocus(Qt::TabFocusReason);
             }},
            // The pointer on Open Within while a window is open starts nothing more.
            {"a window closed",
             [&] {
                 withBrowserWindow([&] { openWithin->click(); },
                                   [&] {
                                       pointerOn(openWithin);
                                       noneBesideTheWindow = platform::testing::waitingProcessId() == 0;
                                   });
             }},
        };
        for (const auto& c : cases) {
            QTest::mouseMove(w.get(), QPoint(1, 1));
            w->nameEdit()->setFocus();
            QTRY_COMPARE(platform::testing::waitingProcessId(), 0);
            QTRY_COMPARE(descendants(), std::set<qint64>{});
            c.act();
            const qint64 waiting = platform::testing::waitingProcessId();
            QVERIFY2(waiting != 0, c.intent);
            QVERIFY2(descendants().count(waiting), c.intent);
            // Let go after the quiet while: it and the engine's processes end.
            QTRY_COMPARE_WITH_TIMEOUT(platform::testing::waitingProcessId(), 0, 10000);
            QTRY_COMPARE_WITH_TIMEOUT(descendants(), std::set<qint64>{}, 10000);
        }
        QVERIFY(noneBesideTheWindow);
        VERIFY_BOXES();
        platform::testing::setQuietWhile(platform::kBrowserQuietWhileMs);
        w->hide();
    }

    void openWithinAndDoubleClick() {
        freshStart();
        QTemporaryDir folder;
        QFile page(folder.filePath(QStringLiteral("login.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write(
            "<!DOCTYPE html><title>Sign in</title><form action=done.html>"
            "<input id=u name=login_name><input id=p type=password name=login_pwd>"
            "<input type=submit value='Sign in'></form>");
        page.close();
        testsupport::PageServer server(folder.path());
        QVERIFY(server.start());
        const std::string address = server.address(QStringLiteral("/login.html")).toStdString();
        writeDataFile("phrase", {{0, "A", "MY BANK", address, "carol", "", "p\"a's\\s"},
                                 {1, "A", "OTHER", "http://other.example", "", "", ""}});

        auto w = startProgram(QStringLiteral("phrase"));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("MY BANK"));

        // While the window is open, the main window's Exit and close box do nothing,
        // and its event loop runs (this check runs inside it).
        bool stayed = false;
        QPushButton* openWithin = w->browserWindowButton();
        QVERIFY(withBrowserWindow([&] { openWithin->click(); },
                                  [&] {
                                      QTest::mouseClick(w->exitButton(), Qt::LeftButton);
                                      w->close();
                                      stayed = w->isVisible();
                                  }));
        QVERIFY(stayed);
        QVERIFY(w->isVisible());
        VERIFY_BOXES();

        // A double click on the name opens the window too.
        QAbstractItemView* list = SiteList(w).view;
        const QRect line = SiteList(w).rowRect(0);
        QVERIFY(withBrowserWindow(
            [&] {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, line.center());
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, line.center());
            },
            [] {}));
        VERIFY_BOXES();
        QVERIFY(!webEngineLoaded());
        w->hide();
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    EndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "e2e_test.moc"
