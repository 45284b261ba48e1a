#include "output/textlist.h"

#include <cerrno>
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

TextListFile::TextListFile(const std::string& path) {
#ifdef _WIN32
    fd_ = ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd_ < 0) vault::ThrowIoError(errno);
#else
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd_ < 0) vault::ThrowIoError(errno);
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
    }
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
        if (n < 0) vault::ThrowIoError(errno);
        if (n == 0) vault::ThrowIoError(ENOSPC);
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
    if (::_close(fd) != 0) vault::ThrowIoError(errno);
#else
    if (::close(fd) != 0) vault::ThrowIoError(errno);
#endif
}

}  // namespace output
