// The program's side of the browser window: the web engine comes in only with the
// browser library, loaded the first time a browser window opens.
#include <unistd.h>
#include <QApplication>
#include <QColor>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "platform/browser_module.h"
#include "platform/messages.h"
#include "tests/support/boxes.h"
#include "tests/support/page_server.h"
#include "tests/support/program_files.h"
#include "vault/locations.h"
#include "vault/settings.h"

namespace {

bool webEngineLoaded() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) return false;
    return maps.readAll().contains("libQt6WebEngine");
}

bool boxesAsExpected() {
    const QStringList problems = testsupport::boxProblems();
    if (!problems.isEmpty()) qWarning() << problems;
    return problems.isEmpty();
}

}  // namespace

class ModuleTest : public QObject {
    Q_OBJECT
private slots:
    void opensTheWindowFromTheLibrary() {
        QTemporaryDir folder;  // the page
        const std::string settingsFile = testsupport::programFiles().settingsFile;
        platform::testing::reset();
        QVERIFY(!webEngineLoaded());

        platform::BrowseRequest request;
        request.name = QStringLiteral("EXAMPLE");
        request.website = QStringLiteral("   ");
        platform::testing::expectBox(platform::BoxKind::Plain,
                                     QStringLiteral("There is no website address listed in the website box"));
        platform::openBrowserWindow(request);
        QVERIFY(boxesAsExpected());
        QVERIFY(webEngineLoaded());

        QFile page(folder.filePath(QStringLiteral("page.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<body style=\"background:#33aa77\"><form><input name=user></form>");
        page.close();
        testsupport::PageServer server(folder.path());
        QVERIFY(server.start());
        request.website = server.address(QStringLiteral("/page.html"));

        // Answer the modal window from inside its own event loop: check it, wait until
        // the page is drawn in the browser area (its colour in the window's picture, on X
        // as offscreen), then close it.
        QString title, site, progress;
        bool modal = false;
        QColor drawn;
        QDeadlineTimer deadline(15000);
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            QWidget* window = QApplication::activeModalWidget();
            if (!window || window->objectName() != QLatin1String("FrmBrowse")) return;
            title = window->windowTitle();
            modal = window->isModal();
            if (auto* name = window->findChild<QLabel*>(QStringLiteral("LblName"))) site = name->text();
            if (auto* label = window->findChild<QLabel*>(QStringLiteral("Label1"))) progress = label->text();
            drawn = window->grab().toImage().pixelColor(300, 400);
            const bool shown = drawn == QColor(0x33, 0xaa, 0x77) && progress == QLatin1String("Done Loading.");
            if (!shown && !deadline.hasExpired()) return;
            poll.stop();
            if (auto* close = window->findChild<QPushButton*>(QStringLiteral("BitBtn1"))) close->click();
        });
        poll.start(20);
        platform::openBrowserWindow(request);
        QCOMPARE(title, "Keyfold Auto Viewer - Password Filler");
        QVERIFY(modal);
        QCOMPARE(site, "Site: EXAMPLE");
        QCOMPARE(drawn, QColor(0x33, 0xaa, 0x77));
        QCOMPARE(progress, "Done Loading.");
        QVERIFY(boxesAsExpected());
        // Closing stored both sizes.
        QVERIFY(vault::readWidth("FrmBrowse", settingsFile) > 0);
        QVERIFY(vault::readWidth("Webbrowser1", settingsFile) > 0);
    }
};

int main(int argc, char** argv) {
    // As the program starts: no OpenGL attribute, and for root no sandbox switch (the
    // browser library must cope with both itself).
    if (::geteuid() == 0) qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    QApplication app(argc, argv);
    ModuleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "module_test.moc"
