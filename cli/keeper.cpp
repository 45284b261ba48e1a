#include "cli/keeper.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>
#include <QLibrary>

#include "cli/clip.h"
#include "vault/secret.h"

namespace cli {

namespace {

// What the keeper says once the copy is on offer; anything else it says is a failure.
constexpr char kHeld[] = "held\n";
// How long the keeper may take to have the copy on offer.
constexpr int kKeeperStartMs = 20000;

KeyfoldCliClipFunction clipFunction(QLibrary& module) {
    auto copy = reinterpret_cast<KeyfoldCliClipFunction>(module.resolve("keyfold_cli_clip"));
    if (!copy) fail(kClipboard, "the clipboard module cannot be loaded: " + module.errorString().toStdString());
    return copy;
}

void writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// The keeper, started in a session of its own (no terminal: closing the shell does
// not end it), in /, with the secret's pipe as standard input and the report pipe as
// standard error. It is started by a child that ends at once, so that it is no child of
// this program: a shell that runs on never keeps it as a zombie once it has ended.
// Returns its process id.
pid_t startKeeper(int secretIn, int reportOut, int seconds) {
    const QByteArray program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().toLocal8Bit();
    const std::string delay = std::to_string(seconds);
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    int pidPipe[2];
    if (devNull < 0 || program.isEmpty() || ::pipe2(pidPipe, O_CLOEXEC) != 0)
        fail(kClipboard, "cannot start the process that holds the clipboard");
    char* const argv[] = {const_cast<char*>(program.constData()), const_cast<char*>("clip-keeper"),
                          const_cast<char*>(delay.c_str()), nullptr};
    const pid_t starter = ::fork();
    if (starter == 0) {
        ::setsid();
        const pid_t keeper = ::fork();
        if (keeper == 0) {
            ::dup2(secretIn, STDIN_FILENO);
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(reportOut, STDERR_FILENO);
            ::close_range(3, ~0U, 0);
            if (::chdir("/") != 0) _exit(127);
            ::execv(argv[0], argv);
            _exit(127);
        }
        writeAll(pidPipe[1], reinterpret_cast<const char*>(&keeper), sizeof keeper);
        _exit(0);
    }
    const int error = errno;
    ::close(devNull);
    ::close(pidPipe[1]);
    pid_t pid = -1;
    if (starter > 0) {
        while (::waitpid(starter, nullptr, 0) < 0 && errno == EINTR) {}
        if (::read(pidPipe[0], &pid, sizeof pid) != static_cast<ssize_t>(sizeof pid)) pid = -1;
    }
    ::close(pidPipe[0]);
    if (pid <= 0)
        fail(kClipboard, "cannot start the process that holds the clipboard" +
                             (starter < 0 ? ": " + std::string(std::strerror(error)) : std::string()));
    return pid;
}

// The keeper's own failure, its last line in this program's words; whatever else it
// said (a library's text, a crash) is not shown.
std::string keeperReason(const std::string& said) {
    static const std::string prefix = "keyfold-cli: ";
    std::string reason;
    for (std::size_t at = 0; at < said.size();) {
        std::size_t end = said.find('\n', at);
        if (end == std::string::npos) end = said.size();
        if (said.compare(at, prefix.size(), prefix) == 0)
            reason = said.substr(at + prefix.size(), end - at - prefix.size());
        at = end + 1;
    }
    return reason.empty() ? "the clipboard cannot be reached (the process that would hold it ended)" : reason;
}

}  // namespace

int timeoutOption(const QCommandLineParser& p, const QCommandLineOption& o) {
    if (!p.isSet(o)) return -1;
    bool ok = false;
    const int n = p.value(o).toInt(&ok);
    if (!ok || n < 0 || n > kMaxClipSeconds)
        fail(kUsage,
             "--timeout takes 0 (until something else is copied) to " + std::to_string(kMaxClipSeconds) + " seconds");
    return n;
}

int offerOnClipboard(const vault::SecretText& secret, int seconds, const char* what, bool wait) {
    if (wait) {
        QLibrary module(clipModulePath());
        char reason[512] = {};
        if (clipFunction(module)(secret.c_str(), seconds, what, nullptr, reason, sizeof reason) != 0)
            fail(kClipboard, reason);
        return kOk;
    }
    int secretPipe[2], reportPipe[2];
    if (::pipe2(secretPipe, O_CLOEXEC) != 0) fail(kClipboard, "cannot start the process that holds the clipboard");
    if (::pipe2(reportPipe, O_CLOEXEC) != 0) {
        ::close(secretPipe[0]);
        ::close(secretPipe[1]);
        fail(kClipboard, "cannot start the process that holds the clipboard");
    }
    const pid_t pid = startKeeper(secretPipe[0], reportPipe[1], seconds);
    ::close(secretPipe[0]);
    ::close(reportPipe[1]);
    // A keeper that ended early must not end this program by SIGPIPE.
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
    writeAll(secretPipe[1], secret.data(), secret.size());
    ::close(secretPipe[1]);
    std::signal(SIGPIPE, oldPipe);
    // A display that does not answer must not hold the shell: the keeper gets a while
    // to take the clipboard, and is ended after it.
    std::string said;
    char buffer[256];
    for (;;) {
        pollfd report{reportPipe[0], POLLIN, 0};
        const int ready = ::poll(&report, 1, kKeeperStartMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            said += "keyfold-cli: the display did not answer\n";
            ::kill(pid, SIGKILL);
            break;
        }
        const ssize_t n = ::read(reportPipe[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        said.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(reportPipe[0]);
    const std::size_t at = said.rfind(kHeld);
    if (at == std::string::npos || at + std::strlen(kHeld) != said.size()) {
        fail(kClipboard, keeperReason(said));
    }
    if (seconds > 0)
        std::fprintf(stderr, "%s copied to the clipboard; cleared in %d s (kill %d clears it now).\n", what, seconds,
                     static_cast<int>(pid));
    else
        std::fprintf(stderr,
                     "%s copied to the clipboard; it stays until something else is copied (kill %d clears it).\n", what,
                     static_cast<int>(pid));
    return kOk;
}

int cmdClipKeeper(Context& c) {
    if (c.args.size() != 1) fail(kUsage, "clip-keeper takes the delay in seconds");
    bool ok = false;
    const int seconds = c.args.first().toInt(&ok);
    if (!ok || seconds < 0 || seconds > kMaxClipSeconds) fail(kUsage, "clip-keeper takes the delay in seconds");
    vault::SecretText secret;  // grows as it is read: each block it leaves is wiped
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        secret.append(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
    vault::wipeBytes(buffer, sizeof buffer);
    // Nothing is read or told after this: the shell that started clip goes on.
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    ::dup2(devNull, STDIN_FILENO);
    QLibrary module(clipModulePath());
    char reason[512] = {};
    const int status = clipFunction(module)(
        secret.c_str(), seconds, nullptr,
        [] {
            writeAll(STDERR_FILENO, kHeld, std::strlen(kHeld));
            const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            ::dup2(quiet, STDERR_FILENO);
            ::close(quiet);
        },
        reason, sizeof reason);
    if (devNull >= 0) ::close(devNull);
    if (status != 0) fail(kClipboard, reason);
    return kOk;
}

}  // namespace cli
