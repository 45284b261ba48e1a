// The one atomic replace every whole-file writer uses (the data file's creation,
// conversion and re-keying, SG_2.ini, Storage.loc): a temporary file beside the
// target, flushed, renamed over it, the folder flushed.
#include <cerrno>
#include <string>

#include "vault/fileio.h"
#include "vault/fileseam.h"
#include "vault/ioerror.h"

namespace vault {

void renameReplace(const std::string& from, const std::string& to) {
    if (detail::sysRename(from.c_str(), to.c_str()) != 0) throwIoError(errno, to);
}

void syncParentDirectory(const std::string& path) noexcept {
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

std::string tempNameFor(const std::string& path) { return path + ".tmp"; }

void replaceWholeFile(const std::string& givenPath, const void* bytes, std::size_t size, unsigned mode) {
    // A link is written through: the file it names is replaced and the link stays.
    const std::string path = resolveLinks(givenPath);
    const std::string temp = tempNameFor(path);
    removeFileQuietly(temp);
    try {
        File f = File::open(temp, File::Mode::CreateNew);
        if (mode != 0) f.setPermissionsQuietly(mode);
        f.writeAt(bytes, size, 0);
        f.sync();
        f.close();
        renameReplace(temp, path);
    } catch (...) {
        removeFileQuietly(temp);
        throw;
    }
    syncParentDirectory(path);
}

void writeFileReplacing(const std::string& path, const std::string& bytes) {
    replaceWholeFile(path, bytes.data(), bytes.size(), 0);
}

}  // namespace vault
