// The data file of 1104-byte slots and the operations on it, at slot level. One
// DataFile object is one caller's view of one data file: the open file, the writers'
// lock while a command writes, and what this caller last read there. Slot numbers
// count from 0. Records are passed in and out explicitly; each routine that reads or
// writes texts takes the cipher of the key phrase in force.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vault/cipher.h"
#include "vault/fileio.h"
#include "vault/record.h"
#include "vault/seal.h"
#include "vault/phrasecheck.h"

namespace vault {

struct FreeSlot {
    enum Kind {
        Found,
        Duplicate,
        Full
    } kind;
    int slot;  // valid when Found
};
constexpr int kNotFound = -1;

// KFOLD28.DAT -> KFOLD30.DAT when only the former exists: what happened.
enum class LegacyResult {
    NothingToDo,
    Converted,
    NotConverted
};
// One legacy slot as it goes into the new file ("?" in the password becomes a blank).
SiteRecord convertLegacySlot(const LegacySiteRecord& old);

enum class RekeyResult {
    Completed,
    Cancelled
};

// Sharing the data file with another copy of the program: every command that writes
// it (add, update, delete, re-key, conversion, creation) holds the writers' lock
// (FileLock) for its scan and its write, and re-checks under it what it decided from
// memory. A failed check throws DataFileProblem and writes nothing; so does a lock
// that another copy keeps past lockWaitMs().
class DataFile {
public:
    explicit DataFile(std::string path);
    // Closes the file and lets the lock go.
    ~DataFile();
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    // The plain data file's path; the writers' lock lies beside it for both kinds of file.
    const std::string& path() const { return path_; }
    // The sealed file beside it ("<data file>.sealed").
    const std::string& sealedPath() const { return sealedPath_; }

    // ---- The sealed file (seal.h) ----
    // Whether this object works on the sealed file.
    bool isSealed() const { return sealKey_ != nullptr; }
    // From now on the sealed file, whose bytes (sealedBytes) were opened into image under key.
    void useSealedFile(SealKey key, GuardedBytes image, std::vector<unsigned char> sealedBytes);
    // The sealed file's bytes as they lie on disk (IoError, or TooLarge).
    std::vector<unsigned char> readSealedBytes() const;
    // From now on the plain file.
    void usePlainFile();
    // The cost of the key for a file this object seals or re-seals (default: SealCost{}).
    void setSealCost(SealCost cost) { sealCost_ = cost; }
    const SealCost& sealCost() const { return sealCost_; }
    // Where a key for a sealed file is derived (seal.h, makeSealKey).
    void setKeyWork(KeyWork keyWork) { keyWork_ = std::move(keyWork); }
    SealKey makeKey(const std::function<SealKey()>& make) const { return makeSealKey(keyWork_, make); }
    // The plain file becomes the sealed file under key, under the writers' lock: the
    // sealed file is written whole and flushed first, the plain file removed after it,
    // so a stop at any step leaves at least one file that opens. The plain file must
    // still be the one this object read. Neither ever replaces a file of the other kind:
    // false, with nothing written, when that file is there (checked under the lock).
    [[nodiscard]] bool seal(SealKey key);
    // The sealed file becomes the plain file again, in the same order.
    [[nodiscard]] bool unseal();
    // How the in-use slots read under cipher: whether some address reads with "http://"
    // or "https://", as every address stored by the program does, and whether the texts
    // read as if one character of the phrase were mistyped (phrasecheck.h).
    PlainReading readUnder(const Cipher& cipher);

    // ---- Slots ----
    // Opens the file for reading and writing, positioned at slot 0. Only whole slots
    // count: a partial tail is never read or written. The first file opened is the one
    // this object knows (see writeSlot).
    void open();
    // Reads the slot at the current position, as stored, and advances; returns whether
    // the slot just read was the file's last. The caller deciphers.
    bool readSlot(SiteRecord& into);
    // Enciphers a copy of record and writes it to slot n, flushed to disk. Opens the
    // file when it is not open. A failed write puts the slot's old bytes back. Slot n
    // must lie inside the file (the file never grows). Holds the writers' lock (taken
    // by the add or update/delete scan, or here) until close, and writes nothing when
    // the file is not the one this object knows (ReplacedByOtherCopy), or the slot no
    // longer holds what the scan found there or, after findSlotByName, what this object
    // last showed (lookupListedName) or wrote there (ChangedByOtherCopy).
    void writeSlot(int n, const SiteRecord& record, const Cipher& cipher);
    // Closes the file and lets the writers' lock go.
    void close() noexcept;
    bool isOpen() const { return sealKey_ ? sealedOpen_ : file_.isOpen(); }
    // Forgets which file this object knows and what it read there (a new start).
    void forget();

    // ---- The file as a whole ----
    // A new data file of 1000 never-used slots, under the writers' lock, when none
    // exists; false when another copy made one meanwhile (that file is kept). A data
    // file that is a link to an absent file is not replaced: LinkUnreachable names the
    // link's target.
    bool create();
    // The same, made as the sealed file under key (the plain file is never written);
    // from then on this object works on the sealed file.
    bool createSealed(SealKey key);
    // Throws LinkUnreachable when the data file is a link whose target is absent.
    void refuseUnreachableLink() const;
    // Removes "<data file>.tmp" left by a re-key, conversion or creation that was
    // stopped part-way, unless another copy is busy writing.
    void removeLeftoverTemp();
    // The legacy file at legacyPath becomes this data file when only the former exists.
    // The new file is written aside and renamed into place once every slot is
    // converted; the legacy file is deleted only after that. Whole records are
    // converted; stray bytes after the last one are not a record. A legacy file without
    // one whole record is not converted: both files stay as they are.
    LegacyResult convertLegacy(const std::string& legacyPath);

