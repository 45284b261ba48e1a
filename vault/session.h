// The data file as a caller works with it: one Session per data file and key phrase.
//
// A Session owns the paths, the key phrase in force and the open data file; the file
// is closed whenever an operation ends (also by an exception) and at the latest when
// the session goes out of scope. Every operation that writes takes the writers' lock
// for its scan and its write and re-checks under it what it decided from memory
// (see datafile.h): two copies of the program, or the window program and the command
// line, can work on one file and lose nothing. A refused write throws DataFileProblem
// and writes nothing; a failed read or write throws IoError (ioerror.h).
//
// Operations return outcomes, never texts: each caller words them in its own way. An
// outcome cannot be ignored ([[nodiscard]]), and the build refuses a switch over one that
// leaves a value out: a new refusal here is worded by every caller before it builds.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/entry.h"
#include "vault/locations.h"

namespace vault {

// The rules an entry passes before it is written, in the order they are checked. Which
// of them an operation applies is decided in one place, Session::check; each front end
// words them in one switch, so a new rule is one edit here and in Session::check, and
// the build then asks every front end for its words.
// clang-format off (its version 14 cannot read an attribute on an enum)
enum class [[nodiscard]] EntryRule{
    Passed,            // the entry passes every rule of its operation
    SpaceInPassword,   // the password holds a space (as typed, before trimming)
    NameMissing,       // the trimmed name is empty
    WebsiteMissing,    // add, import: the trimmed address is empty
    ControlCharacter,  // a text as stored holds a control character (field and character below)
    TooLong,           // a text as stored is longer than its field (field below)
};
// clang-format on
struct [[nodiscard]] EntryCheck {
    EntryRule rule = EntryRule::Passed;
    Entry entry;                    // Passed: the entry as the operation writes it (storedForm)
    bool addressCompleted = false;  // "http://" was put before the address
    Field field = Field::Name;      // ControlCharacter, TooLong: the text at fault
    unsigned char character = 0;    // ControlCharacter: the character
};

// clang-format off (its version 14 cannot read an attribute on an enum)
enum class [[nodiscard]] AddOutcome{
    Added,
    Refused,        // a rule of Session::check (rule, field and character below)
    ListedAlready,  // the caller's own test (what it shows) knows the name
    Duplicate,      // an entry of the same name (trimmed, letter case ignored) is in the file
    Full,           // no free slot; nothing written
};
// clang-format on
struct [[nodiscard]] AddResult {
    AddOutcome outcome;
    Entry entry;                         // the entry as written (trimmed texts, completed address)
    bool addressCompleted = false;       // "http://" was put before the address
    int slot = -1;                       // the slot written
    EntryRule rule = EntryRule::Passed;  // Refused: the rule the entry breaks
    Field field = Field::Name;           // as in EntryCheck
    unsigned char character = 0;         // as in EntryCheck
};

// clang-format off (its version 14 cannot read an attribute on an enum)
enum class [[nodiscard]] ChangeOutcome{
    Updated, Deleted,
    Refused,   // a rule of Session::check (rule, field and character below); a delete
               // only checks that the trimmed name is not empty (NameMissing)
    NotFound,  // no entry of exactly this name (letter case counts)
};
// clang-format on
struct [[nodiscard]] ChangeResult {
    ChangeOutcome outcome;
    Entry entry;  // the entry as written (update) or the name deleted
    bool addressCompleted = false;
    int slot = -1;
    EntryRule rule = EntryRule::Passed;  // as in AddResult
    Field field = Field::Name;
    unsigned char character = 0;
};

// clang-format off (its version 14 cannot read an attribute on an enum)
enum class [[nodiscard]] RekeyOutcome{
    Completed,
    Cancelled,         // the confirmation said no: the file is untouched
    NewPhraseMissing,  // the trimmed new phrase is empty
    NoDataFile,        // there is no data file to re-key
    OldPhraseWrong,    // the old phrase does not open the file (see PhraseOutcome)
};
// clang-format on

enum class CreateOutcome {
    Created,
    AlreadyThere
};
// What a new data file is made as. A sealed one needs a key phrase and a build with
// sealing; without either the new file is plain.
enum class NewFileKind {
    Sealed,
    Plain
};

// Whether a key phrase opens the data file. A sealed file decides by its key check (its
// first format, which has none, by its tag; a damaged file then reads as a wrong phrase,
// SealedFileRefusesOrDamaged). A sealed file that is damaged, or made by a newer version,
// is refused with DataFileProblem (Damaged, NewerVersion) before anything is shown. A plain
// file decides by what its stored texts must hold: every address the program stores
// holds "http://" or "https://" (the address rule), and every position of the phrase
// must read the texts as names, addresses, user IDs and comments read (phrasecheck.h),
// which catches a phrase with one character mistyped. A file whose entries all lack a
// scheme (one converted from the legacy format) can be opened unchecked, at the user's
// word.
// clang-format off (its version 14 cannot read an attribute on an enum)
enum class [[nodiscard]] PhraseOutcome{
    Opened,
    SealedFileRefuses,           // the sealed file's key check says the phrase is not the file's
    SealedFileRefusesOrDamaged,  // a sealed file of the first format fails its tag: another phrase, or damage
    NoAddressReads,              // plain file: entries, and no address reads under the phrase
    Mistyped,                    // plain file: the addresses read, but the texts read as if one
                                 // character of the phrase were mistyped (phrasecheck.h)
};
// clang-format on
enum class PhraseCheck {
    Required,
    Skipped
};

// clang-format off (its version 14 cannot read an attribute on an enum)
enum class [[nodiscard]] SealOutcome{
    Sealed,         Unsealed,
    AlreadySealed,  // seal: the data file is the sealed file already
    NotSealed,      // unseal: the data file is the plain file
    NoDataFile,
    PhraseEmpty,     // seal: the empty phrase would protect nothing
    NotAvailable,    // this build has no sealing
    OtherFileThere,  // a file of the other kind lies beside the one in use: nothing written
};
// clang-format on

class Session {
public:
    // The session works on paths.dataFile (and paths.legacyFile for the conversion),
    // under the empty key phrase until one is set. Nothing is read or written here.
    explicit Session(Locations paths);
    // Closes the data file and overwrites the key phrase.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const Locations& paths() const { return paths_; }

