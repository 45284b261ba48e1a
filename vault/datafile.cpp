#include "vault/datafile.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "vault/cipher.h"
#include "vault/fileio.h"
#include "vault/ioerror.h"
#include "vault/locations.h"
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
};
OpenData data;

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

void OpenDataFile() {
    CloseDataFile();
    data.file = File::open(Paths().dataFile, File::Mode::ReadWrite);
    data.slotCount = data.file.size() / kSlotSize;
    data.position = 0;
    data.blockSlots = 0;
}

bool DataFileIsOpen() { return data.file.isOpen(); }

void CloseDataFile() {
    data.file.close();
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
    if (!data.file.isOpen()) OpenDataFile();
    if (n < 0 || static_cast<std::uint64_t>(n) >= data.slotCount)
        throw std::out_of_range("slot " + std::to_string(n) + " is outside the data file");
    EncipherRecord();
    const std::uint64_t offset = static_cast<std::uint64_t>(n) * kSlotSize;
    // Keep the slot as it was, to put it back if the write fails half-way.
    unsigned char before[kSlotSize];
    if (const unsigned char* cached = blockSlot(static_cast<std::uint64_t>(n)))
        std::memcpy(before, cached, kSlotSize);
    else
        data.file.readExactAt(before, kSlotSize, offset);
    try {
        data.file.writeAt(&CurrentRecord, kSlotSize, offset);
    } catch (...) {
        try {
            data.file.writeAt(before, kSlotSize, offset);
        } catch (...) {
        }
        throw;
    }
    data.file.sync();
    if (unsigned char* cached = blockSlot(static_cast<std::uint64_t>(n))) std::memcpy(cached, &CurrentRecord, kSlotSize);
    data.position = static_cast<std::uint64_t>(n) + 1;
}

// ---------------------------------------------------------------------------
// Creating and converting

namespace {

// Writes bytes as a new file beside target, then renames it over target.
void replaceWholeFile(const std::string& target, const void* bytes, std::size_t size, unsigned mode) {
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

void CreateDataFile() {
    CloseDataFile();
    std::memset(&CurrentRecord, 0, sizeof CurrentRecord);
    std::vector<unsigned char> slots(kNewFileSlots * kSlotSize);
    for (int i = 0; i < kNewFileSlots; ++i) std::memcpy(slots.data() + i * kSlotSize, &CurrentRecord, kSlotSize);
    replaceWholeFile(Paths().dataFile, slots.data(), slots.size(), 0600);
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
    std::vector<unsigned char> legacy;
    {
        File in = File::open(p.legacyFile, File::Mode::ReadOnly);
        const std::uint64_t size = in.size();
        // An empty or cut-off legacy file is left alone, and so is the data file's place.
        if (size == 0 || size % kLegacySlotSize != 0) return LegacyResult::NotConverted;
        legacy.resize(static_cast<std::size_t>(size));
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
    // The entries are safe in the new file; only now does the old one go.
    RemoveFileQuietly(p.legacyFile);
    return LegacyResult::Converted;
}

// ---------------------------------------------------------------------------
// Scans

void ScanSiteList(const std::function<void()>& onInUse) {
    OpenDataFile();
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
    OpenDataFile();
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
    OpenDataFile();
    CloseUnlessKept guard;
    for (int read = 1;; ++read) {
        bool last = ReadSlot();
        DecipherRecord();
        if (last) return kNotFound;
        if (statusIs(CurrentRecord, 'D')) continue;
        const auto& name = CurrentRecord.Name;
        if (name.length == wantedName.size() && std::memcmp(name.chars, wantedName.data(), name.length) == 0) {
            guard.keep = true;
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
        if (CurrentRecord.Name.str() == name) return true;
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
    const std::string phraseBefore = KeyPhrase();
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
    data.file.readExactAt(bytes.data(), bytes.size(), 0);
    const unsigned mode = data.file.permissions();
    if (data.slotCount == 0) ThrowReadBeyondEnd();

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
    replaceWholeFile(Paths().dataFile, bytes.data(), bytes.size(), mode);
    return RekeyResult::Completed;
}
}  // namespace

}  // namespace vault
