// One entry of the list as its callers see it, and the rules about its texts.
// Texts are Windows-1252 bytes.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vault/record.h"
#include "vault/secret.h"

namespace vault {

struct Entry {
    std::string name;
    std::string website;
    std::string userId;
    SecretText password;
    std::string comments;
    bool operator==(const Entry&) const = default;
};

// The five texts of an entry, for the outcomes that name one.
enum class Field {
    Name,
    Website,
    UserId,
    Password,
    Comments
};
// The most characters the field holds (kTextWidth, kPasswordWidth for the password).
std::size_t fieldWidth(Field field);

// The address rule: an address holding neither "http://" nor "https://" anywhere is
// stored as "http://" before its trimmed text.
bool addressNeedsScheme(std::string_view website);
// The address as the rule completes it (trimmed; "http://" added when needed).
std::string completedAddress(std::string_view website);
// Passwords hold no space (checked on the text as typed, before trimming).
bool passwordHasSpace(std::string_view password);

// What writes an entry. Each has its own list of rules, all of them in Session::check.
enum class Operation {
    Add,     // a new entry typed by a person (the window's Add, keyfold-cli add)
    Update,  // an entry rewritten under its name, which stays as given
    Import,  // a new entry taken from another program's export
};

// The entry as the operation stores it: every text trimmed, the address completed, and
// for add and import the name upper-cased as the name box types it (upperText). An
// update finds its entry by the name as given and writes that name back.
Entry storedForm(const Entry& typed, Operation operation);
// The name as the name box takes a pasted text: its first line, upper-cased.
std::string nameAsTheBoxTakesIt(std::string_view text);

// A text that breaks a rule of its field, as stored: a control character (a code below
// 32, or 127; a tab is allowed in the comment), or more characters than the field holds.
struct TextFault {
    enum Kind {
        ControlCharacter,
        TooLong
    } kind;
    Field field;
    unsigned char character = 0;  // the control character
};
// The first such fault of an entry in its stored form, field by field in the order above.
std::optional<TextFault> textFault(const Entry& stored);
// Cuts every text to its field's width; the fields that were cut.
std::vector<Field> cutToWidths(Entry& entry);

// Names: upper-cased as the name box types them (upperText), and compared by the
// duplicate test in the form nameKey gives (trimmed, upper-cased).
std::string nameKey(std::string_view name);
// Whether a stored name has this key (already in nameKey form), without building one.
bool hasNameKey(std::string_view storedName, std::string_view key);

// The list's filter: the names holding the typed text, upper-cased but untrimmed,
// anywhere. A filter of nothing but blanks and control characters filters nothing.
class NameFilter {
public:
    explicit NameFilter(std::string_view typed);
    // The filter as typed in UTF-8: one holding a character Windows-1252 lacks (or a
    // malformed sequence) matches no name, as no stored name can hold it.
    static NameFilter fromUtf8(std::string_view typed);
    // Whether the filter narrows the list at all.
    bool active() const { return active_; }
    bool matches(std::string_view name) const;

private:
    std::string wanted_;
    bool active_;
    bool matchesNothing_ = false;
};

// The list's order: character by character by their Unicode values, a name that begins
// another first. Names in Windows-1252.
bool listedBefore(std::string_view a, std::string_view b);
// Sorts names into the list's order (names alike keep their order).
void sortAsListed(std::vector<std::string>& names);

// The entry of a deciphered slot (fields as stored).
Entry entryOf(const SiteRecord& record);
// A slot of the given status ("A", "U") holding the entry, each text trimmed and cut
// to its field's width; reserved fields empty. Not enciphered.
SiteRecord recordOf(std::string_view status, const Entry& entry);
// What a delete writes: status "D" and every text empty.
SiteRecord deletedRecord();

}  // namespace vault