    // ---- Key phrase ----
    // Puts the phrase in force for every following operation (cut to 255 characters;
    // a zero byte ends it). The empty phrase stores texts as they are.
    void setKeyPhrase(std::string_view phrase);
    // Overwrites the phrase in force; the empty phrase is in force afterwards.
    void forgetKeyPhrase() { cipher_.forget(); }
    // The cipher of the phrase in force.
    const Cipher& cipher() const { return cipher_; }
    // Whether the phrase in force is the empty one (which cannot seal).
    bool keyPhraseEmpty() const { return cipher_.state().length == 0; }
    // Whether phrase (trimmed Windows-1252, keyphrase.h) is the one in force: a phrase
    // typed again before the file is sealed; compared in constant time.
    [[nodiscard]] bool isKeyPhraseInForce(std::string_view phrase) const;
    // Opens the data file under the phrase (trimmed Windows-1252, keyphrase.h): the
    // sealed file when there is one, else the plain file. Checks that the file can be
    // read (its first slot, then between if any, then the next slot; IoError on a file
    // that cannot be opened or holds fewer than two slots, DataFileProblem::Damaged on a
    // sealed file that is none) and that the phrase is the file's (PhraseOutcome). The
    // phrase is in force only when Opened; otherwise the phrase in force stays.
    PhraseOutcome openWithPhrase(std::string_view phrase, const std::function<void()>& between = {},
                                 PhraseCheck check = PhraseCheck::Required);

    // ---- The sealed file ----
    // Whether the session works on the sealed file (decided by openWithPhrase).
    bool isSealed() const { return data_.isSealed(); }
    const std::string& sealedFile() const { return data_.sealedPath(); }
    bool sealedFileExists() const;
    bool plainFileExists() const;
    // The plain file becomes the sealed file, under the phrase in force; the other way
    // round. Each leaves exactly one file that opens; a stop part-way leaves both, never
    // neither. Neither replaces a file of the other kind that lies beside the one in use
    // (OtherFileThere, decided again under the writers' lock): the user moves or deletes
    // it first. The sealing key costs about half a second (SealCost).
    SealOutcome seal();
    SealOutcome unseal();
    // The cost of a key made for sealing or re-sealing (tests use a small one).
    void setSealCost(SealCost cost) { data_.setSealCost(cost); }
    // Where every sealed-file key this session derives is made (opening, sealing,
    // re-keying): a window runs it off its own thread. Empty: in place.
    void setKeyWork(KeyWork keyWork) { data_.setKeyWork(std::move(keyWork)); }

    // ---- The data file itself ----
    bool dataFileExists() const;
    // Throws DataFileProblem::LinkUnreachable when the data file is a link to an absent
    // file (said before a first-run creation is offered).
    void refuseUnreachableLink() const;
    // A new data file of 1000 never-used slots when none exists; AlreadyThere when
    // another copy made one meanwhile (that file is kept). Sealed, it is made directly as
    // the sealed file under the phrase in force (the key costs what SealCost says), and
    // the session works on it from then on; isSealed() tells which kind was made.
    CreateOutcome createDataFile(NewFileKind kind);
    // The kind the settings file asks for: sealed unless [DataFile] SealNewFile=0.
    NewFileKind newFileKind() const;
    // KFOLD28.DAT -> KFOLD30.DAT when only the former exists.
    LegacyResult convertLegacyFile();
    // Removes a temporary file left beside the data file by a re-key, conversion or
    // creation that was stopped part-way, unless another copy is busy writing.
    void removeLeftoverTemp() { data_.removeLeftoverTemp(); }
    // The slot level under the operations, for tools and tests.
    DataFile& dataFile() { return data_; }

