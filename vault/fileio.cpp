#include "vault/fileio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include "vault/ioerror.h"

#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace vault {

// ---------------------------------------------------------------------------
// Failure texts

[[noreturn]] void ThrowIoError(int err) {
    switch (err) {
    case ENOENT:
        throw IoError("File not found", err);
    case EACCES:
    case EPERM:
#ifdef EROFS
    case EROFS:
#endif
        throw IoError("File access denied", err);
    case EMFILE:
    case ENFILE:
        throw IoError("Too many open files", err);
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        throw IoError("Disk full", err);
    default: {
        char text[48];
        std::snprintf(text, sizeof text, "I/O error %d", err);
        throw IoError(text, err);
    }
    }
}

[[noreturn]] void ThrowReadBeyondEnd() {
    // Code 38 is the runtime's "read beyond end of file".
    throw IoError("Read beyond end of file", 38);
}

// ---------------------------------------------------------------------------
// Fault seam for tests

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
int lockWaitMs = kDefaultLockWaitMs;
}  // namespace

void beforeNextCall(Op op, std::function<void()> h) { hook = {op, std::move(h)}; }
void setLockWait(int ms) { lockWaitMs = ms < 0 ? kDefaultLockWaitMs : ms; }

void failNthCall(int n, int err, Op op) {
    fault.remaining = n > 0 ? n : 0;
    fault.err = err;
    fault.op = op;
    fault.fired = false;
}
void clearFaults() {
    fault = Fault{};
    hook = Hook{};
    lockWaitMs = kDefaultLockWaitMs;
}
bool faultFired() { return fault.fired; }
}  // namespace testing

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

#ifdef _WIN32
using ssize_type = long long;
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
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return ENOSPC;
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
constexpr int kReadOnlyFlags = _O_RDONLY;
constexpr int kReadWriteFlags = _O_RDWR;
constexpr int kCreateFlags = _O_WRONLY | _O_CREAT | _O_EXCL;
constexpr int kOverwriteFlags = _O_WRONLY | _O_CREAT | _O_TRUNC;
constexpr int kCreateMode = _S_IREAD | _S_IWRITE;
#else
using ssize_type = ssize_t;
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
constexpr int kReadOnlyFlags = O_RDONLY;
constexpr int kReadWriteFlags = O_RDWR;
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL;
constexpr int kOverwriteFlags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW;
constexpr int kCreateMode = 0600;
#endif

}  // namespace

// ---------------------------------------------------------------------------
// File

File::~File() { close(); }

File::File(File&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

File File::open(const std::string& path, Mode mode) {
    const int flags = mode == Mode::ReadOnly    ? kReadOnlyFlags
                      : mode == Mode::ReadWrite ? kReadWriteFlags
                      : mode == Mode::CreateNew ? kCreateFlags
                                                : kOverwriteFlags;
#ifndef _WIN32
    if (mode == Mode::Overwrite) {
        // Never written through a link: a link of that name goes and a file is made.
        struct stat link {};
        if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) RemoveFile(path);
    }
#endif
    int fd = sysOpen(path.c_str(), flags, kCreateMode);
    if (fd < 0) ThrowIoError(errno == ELOOP ? EACCES : errno);
    File f;
    f.fd_ = fd;
    f.path_ = path;
#ifndef _WIN32
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        f.close();
        ThrowIoError(EISDIR);
    }
    if (mode == Mode::CreateNew) f.setPermissionsQuietly(0600);
    // An older file keeps its mode through O_CREAT: it is closed to others before
    // anything is written into it.
    if (mode == Mode::Overwrite && ::fchmod(fd, 0600) != 0) {
        const int err = errno;
        f.close();
        ThrowIoError(err);
    }
#endif
    return f;
}

std::uint64_t File::size() const {
#ifdef _WIN32
    long long end = _filelengthi64(fd_);
    if (end < 0) ThrowIoError(errno);
    return static_cast<std::uint64_t>(end);
#else
    struct stat st {};
    if (::fstat(fd_, &st) != 0) ThrowIoError(errno);
    return static_cast<std::uint64_t>(st.st_size);
#endif
}

std::size_t File::readAt(void* buffer, std::size_t n, std::uint64_t offset) {
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        ssize_type got = sysPread(fd_, p + done, n - done, offset + done);
        if (got < 0) {
            if (errno == EINTR) continue;
            ThrowIoError(errno);
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void File::readExactAt(void* buffer, std::size_t n, std::uint64_t offset) {
    if (readAt(buffer, n, offset) != n) ThrowReadBeyondEnd();
}

void File::writeAt(const void* buffer, std::size_t n, std::uint64_t offset) {
    auto* p = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        ssize_type put = sysPwrite(fd_, p + done, n - done, offset + done);
        if (put < 0) {
            if (errno == EINTR) continue;
            ThrowIoError(errno);
        }
        if (put == 0) ThrowIoError(ENOSPC);
        done += static_cast<std::size_t>(put);
    }
}

void File::sync() {
    if (sysSync(fd_) != 0) ThrowIoError(errno);
}

unsigned File::permissions() const {
#ifdef _WIN32
    return 0;
#else
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return 0;
    return static_cast<unsigned>(st.st_mode) & 07777u;
#endif
}

FileId File::identity() const {
    FileId id;
#ifdef _WIN32
    BY_HANDLE_FILE_INFORMATION info {};
    if (GetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(fd_)), &info)) {
        id.device = info.dwVolumeSerialNumber;
        id.number = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
#else
    struct stat st {};
    if (::fstat(fd_, &st) == 0) {
        id.device = static_cast<std::uint64_t>(st.st_dev);
        id.number = static_cast<std::uint64_t>(st.st_ino);
    }
#endif
    return id;
}

