// Another copy of the program on the same files, for the tests: a second process
// (fork) that runs a test's body and ends. POSIX only.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace testsupport {

// Starts the other copy running body; it exits 0, or 1 when body throws.
inline pid_t startOtherCopy(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            body();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    return pid;
}
// Waits for the other copy; true when it ran body through.
inline bool finish(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
inline bool otherCopy(const std::function<void()>& body) { return finish(startOtherCopy(body)); }

}  // namespace testsupport
