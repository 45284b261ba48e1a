#include "vault/datafile.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "vault/ioerror.h"
#include "vault/secret.h"
#include "vault/text.h"

namespace vault {
namespace {

// Slots are read ahead in blocks, so a scan costs a few large reads, not 1000 small ones.
constexpr std::size_t kReadAheadSlots = 128;

// A slot's digest, eight bytes at a step (every list load takes one per slot read).
std::uint64_t digest(const void* slot) {
    static_assert(kSlotSize % 8 == 0);
    auto* p = static_cast<const unsigned char*>(slot);
    std::uint64_t h = 1469598103934665603ull;
    for (std::size_t i = 0; i < kSlotSize; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        h = (h ^ word) * 1099511628211ull;
        h ^= h >> 29;
    }
    return h | 1u;
}

void refuseTooLarge(std::uint64_t size, const std::string& path) {
    if (size > kMaxDataFileBytes) throw DataFileProblem(DataFileProblem::Kind::TooLarge, path);
}

// Closes the data file when a scan leaves, unless the caller takes it over.
struct CloseUnlessKept {
    DataFile& file;
    bool keep = false;
    ~CloseUnlessKept() {
        if (!keep) file.close();
    }
};

bool statusIs(const SiteRecord& r, char c) { return r.Status.length == 1 && r.Status.chars[0] == c; }

// The duplicate test: the name trimmed and upper-cased equals `wanted` (already both),
// without building strings for every slot.
bool sameNameForAdd(const ShortString<255>& name, const std::string& wanted) {
    std::size_t first = 0, last = std::min<std::size_t>(name.length, 255);
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(name.chars[i]); };
    while (first < last && at(first) <= 32) ++first;
    while (last > first && at(last - 1) <= 32) --last;
    if (last - first != wanted.size()) return false;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        unsigned char c = at(first + i);
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        if (c != static_cast<unsigned char>(wanted[i])) return false;
    }
    return true;
}

}  // namespace

DataFile::DataFile(std::string path) : path_(std::move(path)) {}

DataFile::~DataFile() { close(); }

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
    pinned_ = IdentityOf(path_, id_);
}

void DataFile::takeLock(FileLock& lock) const {
    if (!lock.acquire(path_, LockWaitMs())) throw DataFileProblem(DataFileProblem::Kind::Busy, path_);
}

