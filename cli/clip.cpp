#include "cli/clip.h"
#include "cli/clipwayland.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QTimer>

#include "vault/secret.h"

namespace clipmodule {

volatile std::sig_atomic_t stopRequested = 0;

namespace {
void onSignal(int) { stopRequested = 1; }
}  // namespace

void stopOnSignals() {
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);
}

const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

void announceCopy(const char* what, int seconds) {
    if (what && seconds > 0)
        std::fprintf(stderr, "%s copied to the clipboard; cleared in %d s (Ctrl+C clears it now).\n", what, seconds);
    else if (what)
        std::fprintf(stderr,
                     "%s copied to the clipboard; it stays until something else is copied (Ctrl+C clears it).\n", what);
}

}  // namespace clipmodule

using namespace clipmodule;

namespace {

// Why keyfold_cli_clip_application made no application object.
std::string noApplicationReason;

std::string displayText(const char* display) {
    std::string shown;
    for (const char* c = display; *c && shown.size() < 80; ++c)
        shown += static_cast<unsigned char>(*c) < 32 || *c == 127 ? '?' : *c;
    return shown;
}

// Writes the request and waits for any byte of the answer: true when one came.
bool answers(int fd, const void* request, std::size_t size) {
    if (::send(fd, request, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) return false;
    pollfd p{fd, POLLIN, 0};
    const timespec deadline{kAnswerMs / 1000, 0};
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const long spent = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        const long left = deadline.tv_sec * 1000 - spent;
        if (left <= 0) return false;
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char byte;
        return ::recv(fd, &byte, 1, 0) == 1;
    }
}

int connectUnix(const std::string& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t at = abstract ? 1 : 0;
    if (path.size() + at >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path + at, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const socklen_t size =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + at + path.size() + (abstract ? 0 : 1));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), size) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The Wayland compositor's socket: WAYLAND_DISPLAY itself when it is a path, else in
// XDG_RUNTIME_DIR.
std::string waylandSocket(const char* display) {
    if (display[0] == '/') return display;
    const char* runtime = env("XDG_RUNTIME_DIR");
    return runtime ? std::string(runtime) + '/' + display : std::string();
}

// True when the compositor answers a wl_display.sync (object 1, request 0, new id 2).
bool waylandAnswers(const char* display) {
    const std::string socket = waylandSocket(display);
    const int fd = socket.empty() ? -1 : connectUnix(socket, false);
    if (fd < 0) return false;
    const std::uint32_t sync[3] = {1, (12u << 16) | 0u, 2};
    const bool answered = answers(fd, sync, sizeof sync);
    ::close(fd);
    return answered;
}

// The connection to the X server at DISPLAY ([unix|tcp/][host]:number[.screen]) once it
// has answered the connection set-up (any answer: whether it lets this program in is
// xcb's to find); -1 when it did not. Held open until Qt has connected: an X server
// with no client left resets itself, and refuses connections while it does.
int x11Answering(const char* display) {
    std::string d = display;
    if (d.rfind("unix/", 0) == 0 || d.rfind("tcp/", 0) == 0) d.erase(0, d.find('/') + 1);
    const std::size_t colon = d.rfind(':');
    if (colon == std::string::npos) return -1;
    const std::string host = d.substr(0, colon);
    std::string number = d.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos || number.size() > 5) return -1;
    int fd = -1;
    if (host.empty() || host == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + number;
        fd = connectUnix(path, true);
        if (fd < 0) fd = connectUnix(path, false);
    } else {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const std::string port = std::to_string(6000 + std::stoi(number));
        if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) == 0) {
            for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
                fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
                if (fd >= 0 && ::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
                    ::close(fd);
                    fd = -1;
                }
            }
            ::freeaddrinfo(found);
        }
    }
    if (fd < 0) return -1;
    // Byte order 'l', protocol 11.0, no authorisation.
    const unsigned char setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (answers(fd, setup, sizeof setup)) return fd;
    ::close(fd);
    return -1;
}

