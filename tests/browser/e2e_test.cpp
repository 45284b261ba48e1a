// From the main window to the browser window's process: "Open Within" and a double
// click on a name open the entry's page in a window of its own process, the main window
// takes no input meanwhile and the program never loads the web engine. (The fill
// itself, the window's process asking the program, is in the browser_window group.)
#include <csignal>
#include <functional>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "support.h"
#include "windows/MainWindow.h"
#include "platform/windows1252lineedit.h"
#include "platform/browser_module.h"
#include "tests/support/controls.h"
#include "tests/support/page_server.h"

using testsupport::control;
using testsupport::SiteList;

using namespace gui_test;

namespace {

bool webEngineLoaded() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngine");
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
