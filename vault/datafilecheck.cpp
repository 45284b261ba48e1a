// The data file's guards for writing: the writers' lock, what this object remembers of
// the slots it read and wrote, and the re-checks that the file and its slots are still
// what it read.
#include "vault/datafile.h"

#include <filesystem>
#include <string>

#include "vault/datafileinternal.h"
#include "vault/ioerror.h"

namespace vault {

using namespace detail;

// ---------------------------------------------------------------------------
// What this object remembers

void DataFile::rememberSlot(std::uint64_t n, std::uint64_t value) {
    if (n >= kMaxDataFileBytes / kSlotSize) return;
    if (slotDigest_.size() <= n) slotDigest_.resize(static_cast<std::size_t>(n) + 1, 0);
    slotDigest_[static_cast<std::size_t>(n)] = value;
}

std::uint64_t DataFile::rememberedSlot(std::uint64_t n) const {
    return n < slotDigest_.size() ? slotDigest_[static_cast<std::size_t>(n)] : 0;
}

// After this object made or replaced the file: that file is now the one it knows.
void DataFile::pinReplacedFile() {
    slotDigest_.clear();
    pinned_ = identityOf(path_, id_);
}

namespace {
// A regular file of whole slots, at least one: what a data file is. Anything else named
// as the data file (a missing file, a folder, another program's file) gets no lock file
// beside it.
bool looksLikeDataFile(const std::string& path) {
    std::error_code ec;
    const std::string target = resolveLinks(path);
    if (!std::filesystem::is_regular_file(target, ec)) return false;
    const std::uintmax_t size = std::filesystem::file_size(target, ec);
    return !ec && size > 0 && size % kSlotSize == 0;
}
}  // namespace

// Whether a data file lies here, plain or sealed: only then is a lock file made beside it.
bool DataFile::dataFileThere() const { return looksLikeDataFile(path_) || isPlainFile(resolveLinks(sealedPath_)); }

void DataFile::takeLock(FileLock& lock, bool creating) const {
    if (!lock.acquire(path_, lockWaitMs(), creating || dataFileThere()))
        throw DataFileProblem(DataFileProblem::Kind::Busy, path_);
}

// Whether the open file holds every entry this object remembers, byte for byte (and
// it remembers at least one).
bool DataFile::holdsRememberedEntries() {
    bool any = false;
    for (std::size_t n = 0; n < slotDigest_.size(); ++n) {
        if (slotDigest_[n] == 0) continue;
        unsigned char bytes[kSlotSize];
        if (file_.readAt(bytes, kSlotSize, n * kSlotSize) != kSlotSize || digest(bytes) != slotDigest_[n]) return false;
        any = true;
    }
    return any;
}

// A writing command on the open file: the file must be the one this object read. A file
// number that changed while the entries this object showed are all still there is the
// same file on a drive that was attached again (FAT numbers its files afresh).
void DataFile::checkSameFile() {
    const FileId id = file_.identity();
    if (pinned_ && !(id_ == id) && !holdsRememberedEntries())
        throw DataFileProblem(DataFileProblem::Kind::ReplacedByOtherCopy, path_);
    id_ = id;
    pinned_ = true;
}

void DataFile::refuseUnreachableLink() const {
    std::string target;
    if (isDanglingLink(path_, &target)) throw DataFileProblem(DataFileProblem::Kind::LinkUnreachable, target);
}

void DataFile::removeLeftoverTemp() {
    // Beside the plain file and beside the sealed one (a seal or unseal stopped part-way).
    const std::string temps[] = {tempNameFor(resolveLinks(path_)), tempNameFor(resolveLinks(sealedPath_))};
    if (!isPlainFile(temps[0]) && !isPlainFile(temps[1])) return;
    // Only when no other copy is busy: its re-key may be writing that very file.
    FileLock lock;
    if (!lock.acquire(path_, 0, dataFileThere())) return;
    for (const std::string& temp : temps)
        if (isPlainFile(temp)) removeFileQuietly(temp);
}

}  // namespace vault
