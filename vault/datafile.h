// The data file of 1104-byte slots and the operations on it. All work on
// Paths().dataFile and on CurrentRecord; slot numbers count from 0.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include "vault/record.h"

namespace vault {

// No data file the program writes comes near this size (1000 slots are about 1 MB); a
// larger file is refused with DataFileProblem::TooLarge instead of being read.
constexpr std::uint64_t kMaxDataFileBytes = 16u * 1024u * 1024u;

// Sharing the data file with another copy of the program: every command that writes
// it (add, update, delete, re-key, conversion, creation) holds the writers' lock
// (FileLock) for its scan and its write, and re-checks under it what it decided from
// memory. A failed check throws DataFileProblem and writes nothing; so does a lock
// that another copy keeps past LockWaitMs().

// Opens Paths().dataFile for reading and writing, positioned at slot 0. Only whole
// slots count: a partial tail is never read or written. The first file opened is the
// one this copy knows (see WriteSlot).
void OpenDataFile();
// Reads the slot at the current position into CurrentRecord and advances; returns
// whether the slot just read was the file's last. The caller deciphers.
bool ReadSlot();
// Enciphers CurrentRecord in place and writes it to slot n, flushed to disk. Opens the
// file when it is not open. A failed write puts the slot's old bytes back. Slot n
// must lie inside the file (the file never grows). Holds the writers' lock (taken by
// the add or update/delete scan, or here) until CloseDataFile, and writes nothing when
// the file is not the one this copy knows (ReplacedByOtherCopy), or the slot no longer
// holds what the scan found there or, after FindSlotByName, what this copy last showed
// (LookupListedName) or wrote there (ChangedByOtherCopy).
void WriteSlot(int n);
// Closes the file and lets the writers' lock go.
void CloseDataFile();
bool DataFileIsOpen();
// Forgets which file this copy knows and what it read there (a new start).
void ForgetDataFile();

// A new data file of 1000 never-used slots, under the writers' lock, when none exists;
// false when another copy made one meanwhile (that file is kept). A data file that is
// a link to an absent file is not replaced: LinkUnreachable names the link's target.
bool CreateDataFile();
// Throws LinkUnreachable when the data file is a link whose target is absent (said
// before a first-run creation is offered).
void RefuseUnreachableLink();
// Removes "<data file>.tmp" left by a re-key, conversion or creation that was stopped
// part-way, unless another copy is busy writing.
void RemoveLeftoverTemp();
// KFOLD28.DAT -> KFOLD30.DAT when only the former exists. Returns what happened.
// The new file is written aside and renamed into place once every slot is converted;
// the legacy file is deleted only after that. Whole records are converted; stray
// bytes after the last one are not a record. A legacy file without one whole record
// is not converted: both files stay as they are.
enum class LegacyResult { NothingToDo, Converted, NotConverted };
LegacyResult ConvertLegacyFile();
// One legacy slot as it goes into the new file ("?" in the password becomes a blank).
SiteRecord ConvertLegacySlot(const LegacySiteRecord& old);

// The list-loading scan: for each in-use slot, CurrentRecord holds it deciphered
// and onInUse runs. Stops at the first never-used slot or after the last slot. The
// list read afresh, what this copy showed of each entry before is forgotten.
void ScanSiteList(const std::function<void()>& onInUse);

struct FreeSlot {
    enum Kind { Found, Duplicate, Full } kind;
    int slot;  // valid when Found
};
// The add scan, under the writers' lock. On Found the file and the lock stay for the
// caller's WriteSlot + CloseDataFile; on Duplicate and Full both are let go.
FreeSlot FindFreeSlot(const std::string& wantedName);

constexpr int kNotFound = -1;
// The update/delete scan (exact, case-sensitive), under the writers' lock. On a found
// slot the file and the lock stay.
int FindSlotByName(const std::string& wantedName);

// The selected-name lookup: true on an exact match (letter case counts), with
// CurrentRecord holding that slot deciphered; ends at the first never-used slot;
// never examines the last slot. Closes the file. The slot found is remembered as
// shown (see WriteSlot).
bool LookupListedName(const std::string& name);

// The selected-name lookup for many lines in one pass over the file: find(name) answers
// as LookupListedName(name) would, failing at the same slot with the same error, but
// each slot is read at most once. The file stays open from the first find until the
// index goes away (or a read fails: the error passes to the caller, and the index
// answers nothing after it); the records it kept are cleared when it goes.
class ListedNameIndex {
public:
    ListedNameIndex() = default;
    ListedNameIndex(const ListedNameIndex&) = delete;
    ListedNameIndex& operator=(const ListedNameIndex&) = delete;
    ~ListedNameIndex();
    // The record of the first in-use slot with exactly this name, or nullptr.
    const SiteRecord* find(const std::string& name);

private:
    std::unordered_map<std::string, SiteRecord> found_;  // first slot of each name read so far
    bool opened_ = false;
    bool finished_ = false;
};

// The print scan: every slot with Status "A" or "U", in slot order, to the last slot.
void ScanForPrint(const std::function<void()>& onEntry);

// Re-keying: every in-use slot deciphered under oldPhrase and enciphered under newPhrase.
// confirm gets the first in-use slot's name deciphered under oldPhrase; false cancels.
// The new file is built aside and replaces the data file in one step (keeping its
// permissions); a cancel or a failure leaves the data file untouched. Afterwards the
// phrase in force is newPhrase when an entry was converted, oldPhrase after a cancel,
// unchanged when the file holds no entries or a failure occurred. Before replacing, it
// takes the writers' lock and checks the file is still the one it read, byte for byte.
enum class RekeyResult { Completed, Cancelled };
RekeyResult RekeyDataFile(const std::string& oldPhrase, const std::string& newPhrase,
                          const std::function<bool(const std::string& verifyLine)>& confirm);

}  // namespace vault