void File::setPermissionsQuietly(unsigned mode) {
#ifndef _WIN32
    // A FAT thumb drive keeps no permissions: the data is still usable there.
    if (::fchmod(fd_, static_cast<mode_t>(mode)) != 0) { /* ignored */ }
#else
    (void)mode;
#endif
}

void File::closeChecked() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (sysClose(fd) != 0) ThrowIoError(errno);
}

void File::close() noexcept {
    if (fd_ >= 0) {
#ifdef _WIN32
        _close(fd_);
#else
        ::close(fd_);
#endif
        fd_ = -1;
    }
}

// ---------------------------------------------------------------------------
// Whole-file helpers

void RenameReplace(const std::string& from, const std::string& to) {
    if (sysRename(from.c_str(), to.c_str()) != 0) ThrowIoError(errno);
}

void RemoveFile(const std::string& path) {
    if (sysUnlink(path.c_str()) != 0) ThrowIoError(errno);
}

void RemoveFileQuietly(const std::string& path) noexcept {
#ifdef _WIN32
    _unlink(path.c_str());
#else
    ::unlink(path.c_str());
#endif
}

void SyncParentDirectory(const std::string& path) noexcept {
#ifndef _WIN32
    std::string::size_type cut = path.rfind('/');
    std::string dir = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    (void)path;
#endif
}

int MakeDirectory(const std::string& path) {
    if (sysMkdir(path.c_str()) != 0) return errno;
    return 0;
}

std::string ReadWholeFile(const std::string& path) {
    File f = File::open(path, File::Mode::ReadOnly);
    std::string bytes(static_cast<std::size_t>(f.size()), '\0');
    bytes.resize(f.readAt(bytes.data(), bytes.size(), 0));
    return bytes;
}

std::string TempNameFor(const std::string& path) { return path + ".tmp"; }

bool FileExists(const std::string& path) {
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(st) && !std::filesystem::is_directory(st);
}

bool PathExists(const std::string& path) {
    // Anything but "not found" counts, an error of another kind included.
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
}

bool DirectoryExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::status(path, ec)) && !ec;
}

std::string ResolveLinks(const std::string& path) {
#ifdef _WIN32
    return path;
#else
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::vector<char> buffer(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 2);
        ssize_t n = ::readlink(current.c_str(), buffer.data(), buffer.size() - 1);
        if (n < 0) return current;
        std::string target(buffer.data(), static_cast<std::size_t>(n));
        if (target.empty()) return current;
        if (target[0] != '/') {
            std::string::size_type cut = current.rfind('/');
            if (cut != std::string::npos) target = current.substr(0, cut + 1) + target;
        }
        current = target;
    }
    return current;
#endif
}

bool IdentityOf(const std::string& path, FileId& id) {
#ifdef _WIN32
    try {
        File f = File::open(path, File::Mode::ReadOnly);
        id = f.identity();
        return true;
    } catch (...) {
        return false;
    }
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.number = static_cast<std::uint64_t>(st.st_ino);
    return true;
#endif
}

bool IsPlainFile(const std::string& path) {
    struct stat st {};
#ifdef _WIN32
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & _S_IFREG) != 0;
#else
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

bool IsDanglingLink(const std::string& path, std::string* target) {
#ifdef _WIN32
    (void)path;
    (void)target;
    return false;
#else
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    if (::stat(path.c_str(), &st) == 0) return false;
    if (target) *target = ResolveLinks(path);
    return true;
#endif
}

// ---------------------------------------------------------------------------
// The writers' lock

int LockWaitMs() { return testing::lockWaitMs; }

namespace {
void pause(int ms) {
#ifdef _WIN32
    Sleep(static_cast<DWORD>(ms));
#else
    struct timespec t {ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
#endif
}

bool tryLock(int fd) {
#ifdef _WIN32
    OVERLAPPED at {};
    return LockFileEx(reinterpret_cast<HANDLE>(_get_osfhandle(fd)),
                      LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
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

bool FileLock::acquire(const std::string& dataFile, int waitMs) {
    release();
    const std::string target = ResolveLinks(dataFile);
    fd_ = openForLocking(target + ".lock", true);
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
            OVERLAPPED at {};
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

void ReplaceWholeFile(const std::string& givenPath, const void* bytes, std::size_t size, unsigned mode) {
    // A link is written through: the file it names is replaced and the link stays.
    const std::string path = ResolveLinks(givenPath);
    const std::string temp = TempNameFor(path);
    RemoveFileQuietly(temp);
    try {
        File f = File::open(temp, File::Mode::CreateNew);
        if (mode != 0) f.setPermissionsQuietly(mode);
        f.writeAt(bytes, size, 0);
        f.sync();
        f.close();
        RenameReplace(temp, path);
    } catch (...) {
        RemoveFileQuietly(temp);
        throw;
    }
    SyncParentDirectory(path);
}

void WriteFileReplacing(const std::string& path, const std::string& bytes) {
    ReplaceWholeFile(path, bytes.data(), bytes.size(), 0);
}

}  // namespace vault
