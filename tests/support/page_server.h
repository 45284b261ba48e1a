// A small web server on the loopback address for the browser window's tests and tools
// (the window opens only http and https addresses). It serves the files of one folder
// and the redirects a test sets up, under any *.localhost name too: the engine takes
// each such name to the loopback address, so bank.localhost and other.localhost are two
// sites here. Needs Qt6::Network.
#pragma once
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>

namespace testsupport {

class PageServer : public QTcpServer {
public:
    explicit PageServer(const QString& folder) : folder_(folder) {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
            }
        });
    }
    // Listens on the loopback address, on the port given or on a free one.
    bool start(quint16 port = 0) { return isListening() || listen(QHostAddress::LocalHost, port); }
    // The address of a path ("/login.html") under a host name.
    QString address(const QString& path, const QString& host = QStringLiteral("127.0.0.1")) const {
        return QStringLiteral("http://%1:%2%3").arg(host).arg(serverPort()).arg(path);
    }
    QMap<QByteArray, QString> redirects;  // path -> address

private:
    void answer(QTcpSocket* socket) {
        if (!socket->peek(socket->bytesAvailable()).contains("\r\n\r\n")) return;
        const QList<QByteArray> request = socket->readAll().split(' ');
        const QByteArray path = request.value(1).split('?').first();
        QByteArray head = "HTTP/1.1 404 Not Found\r\n", body;
        QFile file(QDir(folder_).filePath(QString::fromUtf8(path.mid(1))));
        if (redirects.contains(path)) {
            head = "HTTP/1.1 302 Found\r\nLocation: " + redirects[path].toUtf8() + "\r\n";
        } else if (!path.contains("..") && path.size() > 1 && file.open(QIODevice::ReadOnly)) {
            head = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n";
            body = file.readAll();
        }
        socket->write(head + "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
                      body);
        socket->disconnectFromHost();
    }
    QString folder_;
};

}  // namespace testsupport
