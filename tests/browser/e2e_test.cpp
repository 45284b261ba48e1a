// From the main window to a filled login page: "Open Within" and a double click on a
// name open the entry's page in the browser window, and "Auto Fill Pwd " writes the
// entry's user ID and password into the page's form.
#include <functional>
#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <QtTest>

#include "support.h"
#include "windows/MainWindow.h"
#include "platform/ansi.h"
#include "tests/support/controls.h"
#include "tests/support/page_server.h"

using testsupport::control;

using namespace gui_test;

namespace {

// Runs `inside` once the modal browser window is up and its page has loaded, then
// closes the window; `open` is what opens it. Returns whether the window came.
bool withBrowserWindow(const std::function<void()>& open, const std::function<void(QWidget*)>& inside) {
    bool came = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* window = QApplication::activeModalWidget();
        if (!window || window->objectName() != QLatin1String("FrmBrowse")) return;
        auto* progress = window->findChild<QLabel*>(QStringLiteral("Label1"));
        if (!progress || progress->text() != QLatin1String("Done Loading.")) return;
        poll.stop();
        came = true;
        inside(window);
        window->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
    });
    poll.start(20);
    QTimer::singleShot(20000, [&] {
        if (QWidget* window = QApplication::activeModalWidget()) window->close();
    });
    open();
    return came;
}

QJsonObject fieldValues(QWidget* window) {
    auto* view = window->findChild<QWebEngineView*>(QStringLiteral("WebBrowser1"));
    QEventLoop loop;
    QString json;
    view->page()->runJavaScript(
        QStringLiteral("JSON.stringify({u: document.getElementById('u').value, p: document.getElementById('p').value})"),
        [&](const QVariant& v) {
            json = v.toString();
            loop.quit();
        });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    return QJsonDocument::fromJson(json.toUtf8()).object();
}

}  // namespace

class EndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void openWithinAndAutoFill() {
        freshStart();
        QTemporaryDir folder;
        QFile page(folder.filePath(QStringLiteral("login.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<!DOCTYPE html><title>Sign in</title><form action=done.html>"
                   "<input id=u name=login_name><input id=p type=password name=login_pwd>"
                   "<input type=submit value='Sign in'></form>");
        page.close();
        testsupport::PageServer server(folder.path());
        QVERIFY(server.start());
        const std::string address = server.address(QStringLiteral("/login.html")).toStdString();
        // A second entry on the web shows the phrase is the file's.
        writeDataFile("phrase", {{0, "A", "MY BANK", address, "carol", "", "p\"a's\\s"},
                                 {1, "A", "OTHER", "http://other.example", "", "", ""}});

        auto w = startProgram(QStringLiteral("phrase"));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QCOMPARE(control<platform::AnsiLineEdit>(w, "EdName")->text(), QStringLiteral("MY BANK"));

        QString site, url, hideCaption;
        QJsonObject values;
        QPushButton* openWithin = control<QPushButton>(w, "CmdGoWeb");
        QVERIFY(withBrowserWindow([&] { openWithin->click(); }, [&](QWidget* window) {
            site = window->findChild<QLabel*>(QStringLiteral("LblName"))->text();
            url = window->findChild<QLineEdit*>(QStringLiteral("EdURL"))->text();
            hideCaption = window->findChild<QPushButton*>(QStringLiteral("CmdHide"))->text();
            window->findChild<QPushButton*>(QStringLiteral("BitBtn2"))->click();
            values = fieldValues(window);
        }));
        QCOMPARE(site, QStringLiteral("Site: MY BANK"));
        QCOMPARE(url, QString::fromStdString(address));
        QCOMPARE(hideCaption, QStringLiteral("Hide"));
        QCOMPARE(values["u"].toString(), QStringLiteral("carol"));
        QCOMPARE(values["p"].toString(), QStringLiteral("p\"a's\\s"));
        VERIFY_BOXES();

        // Masking on in the main window; a double click on the name opens the window too.
        control<QPushButton>(w, "CmdHide")->click();
        QVERIFY(!control<QLabel>(w, "LblUserHidden")->isHidden());
        QListWidget* list = control<QListWidget>(w, "ListBox1");
        const QRect line = list->visualItemRect(list->item(0));
        QVERIFY(withBrowserWindow(
            [&] {
                // A double click: press and release, then the second press as a double click.
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, line.center());
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, line.center());
            },
            [&](QWidget* window) {
                hideCaption = window->findChild<QPushButton*>(QStringLiteral("CmdHide"))->text();
                url = window->findChild<QLineEdit*>(QStringLiteral("EdURL"))->text();
            }));
        QCOMPARE(hideCaption, QStringLiteral("Show"));
        QCOMPARE(url, QString::fromStdString(address));
        VERIFY_BOXES();
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
