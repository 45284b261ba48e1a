// The data file written whole: creation, conversion of the legacy file and re-keying,
// each built in memory and put in place by the one atomic replace (fileio.h).
#include "vault/datafile.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "vault/datafileinternal.h"
#include "vault/ioerror.h"
#include "vault/secret.h"
#include "vault/text.h"

namespace vault {

using namespace detail;

// ---------------------------------------------------------------------------
// Creating and converting
bool DataFile::create() {
    close();
    refuseUnreachableLink();
    FileLock lock;
    takeLock(lock, true);
    // Another copy may have made it meanwhile: its file is kept.
    if (fileExists(path_) || fileExists(sealedPath_)) return false;
    const std::vector<unsigned char> slots(kNewFileSlots * kSlotSize, 0);
    replaceWholeFile(path_, slots.data(), slots.size(), 0600);
    usePlainFile();
    pinReplacedFile();
    return true;
}

bool DataFile::createSealed(SealKey key) {
    close();
    refuseUnreachableLink();
    FileLock lock;
    takeLock(lock, true);
    if (fileExists(path_) || fileExists(sealedPath_)) return false;
    // Sealed straight from memory: no plain file is ever written, not even for a moment.
    GuardedBytes image(kNewFileSlots * kSlotSize);
    std::memset(image.data(), 0, image.size());
    std::vector<unsigned char> sealed = sealImage(image.data(), image.size(), key);
    replaceWholeFile(sealedPath_, sealed.data(), sealed.size(), 0600);
    useSealedFile(std::move(key), std::move(image), std::move(sealed));
    return true;
}

SiteRecord convertLegacySlot(const LegacySiteRecord& old) {
    SiteRecord r{};
    r.status.assign(old.status.str());
    std::memcpy(&r.name, &old.name, sizeof r.name);
    std::memcpy(&r.website, &old.website, sizeof r.website);
    std::memcpy(&r.userId, &old.userId, sizeof r.userId);
    std::memcpy(&r.comments, &old.comments, sizeof r.comments);
    SecretText password(std::string_view(old.password, sizeof old.password));
    std::replace(password.begin(), password.end(), '?', ' ');
    r.password.assign(trimmedView(password));
    r.reserved1.clear();
    r.reserved2.clear();
    return r;
}

LegacyResult DataFile::convertLegacy(const std::string& legacyPath) {
    auto dataFileThere = [&] { return fileExists(path_) || fileExists(sealedPath_); };
    if (!fileExists(legacyPath) || dataFileThere()) return LegacyResult::NothingToDo;
    FileLock lock;
    takeLock(lock, true);
    // Another copy may have converted it meanwhile.
    if (!fileExists(legacyPath) || dataFileThere()) return LegacyResult::NothingToDo;
    refuseUnreachableLink();
    // Both hold the entries as stored, passwords included.
    std::vector<unsigned char> legacy;
    std::vector<unsigned char> converted;
    struct WipeBuffers {
        std::vector<unsigned char>& a;
        std::vector<unsigned char>& b;
        ~WipeBuffers() {
            wipeSecret(a);
            wipeSecret(b);
        }
    } wipeBuffers{legacy, converted};
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
    converted.resize(count * kSlotSize);
    for (std::size_t i = 0; i < count; ++i) {
        LegacySiteRecord old;
        WipeBytesAtScopeEnd wipeOld(old);
        std::memcpy(&old, legacy.data() + i * kLegacySlotSize, kLegacySlotSize);
        SiteRecord r = convertLegacySlot(old);
        WipeBytesAtScopeEnd wipeNew(r);
        std::memcpy(converted.data() + i * kSlotSize, &r, kSlotSize);
    }
    replaceWholeFile(path_, converted.data(), converted.size(), 0600);
    pinReplacedFile();
    // The entries are safe in the new file; only now does the old one go.
    removeFileQuietly(legacyPath);
    return LegacyResult::Converted;
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
    // The re-keyed file is built in guarded memory from a copy of the whole file (a
    // partial tail included) and replaces the data file only once every slot is done.
    const bool sealed = isSealed();
    GuardedBytes bytes(sealed ? image_.size() : static_cast<std::size_t>(file_.size()));
    if (sealed)
        std::memcpy(bytes.data(), image_.data(), bytes.size());
    else
        file_.readExactAt(bytes.data(), bytes.size(), 0);
    const unsigned mode = sealed ? 0600 : file_.permissions();
    const FileId readFrom = sealed ? FileId{} : file_.identity();
    if (slotCount_ == 0) throwReadBeyondEnd(path_);
    // What must still lie on disk under the lock: the sealed file's bytes, or the plain
    // file's (kept guarded: under an empty phrase they are the entries in plain text).
    GuardedBytes original(sealed ? 0 : bytes.size());
    if (!sealed) std::memcpy(original.data(), bytes.data(), bytes.size());
    const std::vector<unsigned char> sealedOriginal = sealed ? sealedBytes_ : std::vector<unsigned char>();

    const Cipher oldCipher(oldPhrase);
    const Cipher newCipher(newPhrase);
    bool seenInUse = false;
    SiteRecord r;
    WipeBytesAtScopeEnd wipeSlot(r);  // also on a cancel or a failure
    for (std::uint64_t n = 0; n < slotCount_; ++n) {
        unsigned char* slot = bytes.data() + n * kSlotSize;
        std::memcpy(&r, slot, kSlotSize);
        if (isNeverUsed(r)) break;
        if (statusIs(r, 'D')) continue;
        if (!seenInUse) {
            seenInUse = true;
            inForce = oldCipher;
            if (!confirm || !confirm(oldCipher.decipherText(r.name.str()))) return RekeyResult::Cancelled;
            inForce = newCipher;
        }
        oldCipher.decipher(r);
        newCipher.encipher(r);
        std::memcpy(slot, &r, kSlotSize);
    }
    if (!seenInUse) return RekeyResult::Completed;
    // A sealed file is sealed anew under the new phrase, with a new salt; the key costs
    // its half second before the lock is taken.
    std::unique_ptr<SealKey> newKey;
    if (sealed) newKey = std::make_unique<SealKey>(makeKey([&] { return SealKey::fresh(newPhrase, sealCost_); }));

    close();
    // Under the lock, the file must still be the one read above, byte for byte: another
    // copy may have written it while the question was open.
    FileLock lock;
    takeLock(lock);
    if (sealed) {
        if (readSealedBytes() != sealedOriginal)
            throw DataFileProblem(DataFileProblem::Kind::ChangedByOtherCopy, sealedPath_);
        std::vector<unsigned char> sealedNew = sealImage(bytes.data(), bytes.size(), *newKey);
        replaceWholeFile(sealedPath_, sealedNew.data(), sealedNew.size(), mode);
        useSealedFile(std::move(*newKey), std::move(bytes), std::move(sealedNew));
        return RekeyResult::Completed;
    }
    {
        File now = File::open(path_, File::Mode::ReadOnly);
        if (!(now.identity() == readFrom)) throw DataFileProblem(DataFileProblem::Kind::ReplacedByOtherCopy, path_);
        GuardedBytes check(original.size());
        if (now.size() != original.size() || now.readAt(check.data(), check.size(), 0) != check.size() ||
            std::memcmp(check.data(), original.data(), check.size()) != 0)
            throw DataFileProblem(DataFileProblem::Kind::ChangedByOtherCopy, path_);
    }
    replaceWholeFile(path_, bytes.data(), bytes.size(), mode);
    pinReplacedFile();
    return RekeyResult::Completed;
}

}  // namespace vault
