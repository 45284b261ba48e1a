#include "output/textlist.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "vault/ioerror.h"

namespace output {

std::string textListPath(const std::string& dataFolder) {
    std::string path = dataFolder;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') {
#ifdef _WIN32
        path += '\\';
#else
        path += '/';
#endif
    }
    return path + "Tempfile.txt";
}

std::string textListEntry(const std::string& name, const std::string& website,
                          const std::string& userId, const std::string& password,
                          const std::string& comments) {
    std::string s;
    s.reserve(name.size() + website.size() + userId.size() + password.size() + comments.size() + 48);
    s += name + " URL: " + website + "\r\n";
    s += " User: " + userId + " Password: " + password + "\r\n";
    s += " Comments: " + comments + "\r\n";
    s += " \r\n";
    return s;
}

bool removeTextList(const std::string& path) {
    std::remove(path.c_str());
    struct stat st {};
#ifdef _WIN32
    return ::stat(path.c_str(), &st) != 0 && errno == ENOENT;
#else
    return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
#endif
}

TextListFile::TextListFile(const std::string& path) : path_(path) {
#ifdef _WIN32
    fd_ = ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd_ < 0) vault::ThrowIoError(errno);
#else
    // Never written through a link: a link of that name is removed and a file made.
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && ::unlink(path.c_str()) != 0)
        vault::ThrowIoError(errno);
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) vault::ThrowIoError(errno == ELOOP ? EACCES : errno);
    // An older file keeps its mode through O_CREAT: close it to others before
    // anything is written into it.
    if (::fchmod(fd_, 0600) != 0) {
        int err = errno;
        ::close(fd_);
        fd_ = -1;
        vault::ThrowIoError(err);
    }
#endif
}

TextListFile::~TextListFile() {
    if (fd_ >= 0) {
#ifdef _WIN32
        ::_close(fd_);
#else
        ::close(fd_);
#endif
        // Left unfinished (an error on the way): no partial list of passwords stays.
        std::remove(path_.c_str());
    }
}

void TextListFile::discard() noexcept {
    if (fd_ >= 0) {
#ifdef _WIN32
        ::_close(fd_);
#else
        ::close(fd_);
#endif
        fd_ = -1;
    }
    std::remove(path_.c_str());
}

void TextListFile::writeAll(const std::string& bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
#ifdef _WIN32
        int n = ::_write(fd_, p, static_cast<unsigned>(left));
#else
        ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n < 0 || n == 0) {
            // The part written holds passwords in clear: it goes before the error shows.
            const int err = n < 0 ? errno : ENOSPC;
            discard();
            vault::ThrowIoError(err);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void TextListFile::writeEntry(const std::string& name, const std::string& website,
                              const std::string& userId, const std::string& password,
                              const std::string& comments) {
    writeAll(textListEntry(name, website, userId, password, comments));
}

void TextListFile::close() {
    if (fd_ < 0) return;
    int fd = fd_;
    fd_ = -1;
#ifdef _WIN32
    const int rc = ::_close(fd);
#else
    const int rc = ::close(fd);
#endif
    if (rc != 0) {
        const int err = errno;
        std::remove(path_.c_str());
        vault::ThrowIoError(err);
    }
}

}  // namespace output
