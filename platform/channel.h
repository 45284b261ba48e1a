// The private line between the program and its browser window process: one end of a
// socket pair each, never a name another program could open. A message is a list of
// byte fields, the first its kind; every buffer that held one is overwritten when it
// is let go, since messages carry the entry's user ID and password.
#pragma once
#include <optional>
#include <QByteArray>
#include <QList>
#include <QObject>

class QEventLoop;
class QSocketNotifier;

namespace platform {

using Message = QList<QByteArray>;

// Overwrites every field and empties the message.
void wipe(Message& message);

class Channel : public QObject {
    Q_OBJECT
public:
    // Takes over the socket (closed with the channel).
    explicit Channel(int socket, QObject* parent = nullptr);
    ~Channel() override;

    // Writes the message whole; false when the other end is gone.
    bool send(const Message& message);
    bool isOpen() const { return socket_ >= 0; }
    void close();

    // Waits for the next message while the event loop runs, at most timeoutMs (-1: no limit);
    // nothing when the channel closed or the time ran out. received() is not emitted
    // for a message taken this way.
    std::optional<Message> next(int timeoutMs);

signals:
    // The receiver copies what it keeps: the fields are overwritten after the call.
    void received(const platform::Message& message);
    void closed();

private:
    void readAvailable();
    bool takeMessage(Message& message);

    int socket_;
    QSocketNotifier* notifier_;
    QByteArray buffer_;
    std::optional<Message>* waiting_ = nullptr;
    QEventLoop* waitLoop_ = nullptr;
};

// Makes a connected pair of sockets that are closed in any program this one starts
// (the browser window's process clears that mark on its own end). False on failure.
bool makeSocketPair(int sockets[2]);

}  // namespace platform
