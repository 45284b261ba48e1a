// The data file of 1104-byte slots and the operations on it. All work on
// Paths().dataFile and on CurrentRecord; slot numbers count from 0.
#pragma once
#include <functional>
#include <string>
#include <unordered_map>
#include "vault/record.h"

namespace vault {

// Opens Paths().dataFile for reading and writing, positioned at slot 0. Only whole
// slots count: a partial tail is never read or written.
void OpenDataFile();
// Reads the slot at the current position into CurrentRecord and advances; returns
// whether the slot just read was the file's last. The caller deciphers.
bool ReadSlot();
// Enciphers CurrentRecord in place and writes it to slot n, flushed to disk. Opens the
// file when it is not open. A failed write puts the slot's old bytes back. Slot n
// must lie inside the file (the file never grows).
void WriteSlot(int n);
void CloseDataFile();
bool DataFileIsOpen();

// A new data file of 1000 never-used slots (replacing an existing one).
void CreateDataFile();
// KFOLD28.DAT -> KFOLD30.DAT when only the former exists. Returns what happened.
// The new file is written aside and renamed into place once every slot is converted;
// the legacy file is deleted only after that. An empty legacy file, or one whose size
// is not a whole number of slots, is not converted: both files stay as they are.
enum class LegacyResult { NothingToDo, Converted, NotConverted };
LegacyResult ConvertLegacyFile();
// One legacy slot as it goes into the new file ("?" in the password becomes a blank).
SiteRecord ConvertLegacySlot(const LegacySiteRecord& old);

// The list-loading scan: for each in-use slot, CurrentRecord holds it deciphered
// and onInUse runs. Stops at the first never-used slot or after the last slot.
void ScanSiteList(const std::function<void()>& onInUse);

struct FreeSlot {
    enum Kind { Found, Duplicate, Full } kind;
    int slot;  // valid when Found
};
// The add scan. On Found the file stays open for the caller's WriteSlot + CloseDataFile;
// on Duplicate and Full it is closed.
FreeSlot FindFreeSlot(const std::string& wantedName);

constexpr int kNotFound = -1;
// The update/delete scan (exact, case-sensitive). On a found slot the file stays open.
int FindSlotByName(const std::string& wantedName);

// The selected-name lookup: true on an exact match (letter case counts), with
// CurrentRecord holding that slot deciphered; ends at the first never-used slot;
// never examines the last slot. Closes the file.
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
// unchanged when the file holds no entries or a failure occurred.
enum class RekeyResult { Completed, Cancelled };
RekeyResult RekeyDataFile(const std::string& oldPhrase, const std::string& newPhrase,
                          const std::function<bool(const std::string& verifyLine)>& confirm);

}  // namespace vault