    // ---- Scans (each closes the file when it ends, unless said otherwise) ----
    // The list-loading scan: onInUse gets each in-use slot deciphered. Stops at the
    // first never-used slot or after the last slot. The list read afresh, what this
    // object showed of each entry before is forgotten.
    void scanList(const Cipher& cipher, const std::function<void(const SiteRecord&)>& onInUse);
    // During a scan's callback: the slot of the record handed out.
    int slotHandedOut() const { return static_cast<int>(position_) - 1; }
    // The add scan, under the writers' lock: the first never-used or deleted slot
    // before the last, unless an in-use slot's name (trimmed, letter case ignored)
    // equals wantedName's. On Found the file and the lock stay for the caller's
    // writeSlot + close; on Duplicate and Full both are let go.
    FreeSlot findFreeSlot(const std::string& wantedName, const Cipher& cipher);
    // How many slots the add scan could still take: never-used or deleted, before the last.
    int countFreeSlots(const Cipher& cipher);
    // The update/delete scan (exact, case-sensitive), under the writers' lock. On a
    // found slot the file and the lock stay.
    int findSlotByName(const std::string& wantedName, const Cipher& cipher);
    // The selected-name lookup: the slot deciphered on an exact match (letter case
    // counts); ends at the first never-used slot; never examines the last slot. The
    // slot found is remembered as shown (see writeSlot).
    std::optional<SiteRecord> lookupListedName(const std::string& name, const Cipher& cipher);
    // The print scan: every slot with Status "A" or "U", in slot order, to the last slot.
    void scanForPrint(const Cipher& cipher, const std::function<void(const SiteRecord&)>& onEntry);

    // Re-keying: every in-use slot deciphered under oldPhrase and enciphered under
    // newPhrase. confirm gets the first in-use slot's name deciphered under oldPhrase;
    // false cancels. The new file is built aside and replaces the data file in one step
    // (keeping its permissions); a cancel or a failure leaves the data file untouched.
    // Afterwards inForce holds newPhrase when an entry was converted, oldPhrase after a
    // cancel, and is unchanged when the file holds no entries or a failure occurred.
    // Before replacing, it takes the writers' lock and checks the file is still the one
    // it read, byte for byte.
    RekeyResult rekey(Cipher& inForce, const std::string& oldPhrase, const std::string& newPhrase,
                      const std::function<bool(const std::string& verifyLine)>& confirm);

private:
    void openData(bool writing);
    // The sealed file read afresh into image_ (under the lock when writing): refused as
    // replaced when another copy sealed it under another salt, as damaged when it does
    // not open.
    void loadSealed();
    void writeSealedSlot(std::uint64_t slot, const SiteRecord& record, const Cipher& cipher);
    // The writers' lock on this data file. Its lock file is made only beside a data
    // file, or beside the one about to be made (creating).
    void takeLock(FileLock& lock, bool creating = false) const;
    bool dataFileThere() const;
    void checkSameFile();
    bool holdsRememberedEntries();
    void rememberSlot(std::uint64_t n, std::uint64_t value);
    std::uint64_t rememberedSlot(std::uint64_t n) const;
    void pinReplacedFile();
    const unsigned char* blockSlot(std::uint64_t n) const;
    RekeyResult rekeyUnguarded(Cipher& inForce, const std::string& oldPhrase, const std::string& newPhrase,
                               const std::function<bool(const std::string& verifyLine)>& confirm);

    std::string path_;
    std::string sealedPath_;
    // The sealed file: the key it was opened with, its slots opened in guarded memory
    // (read and written there; every write seals the whole image anew) and its bytes as
    // last read, to see another copy's write.
    std::unique_ptr<SealKey> sealKey_;
    GuardedBytes image_;
    std::vector<unsigned char> sealedBytes_;
    bool sealedOpen_ = false;
    SealCost sealCost_;
    KeyWork keyWork_;
    // The open file.
    File file_;
    std::uint64_t slotCount_ = 0;  // whole slots in the file; a partial tail is never read
    std::uint64_t position_ = 0;   // the next slot readSlot reads
    // Slots are read ahead in blocks, so a scan costs a few large reads, not 1000 small ones.
    std::vector<unsigned char> block_;
    std::uint64_t blockFirst_ = 0;
    std::uint64_t blockSlots_ = 0;
    // Held from a writing command's scan to its close.
    FileLock lock_;
    bool writing_ = false;
    // The slot found by the update/delete scan must still hold what this object last read.
    bool checkRemembered_ = false;

    // What this object last read of the data file: which file it is, and a digest of
    // each entry it showed (the selected-name lookup) or wrote, as the slot lay on disk.
    // Another copy of the program may write the same file; a write re-checks these under
    // the lock. Reading the list again starts the entries afresh.
    bool pinned_ = false;
    FileId id_;
    std::vector<std::uint64_t> slotDigest_;  // 0 = never read
};

}  // namespace vault
