#include "vault/datafile.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "vault/cipher.h"
#include "vault/fileio.h"
#include "vault/ioerror.h"
#include "vault/locations.h"
#include "vault/secret.h"
#include "vault/text.h"

namespace vault {
namespace {

// Slots are read ahead in blocks, so a scan costs a few large reads, not 1000 small ones.
constexpr std::size_t kReadAheadSlots = 128;

struct OpenData {
    File file;
    std::uint64_t slotCount = 0;  // whole slots in the file; a partial tail is never read
    std::uint64_t position = 0;   // the next slot ReadSlot reads
    std::vector<unsigned char> block;
    std::uint64_t blockFirst = 0;
    std::uint64_t blockSlots = 0;
    // Held from a writing command's scan to its close.
    FileLock lock;
    bool writing = false;
    // The slot found by the update/delete scan must still hold what this copy last read.
    bool checkRemembered = false;
};
OpenData data;

// What this copy last read of the data file: which file it is, and a digest of each
// entry it showed (the selected-name lookup) or wrote, as the slot lay on disk. Another
// copy of the program may write the same file; a write re-checks these under the lock.
// Reading the list again (Refresh) starts the entries afresh.
struct Remembered {
    std::string path;
    bool pinned = false;
    FileId id;
    std::vector<std::uint64_t> slotDigest;  // 0 = never read
};
Remembered remembered;

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

// The remembered state belongs to one data file path; another path starts afresh.
Remembered& rememberedForPath() {
    if (remembered.path != Paths().dataFile) {
        remembered = Remembered{};
        remembered.path = Paths().dataFile;
    }
    return remembered;
}

void rememberSlot(std::uint64_t n, std::uint64_t value) {
    Remembered& r = rememberedForPath();
    if (n >= kMaxDataFileBytes / kSlotSize) return;
    if (r.slotDigest.size() <= n) r.slotDigest.resize(static_cast<std::size_t>(n) + 1, 0);
    r.slotDigest[static_cast<std::size_t>(n)] = value;
}

std::uint64_t rememberedSlot(std::uint64_t n) {
    Remembered& r = rememberedForPath();
    return n < r.slotDigest.size() ? r.slotDigest[static_cast<std::size_t>(n)] : 0;
}

// After this copy made or replaced the file: that file is now the one it knows.
void pinReplacedFile() {
    Remembered& r = rememberedForPath();
    r.slotDigest.clear();
    r.pinned = IdentityOf(Paths().dataFile, r.id);
}

void takeLock(FileLock& lock) {
    if (!lock.acquire(Paths().dataFile, LockWaitMs()))
        throw DataFileProblem(DataFileProblem::Kind::Busy, Paths().dataFile);
}

void refuseTooLarge(std::uint64_t size, const std::string& path) {
    if (size > kMaxDataFileBytes) throw DataFileProblem(DataFileProblem::Kind::TooLarge, path);
}

// Whether the open file holds every entry this copy remembers, byte for byte (and it
// remembers at least one).
bool holdsRememberedEntries() {
    const Remembered& r = remembered;
    bool any = false;
    for (std::size_t n = 0; n < r.slotDigest.size(); ++n) {
        if (r.slotDigest[n] == 0) continue;
        unsigned char bytes[kSlotSize];
        if (data.file.readAt(bytes, kSlotSize, n * kSlotSize) != kSlotSize || digest(bytes) != r.slotDigest[n])
            return false;
        any = true;
    }
    return any;
}

// A writing command on the open file: the file must be the one this copy read. A file
// number that changed while the entries this copy showed are all still there is the
// same file on a drive that was attached again (FAT numbers its files afresh).
void checkSameFile() {
    Remembered& r = rememberedForPath();
    const FileId id = data.file.identity();
    if (r.pinned && !(r.id == id) && !holdsRememberedEntries())
        throw DataFileProblem(DataFileProblem::Kind::ReplacedByOtherCopy, Paths().dataFile);
    r.id = id;
    r.pinned = true;
}

void openData(bool writing) {
    CloseDataFile();
    try {
        if (writing) takeLock(data.lock);
        data.file = File::open(Paths().dataFile, File::Mode::ReadWrite);
        const std::uint64_t size = data.file.size();
        refuseTooLarge(size, Paths().dataFile);
        if (writing) {
            checkSameFile();
        } else if (!rememberedForPath().pinned) {
            remembered.id = data.file.identity();
            remembered.pinned = true;
        }
        data.slotCount = size / kSlotSize;
    } catch (...) {
        CloseDataFile();
        throw;
    }
    data.writing = writing;
    data.position = 0;
    data.blockSlots = 0;
}

unsigned char* blockSlot(std::uint64_t n) {
    if (n < data.blockFirst || n >= data.blockFirst + data.blockSlots) return nullptr;
    return data.block.data() + (n - data.blockFirst) * kSlotSize;
}

// Closes the data file when a scan leaves, unless the caller takes it over.
struct CloseUnlessKept {
    bool keep = false;
    ~CloseUnlessKept() {
        if (!keep) CloseDataFile();
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

// ---------------------------------------------------------------------------
// Slot operations

void OpenDataFile() { openData(false); }

void ForgetDataFile() {
    CloseDataFile();
    remembered = Remembered{};
}

bool DataFileIsOpen() { return data.file.isOpen(); }

void CloseDataFile() {
    data.file.close();
    data.lock.release();
    data.writing = false;
    data.checkRemembered = false;
    data.blockSlots = 0;
    data.position = 0;
}

bool ReadSlot() {
    if (!data.file.isOpen()) ThrowIoError(EBADF);
    if (data.position >= data.slotCount) ThrowReadBeyondEnd();
    const unsigned char* bytes = blockSlot(data.position);
    if (!bytes) {
        std::uint64_t count = std::min<std::uint64_t>(kReadAheadSlots, data.slotCount - data.position);
        data.block.resize(count * kSlotSize);
        data.blockSlots = 0;
        std::size_t got = data.file.readAt(data.block.data(), data.block.size(), data.position * kSlotSize);
        if (got < kSlotSize) ThrowReadBeyondEnd();  // the file shrank under us
        data.blockFirst = data.position;
        data.blockSlots = got / kSlotSize;
        bytes = data.block.data();
    }
    std::memcpy(&CurrentRecord, bytes, kSlotSize);
    ++data.position;
    return data.position == data.slotCount;
}

void WriteSlot(int n) {
    if (!data.file.isOpen()) {
        openData(true);
    } else if (!data.writing) {
        // Opened by a reading scan: take the lock now and check the file is the same.
        try {
            takeLock(data.lock);
            checkSameFile();
        } catch (...) {
            CloseDataFile();
            throw;
        }
        data.writing = true;
    }
    if (n < 0 || static_cast<std::uint64_t>(n) >= data.slotCount)
        throw std::out_of_range("slot " + std::to_string(n) + " is outside the data file");
    const std::uint64_t slot = static_cast<std::uint64_t>(n);
    const std::uint64_t offset = slot * kSlotSize;
    // The slot as it lies on disk now, under the lock: kept to put it back if the write
    // fails half-way, and checked against what was decided from it. The scan's copy and
    // (for an update or delete) what this copy last read there must both still hold.
    unsigned char before[kSlotSize];
    data.file.readExactAt(before, kSlotSize, offset);
    const unsigned char* scanned = blockSlot(slot);
    const std::uint64_t known = data.checkRemembered ? rememberedSlot(slot) : 0;
    if ((scanned && std::memcmp(scanned, before, kSlotSize) != 0) || (known != 0 && known != digest(before)))
        throw DataFileProblem(DataFileProblem::Kind::ChangedByOtherCopy, Paths().dataFile);
    const bool entry = IsInUse(CurrentRecord);  // only entries are remembered as written
    EncipherRecord();
    try {
        data.file.writeAt(&CurrentRecord, kSlotSize, offset);
    } catch (...) {
        try {
            data.file.writeAt(before, kSlotSize, offset);
        } catch (...) {
            rememberSlot(slot, 0);  // no longer known
        }
        throw;
    }
    data.file.sync();
    if (unsigned char* cached = blockSlot(slot)) std::memcpy(cached, &CurrentRecord, kSlotSize);
    rememberSlot(slot, entry ? digest(&CurrentRecord) : 0);
    data.position = slot + 1;
}

// ---------------------------------------------------------------------------
// Creating and converting

namespace {

// Writes bytes as a new file beside target, then renames it over target.
// A link is written through: the file it names is replaced and the link stays.
void replaceWholeFile(const std::string& path, const void* bytes, std::size_t size, unsigned mode) {
    const std::string target = ResolveLinks(path);
    const std::string temp = TempNameFor(target);
    RemoveFileQuietly(temp);
    try {
        File out = File::open(temp, File::Mode::CreateNew);
        if (mode != 0) out.setPermissionsQuietly(mode);
        out.writeAt(bytes, size, 0);
        out.sync();
        out.close();
        RenameReplace(temp, target);
    } catch (...) {
        RemoveFileQuietly(temp);
        throw;
    }
    SyncParentDirectory(target);
}

}  // namespace

void RefuseUnreachableLink() {
    std::string target;
    if (IsDanglingLink(Paths().dataFile, &target))
        throw DataFileProblem(DataFileProblem::Kind::LinkUnreachable, target);
}

bool CreateDataFile() {
    CloseDataFile();
    RefuseUnreachableLink();
    FileLock lock;
    takeLock(lock);
    // Another copy may have made it meanwhile: its file is kept.
    if (FileExists(Paths().dataFile)) return false;
    std::memset(&CurrentRecord, 0, sizeof CurrentRecord);
    std::vector<unsigned char> slots(kNewFileSlots * kSlotSize);
    for (int i = 0; i < kNewFileSlots; ++i) std::memcpy(slots.data() + i * kSlotSize, &CurrentRecord, kSlotSize);
    replaceWholeFile(Paths().dataFile, slots.data(), slots.size(), 0600);
    pinReplacedFile();
    return true;
}

void RemoveLeftoverTemp() {
    const std::string temp = TempNameFor(ResolveLinks(Paths().dataFile));
    if (!IsPlainFile(temp)) return;
    // Only when no other copy is busy: its re-key may be writing that very file.
    FileLock lock;
    if (lock.acquire(Paths().dataFile, 0) && IsPlainFile(temp)) RemoveFileQuietly(temp);
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

LegacyResult ConvertLegacyFile() {
    const Locations& p = Paths();
    if (!FileExists(p.legacyFile) || FileExists(p.dataFile)) return LegacyResult::NothingToDo;
    FileLock lock;
    takeLock(lock);
    // Another copy may have converted it meanwhile.
    if (!FileExists(p.legacyFile) || FileExists(p.dataFile)) return LegacyResult::NothingToDo;
    std::string target;
    if (IsDanglingLink(p.dataFile, &target)) throw DataFileProblem(DataFileProblem::Kind::LinkUnreachable, target);
    std::vector<unsigned char> legacy;
    {
        File in = File::open(p.legacyFile, File::Mode::ReadOnly);
        const std::uint64_t size = in.size();
        refuseTooLarge(size, p.legacyFile);
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
    replaceWholeFile(p.dataFile, converted.data(), converted.size(), 0600);
    pinReplacedFile();
    // The entries are safe in the new file; only now does the old one go.
    RemoveFileQuietly(p.legacyFile);
    return LegacyResult::Converted;
}

// ---------------------------------------------------------------------------
// Scans

void ScanSiteList(const std::function<void()>& onInUse) {
    OpenDataFile();
    rememberedForPath().slotDigest.clear();
    CloseUnlessKept guard;
    for (;;) {
        bool last = ReadSlot();
        DecipherRecord();
        if (IsNeverUsed(CurrentRecord)) break;
        if (!statusIs(CurrentRecord, 'D') && onInUse) onInUse();
        if (last) break;
    }
}

FreeSlot FindFreeSlot(const std::string& wantedName) {
    const std::string wanted = UpperAscii(Trim(wantedName));
    openData(true);
    CloseUnlessKept guard;
    for (int read = 1;; ++read) {
        bool last = ReadSlot();
        DecipherRecord();
        if (last) return {FreeSlot::Full, -1};
        if (IsInUse(CurrentRecord) && sameNameForAdd(CurrentRecord.Name, wanted))
            return {FreeSlot::Duplicate, -1};
        if (IsNeverUsed(CurrentRecord) || statusIs(CurrentRecord, 'D')) {
            guard.keep = true;
            return {FreeSlot::Found, read - 1};
        }
    }
}

int FindSlotByName(const std::string& wantedName) {
    openData(true);
    CloseUnlessKept guard;
    for (int read = 1;; ++read) {
        bool last = ReadSlot();
        DecipherRecord();
        if (last) return kNotFound;
        if (statusIs(CurrentRecord, 'D')) continue;
        const auto& name = CurrentRecord.Name;
        if (name.length == wantedName.size() && std::memcmp(name.chars, wantedName.data(), name.length) == 0) {
            guard.keep = true;
            data.checkRemembered = true;
            return read - 1;
        }
    }
}

bool LookupListedName(const std::string& name) {
    OpenDataFile();
    CloseUnlessKept guard;
    for (;;) {
        bool last = ReadSlot();
        DecipherRecord();
        if (last) return false;
        if (IsNeverUsed(CurrentRecord)) return false;
        if (statusIs(CurrentRecord, 'D')) continue;
        if (CurrentRecord.Name.str() == name) {
            // The entry the user is shown: an update or delete of it re-checks it.
            rememberSlot(data.position - 1, digest(blockSlot(data.position - 1)));
            return true;
        }
    }
}

ListedNameIndex::~ListedNameIndex() {
    for (auto& entry : found_) {
        volatile unsigned char* bytes = reinterpret_cast<volatile unsigned char*>(&entry.second);
        for (std::size_t i = 0; i < sizeof(SiteRecord); ++i) bytes[i] = 0;
    }
    if (opened_ && !finished_) CloseDataFile();
}

const SiteRecord* ListedNameIndex::find(const std::string& name) {
    if (auto it = found_.find(name); it != found_.end()) return &it->second;
    if (finished_) return nullptr;
    if (!opened_) {
        OpenDataFile();
        opened_ = true;
    }
    try {
        for (;;) {
            bool last = ReadSlot();
            DecipherRecord();
            // As the single lookup: the last slot is never examined, and a never-used
            // slot ends the names.
            if (last || IsNeverUsed(CurrentRecord)) {
                finished_ = true;
                CloseDataFile();
                return nullptr;
            }
            if (statusIs(CurrentRecord, 'D')) continue;
            auto [it, added] = found_.try_emplace(CurrentRecord.Name.str(), CurrentRecord);
            if (added && it->first == name) return &it->second;
        }
    } catch (...) {
        finished_ = true;
        CloseDataFile();
        throw;
    }
}

void ScanForPrint(const std::function<void()>& onEntry) {
    OpenDataFile();
    CloseUnlessKept guard;
    for (;;) {
        bool last = ReadSlot();
        DecipherRecord();
        if ((statusIs(CurrentRecord, 'A') || statusIs(CurrentRecord, 'U')) && onEntry) onEntry();
        if (last) break;
    }
}

// ---------------------------------------------------------------------------
// Re-keying

namespace {
RekeyResult rekey(const std::string& oldPhrase, const std::string& newPhrase,
                  const std::function<bool(const std::string& verifyLine)>& confirm);
}

RekeyResult RekeyDataFile(const std::string& oldPhrase, const std::string& newPhrase,
                          const std::function<bool(const std::string& verifyLine)>& confirm) {
    std::string phraseBefore = KeyPhrase();
    WipeAtScopeEnd wipe(phraseBefore);
    try {
        return rekey(oldPhrase, newPhrase, confirm);
    } catch (...) {
        SetKeyPhrase(phraseBefore);
        throw;
    }
}

namespace {
RekeyResult rekey(const std::string& oldPhrase, const std::string& newPhrase,
                  const std::function<bool(const std::string& verifyLine)>& confirm) {
    OpenDataFile();
    CloseUnlessKept guard;
    // The re-keyed file is built in memory from a copy of the whole file (a partial
    // tail included) and replaces the data file only once every slot is done.
    std::vector<unsigned char> bytes(static_cast<std::size_t>(data.file.size()));
    // Under an empty old phrase the copy holds the entries as plain text.
    struct WipeCopy {
        std::vector<unsigned char>& bytes;
        ~WipeCopy() { Wipe(bytes); }
    } wipeCopy{bytes};
    data.file.readExactAt(bytes.data(), bytes.size(), 0);
    const unsigned mode = data.file.permissions();
    const FileId readFrom = data.file.identity();
    if (data.slotCount == 0) ThrowReadBeyondEnd();
    const std::vector<unsigned char> original = bytes;

    bool seenInUse = false;
    for (std::uint64_t n = 0; n < data.slotCount; ++n) {
        unsigned char* slot = bytes.data() + n * kSlotSize;
        std::memcpy(&CurrentRecord, slot, kSlotSize);
        if (IsNeverUsed(CurrentRecord)) break;
        if (statusIs(CurrentRecord, 'D')) continue;
        if (!seenInUse) {
            seenInUse = true;
            SetKeyPhrase(oldPhrase);
            if (!confirm || !confirm(DecipherText(CurrentRecord.Name.str()))) return RekeyResult::Cancelled;
        }
        SetKeyPhrase(oldPhrase);
        DecipherRecord();
        SetKeyPhrase(newPhrase);
        EncipherRecord();
        std::memcpy(slot, &CurrentRecord, kSlotSize);
    }
    if (!seenInUse) return RekeyResult::Completed;

    CloseDataFile();
    // Under the lock, the file must still be the one read above, byte for byte: another
    // copy may have written it while the question was open.
    FileLock lock;
    takeLock(lock);
    {
        File now = File::open(Paths().dataFile, File::Mode::ReadOnly);
        if (!(now.identity() == readFrom))
            throw DataFileProblem(DataFileProblem::Kind::ReplacedByOtherCopy, Paths().dataFile);
        std::vector<unsigned char> check(original.size());
        if (now.size() != original.size() || now.readAt(check.data(), check.size(), 0) != check.size() ||
            check != original)
            throw DataFileProblem(DataFileProblem::Kind::ChangedByOtherCopy, Paths().dataFile);
    }
    replaceWholeFile(Paths().dataFile, bytes.data(), bytes.size(), mode);
    pinReplacedFile();
    return RekeyResult::Completed;
}
}  // namespace

}  // namespace vault
