// The writers' lock: an advisory lock on "<data file>.lock" (beside a link's target).
#include <cerrno>
#include <ctime>
#include <string>

#include "vault/fileio.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace vault {

namespace {
void pause(int ms) {
#ifdef _WIN32
    Sleep(static_cast<DWORD>(ms));
#else
    struct timespec t {
        ms / 1000, static_cast<long>(ms % 1000) * 1000000L
    };
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {}
#endif
}

bool tryLock(int fd) {
#ifdef _WIN32
    OVERLAPPED at{};
    return LockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                      0, 1, 0, &at) != 0;
#else
    int rc;
    do rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    // A file system without locks cannot be shared safely anyway; it does not stop
    // the one copy that uses it.
    return rc == 0 || (errno != EWOULDBLOCK && errno != EAGAIN);
#endif
}

int openForLocking(const std::string& path, bool create) {
#ifdef _WIN32
    int fd = _open(path.c_str(), (create ? _O_RDWR | _O_CREAT : _O_RDONLY) | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    int fd;
    do fd = ::open(path.c_str(), (create ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC | O_NOFOLLOW, 0600);
    while (fd < 0 && errno == EINTR);
#endif
    return fd;
}
}  // namespace

bool FileLock::acquire(const std::string& dataFile, int waitMs, bool makeLockFile) {
    release();
    const std::string target = resolveLinks(dataFile);
    if (makeLockFile) fd_ = openForLocking(target + ".lock", true);
    if (fd_ < 0) fd_ = openForLocking(target + ".lock", false);
#ifndef _WIN32
    // (Not on Windows, where a locked byte of the data file would refuse its own writes.)
    if (fd_ < 0) fd_ = openForLocking(target, false);
#endif
    if (fd_ < 0) {
        held_ = true;  // nothing to lock: the command meets the file system's own error
        return true;
    }
    for (int waited = 0;; waited += 20) {
        if (tryLock(fd_)) {
            held_ = true;
            return true;
        }
        if (waited >= waitMs) break;
        pause(20);
    }
    release();
    return false;
}

void FileLock::release() noexcept {
    if (fd_ >= 0) {
#ifdef _WIN32
        if (held_) {
            OVERLAPPED at{};
            UnlockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(fd_)), 0, 1, 0, &at);
        }
        _close(fd_);
#else
        ::close(fd_);  // closing the only descriptor lets the lock go
#endif
        fd_ = -1;
    }
    held_ = false;
}

}  // namespace vault