// Whether the open file holds every entry this object remembers, byte for byte (and
// it remembers at least one).
bool DataFile::holdsRememberedEntries() {
    bool any = false;
    for (std::size_t n = 0; n < slotDigest_.size(); ++n) {
        if (slotDigest_[n] == 0) continue;
        unsigned char bytes[kSlotSize];
        if (file_.readAt(bytes, kSlotSize, n * kSlotSize) != kSlotSize || digest(bytes) != slotDigest_[n])
            return false;
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

void DataFile::openData(bool writing) {
    close();
    try {
        if (writing) takeLock(lock_);
        file_ = File::open(path_, File::Mode::ReadWrite);
        const std::uint64_t size = file_.size();
        refuseTooLarge(size, path_);
        if (writing) {
            checkSameFile();
        } else if (!pinned_) {
            id_ = file_.identity();
            pinned_ = true;
        }
        slotCount_ = size / kSlotSize;
    } catch (...) {
        close();
        throw;
    }
    writing_ = writing;
    position_ = 0;
    blockSlots_ = 0;
}

const unsigned char* DataFile::blockSlot(std::uint64_t n) const {
    if (n < blockFirst_ || n >= blockFirst_ + blockSlots_) return nullptr;
    return block_.data() + (n - blockFirst_) * kSlotSize;
}

// ---------------------------------------------------------------------------
// Slot operations

void DataFile::open() { openData(false); }

void DataFile::forget() {
    close();
    pinned_ = false;
    id_ = {};
    slotDigest_.clear();
}

bool DataFile::isOpen() const { return file_.isOpen(); }

void DataFile::close() noexcept {
    file_.close();
    lock_.release();
    writing_ = false;
    checkRemembered_ = false;
    blockSlots_ = 0;
    position_ = 0;
}

bool DataFile::readSlot(SiteRecord& into) {
    if (!file_.isOpen()) ThrowIoError(EBADF);
    if (position_ >= slotCount_) ThrowReadBeyondEnd();
    const unsigned char* bytes = blockSlot(position_);
    if (!bytes) {
        std::uint64_t count = std::min<std::uint64_t>(kReadAheadSlots, slotCount_ - position_);
        block_.resize(count * kSlotSize);
        blockSlots_ = 0;
        std::size_t got = file_.readAt(block_.data(), block_.size(), position_ * kSlotSize);
        if (got < kSlotSize) ThrowReadBeyondEnd();  // the file shrank under us
        blockFirst_ = position_;
        blockSlots_ = got / kSlotSize;
        bytes = block_.data();
    }
    std::memcpy(&into, bytes, kSlotSize);
    ++position_;
    return position_ == slotCount_;
}

void DataFile::writeSlot(int n, const SiteRecord& record, const Cipher& cipher) {
    if (!file_.isOpen()) {
        openData(true);
    } else if (!writing_) {
        // Opened by a reading scan: take the lock now and check the file is the same.
        try {
            takeLock(lock_);
            checkSameFile();
        } catch (...) {
            close();
            throw;
        }
        writing_ = true;
    }
    if (n < 0 || static_cast<std::uint64_t>(n) >= slotCount_)
        throw std::out_of_range("slot " + std::to_string(n) + " is outside the data file");
    const std::uint64_t slot = static_cast<std::uint64_t>(n);
    const std::uint64_t offset = slot * kSlotSize;
    // The slot as it lies on disk now, under the lock: kept to put it back if the write
    // fails half-way, and checked against what was decided from it. The scan's copy and
    // (for an update or delete) what this object last read there must both still hold.
    unsigned char before[kSlotSize];
    file_.readExactAt(before, kSlotSize, offset);
    const unsigned char* scanned = blockSlot(slot);
    const std::uint64_t known = checkRemembered_ ? rememberedSlot(slot) : 0;
    if ((scanned && std::memcmp(scanned, before, kSlotSize) != 0) || (known != 0 && known != digest(before)))
        throw DataFileProblem(DataFileProblem::Kind::ChangedByOtherCopy, path_);
    const bool entry = IsInUse(record);  // only entries are remembered as written
    SiteRecord stored = record;
    cipher.encipher(stored);
    try {
        file_.writeAt(&stored, kSlotSize, offset);
    } catch (...) {
        WipeBytes(&stored, sizeof stored);
        try {
            file_.writeAt(before, kSlotSize, offset);
        } catch (...) {
            rememberSlot(slot, 0);  // no longer known
        }
        throw;
    }
    file_.sync();
    if (blockSlot(slot)) std::memcpy(block_.data() + (slot - blockFirst_) * kSlotSize, &stored, kSlotSize);
    rememberSlot(slot, entry ? digest(&stored) : 0);
    position_ = slot + 1;
}

// ---------------------------------------------------------------------------
// Creating and converting

void DataFile::refuseUnreachableLink() const {
    std::string target;
    if (IsDanglingLink(path_, &target)) throw DataFileProblem(DataFileProblem::Kind::LinkUnreachable, target);
}

bool DataFile::create() {
    close();
    refuseUnreachableLink();
    FileLock lock;
    takeLock(lock);
    // Another copy may have made it meanwhile: its file is kept.
    if (FileExists(path_)) return false;
    const std::vector<unsigned char> slots(kNewFileSlots * kSlotSize, 0);
    ReplaceWholeFile(path_, slots.data(), slots.size(), 0600);
    pinReplacedFile();
    return true;
}

void DataFile::removeLeftoverTemp() {
    const std::string temp = TempNameFor(ResolveLinks(path_));
    if (!IsPlainFile(temp)) return;
    // Only when no other copy is busy: its re-key may be writing that very file.
    FileLock lock;
    if (lock.acquire(path_, 0) && IsPlainFile(temp)) RemoveFileQuietly(temp);
}

SiteRecord ConvertLegacySlot(const LegacySiteRecord& old) {
    SiteRecord r{};
    r.Status.assign(old.status.str());
    std::memcpy(&r.Name, &old.name, sizeof r.Name);
    std::memcpy(&r.Website, &old.website, sizeof r.Website);
    std::memcpy(&r.UserId, &old.userId, sizeof r.UserId);
    std::memcpy(&r.Comments, &old.comments, sizeof r.Comments);
    std::string password(old.password, sizeof old.password);
    std::replace(password.begin(), password.end(), '?', ' ');
    r.Password.assign(Trim(password));
    r.Reserved1.clear();
    r.Reserved2.clear();
    return r;
}

LegacyResult DataFile::convertLegacy(const std::string& legacyPath) {
    if (!FileExists(legacyPath) || FileExists(path_)) return LegacyResult::NothingToDo;
    FileLock lock;
    takeLock(lock);
    // Another copy may have converted it meanwhile.
    if (!FileExists(legacyPath) || FileExists(path_)) return LegacyResult::NothingToDo;
    refuseUnreachableLink();
    std::vector<unsigned char> legacy;
    {
        File in = File::open(legacyPath, File::Mode::ReadOnly);
        const std::uint64_t size = in.size();
        refuseTooLarge(size, legacyPath);
        // Whole records only: stray bytes after the last one are not a record. A file
        // without one whole record is left alone, and so is the data file's place.
        const std::uint64_t whole = size / kLegacySlotSize * kLegacySlotSize;
        if (whole == 0) return LegacyResult::NotConverted;
        legacy.resize(static_cast<std::size_t>(whole));
        in.readExactAt(legacy.data(), legacy.size(), 0);
    }
    const std::size_t count = legacy.size() / kLegacySlotSize;
    std::vector<unsigned char> converted(count * kSlotSize);
    for (std::size_t i = 0; i < count; ++i) {
        LegacySiteRecord old;
        std::memcpy(&old, legacy.data() + i * kLegacySlotSize, kLegacySlotSize);
        SiteRecord r = ConvertLegacySlot(old);
        std::memcpy(converted.data() + i * kSlotSize, &r, kSlotSize);
    }
    ReplaceWholeFile(path_, converted.data(), converted.size(), 0600);
    pinReplacedFile();
    // The entries are safe in the new file; only now does the old one go.
    RemoveFileQuietly(legacyPath);
    return LegacyResult::Converted;
}

// ---------------------------------------------------------------------------
// Scans

void DataFile::scanList(const Cipher& cipher, const std::function<void(const SiteRecord&)>& onInUse) {
    open();
    slotDigest_.clear();
    CloseUnlessKept guard{*this};
    SiteRecord r;
    for (;;) {
        bool last = readSlot(r);
        cipher.decipher(r);
        if (IsNeverUsed(r)) break;
        if (!statusIs(r, 'D') && onInUse) onInUse(r);
        if (last) break;
    }
}

FreeSlot DataFile::findFreeSlot(const std::string& wantedName, const Cipher& cipher) {
    const std::string wanted = UpperAscii(Trim(wantedName));
    openData(true);
    CloseUnlessKept guard{*this};
    SiteRecord r;
    for (int read = 1;; ++read) {
        bool last = readSlot(r);
        cipher.decipher(r);
        if (last) return {FreeSlot::Full, -1};
        if (IsInUse(r) && sameNameForAdd(r.Name, wanted)) return {FreeSlot::Duplicate, -1};
        if (IsNeverUsed(r) || statusIs(r, 'D')) {
            guard.keep = true;
            return {FreeSlot::Found, read - 1};
        }
    }
}

int DataFile::findSlotByName(const std::string& wantedName, const Cipher& cipher) {
    openData(true);
    CloseUnlessKept guard{*this};
    SiteRecord r;
    for (int read = 1;; ++read) {
        bool last = readSlot(r);
        cipher.decipher(r);
        if (last) return kNotFound;
        if (statusIs(r, 'D')) continue;
        if (r.Name.length == wantedName.size() && std::memcmp(r.Name.chars, wantedName.data(), r.Name.length) == 0) {
            guard.keep = true;
            checkRemembered_ = true;
            return read - 1;
        }
    }
}

std::optional<SiteRecord> DataFile::lookupListedName(const std::string& name, const Cipher& cipher) {
    open();
    CloseUnlessKept guard{*this};
    SiteRecord r;
    for (;;) {
        bool last = readSlot(r);
        cipher.decipher(r);
        if (last) return std::nullopt;
        if (IsNeverUsed(r)) return std::nullopt;
        if (statusIs(r, 'D')) continue;
        if (r.Name.str() == name) {
            // The entry the user is shown: an update or delete of it re-checks it.
            rememberSlot(position_ - 1, digest(blockSlot(position_ - 1)));
            return r;
        }
    }
}

void DataFile::scanForPrint(const Cipher& cipher, const std::function<void(const SiteRecord&)>& onEntry) {
    open();
    CloseUnlessKept guard{*this};
    SiteRecord r;
    for (;;) {
        bool last = readSlot(r);
        cipher.decipher(r);
        if ((statusIs(r, 'A') || statusIs(r, 'U')) && onEntry) onEntry(r);
        if (last) break;
    }
}

// ---------------------------------------------------------------------------
// Re-keying

RekeyResult DataFile::rekey(Cipher& inForce, const std::string& oldPhrase, const std::string& newPhrase,
                            const std::function<bool(const std::string& verifyLine)>& confirm) {
    const Cipher before = inForce;
    try {
        return rekeyUnguarded(inForce, oldPhrase, newPhrase, confirm);
    } catch (...) {
        inForce = before;
        throw;
    }
}

RekeyResult DataFile::rekeyUnguarded(Cipher& inForce, const std::string& oldPhrase, const std::string& newPhrase,
                                     const std::function<bool(const std::string& verifyLine)>& confirm) {
    open();
    CloseUnlessKept guard{*this};
    // The re-keyed file is built in memory from a copy of the whole file (a partial
    // tail included) and replaces the data file only once every slot is done.
    std::vector<unsigned char> bytes(static_cast<std::size_t>(file_.size()));
    // Under an empty old phrase the copy holds the entries as plain text.
    struct WipeCopy {
        std::vector<unsigned char>& bytes;
        ~WipeCopy() { Wipe(bytes); }
    } wipeCopy{bytes};
    file_.readExactAt(bytes.data(), bytes.size(), 0);
    const unsigned mode = file_.permissions();
    const FileId readFrom = file_.identity();
    if (slotCount_ == 0) ThrowReadBeyondEnd();
    const std::vector<unsigned char> original = bytes;

    const Cipher oldCipher(oldPhrase);
    const Cipher newCipher(newPhrase);
    bool seenInUse = false;
    SiteRecord r;
    for (std::uint64_t n = 0; n < slotCount_; ++n) {
        unsigned char* slot = bytes.data() + n * kSlotSize;
        std::memcpy(&r, slot, kSlotSize);
        if (IsNeverUsed(r)) break;
        if (statusIs(r, 'D')) continue;
        if (!seenInUse) {
            seenInUse = true;
            inForce = oldCipher;
            if (!confirm || !confirm(oldCipher.decipherText(r.Name.str()))) return RekeyResult::Cancelled;
            inForce = newCipher;
        }
        oldCipher.decipher(r);
        newCipher.encipher(r);
        std::memcpy(slot, &r, kSlotSize);
    }
    WipeBytes(&r, sizeof r);
    if (!seenInUse) return RekeyResult::Completed;

    close();
    // Under the lock, the file must still be the one read above, byte for byte: another
    // copy may have written it while the question was open.
    FileLock lock;
    takeLock(lock);
    {
        File now = File::open(path_, File::Mode::ReadOnly);
        if (!(now.identity() == readFrom)) throw DataFileProblem(DataFileProblem::Kind::ReplacedByOtherCopy, path_);
        std::vector<unsigned char> check(original.size());
        if (now.size() != original.size() || now.readAt(check.data(), check.size(), 0) != check.size() ||
            check != original)
            throw DataFileProblem(DataFileProblem::Kind::ChangedByOtherCopy, path_);
    }
    ReplaceWholeFile(path_, bytes.data(), bytes.size(), mode);
    pinReplacedFile();
    return RekeyResult::Completed;
}

}  // namespace vault
