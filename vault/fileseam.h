// Inside the file module only: the system calls every file access makes, each passing
// the test seam first (vault::testing in fileio.h), and the platform's open flags.
#pragma once
#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace vault::detail {

#ifdef _WIN32
using ssize_type = long long;
constexpr int kReadOnlyFlags = _O_RDONLY;
constexpr int kReadWriteFlags = _O_RDWR;
constexpr int kCreateFlags = _O_WRONLY | _O_CREAT | _O_EXCL;
constexpr int kOverwriteFlags = _O_WRONLY | _O_CREAT | _O_TRUNC;
constexpr int kCreateMode = _S_IREAD | _S_IWRITE;
#else
using ssize_type = ssize_t;
constexpr int kReadOnlyFlags = O_RDONLY;
constexpr int kReadWriteFlags = O_RDWR;
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL;
constexpr int kOverwriteFlags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW;
constexpr int kCreateMode = 0600;
#endif

// Each fails (returning -1 with errno set) when the seam's armed fault fires.
int sysOpen(const char* path, int flags, int mode);
ssize_type sysPread(int fd, void* buf, std::size_t n, std::uint64_t off);
ssize_type sysPwrite(int fd, const void* buf, std::size_t n, std::uint64_t off);
int sysSync(int fd);
int sysRename(const char* from, const char* to);
int sysUnlink(const char* path);
int sysMkdir(const char* path);
// A failing close still closes the descriptor.
int sysClose(int fd);

}  // namespace vault::detail
