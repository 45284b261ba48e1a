// One entry of the list as its callers see it, and the rules about its texts.
// Texts are Windows-1252 bytes.
#pragma once
#include <string>
#include <string_view>

#include "vault/record.h"

namespace vault {

struct Entry {
    std::string name;
    std::string website;
    std::string userId;
    std::string password;
    std::string comments;
    bool operator==(const Entry&) const = default;
};

// The address rule: an address holding neither "http://" nor "https://" anywhere is
// stored as "http://" before its trimmed text.
bool addressNeedsScheme(std::string_view website);
// The address as the rule completes it (trimmed; "http://" added when needed).
std::string completedAddress(std::string_view website);
// Passwords hold no space (checked on the text as typed, before trimming).
bool passwordHasSpace(std::string_view password);
// The form names are compared in by the duplicate test: trimmed and upper-cased.
std::string nameKey(std::string_view name);

// The entry of a deciphered slot (fields as stored).
Entry entryOf(const SiteRecord& record);
// A slot of the given status ("A", "U") holding the entry, each text trimmed and cut
// to its field's width; reserved fields empty. Not enciphered.
SiteRecord recordOf(std::string_view status, const Entry& entry);
// What a delete writes: status "D" and every text empty.
SiteRecord deletedRecord();

}  // namespace vault
