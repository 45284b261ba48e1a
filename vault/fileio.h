// The one place where the vault touches the file system. Every failure is turned
// into a vault::IoError carrying the system's own text; callers never see errno.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vault {

// Which file an open file or a path is: device and file number. Two copies of the
// program that open "the data file" compare these to see whether it was replaced.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    bool operator==(const FileId&) const = default;
};

class File {
public:
    enum class Mode {
        ReadOnly,   // an existing file, for reading
        ReadWrite,  // an existing file, for reading and writing
        CreateNew,  // a new file for writing, owner-only (0600); fails if it exists
        // A new file, or an existing one emptied, for writing; owner-only (0600), also
        // when it existed. Never written through a link: a link of that name is removed
        // first (POSIX).
        Overwrite,
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
    FileId identity() const;
    // Sets permission bits; file systems without permissions are fine (failure ignored).
    void setPermissionsQuietly(unsigned mode);
    void close() noexcept;
    // Closes the file and reports a close that fails (a network share may lose the
    // data only then). The descriptor is gone either way.
    void closeChecked();

private:
    int fd_ = -1;
    std::string path_;
};

// Renames from over to in one step (replacing to). Throws IoError.
void renameReplace(const std::string& from, const std::string& to);
// Deletes a file. Throws IoError.
void removeFile(const std::string& path);
// Deletes a file if it is there; failures ignored.
void removeFileQuietly(const std::string& path) noexcept;
// Flushes the directory entry of path (after a rename); best effort.
void syncParentDirectory(const std::string& path) noexcept;
// Creates one directory level, owner-only on POSIX. Returns 0 or the error code.
int makeDirectory(const std::string& path);
// The whole file, or throws IoError.
std::string readWholeFile(const std::string& path);
// The one atomic replace: writes the bytes as a new owner-only file beside path
// (tempNameFor), flushes it, renames it over path and flushes the folder. A link is
// written through: the file it names is replaced and the link stays. mode, when not 0,
// gives the new file those permission bits (a re-key keeps the old file's). On a
// failure the temporary file is removed and path is untouched.
void replaceWholeFile(const std::string& path, const void* bytes, std::size_t size, unsigned mode = 0);
void writeFileReplacing(const std::string& path, const std::string& bytes);
// The temporary name used while a file is rebuilt beside it.
std::string tempNameFor(const std::string& path);

// Whether path names an existing file that is no folder (through links), or a folder.
bool fileExists(const std::string& path);
bool directoryExists(const std::string& path);
// Whether anything at all has that name (a link is not followed).
bool pathExists(const std::string& path);

// The file a path finally names, following symbolic links (relative ones from the
// link's folder); the path itself when it is no link. The final file may not exist.
std::string resolveLinks(const std::string& path);
// The identity of the file path names (through links); false when there is none.
bool identityOf(const std::string& path, FileId& id);
// True when path names a regular file itself (not through a link).
bool isPlainFile(const std::string& path);
// True when path is a symbolic link whose target does not exist; target gets it.
bool isDanglingLink(const std::string& path, std::string* target = nullptr);

// The exclusive lock every command that writes the data file holds for its scan and
// its write. It is an advisory lock on a file beside the data file (beside the link's
// target when the data file is a link), "<data file>.lock", which stays in place; where
// that file cannot be made, the data file itself (POSIX only). Works on local, removable
// and network file systems alike, between processes and between sessions of one process.
class FileLock {
public:
    FileLock() = default;
    ~FileLock() { release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // Waits up to waitMs for the lock; false when another holder keeps it that long.
    // A place where no lock can be made at all counts as locked (the write then fails
    // with the file system's own error, as it would have). makeLockFile false: a lock
    // file is used only when one is there already, else the data file itself is locked
    // (for a path that may be no data file at all, so that nothing is left beside it).
    bool acquire(const std::string& dataFile, int waitMs, bool makeLockFile = true);
    bool held() const { return held_; }
    void release() noexcept;

private:
    int fd_ = -1;
    bool held_ = false;
};
// How long a command waits for another copy's command to finish (milliseconds).
int lockWaitMs();

namespace testing {
// Kinds of call the fault seam counts.
enum class Op {
    Any,
    Open,
    Read,
    Write,
    Sync,
    Rename,
    Remove,
    MakeDir,
    Close
};
// Makes the n-th following call of the given kind (1 = the next one) fail with err,
// without performing it. One fault is armed at a time; it disarms after firing.
void failNthCall(int n, int err, Op op = Op::Any);
void clearFaults();
// Whether the armed fault has fired.
bool faultFired();
// Runs hook once, just before the next call of the given kind is made (a write held
// back on a slow drive, while another process acts).
void beforeNextCall(Op op, std::function<void()> hook);
// The lock wait (lockWaitMs); a negative value restores the default.
void setLockWait(int ms);
}  // namespace testing

}  // namespace vault
