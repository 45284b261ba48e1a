// The data file when it is sealed (seal.h): its slots are read from and written to the
// image opened in guarded memory, and every write seals the whole image anew, with a new
// nonce, through the one atomic replace. Sealing and unsealing turn one kind of file
// into the other.
#include <cstring>
#include <stdexcept>

#include "vault/datafile.h"
#include "vault/datafileinternal.h"
#include "vault/ioerror.h"
#include "vault/secret.h"

namespace vault {

using namespace detail;

void DataFile::useSealedFile(SealKey key, GuardedBytes image, std::vector<unsigned char> sealedBytes) {
    forget();
    sealKey_ = std::make_unique<SealKey>(std::move(key));
    image_ = std::move(image);
    sealedBytes_ = std::move(sealedBytes);
}

void DataFile::usePlainFile() {
    forget();
    sealKey_.reset();
    image_ = GuardedBytes();
    sealedBytes_.clear();
}

std::vector<unsigned char> DataFile::readSealedBytes() const {
    // Another copy may have unsealed the file since this one opened it.
    if (!fileExists(sealedPath_) && fileExists(path_))
        throw DataFileProblem(DataFileProblem::Kind::ReplacedByOtherCopy, sealedPath_);
    File in = File::open(sealedPath_, File::Mode::ReadOnly);
    const std::uint64_t size = in.size();
    if (size > kMaxDataFileBytes + kSealHeaderBytes + kSealTagBytes)
        throw DataFileProblem(DataFileProblem::Kind::TooLarge, sealedPath_);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    in.readExactAt(bytes.data(), bytes.size(), 0);
    return bytes;
}

void DataFile::loadSealed() {
    std::vector<unsigned char> bytes = readSealedBytes();
    if (bytes == sealedBytes_ && !image_.empty()) return;  // nobody wrote it since
    SealHeader header;
    switch (readSealHeader(bytes.data(), bytes.size(), header)) {
    case SealHeaderState::Readable: break;
    case SealHeaderState::Damaged: throw DataFileProblem(DataFileProblem::Kind::Damaged, sealedPath_);
    case SealHeaderState::Newer: throw DataFileProblem(DataFileProblem::Kind::NewerVersion, sealedPath_);
    }
    // A new salt or cost: another copy sealed the file anew (a re-key, or an unseal and
    // a seal), under the same phrase or another.
    if (!sealKey_->madeFor(header)) throw DataFileProblem(DataFileProblem::Kind::ReplacedByOtherCopy, sealedPath_);
    std::optional<GuardedBytes> image = openSealed(bytes.data(), bytes.size(), *sealKey_);
    if (!image) throw DataFileProblem(DataFileProblem::Kind::Damaged, sealedPath_);
    image_ = std::move(*image);
    sealedBytes_ = std::move(bytes);
}

void DataFile::writeSealedSlot(std::uint64_t slot, const SiteRecord& record, const Cipher& cipher) {
    // The slot as the scan found it, when the scan read without the lock.
    unsigned char scanned[kSlotSize];
    // The slot as it was, put back when the write fails.
    unsigned char before[kSlotSize];
    // Both hold entry text: wiped however the function is left.
    struct WipeLocals {
        unsigned char* a;
        unsigned char* b;
        ~WipeLocals() {
            wipeBytes(a, kSlotSize);
            wipeBytes(b, kSlotSize);
        }
    } wipeLocals{scanned, before};
    bool haveScanned = false;
    if (!sealedOpen_) {
        openData(true);
    } else if (!writing_) {
        if (const unsigned char* seen = blockSlot(slot)) {
            std::memcpy(scanned, seen, kSlotSize);
            haveScanned = true;
        }
        try {
            takeLock(lock_);
            loadSealed();  // afresh, under the lock
            slotCount_ = image_.size() / kSlotSize;
        } catch (...) {
            close();
            throw;
        }
        writing_ = true;
    }
    if (slot >= slotCount_) throw std::out_of_range("slot " + std::to_string(slot) + " is outside the data file");
    unsigned char* inImage = image_.data() + slot * kSlotSize;
    std::memcpy(before, inImage, kSlotSize);
    const std::uint64_t known = checkRemembered_ ? rememberedSlot(slot) : 0;
    if ((haveScanned && std::memcmp(scanned, before, kSlotSize) != 0) || (known != 0 && known != digest(before)))
        throw DataFileProblem(DataFileProblem::Kind::ChangedByOtherCopy, sealedPath_);
    const bool entry = isInUse(record);
    SiteRecord stored = record;
    cipher.encipher(stored);
    std::memcpy(inImage, &stored, kSlotSize);
    wipeBytes(&stored, sizeof stored);
    try {
        std::vector<unsigned char> sealed = sealImage(image_.data(), image_.size(), *sealKey_);
        replaceWholeFile(sealedPath_, sealed.data(), sealed.size(), 0600);
        sealedBytes_ = std::move(sealed);
    } catch (...) {
        std::memcpy(inImage, before, kSlotSize);  // the file still holds the old slot
        throw;
    }
    rememberSlot(slot, entry ? digest(inImage) : 0);
    position_ = slot + 1;
}

bool DataFile::seal(SealKey key) {
    close();
    FileLock lock;
    takeLock(lock);
    // Decided again under the lock: another copy may have made the sealed file meanwhile.
    if (fileExists(sealedPath_)) {
        if (fileExists(path_)) return false;
        throw DataFileProblem(DataFileProblem::Kind::ReplacedByOtherCopy, sealedPath_);
    }
    GuardedBytes image;
    {
        File in = File::open(path_, File::Mode::ReadOnly);
        if (pinned_ && !(in.identity() == id_))
            throw DataFileProblem(DataFileProblem::Kind::ReplacedByOtherCopy, path_);
        const std::uint64_t size = in.size();
        refuseTooLarge(size, path_);
        image = GuardedBytes(static_cast<std::size_t>(size));
        in.readExactAt(image.data(), image.size(), 0);
    }
    std::vector<unsigned char> sealed = sealImage(image.data(), image.size(), key);
    replaceWholeFile(sealedPath_, sealed.data(), sealed.size(), 0600);
    // From here the sealed file is the data file; what this object showed of its
    // entries still holds, slot for slot.
    std::vector<std::uint64_t> shown = std::move(slotDigest_);
    useSealedFile(std::move(key), std::move(image), std::move(sealed));
    slotDigest_ = std::move(shown);
    removeFile(path_);
    syncParentDirectory(path_);
    return true;
}

bool DataFile::unseal() {
    close();
    FileLock lock;
    takeLock(lock);
    // A plain file beside the sealed one is never replaced: it may hold entries the
    // sealed file lacks (an older version of the program writes only that file).
    if (fileExists(path_)) return false;
    loadSealed();
    replaceWholeFile(path_, image_.data(), image_.size(), 0600);
    std::vector<std::uint64_t> shown = std::move(slotDigest_);
    usePlainFile();
    slotDigest_ = std::move(shown);
    pinned_ = identityOf(path_, id_);
    removeFile(sealedPath_);
    syncParentDirectory(sealedPath_);
    return true;
}

}  // namespace vault
