// The file module: the File class, the system's failure texts, whole-file helpers and
// the tests of paths. The test seam is fileseam.cpp, the one atomic replace
// replace.cpp, the writers' lock filelock.cpp.
#include "vault/fileio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "vault/fileseam.h"
#include "vault/ioerror.h"

namespace vault {

// ---------------------------------------------------------------------------
// Failure texts

[[noreturn]] void throwIoError(int err, const std::string& path) {
    switch (err) {
    case ENOENT: throw IoError("File not found", err, path);
    case EACCES:
    case EPERM:
#ifdef EROFS
    case EROFS:
#endif
        throw IoError("File access denied", err, path);
    case EMFILE:
    case ENFILE: throw IoError("Too many open files", err, path);
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        throw IoError("Disk full", err, path);
    default: {
        char text[48];
        std::snprintf(text, sizeof text, "I/O error %d", err);
        throw IoError(text, err, path);
    }
    }
}

[[noreturn]] void throwReadBeyondEnd(const std::string& path) {
    // Code 38 is the runtime's "read beyond end of file".
    throw IoError("Read beyond end of file", 38, path);
}

using namespace detail;

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
        if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) removeFile(path);
    }
#endif
    int fd = sysOpen(path.c_str(), flags, kCreateMode);
    if (fd < 0) throwIoError(errno == ELOOP ? EACCES : errno, path);
    File f;
    f.fd_ = fd;
    f.path_ = path;
#ifndef _WIN32
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        f.close();
        throwIoError(EISDIR, path);
    }
    if (mode == Mode::CreateNew) f.setPermissionsQuietly(0600);
    // An older file keeps its mode through O_CREAT: it is closed to others before
    // anything is written into it.
    if (mode == Mode::Overwrite && ::fchmod(fd, 0600) != 0) {
        const int err = errno;
        f.close();
        throwIoError(err, path);
    }
#endif
    return f;
}

std::uint64_t File::size() const {
#ifdef _WIN32
    long long end = _filelengthi64(fd_);
    if (end < 0) throwIoError(errno, path_);
    return static_cast<std::uint64_t>(end);
#else
    struct stat st {};
    if (::fstat(fd_, &st) != 0) throwIoError(errno, path_);
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
            throwIoError(errno, path_);
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void File::readExactAt(void* buffer, std::size_t n, std::uint64_t offset) {
    if (readAt(buffer, n, offset) != n) throwReadBeyondEnd(path_);
}

void File::writeAt(const void* buffer, std::size_t n, std::uint64_t offset) {
    auto* p = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        ssize_type put = sysPwrite(fd_, p + done, n - done, offset + done);
        if (put < 0) {
            if (errno == EINTR) continue;
            throwIoError(errno, path_);
        }
        if (put == 0) throwIoError(ENOSPC, path_);
        done += static_cast<std::size_t>(put);
    }
}

void File::sync() {
    if (sysSync(fd_) != 0) throwIoError(errno, path_);
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
    BY_HANDLE_FILE_INFORMATION info{};
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
    if (::fchmod(fd_, static_cast<mode_t>(mode)) != 0) { /* ignored */
    }
#else
    (void)mode;
#endif
}

void File::closeChecked() {
    if (fd_ < 0) return;
    const int fd = fd_;
    fd_ = -1;
    if (sysClose(fd) != 0) throwIoError(errno, path_);
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
void removeFile(const std::string& path) {
    if (sysUnlink(path.c_str()) != 0) throwIoError(errno, path);
}

void removeFileQuietly(const std::string& path) noexcept {
#ifdef _WIN32
    _unlink(path.c_str());
#else
    ::unlink(path.c_str());
#endif
}

int makeDirectory(const std::string& path) {
    if (sysMkdir(path.c_str()) != 0) return errno;
    return 0;
}

std::string readWholeFile(const std::string& path) {
    File f = File::open(path, File::Mode::ReadOnly);
    std::string bytes(static_cast<std::size_t>(f.size()), '\0');
    bytes.resize(f.readAt(bytes.data(), bytes.size(), 0));
    return bytes;
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(st) && !std::filesystem::is_directory(st);
}

bool pathExists(const std::string& path) {
    // Anything but "not found" counts, an error of another kind included.
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
}

bool directoryExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::status(path, ec)) && !ec;
}

std::string resolveLinks(const std::string& path) {
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

bool identityOf(const std::string& path, FileId& id) {
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

bool isPlainFile(const std::string& path) {
    struct stat st {};
#ifdef _WIN32
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & _S_IFREG) != 0;
#else
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

bool isDanglingLink(const std::string& path, std::string* target) {
#ifdef _WIN32
    (void)path;
    (void)target;
    return false;
#else
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    if (::stat(path.c_str(), &st) == 0) return false;
    if (target) *target = resolveLinks(path);
    return true;
#endif
}

}  // namespace vault