// Qt's own lines (platform plugins and the like) are not this program's to show.
void quietMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

int x11Clip(const char* utf8Text, int seconds, const char* what, void (*held)(), std::string& error) {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app) {
        error = noApplicationReason.empty() ? "no display to reach the clipboard through" : noApplicationReason;
        return 1;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    QObject scope;  // the connections below end with this call

    QString text = QString::fromUtf8(utf8Text);
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    QPointer<QMimeData> ours = data;
    clipboard->setMimeData(data, QClipboard::Clipboard);
    // The X server says whether this program now owns the clipboard.
    if (!clipboard->ownsClipboard()) {
        text.fill(QChar(0));
        error = "the display did not give this program the clipboard";
        return 1;
    }

    if (held) held();
    announceCopy(what, seconds);

    // Another program's copy ends the wait: there is nothing of ours left to clear.
    QObject::connect(clipboard, &QClipboard::dataChanged, &scope, [&] {
        if (clipboard->mimeData(QClipboard::Clipboard) != ours.data()) app->quit();
    });
    stopOnSignals();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &scope, [&] {
        if (stopRequested) app->quit();
    });
    poll.start(100);
    QTimer delay;
    delay.setSingleShot(true);
    QObject::connect(&delay, &QTimer::timeout, &scope, [&] { app->quit(); });
    if (seconds > 0) delay.start(seconds * 1000);
    app->exec();

    // Only our own copy goes: anything copied since stays.
    if (ours && clipboard->mimeData(QClipboard::Clipboard) == ours.data()) {
        clipboard->clear(QClipboard::Clipboard);
        if (what) std::fprintf(stderr, "Clipboard cleared.\n");
    }
    if (clipboard->supportsSelection() && !text.isEmpty() && clipboard->text(QClipboard::Selection) == text)
        clipboard->clear(QClipboard::Selection);
    text.fill(QChar(0));
    return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) QCoreApplication* keyfold_cli_clip_application(int* argc,
                                                                                                 char** argv) {
    qInstallMessageHandler(quietMessages);
    noApplicationReason.clear();
    if (const char* wayland = env("WAYLAND_DISPLAY")) {
        if (!waylandAnswers(wayland))
            noApplicationReason = "the Wayland display " + displayText(wayland) + " does not answer";
        return nullptr;
    }
    const char* display = env("DISPLAY");
    if (!display) return nullptr;
    const int answering = x11Answering(display);
    if (answering < 0) {
        noApplicationReason = "the display " + displayText(display) + " does not answer";
        return nullptr;
    }
    struct CloseAtScopeEnd {
        int fd;
        ~CloseAtScopeEnd() { ::close(fd); }
    } probe{answering};
    // It answers; whether it lets this program in (its authorisation) is tried here,
    // where a refusal is a reason and not an abort inside Qt.
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    const bool refused = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    if (refused) {
        noApplicationReason = "the display " + displayText(display) + " refuses this program";
        return nullptr;
    }
    // The clipboard is the X server's: never another of Qt's platforms, whose copy
    // nobody else could paste.
    qputenv("QT_QPA_PLATFORM", "xcb");
    return new QGuiApplication(*argc, argv);
}

extern "C" __attribute__((visibility("default"))) int keyfold_cli_clip(const char* utf8Text, int seconds,
                                                                       const char* what, void (*held)(), char* error,
                                                                       std::size_t errorSize) {
    std::string reason;
    int status = 0;
    if (const char* wayland = env("WAYLAND_DISPLAY")) {
        if (!noApplicationReason.empty() || !waylandAnswers(wayland)) {
            reason = "the Wayland display " + displayText(wayland) + " does not answer";
            status = 1;
        } else {
            status = waylandClip(utf8Text, seconds, what, held, reason);
        }
    } else {
        status = x11Clip(utf8Text, seconds, what, held, reason);
    }
    if (status != 0 && error && errorSize > 0) std::snprintf(error, errorSize, "%s", reason.c_str());
    return status;
}
