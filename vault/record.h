// The data file's slot, byte for byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vault {

// A short string: one length byte, then a fixed area of Max characters.
// Characters are Windows-1252 bytes; the bytes behind the text are not significant.
template <std::size_t Max>
struct ShortString {
    unsigned char length;
    char chars[Max];

    std::string str() const { return std::string(chars, length <= Max ? length : Max); }
    std::string_view view() const { return std::string_view(chars, length <= Max ? length : Max); }
    // Stores text cut to Max characters; the rest of the area is zeroed.
    void assign(std::string_view text) {
        std::size_t n = text.size() < Max ? text.size() : Max;
        if (n > 0) std::memcpy(chars, text.data(), n);
        std::memset(chars + n, 0, Max - n);
        length = static_cast<unsigned char>(n);
    }
    void clear() { assign({}); }
};

// The widths of the text fields, in characters: every field but the password, and the password.
constexpr std::size_t kTextWidth = 255;
constexpr std::size_t kPasswordWidth = 25;

struct SiteRecord {
    ShortString<1> status;                 // offset 0: "", "A", "U" or "D" (never enciphered)
    ShortString<kTextWidth> name;          // offset 2
    ShortString<kTextWidth> website;       // offset 258
    ShortString<kTextWidth> userId;        // offset 514
    ShortString<kTextWidth> comments;      // offset 770
    ShortString<kPasswordWidth> password;  // offset 1026
    ShortString<25> reserved1;             // offset 1052, always written empty
    ShortString<25> reserved2;             // offset 1078, always written empty
};
static_assert(sizeof(SiteRecord) == 1104, "a slot is 1104 bytes on disk");

// The slot of the legacy data file KFOLD28.DAT.
struct LegacySiteRecord {
    ShortString<1> status;
    ShortString<255> name;
    ShortString<255> website;
    ShortString<255> userId;
    ShortString<255> comments;
    char password[25];  // 25 single characters, no length byte
};
static_assert(sizeof(LegacySiteRecord) == 1051, "a legacy slot is 1051 bytes on disk");

constexpr std::size_t kSlotSize = sizeof(SiteRecord);
constexpr std::size_t kLegacySlotSize = sizeof(LegacySiteRecord);
constexpr int kNewFileSlots = 1000;
// No data file the program writes comes near this size (1000 slots are about 1 MB); a
// larger file is refused with DataFileProblem::TooLarge instead of being read.
constexpr std::uint64_t kMaxDataFileBytes = 16u * 1024u * 1024u;

// A record holding the given texts, each cut to its field's width; reserved fields empty.
inline SiteRecord makeRecord(std::string_view status, std::string_view name, std::string_view website = {},
                             std::string_view userId = {}, std::string_view comments = {},
                             std::string_view password = {}) {
    SiteRecord r{};
    r.status.assign(status);
    r.name.assign(name);
    r.website.assign(website);
    r.userId.assign(userId);
    r.comments.assign(comments);
    r.password.assign(password);
    r.reserved1.clear();
    r.reserved2.clear();
    return r;
}

// Slot states, decided by the status alone.
inline bool isNeverUsed(const SiteRecord& r) { return r.status.length == 0; }
// Exactly "D": a damaged length byte above 1 makes some other value, which counts as in use.
inline bool isDeleted(const SiteRecord& r) { return r.status.length == 1 && r.status.chars[0] == 'D'; }
inline bool isInUse(const SiteRecord& r) { return !isNeverUsed(r) && !isDeleted(r); }

}  // namespace vault
