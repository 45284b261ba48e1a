#include "vault/session.h"

#include "vault/cipher.h"
#include "vault/record.h"
#include "vault/secret.h"
#include "vault/text.h"

namespace vault {
namespace {

// Closes the data file when an operation leaves, however it leaves.
struct CloseAtScopeEnd {
    ~CloseAtScopeEnd() { CloseDataFile(); }
};

// The entry as the rules store it: trimmed texts, the address completed.
Entry normalised(const Entry& typed, bool& addressCompleted) {
    addressCompleted = addressNeedsScheme(typed.website);
    return Entry{Trim(typed.name), completedAddress(typed.website), Trim(typed.userId), Trim(typed.password),
                 Trim(typed.comments)};
}

}  // namespace

Session::Session(Locations paths) : paths_(std::move(paths)) {}

Session::~Session() { CloseDataFile(); }

void Session::setKeyPhrase(std::string_view phrase) { SetKeyPhrase(phrase); }

void Session::openWithPhrase(std::string_view phrase, const std::function<void()>& between) {
    OpenDataFile();
    CloseAtScopeEnd close;
    ReadSlot();  // only a check that the file can be read
    if (between) between();
    SetKeyPhrase(phrase);
    ReadSlot();  // again only a check
}

bool Session::dataFileExists() const { return FileExists(Paths().dataFile); }

void Session::refuseUnreachableLink() const { RefuseUnreachableLink(); }

CreateOutcome Session::createDataFile() {
    return CreateDataFile() ? CreateOutcome::Created : CreateOutcome::AlreadyThere;
}

LegacyResult Session::convertLegacyFile() { return ConvertLegacyFile(); }

void Session::listEntries(const std::function<void(const Entry&)>& onEntry) {
    ScanSiteList([&] {
        if (onEntry) onEntry(entryOf(CurrentRecord));
    });
}

std::vector<std::string> Session::listNames() {
    std::vector<std::string> names;
    listEntries([&](const Entry& e) { names.push_back(e.name); });
    return names;
}

std::optional<Entry> Session::find(const std::string& name) {
    if (!LookupListedName(name)) return std::nullopt;
    return entryOf(CurrentRecord);
}

void Session::forEachPrintable(const std::function<void(const Entry&)>& onEntry) {
    ScanForPrint([&] {
        if (onEntry) onEntry(entryOf(CurrentRecord));
    });
}

AddResult Session::add(const Entry& typed, const std::function<bool(const std::string& key)>& listedAlready,
                       const BeforeWrite& beforeWrite) {
    AddResult result{AddOutcome::Added, {}, false, -1};
    if (passwordHasSpace(typed.password)) {
        result.outcome = AddOutcome::SpaceInPassword;
        return result;
    }
    const std::string name = Trim(typed.name);
    if (name.empty() || Trim(typed.website).empty()) {
        result.outcome = AddOutcome::NameOrWebsiteMissing;
        return result;
    }
    if (listedAlready && listedAlready(UpperAscii(name))) {
        result.outcome = AddOutcome::ListedAlready;
        return result;
    }
    const FreeSlot free = FindFreeSlot(name);
    if (free.kind != FreeSlot::Found) {
        result.outcome = free.kind == FreeSlot::Full ? AddOutcome::Full : AddOutcome::Duplicate;
        return result;
    }
    CloseAtScopeEnd close;
    result.entry = normalised(typed, result.addressCompleted);
    if (beforeWrite) beforeWrite(result.entry, result.addressCompleted);
    CurrentRecord = recordOf("A", result.entry);
    WriteSlot(free.slot);
    result.slot = free.slot;
    return result;
}

ChangeResult Session::update(const Entry& typed, const BeforeWrite& beforeWrite) {
    if (passwordHasSpace(typed.password)) return ChangeResult{ChangeOutcome::SpaceInPassword, {}, false, -1};
    return change(typed, false, beforeWrite);
}

ChangeResult Session::remove(const std::string& name) {
    Entry e;
    e.name = name;
    return change(e, true, {});
}

ChangeResult Session::change(const Entry& typed, bool deleting, const BeforeWrite& beforeWrite) {
    ChangeResult result{deleting ? ChangeOutcome::Deleted : ChangeOutcome::Updated, {}, false, -1};
    const std::string name = Trim(typed.name);
    if (name.empty()) {
        result.outcome = ChangeOutcome::NameMissing;
        return result;
    }
    const int slot = FindSlotByName(name);
    if (slot == kNotFound) {
        result.outcome = ChangeOutcome::NotFound;
        return result;
    }
    CloseAtScopeEnd close;
    if (deleting) {
        result.entry.name = name;
        CurrentRecord = deletedRecord();
    } else {
        result.entry = normalised(typed, result.addressCompleted);
        if (beforeWrite) beforeWrite(result.entry, result.addressCompleted);
        CurrentRecord = recordOf("U", result.entry);
    }
    WriteSlot(slot);
    result.slot = slot;
    return result;
}

RekeyOutcome Session::rekey(std::string_view oldPhrase, std::string_view newPhrase,
                            const std::function<bool(const std::string& verifyLine)>& confirm) {
    std::string oldText = Trim(oldPhrase);
    std::string newText = Trim(newPhrase);
    WipeAtScopeEnd wipe(oldText, newText);
    if (newText.empty()) return RekeyOutcome::NewPhraseMissing;
    if (!dataFileExists()) return RekeyOutcome::NoDataFile;
    return RekeyDataFile(oldText, newText, confirm) == RekeyResult::Cancelled ? RekeyOutcome::Cancelled
                                                                             : RekeyOutcome::Completed;
}

}  // namespace vault
