// The one place where the vault touches the file system. Every failure is turned
// into a vault::IoError carrying the system's own text; callers never see errno.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vault {

class File {
public:
    enum class Mode {
        ReadOnly,   // an existing file, for reading
        ReadWrite,  // an existing file, for reading and writing
        CreateNew,  // a new file for writing, owner-only (0600); fails if it exists
    };

    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    static File open(const std::string& path, Mode mode);

    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }
    std::uint64_t size() const;

    // Reads up to n bytes at offset; returns how many were read (fewer only at the end).
    std::size_t readAt(void* buffer, std::size_t n, std::uint64_t offset);
    // Reads exactly n bytes at offset, or throws "Read beyond end of file".
    void readExactAt(void* buffer, std::size_t n, std::uint64_t offset);
    // Writes all n bytes at offset (retrying short writes).
    void writeAt(const void* buffer, std::size_t n, std::uint64_t offset);
    // Flushes the file's data to the disk.
    void sync();
    // Permission bits of the open file (POSIX mode bits; 0 where there are none).
    unsigned permissions() const;
    // Sets permission bits; file systems without permissions are fine (failure ignored).
    void setPermissionsQuietly(unsigned mode);
    void close() noexcept;

private:
    int fd_ = -1;
    std::string path_;
};

// Renames from over to in one step (replacing to). Throws IoError.
void RenameReplace(const std::string& from, const std::string& to);
// Deletes a file. Throws IoError.
void RemoveFile(const std::string& path);
// Deletes a file if it is there; failures ignored.
void RemoveFileQuietly(const std::string& path) noexcept;
// Flushes the directory entry of path (after a rename); best effort.
void SyncParentDirectory(const std::string& path) noexcept;
// Creates one directory level, owner-only on POSIX. Returns 0 or the error code.
int MakeDirectory(const std::string& path);
// The whole file, or throws IoError.
std::string ReadWholeFile(const std::string& path);
// Writes bytes to path through a temporary file renamed into place, owner-only.
void WriteFileReplacing(const std::string& path, const std::string& bytes);
// The temporary name used while a file is rebuilt beside it.
std::string TempNameFor(const std::string& path);

namespace testing {
// Kinds of call the fault seam counts.
enum class Op { Any, Open, Read, Write, Sync, Rename, Remove, MakeDir };
// Makes the n-th following call of the given kind (1 = the next one) fail with err,
// without performing it. One fault is armed at a time; it disarms after firing.
void failNthCall(int n, int err, Op op = Op::Any);
void clearFaults();
// Whether the armed fault has fired.
bool faultFired();
}  // namespace testing

}  // namespace vault
