// The clipboard under Wayland, inside the clipboard module: the copy held by a
// wl-copy child, confirmed by reading it back with wl-paste, and wl-copy's file of it
// overwritten and removed once it has ended.
#include "cli/clipwayland.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "vault/secret.h"

namespace clipmodule {

namespace {

// How long the Wayland clipboard has to show the copy once wl-copy has it.
constexpr int kTakenMs = 5000;

std::string findProgram(const char* name) {
    const char* path = env("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t at = 0; at <= folders.size();) {
        std::size_t end = folders.find(':', at);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = end > at ? folders.substr(at, end - at) : ".";
        const std::string candidate = folder + '/' + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return {};
}

// Starts program with argv, standard input from in (or /dev/null), standard output to
// out (or /dev/null), standard error to /dev/null; ended with this process.
pid_t start(const std::string& program, const char* const* argv, int in, int out) {
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0) return -1;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) _exit(127);
        ::dup2(in >= 0 ? in : devNull, STDIN_FILENO);
        ::dup2(out >= 0 ? out : devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        ::close_range(3, ~0U, 0);
        ::execv(program.c_str(), const_cast<char* const*>(argv));
        _exit(127);
    }
    ::close(devNull);
    return pid;
}

// What the Wayland clipboard holds as text, as wl-paste reads it; false when it could
// not be read.
bool pasted(const std::string& wlPaste, vault::SecretText& text) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    const char* const argv[] = {"wl-paste", "--no-newline", "--type", "text/plain;charset=utf-8", nullptr};
    const pid_t pid = start(wlPaste, argv, -1, pipeFds[1]);
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        return false;
    }
    char buffer[256];
    bool complete = false;
    for (;;) {
        pollfd p{pipeFds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, kAnswerMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            complete = n == 0;
            break;
        }
        text.append(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
    vault::wipeBytes(buffer, sizeof buffer);
    ::close(pipeFds[0]);
    if (!complete) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return complete && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// wl-copy keeps what it offers in a file of its own, /tmp/wl-copy-buffer-XXXXXX/stdin,
// and leaves it behind when it is ended. The folders of this user that hold the text.
std::vector<std::string> copyBuffers(const char* text) {
    std::vector<std::string> found;
    DIR* tmp = ::opendir("/tmp");
    if (!tmp) return found;
    const std::size_t size = std::strlen(text);
    while (const dirent* e = ::readdir(tmp)) {
        if (std::strncmp(e->d_name, "wl-copy-buffer-", 15) != 0) continue;
        const std::string folder = std::string("/tmp/") + e->d_name;
        const std::string file = folder + "/stdin";
        struct stat st {};
        if (::lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
            static_cast<std::size_t>(st.st_size) != size)
            continue;
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        vault::SecretText held;
        held.resize(size);
        const bool same = ::read(fd, held.data(), size) == static_cast<ssize_t>(size) && held == text;
        ::close(fd);
        if (same) found.push_back(folder);
    }
    ::closedir(tmp);
    return found;
}

// Overwrites and removes wl-copy's file of the copy, and its folder.
void removeCopyBuffers(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        const std::string file = folder + "/stdin";
        const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0) {
            struct stat st {};
            if (::fstat(fd, &st) == 0 && st.st_size > 0) {
                const std::string zeros(static_cast<std::size_t>(st.st_size), '\0');
                if (::write(fd, zeros.data(), zeros.size()) == static_cast<ssize_t>(zeros.size())) ::fsync(fd);
            }
            ::close(fd);
        }
        ::unlink(file.c_str());
        ::rmdir(folder.c_str());
    }
}

bool running(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

}  // namespace

int waylandClip(const char* text, int seconds, const char* what, void (*held)(), std::string& error) {
    const std::string wlCopy = findProgram("wl-copy"), wlPaste = findProgram("wl-paste");
    if (wlCopy.empty() || wlPaste.empty()) {
        error =
            "under Wayland the clipboard is reached through wl-copy and wl-paste (package wl-clipboard), "
            "which are not installed";
        return 1;
    }
    int input[2];
    if (::pipe2(input, O_CLOEXEC) != 0) {
        error = "cannot start wl-copy";
        return 1;
    }
    // wl-copy offers the text under the text types and stays until it is ended or
    // another program's copy replaces it; with it goes the copy.
    const char* const argv[] = {"wl-copy", "--foreground", "--type", "text/plain;charset=utf-8", nullptr};
    const pid_t copier = start(wlCopy, argv, input[0], -1);
    ::close(input[0]);
    if (copier < 0) {
        ::close(input[1]);
        error = "cannot start wl-copy";
        return 1;
    }
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
    for (std::size_t size = std::strlen(text), done = 0; done < size;) {
        const ssize_t n = ::write(input[1], text + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(input[1]);
    std::signal(SIGPIPE, oldPipe);
    stopOnSignals();

    // The copy counts once another program can paste it.
    bool taken = false;
    for (int waited = 0; waited < kTakenMs && !taken && running(copier) && !stopRequested; waited += 50) {
        vault::SecretText now;
        taken = pasted(wlPaste, now) && now == text;
        if (!taken) ::usleep(50 * 1000);
    }
    // Found while wl-copy runs, removed once it has ended.
    const std::vector<std::string> buffers = copyBuffers(text);
    if (!taken) {
        ::kill(copier, SIGTERM);
        ::waitpid(copier, nullptr, 0);
        removeCopyBuffers(buffers);
        error = "the Wayland clipboard did not take the copy (the compositor offers wl-copy no way to set it)";
        return 1;
    }
    if (held) held();
    announceCopy(what, seconds);

    // wl-copy ends by itself when another copy replaces ours: then nothing is cleared.
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (!running(copier)) {
            removeCopyBuffers(buffers);
            return 0;
        }
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        if (stopRequested || (seconds > 0 && now.tv_sec - start.tv_sec >= seconds)) break;
        ::usleep(100 * 1000);
    }
    ::kill(copier, SIGTERM);
    ::waitpid(copier, nullptr, 0);
    removeCopyBuffers(buffers);
    if (what) std::fprintf(stderr, "Clipboard cleared.\n");
    return 0;
}

}  // namespace clipmodule
