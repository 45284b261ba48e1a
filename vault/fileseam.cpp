// The test seam of the file module: every system call a file access makes passes it,
// so a test can make the n-th open, read, write, sync, rename, remove, folder creation
// or close fail with an error of its choice, or run a hook just before it.
#include "vault/fileseam.h"

#include <cerrno>
#include <cstdio>
#include <functional>

#include "vault/fileio.h"

namespace vault {

namespace testing {
namespace {
struct Fault {
    int remaining = 0;  // 0 = disarmed
    int err = 0;
    Op op = Op::Any;
    bool fired = false;
};
Fault fault;
struct Hook {
    Op op = Op::Any;
    std::function<void()> run;
};
Hook hook;
constexpr int kDefaultLockWaitMs = 3000;
int lockWaitSetting = kDefaultLockWaitMs;
}  // namespace

void beforeNextCall(Op op, std::function<void()> h) { hook = {op, std::move(h)}; }
void setLockWait(int ms) { lockWaitSetting = ms < 0 ? kDefaultLockWaitMs : ms; }

void failNthCall(int n, int err, Op op) {
    fault.remaining = n > 0 ? n : 0;
    fault.err = err;
    fault.op = op;
    fault.fired = false;
}
void clearFaults() {
    fault = Fault{};
    hook = Hook{};
    lockWaitSetting = kDefaultLockWaitMs;
}
bool faultFired() { return fault.fired; }
}  // namespace testing

int lockWaitMs() { return testing::lockWaitSetting; }

namespace {

// True when this call is the one the seam should fail; sets errno then.
bool injected(testing::Op op) {
    if (testing::hook.run && (testing::hook.op == testing::Op::Any || testing::hook.op == op)) {
        auto run = std::move(testing::hook.run);
        testing::hook = {};
        run();
    }
    auto& f = testing::fault;
    if (f.remaining == 0) return false;
    if (f.op != testing::Op::Any && f.op != op) return false;
    if (--f.remaining > 0) return false;
    f.fired = true;
    errno = f.err;
    return true;
}

}  // namespace

namespace detail {

#ifdef _WIN32
int sysOpen(const char* path, int flags, int mode) {
    if (injected(testing::Op::Open)) return -1;
    return _open(path, flags | _O_BINARY, mode);
}
ssize_type sysPread(int fd, void* buf, std::size_t n, std::uint64_t off) {
    if (injected(testing::Op::Read)) return -1;
    if (_lseeki64(fd, static_cast<long long>(off), SEEK_SET) < 0) return -1;
    return _read(fd, buf, static_cast<unsigned>(n));
}
ssize_type sysPwrite(int fd, const void* buf, std::size_t n, std::uint64_t off) {
    if (injected(testing::Op::Write)) return -1;
    if (_lseeki64(fd, static_cast<long long>(off), SEEK_SET) < 0) return -1;
    return _write(fd, buf, static_cast<unsigned>(n));
}
int sysSync(int fd) {
    if (injected(testing::Op::Sync)) return -1;
    return _commit(fd);
}
int errnoFromWin32(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    default: return static_cast<int>(code);
    }
}
int sysRename(const char* from, const char* to) {
    if (injected(testing::Op::Rename)) return -1;
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    errno = errnoFromWin32(GetLastError());
    return -1;
}
int sysUnlink(const char* path) {
    if (injected(testing::Op::Remove)) return -1;
    return _unlink(path);
}
int sysMkdir(const char* path) {
    if (injected(testing::Op::MakeDir)) return -1;
    return _mkdir(path);
}
int sysClose(int fd) {
    if (injected(testing::Op::Close)) {
        _close(fd);
        return -1;
    }
    return _close(fd);
}
#else
int sysOpen(const char* path, int flags, int mode) {
    if (injected(testing::Op::Open)) return -1;
    int fd;
    do fd = ::open(path, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}
ssize_type sysPread(int fd, void* buf, std::size_t n, std::uint64_t off) {
    if (injected(testing::Op::Read)) return -1;
    return ::pread(fd, buf, n, static_cast<off_t>(off));
}
ssize_type sysPwrite(int fd, const void* buf, std::size_t n, std::uint64_t off) {
    if (injected(testing::Op::Write)) return -1;
    return ::pwrite(fd, buf, n, static_cast<off_t>(off));
}
int sysSync(int fd) {
    if (injected(testing::Op::Sync)) return -1;
    int rc;
    do rc = ::fdatasync(fd);
    while (rc < 0 && errno == EINTR);
    // File systems that cannot sync (some FUSE mounts) are not a failure of ours.
    if (rc < 0 && (errno == EINVAL || errno == ENOTSUP)) rc = 0;
    return rc;
}
int sysRename(const char* from, const char* to) {
    if (injected(testing::Op::Rename)) return -1;
    return ::rename(from, to);
}
int sysUnlink(const char* path) {
    if (injected(testing::Op::Remove)) return -1;
    return ::unlink(path);
}
int sysMkdir(const char* path) {
    if (injected(testing::Op::MakeDir)) return -1;
    return ::mkdir(path, 0700);
}
int sysClose(int fd) {
    if (injected(testing::Op::Close)) {
        ::close(fd);  // the descriptor is gone either way, as after a real failing close
        return -1;
    }
    return ::close(fd);
}
#endif

}  // namespace detail
}  // namespace vault
