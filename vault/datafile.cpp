// The data file at slot level: opening, the read-ahead slot reads, the slot writes
// and the scans. The writers' lock and the re-checks are datafilecheck.cpp, creation,
// conversion and re-keying datafilebuild.cpp.
#include "vault/datafile.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "vault/datafileinternal.h"
#include "vault/entry.h"
#include "vault/ioerror.h"
#include "vault/secret.h"
#include "vault/text.h"

namespace vault {

using namespace detail;

namespace {

// Slots are read ahead in blocks, so a scan costs a few large reads, not 1000 small ones.
constexpr std::size_t kReadAheadSlots = 128;

}  // namespace

DataFile::DataFile(std::string path) : path_(std::move(path)), sealedPath_(path_ + kSealedFileEnding) {}

DataFile::~DataFile() { close(); }

void DataFile::openData(bool writing) {
    close();
    try {
        if (writing) takeLock(lock_);
        if (sealKey_) {
            loadSealed();
            sealedOpen_ = true;
            slotCount_ = image_.size() / kSlotSize;
            writing_ = writing;
            position_ = 0;
            blockSlots_ = 0;
            return;
        }
        // Another copy may have sealed the file since this one read it.
        if (pinned_ && !fileExists(path_) && fileExists(sealedPath_))
            throw DataFileProblem(DataFileProblem::Kind::ReplacedByOtherCopy, path_);
        // Reading needs no more: a data file on read-only media still lists.
        file_ = File::open(path_, writing ? File::Mode::ReadWrite : File::Mode::ReadOnly);
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
    if (sealKey_) return n < image_.size() / kSlotSize ? image_.data() + n * kSlotSize : nullptr;
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

void DataFile::close() noexcept {
    file_.close();
    sealedOpen_ = false;
    lock_.release();
    writing_ = false;
    checkRemembered_ = false;
    // The slots read ahead are stored texts (under an empty phrase, the entries in plain
    // text): not kept past the command that read them.
    wipeSecret(block_);
    blockSlots_ = 0;
    position_ = 0;
}

bool DataFile::readSlot(SiteRecord& into) {
    if (!isOpen()) throwIoError(EBADF, path_);
    if (position_ >= slotCount_) throwReadBeyondEnd(path_);
    const unsigned char* bytes = blockSlot(position_);  // the sealed file's slots are all in memory
    if (!bytes) {
        std::uint64_t count = std::min<std::uint64_t>(kReadAheadSlots, slotCount_ - position_);
        block_.resize(count * kSlotSize);
        blockSlots_ = 0;
        std::size_t got = file_.readAt(block_.data(), block_.size(), position_ * kSlotSize);
        if (got < kSlotSize) throwReadBeyondEnd(path_);  // the file shrank under us
        blockFirst_ = position_;
        blockSlots_ = got / kSlotSize;
        bytes = block_.data();
    }
    std::memcpy(&into, bytes, kSlotSize);
    ++position_;
    return position_ == slotCount_;
}

void DataFile::writeSlot(int n, const SiteRecord& record, const Cipher& cipher) {
    if (sealKey_) {
        if (n < 0) throw std::out_of_range("slot " + std::to_string(n) + " is outside the data file");
        writeSealedSlot(static_cast<std::uint64_t>(n), record, cipher);
        return;
    }
    if (!file_.isOpen()) {
        openData(true);
    } else if (!writing_) {
        // Opened by a reading scan: take the lock now, open for writing the file the path
        // names under the lock (another copy may have renamed a new one into place since
        // the scan) and check it is the same file.
        try {
            takeLock(lock_);
            file_ = File::open(path_, File::Mode::ReadWrite);
            checkSameFile();
            slotCount_ = std::min<std::uint64_t>(slotCount_, file_.size() / kSlotSize);
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
    WipeBytesAtScopeEnd wipeBefore(before);  // under an empty phrase, the entry in plain text
    file_.readExactAt(before, kSlotSize, offset);
    const unsigned char* scanned = blockSlot(slot);
    const std::uint64_t known = checkRemembered_ ? rememberedSlot(slot) : 0;
    if ((scanned && std::memcmp(scanned, before, kSlotSize) != 0) || (known != 0 && known != digest(before)))
        throw DataFileProblem(DataFileProblem::Kind::ChangedByOtherCopy, path_);
    const bool entry = isInUse(record);  // only entries are remembered as written
    SiteRecord stored = record;
    WipeBytesAtScopeEnd wipeStored(stored);
    cipher.encipher(stored);
    try {
        file_.writeAt(&stored, kSlotSize, offset);
    } catch (...) {
        try {
            file_.writeAt(before, kSlotSize, offset);
        } catch (...) {
            rememberSlot(slot, 0);  // no longer known
        }
        throw;
    }
    // The slot is written: remembered as this object's own write even when the flush
    // after it fails, so the next change of the entry is not taken for another copy's.
    if (blockSlot(slot)) std::memcpy(block_.data() + (slot - blockFirst_) * kSlotSize, &stored, kSlotSize);
    rememberSlot(slot, entry ? digest(&stored) : 0);
    position_ = slot + 1;
    file_.sync();
}

// ---------------------------------------------------------------------------
// Scans

void DataFile::scanList(const Cipher& cipher, const std::function<void(const SiteRecord&)>& onInUse) {
    open();
    slotDigest_.clear();
    CloseUnlessKept guard{*this};
    SiteRecord r;
    WipeBytesAtScopeEnd wipeSlot(r);  // deciphered texts, the password among them
    for (;;) {
        bool last = readSlot(r);
        if (isNeverUsed(r)) break;
        if (!statusIs(r, 'D')) {
            // Every entry listed is remembered as read: an update or delete of one that
            // another copy changed since is refused, selected first or not.
            rememberSlot(position_ - 1, digest(blockSlot(position_ - 1)));
            cipher.decipher(r);
            if (onInUse) onInUse(r);
        }
        if (last) break;
    }
}

FreeSlot DataFile::findFreeSlot(const std::string& wantedName, const Cipher& cipher) {
    const std::string wanted = nameKey(wantedName);
    openData(true);
    CloseUnlessKept guard{*this};
    SiteRecord r;
    WipeBytesAtScopeEnd wipeSlot(r);  // deciphered texts, the password among them
    for (int read = 1;; ++read) {
        bool last = readSlot(r);
        cipher.decipher(r);
        if (last) return {FreeSlot::Full, -1};
        if (isInUse(r) && hasNameKey(r.name.view(), wanted)) return {FreeSlot::Duplicate, -1};
        if (isNeverUsed(r) || statusIs(r, 'D')) {
            guard.keep = true;
            return {FreeSlot::Found, read - 1};
        }
    }
}

int DataFile::countFreeSlots(const Cipher& cipher) {
    open();
    CloseUnlessKept guard{*this};
    SiteRecord r;
    WipeBytesAtScopeEnd wipeSlot(r);  // deciphered texts, the password among them
    int free = 0;
    while (!readSlot(r)) {
        cipher.decipher(r);
        if (isNeverUsed(r) || statusIs(r, 'D')) ++free;
    }
    return free;
}

int DataFile::findSlotByName(const std::string& wantedName, const Cipher& cipher) {
    openData(true);
    CloseUnlessKept guard{*this};
    SiteRecord r;
    WipeBytesAtScopeEnd wipeSlot(r);  // deciphered texts, the password among them
    for (int read = 1;; ++read) {
        bool last = readSlot(r);
        cipher.decipher(r);
        if (last) return kNotFound;
        if (statusIs(r, 'D')) continue;
        if (r.name.length == wantedName.size() && std::memcmp(r.name.chars, wantedName.data(), r.name.length) == 0) {
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
    WipeBytesAtScopeEnd wipeSlot(r);  // deciphered texts, the password among them
    for (;;) {
        bool last = readSlot(r);
        cipher.decipher(r);
        if (last) return std::nullopt;
        if (isNeverUsed(r)) return std::nullopt;
        if (statusIs(r, 'D')) continue;
        if (r.name.str() == name) {
            // The entry the user is shown: an update or delete of it re-checks it.
            rememberSlot(position_ - 1, digest(blockSlot(position_ - 1)));
            return r;
        }
    }
}

PlainReading DataFile::readUnder(const Cipher& cipher) {
    open();
    CloseUnlessKept guard{*this};
    PlainReadingCheck check(cipher);
    SiteRecord r;
    WipeBytesAtScopeEnd wipeSlot(r);  // deciphered texts, the password among them
    for (;;) {
        const bool last = readSlot(r);
        if (isNeverUsed(r)) break;
        if (!statusIs(r, 'D')) check.add(r);
        if (last) break;
    }
    return check.result();
}

void DataFile::scanForPrint(const Cipher& cipher, const std::function<void(const SiteRecord&)>& onEntry) {
    open();
    CloseUnlessKept guard{*this};
    SiteRecord r;
    WipeBytesAtScopeEnd wipeSlot(r);  // deciphered texts, the password among them
    for (;;) {
        bool last = readSlot(r);
        cipher.decipher(r);
        if ((statusIs(r, 'A') || statusIs(r, 'U')) && onEntry) onEntry(r);
        if (last) break;
    }
}

}  // namespace vault
