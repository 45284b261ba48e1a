#include "platform/channel.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include "platform/frame.h"
#include "platform/secret.h"

namespace platform {

namespace {

void putLength(QByteArray& out, quint32 n) {
    char bytes[4];
    putFrameLength(bytes, n);
    out.append(bytes, 4);
}

}  // namespace

void wipe(Message& message) {
    for (QByteArray& field : message) wipe(field);
    message.clear();
}

bool makeSocketPair(int sockets[2]) { return ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) == 0; }

Channel::Channel(int socket, QObject* parent)
    : QObject(parent), socket_(socket), notifier_(new QSocketNotifier(socket, QSocketNotifier::Read, this)) {
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readAvailable(); });
}

Channel::~Channel() {
    close();
    wipe(buffer_);
}

void Channel::close() {
    if (socket_ < 0) return;
    notifier_->setEnabled(false);
    ::close(socket_);
    socket_ = -1;
    emit closed();
}

bool Channel::send(const Message& message) {
    if (socket_ < 0) return false;
    qsizetype size = 0;
    for (const QByteArray& field : message) size += 4 + field.size();
    if (size > qsizetype(kMaxMessage)) return false;
    QByteArray frame;
    frame.reserve(4 + size);  // one buffer of the final size: no partial copy left behind
    putLength(frame, quint32(size));
    for (const QByteArray& field : message) {
        putLength(frame, quint32(field.size()));
        frame.append(field);
    }
    const char* at = frame.constData();
    qsizetype left = frame.size();
    bool sent = true;
    while (left > 0) {
        const ssize_t n = ::send(socket_, at, size_t(left), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            sent = false;
            break;
        }
        at += n;
        left -= n;
    }
    wipe(frame);
    if (!sent) close();
    return sent;
}

bool Channel::takeMessage(Message& message) {
    std::vector<FrameField> fields;
    std::size_t end = 0;
    switch (readFrame(buffer_.constData(), std::size_t(buffer_.size()), fields, end)) {
    case FrameState::Incomplete: return false;
    case FrameState::Refused: close(); return false;
    case FrameState::Complete: break;
    }
    for (const FrameField& f : fields) message.append(QByteArray(buffer_.constData() + f.at, qsizetype(f.size)));
    // The bytes taken are overwritten before the rest moves up.
    vault::wipeBytes(buffer_.data(), end);
    buffer_.remove(0, qsizetype(end));
    return true;
}

void Channel::readAvailable() {
    if (socket_ < 0) return;
    char chunk[4096];
    const ssize_t n = ::recv(socket_, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
        close();
        return;
    }
    if (buffer_.data_ptr().freeSpaceAtEnd() < n) {
        // Grown by hand so that the old buffer is overwritten, not just freed. The room
        // counted is what lies after the text: an append that finds too little there may
        // move the block even when its whole capacity would do.
        QByteArray larger;
        larger.reserve(std::max<qsizetype>(2 * buffer_.capacity(), buffer_.size() + n + 4096));
        larger.append(buffer_);
        wipe(buffer_);
        buffer_ = larger;
    }
    buffer_.append(chunk, n);
    vault::wipeBytes(chunk, size_t(n));
    Message message;
    const QPointer<Channel> self(this);
    while (self && takeMessage(message)) {
        if (waiting_ && !*waiting_) {
            *waiting_ = message;
            message.clear();  // shared with the waiter's copy, which it wipes
            waitLoop_->quit();
        } else {
            emit received(message);
            wipe(message);
        }
    }
}

std::optional<Message> Channel::next(int timeoutMs) {
    std::optional<Message> result;
    if (socket_ < 0) return result;
    QEventLoop loop;
    waiting_ = &result;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &Channel::closed, &loop, &QEventLoop::quit);
    waitLoop_ = &loop;
    if (timeoutMs >= 0) timer.start(timeoutMs);
    // No clicks or keys meanwhile: the window must not start a second request.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    waiting_ = nullptr;
    waitLoop_ = nullptr;
    return result;
}

}  // namespace platform
