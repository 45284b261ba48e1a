#include "vault/session.h"

#include "vault/cipher.h"
#include "vault/record.h"
#include "vault/ioerror.h"
#include "vault/keyphrase.h"
#include "vault/seal.h"
#include "vault/secret.h"
#include "vault/settings.h"
#include "vault/text.h"

namespace vault {
namespace {

// Closes the data file when an operation leaves, however it leaves.
struct CloseAtScopeEnd {
    DataFile& file;
    ~CloseAtScopeEnd() { file.close(); }
};

// One Entry refilled for every slot: its strings keep their room from one slot to the
// next, so a full list costs no allocation per entry.
template <std::size_t Max>
void assignField(std::string& text, const ShortString<Max>& field) {
    text.assign(field.chars, field.length <= Max ? field.length : Max);
}
template <std::size_t Max>
void assignField(SecretText& text, const ShortString<Max>& field) {
    text.clear();
    text.append(std::string_view(field.chars, field.length <= Max ? field.length : Max));
}
void fill(Entry& e, const SiteRecord& r) {
    assignField(e.name, r.name);
    assignField(e.website, r.website);
    assignField(e.userId, r.userId);
    assignField(e.password, r.password);
    assignField(e.comments, r.comments);
}

void wipe(Entry& e) {
    for (std::string* text : {&e.name, &e.website, &e.userId, &e.comments}) wipeSecret(*text);
    wipeSecret(e.password);
}

}  // namespace

Session::Session(Locations paths) : paths_(std::move(paths)), data_(paths_.dataFile) {}

Session::~Session() = default;

void Session::setKeyPhrase(std::string_view phrase) { cipher_.setPhrase(phrase); }

PhraseOutcome Session::openWithPhrase(std::string_view phrase, const std::function<void()>& between,
                                      PhraseCheck check) {
    if (sealedFileExists()) {
        std::vector<unsigned char> bytes = data_.readSealedBytes();
        SealHeader header;
        // Refused before a key is derived: a file must not make the program take
        // gigabytes or minutes.
        switch (readSealHeader(bytes.data(), bytes.size(), header)) {
        case SealHeaderState::Readable: break;
        case SealHeaderState::Damaged: throw DataFileProblem(DataFileProblem::Kind::Damaged, sealedFile());
        case SealHeaderState::Newer: throw DataFileProblem(DataFileProblem::Kind::NewerVersion, sealedFile());
        }
        if (!sealingAvailable()) throw DataFileProblem(DataFileProblem::Kind::Damaged, sealedFile());
        SealKey key = data_.makeKey([&] { return SealKey::derive(phrase, header); });
        SealOpening opening = openSealedFile(bytes.data(), bytes.size(), key);
        switch (opening.outcome) {
        case SealOpening::Outcome::Opened: break;
        case SealOpening::Outcome::KeyCheckFails: return PhraseOutcome::SealedFileRefuses;
        case SealOpening::Outcome::TagFails:
            if (header.version == 1) return PhraseOutcome::SealedFileRefusesOrDamaged;
            throw DataFileProblem(DataFileProblem::Kind::Damaged, sealedFile());
        case SealOpening::Outcome::HeaderRefused: throw DataFileProblem(DataFileProblem::Kind::Damaged, sealedFile());
        }
        data_.useSealedFile(std::move(key), std::move(*opening.image), std::move(bytes));
    } else if (data_.isSealed()) {
        data_.usePlainFile();  // another copy unsealed it
    }
    {
        data_.open();
        CloseAtScopeEnd close{data_};
        SiteRecord slot;
        data_.readSlot(slot);  // only a check that the file can be read
        if (between) between();
        data_.readSlot(slot);  // again only a check
        wipeBytes(&slot, sizeof slot);
    }
    Cipher candidate(phrase);
    if (!data_.isSealed() && check == PhraseCheck::Required) {
        switch (data_.readUnder(candidate)) {
        case PlainReading::NoEntries:
        case PlainReading::Reads: break;
        case PlainReading::NoAddressReads: return PhraseOutcome::NoAddressReads;
        case PlainReading::Mistyped: return PhraseOutcome::Mistyped;
        }
    }
    cipher_ = std::move(candidate);
    return PhraseOutcome::Opened;
}

bool Session::isKeyPhraseInForce(std::string_view phrase) const { return samePhrase(cipher_.phrase(), phrase); }

bool Session::dataFileExists() const { return plainFileExists() || sealedFileExists(); }
bool Session::plainFileExists() const { return fileExists(paths_.dataFile); }
bool Session::sealedFileExists() const { return fileExists(data_.sealedPath()); }

SealOutcome Session::seal() {
    if (!sealingAvailable()) return SealOutcome::NotAvailable;
    if (data_.isSealed()) return SealOutcome::AlreadySealed;
    const bool plainThere = plainFileExists();
    if (sealedFileExists()) return plainThere ? SealOutcome::OtherFileThere : SealOutcome::AlreadySealed;
    if (!plainThere) return SealOutcome::NoDataFile;
    const std::string_view phrase = cipher_.phrase();  // where it lies, in guarded memory
    if (phrase.empty()) return SealOutcome::PhraseEmpty;
    return data_.seal(data_.makeKey([&] { return SealKey::fresh(phrase, data_.sealCost()); }))
               ? SealOutcome::Sealed
               : SealOutcome::OtherFileThere;
}

SealOutcome Session::unseal() {
    if (!data_.isSealed()) return sealedFileExists() ? SealOutcome::AlreadySealed : SealOutcome::NotSealed;
    return data_.unseal() ? SealOutcome::Unsealed : SealOutcome::OtherFileThere;
}

void Session::refuseUnreachableLink() const { data_.refuseUnreachableLink(); }

NewFileKind Session::newFileKind() const {
    return sealsNewDataFile(paths_.settingsFile) ? NewFileKind::Sealed : NewFileKind::Plain;
}

CreateOutcome Session::createDataFile(NewFileKind kind) {
    const std::string_view phrase = cipher_.phrase();
    // The empty phrase would seal nothing worth the name, and a build without sealing
    // cannot: both make the plain file.
    const bool sealed = kind == NewFileKind::Sealed && !phrase.empty() && sealingAvailable();
    if (dataFileExists()) return CreateOutcome::AlreadyThere;
    const bool made = sealed
                          ? data_.createSealed(data_.makeKey([&] { return SealKey::fresh(phrase, data_.sealCost()); }))
                          : data_.create();
    return made ? CreateOutcome::Created : CreateOutcome::AlreadyThere;
}

LegacyResult Session::convertLegacyFile() { return data_.convertLegacy(paths_.legacyFile); }

// Hands each record a scan of the data file finds to onEntry, as one entry refilled
// every time and wiped at the end.
template <class Scan>
void eachEntry(const Scan& scan, const std::function<void(const Entry&)>& onEntry) {
    Entry entry;
    WipeAtScopeEnd wipeEntry(entry.userId, entry.comments);  // the password wipes itself
    scan([&](const SiteRecord& r) {
        if (!onEntry) return;
        fill(entry, r);
        onEntry(entry);
    });
}

void Session::listEntries(const std::function<void(const Entry&)>& onEntry) {
    eachEntry([this](const auto& onRecord) { data_.scanList(cipher_, onRecord); }, onEntry);
}

void Session::listEntriesWithSlots(const std::function<void(int slot, const Entry&)>& onEntry) {
    listEntries([&](const Entry& e) { onEntry(data_.slotHandedOut(), e); });
}

std::vector<std::string> Session::listNames() {
    std::vector<std::string> names;
    listEntries([&](const Entry& e) { names.push_back(e.name); });
    return names;
}

std::optional<Entry> Session::find(const std::string& name) {
    std::optional<SiteRecord> r = data_.lookupListedName(name, cipher_);
    if (!r) return std::nullopt;
    WipeBytesAtScopeEnd wipeSlot(*r);
    return entryOf(*r);
}

void Session::forEachPrintable(const std::function<void(const Entry&)>& onEntry) {
    eachEntry([this](const auto& onRecord) { data_.scanForPrint(cipher_, onRecord); }, onEntry);
}

EntryCheck Session::check(const Entry& typed, Operation operation) const {
    EntryCheck result;
    auto refuse = [&](EntryRule rule) {
        result.rule = rule;
        return std::move(result);
    };
    if (passwordHasSpace(typed.password)) return refuse(EntryRule::SpaceInPassword);
    if (trim(typed.name).empty()) return refuse(EntryRule::NameMissing);
    switch (operation) {
    case Operation::Add:
    case Operation::Import:
        if (trim(typed.website).empty()) return refuse(EntryRule::WebsiteMissing);
        break;
    case Operation::Update: break;  // an empty address is stored as "http://"
    }
    Entry stored = storedForm(typed, operation);
    if (const std::optional<TextFault> fault = textFault(stored)) {
        result.field = fault->field;
        result.character = fault->character;
        switch (fault->kind) {
        case TextFault::ControlCharacter: return refuse(EntryRule::ControlCharacter);
        case TextFault::TooLong: return refuse(EntryRule::TooLong);
        }
    }
    result.entry = std::move(stored);
    result.addressCompleted = addressNeedsScheme(typed.website);
    return result;
}

namespace {

// A refused or failed result carries no entry (its password wipes itself as it goes).
template <class Result>
void dropEntry(Result& result) {
    result.entry = {};
}

template <class Result, class Outcome>
Result resultOf(EntryCheck&& checked, Outcome passed, Outcome refused) {
    Result result{checked.rule == EntryRule::Passed ? passed : refused, std::move(checked.entry),
                  checked.addressCompleted};
    result.rule = checked.rule;
    result.field = checked.field;
    result.character = checked.character;
    return result;
}

}  // namespace

AddResult Session::checkBeforeScan(const Entry& typed, Operation operation, const ListedAlready& listedAlready) const {
    AddResult result = resultOf<AddResult>(check(typed, operation), AddOutcome::Added, AddOutcome::Refused);
    if (result.outcome == AddOutcome::Added && listedAlready && listedAlready(nameKey(result.entry.name))) {
        dropEntry(result);
        result.outcome = AddOutcome::ListedAlready;
    }
    return result;
}

AddResult Session::add(const Entry& typed, Operation operation, const ListedAlready& listedAlready,
                       const BeforeWrite& beforeWrite) {
    AddResult result = checkBeforeScan(typed, operation, listedAlready);
    if (result.outcome != AddOutcome::Added) return result;
    const FreeSlot free = data_.findFreeSlot(result.entry.name, cipher_);
    if (free.kind != FreeSlot::Found) {
        dropEntry(result);
        result.outcome = free.kind == FreeSlot::Full ? AddOutcome::Full : AddOutcome::Duplicate;
        return result;
    }
    CloseAtScopeEnd close{data_};
    if (beforeWrite) beforeWrite(result.entry, result.addressCompleted);
    SiteRecord record = recordOf("A", result.entry);
    WipeBytesAtScopeEnd wipeRecord(record);
    data_.writeSlot(free.slot, record, cipher_);
    result.slot = free.slot;
    return result;
}

ChangeResult Session::update(const Entry& typed, const BeforeWrite& beforeWrite) {
    ChangeResult result =
        resultOf<ChangeResult>(check(typed, Operation::Update), ChangeOutcome::Updated, ChangeOutcome::Refused);
    if (result.outcome != ChangeOutcome::Updated) return result;
    return change(std::move(result), beforeWrite);
}

ChangeResult Session::remove(const std::string& name) {
    ChangeResult result{ChangeOutcome::Deleted, {}, false, -1};
    result.entry.name = trim(name);
    if (result.entry.name.empty()) {
        result.outcome = ChangeOutcome::Refused;
        result.rule = EntryRule::NameMissing;
        return result;
    }
    return change(std::move(result), {});
}

// The write of an update (its entry checked) or a delete (the trimmed name only): the
// slot of exactly that name, rewritten.
ChangeResult Session::change(ChangeResult result, const BeforeWrite& beforeWrite) {
    const bool deleting = result.outcome == ChangeOutcome::Deleted;
    const int slot = data_.findSlotByName(result.entry.name, cipher_);
    if (slot == kNotFound) {
        dropEntry(result);
        result.outcome = ChangeOutcome::NotFound;
        return result;
    }
    CloseAtScopeEnd close{data_};
    if (deleting) {
        data_.writeSlot(slot, deletedRecord(), cipher_);
    } else {
        if (beforeWrite) beforeWrite(result.entry, result.addressCompleted);
        SiteRecord record = recordOf("U", result.entry);
        WipeBytesAtScopeEnd wipeRecord(record);
        data_.writeSlot(slot, record, cipher_);
    }
    result.slot = slot;
    return result;
}

RekeyOutcome Session::rekey(std::string_view oldPhrase, std::string_view newPhrase,
                            const std::function<bool(const std::string& verifyLine)>& confirm, PhraseCheck check) {
    std::string oldText = trim(oldPhrase);
    std::string newText = trim(newPhrase);
    WipeAtScopeEnd wipe(oldText, newText);
    if (newText.empty()) return RekeyOutcome::NewPhraseMissing;
    if (!dataFileExists()) return RekeyOutcome::NoDataFile;
    // Never under an old phrase that is not the file's: its entries would be stored
    // unreadable under the new one.
    if (openWithPhrase(oldText, {}, check) != PhraseOutcome::Opened) return RekeyOutcome::OldPhraseWrong;
    return data_.rekey(cipher_, oldText, newText, confirm) == RekeyResult::Cancelled ? RekeyOutcome::Cancelled
                                                                                     : RekeyOutcome::Completed;
}

// ---------------------------------------------------------------------------
// Many lookups in one pass

ListedNameIndex::~ListedNameIndex() {
    for (auto& [name, entry] : found_) wipe(entry);
    if (opened_ && !finished_) session_.data_.close();
}

const Entry* ListedNameIndex::find(const std::string& name) {
    if (auto it = found_.find(name); it != found_.end()) return &it->second;
    if (finished_) return nullptr;
    DataFile& file = session_.data_;
    if (!opened_) {
        file.open();
        opened_ = true;
    }
    SiteRecord r;
    auto finish = [&] {
        finished_ = true;
        file.close();
        wipeBytes(&r, sizeof r);
    };
    try {
        for (;;) {
            const bool last = file.readSlot(r);
            session_.cipher_.decipher(r);
            // As the single lookup: the last slot is never examined, and a never-used
            // slot ends the names.
            if (last || isNeverUsed(r)) {
                finish();
                return nullptr;
            }
            if (isDeleted(r)) continue;
            auto [it, added] = found_.try_emplace(r.name.str(), entryOf(r));
            if (added && it->first == name) {
                wipeBytes(&r, sizeof r);
                return &it->second;
            }
        }
    } catch (...) {
        finish();
        throw;
    }
}

}  // namespace vault