    // ---- Reading ----
    // The list load: every entry in slot order, up to the first never-used slot. A read
    // that fails part-way throws after the entries before it were handed out. Reading
    // the list starts afresh what this session remembers of the entries it showed.
    // The Entry handed out is refilled for the next slot: copy what is to be kept.
    void listEntries(const std::function<void(const Entry&)>& onEntry);
    // The same, with each entry's slot.
    void listEntriesWithSlots(const std::function<void(int slot, const Entry&)>& onEntry);
    std::vector<std::string> listNames();
    // The selected-name lookup: the entry of exactly this name (letter case counts),
    // remembered as shown, so that an update or delete of it notices another copy's
    // change; nothing when it is not found before the first never-used slot. The last
    // slot is never examined.
    std::optional<Entry> find(const std::string& name);
    // Every slot with status "A" or "U", in slot order, to the last slot (the Entry is
    // refilled as in listEntries).
    void forEachPrintable(const std::function<void(const Entry&)>& onEntry);

    // ---- Writing ----
    // The rules an entry passes before the operation writes it, checked on the entry as
    // the operation stores it (storedForm): no space in the password; a name; for add and
    // import an address; texts without control characters that fit their fields. The
    // entry as it would be written when it passes them all. Needs no file.
    EntryCheck check(const Entry& typed, Operation operation) const;
    // What add decides before it reads the file: check, then listedAlready (given the
    // name in duplicate-test form, nameKey) when given. A dry run of an import asks this
    // with its own listedAlready.
    using ListedAlready = std::function<bool(const std::string& key)>;
    AddResult checkBeforeScan(const Entry& typed, Operation operation, const ListedAlready& listedAlready = {}) const;
    // Adds the entry: checkBeforeScan, then a scan of the file for a duplicate and the
    // first free slot (never-used or deleted; the last slot is never used), and writes the
    // entry there with status "A". beforeWrite (if given) sees the entry as it is about to
    // be written, once every check has passed: a caller shows it there, so that what it
    // shows matches the file even when the write then fails.
    // Every text is stored trimmed, never cut (a text too long is refused), and the name
    // upper-cased as the main window's name box types it.
    using BeforeWrite = std::function<void(const Entry& entry, bool addressCompleted)>;
    AddResult add(const Entry& typed, Operation operation = Operation::Add, const ListedAlready& listedAlready = {},
                  const BeforeWrite& beforeWrite = {});
    // How many more entries add can write before the file is full (a dry run's count).
    int freeSlots() { return data_.countFreeSlots(cipher_); }
    // Rewrites the entry whose name is exactly typed.name (trimmed) with status "U",
    // once it passes check for an update.
    ChangeResult update(const Entry& typed, const BeforeWrite& beforeWrite = {});
    // Marks the entry of exactly this name (trimmed) deleted, emptying every text.
    ChangeResult remove(const std::string& name);
    // Changes the key phrase of every entry (both phrases trimmed). The old phrase must
    // open the file (openWithPhrase; check Skipped only at the user's word). confirm gets
    // the first entry's name deciphered under the old phrase and may cancel. Afterwards
    // the new phrase is in force when an entry was converted, the old one after a cancel.
    // A sealed file is sealed anew under the new phrase, with a new salt.
    RekeyOutcome rekey(std::string_view oldPhrase, std::string_view newPhrase,
                       const std::function<bool(const std::string& verifyLine)>& confirm,
                       PhraseCheck check = PhraseCheck::Required);

private:
    friend class ListedNameIndex;
    ChangeResult change(ChangeResult result, const BeforeWrite& beforeWrite);

    Locations paths_;
    Cipher cipher_;
    DataFile data_;
};

// The selected-name lookup for many names in one pass over the file (the text list asks
// for every line of the list): find(name) answers as Session::find(name) would, failing
// at the same slot with the same error, but each slot is read at most once. The session's
// data file stays open from the first question until the index goes away (or a read
// fails: the error passes to the caller, and the index answers nothing after it); the
// entries it kept are overwritten when it goes.
class ListedNameIndex {
public:
    explicit ListedNameIndex(Session& session) : session_(session) {}
    ~ListedNameIndex();
    ListedNameIndex(const ListedNameIndex&) = delete;
    ListedNameIndex& operator=(const ListedNameIndex&) = delete;
    // The entry of the first in-use slot with exactly this name, or nullptr.
    const Entry* find(const std::string& name);

private:
    Session& session_;
    std::unordered_map<std::string, Entry> found_;  // the first slot of each name read so far
    bool opened_ = false;
    bool finished_ = false;
};

}  // namespace vault
