// Helpers shared by the browser window tests: local pages, waiting for loads, reading
// the page back in the page's own script world.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include "platform/messages.h"
#include "tests/support/boxes.h"
#include "tests/support/messages.h"
#include "tests/support/program_files.h"
#include "tests/support/page_server.h"
#include "windows/AutoFill.h"
#include "windows/BrowserView.h"
#include "windows/BrowserWindow.h"

namespace browsertest {

using testsupport::boxesAsExpected;

// The local web server of a folder's pages, started at its first use.
inline testsupport::PageServer& serverFor(const QTemporaryDir& dir) {
    static std::map<QString, std::unique_ptr<testsupport::PageServer>> servers;
    std::unique_ptr<testsupport::PageServer>& server = servers[dir.path()];
    if (!server) {
        server = std::make_unique<testsupport::PageServer>(dir.path());
        server->start();
    }
    return *server;
}

// Writes an HTML page into dir and answers its address on the folder's web server,
// under the host name given.
inline QString writePage(const QTemporaryDir& dir, const QString& name, const QString& body,
                         const QString& host = QStringLiteral("127.0.0.1")) {
    const QString path = dir.filePath(name + QStringLiteral(".html"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
    file.write(QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
                              "<body>%2</body></html>")
                   .arg(name, body)
                   .toUtf8());
    return serverFor(dir).address(QLatin1Char('/') + name + QStringLiteral(".html"), host);
}

// Navigates and waits for the end of loading.
inline bool loadAndWait(BrowserView* browser, const QString& address) {
    QSignalSpy finished(browser, &QWebEngineView::loadFinished);
    browser->navigate(address);
    return finished.wait(15000) && finished.first().first().toBool();
}

// Runs a script in the page's main world (where the page's own scripts live).
inline QVariant runInPage(BrowserView* browser, const QString& source) {
    QEventLoop loop;
    QVariant result;
    bool done = false;
    browser->page()->runJavaScript(source, QWebEngineScript::MainWorld, [&](const QVariant& v) {
        result = v;
        done = true;
        loop.quit();
    });
    if (!done) {
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return result;
}

// id -> value of every input, select and textarea of the page.
inline QJsonObject fieldValues(BrowserView* browser) {
    const QString json =
        runInPage(browser,
                  QStringLiteral(
                      "JSON.stringify(Object.fromEntries(Array.from(document.querySelectorAll('input,select,textarea'))"
                      ".filter(e => e.id).map(e => [e.id, e.value])))"))
            .toString();
    return QJsonDocument::fromJson(json.toUtf8()).object();
}

}  // namespace browsertest
