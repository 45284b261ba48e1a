// Shared by the tests, the benchmarks and the tools: the one way to point the vault at
// a folder, the one builder of data files (slot by slot, from the format), and the
// file-byte helpers around them. Qt-free.
#pragma once
#include <sys/stat.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vault/cipher.h"
#include "vault/locations.h"
#include "vault/record.h"

namespace testsupport {

// Data folder, settings file, storage folder, data file and legacy file, all in folder.
inline vault::Locations locationsIn(const std::string& folder) {
    vault::Locations p;
    p.dataFolder = folder;
    p.settingsFile = folder + "/" + vault::kSettingsFileName;
    p.storageFolder = folder + "/";
    p.dataFile = folder + "/" + vault::kDataFileName;
    p.legacyFile = folder + "/" + vault::kLegacyFileName;
    return p;
}

// ---- File bytes ----
inline std::optional<std::string> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}
inline std::string readBytes(const std::string& path) { return bytesOf(path).value_or(std::string()); }
inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
inline unsigned modeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return static_cast<unsigned>(st.st_mode) & 07777u;
}

// ---- Slots ----
// A plain (not enciphered) record; texts cut to their fields.
inline vault::SiteRecord plainRecord(const std::string& status, const std::string& name,
                                     const std::string& website = "", const std::string& user = "",
                                     const std::string& comments = "", const std::string& password = "") {
    return vault::makeRecord(status, name, website, user, comments, password);
}
// The record as it lies on disk under phrase.
inline vault::SiteRecord stored(vault::SiteRecord r, const std::string& phrase) {
    vault::Cipher(phrase).encipher(r);
    return r;
}
inline std::string slotBytes(const vault::SiteRecord& r) {
    return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}
// Slot n of the bytes of a data file, deciphered under phrase.
inline vault::SiteRecord slotOf(const std::string& bytes, int n, const std::string& phrase) {
    vault::SiteRecord r{};
    std::memcpy(&r, bytes.data() + static_cast<std::size_t>(n) * vault::kSlotSize, vault::kSlotSize);
    vault::Cipher(phrase).decipher(r);
    return r;
}

// ---- Legacy files (the older format) ----
// A legacy slot holding the given texts; the password's 25 characters padded with `pad`.
inline vault::LegacySiteRecord legacyRecord(const std::string& status, const std::string& name,
                                            const std::string& website = "", const std::string& user = "",
                                            const std::string& comments = "", const std::string& password = "",
                                            char pad = '?') {
    vault::LegacySiteRecord r{};
    r.status.assign(status);
    r.name.assign(name);
    r.website.assign(website);
    r.userId.assign(user);
    r.comments.assign(comments);
    std::memset(r.password, pad, sizeof r.password);
    std::memcpy(r.password, password.data(), std::min(password.size(), sizeof r.password));
    return r;
}
inline std::string legacyBytes(const std::vector<vault::LegacySiteRecord>& records) {
    std::string bytes;
    for (const vault::LegacySiteRecord& r : records) bytes.append(reinterpret_cast<const char*>(&r), sizeof r);
    return bytes;
}

// ---- The data-file builder ----
// The bytes of a data file of slotCount slots (all never used) with each record
// stored under phrase at its slot, as the program writes them.
inline std::string dataFileBytes(const std::vector<std::pair<int, vault::SiteRecord>>& placed, int slotCount,
                                 const std::string& phrase = "") {
    std::string bytes(static_cast<std::size_t>(slotCount) * vault::kSlotSize, '\0');
    const vault::Cipher cipher(phrase);
    for (auto [slot, r] : placed) {
        cipher.encipher(r);
        bytes.replace(static_cast<std::size_t>(slot) * vault::kSlotSize, vault::kSlotSize, slotBytes(r));
    }
    return bytes;
}
// The records from slot 0 on.
inline std::string dataFileBytes(const std::vector<vault::SiteRecord>& records, int slotCount,
                                 const std::string& phrase = "") {
    std::vector<std::pair<int, vault::SiteRecord>> placed;
    for (std::size_t i = 0; i < records.size(); ++i) placed.emplace_back(static_cast<int>(i), records[i]);
    return dataFileBytes(placed, slotCount, phrase);
}
// Writes the bytes as the data file at path, owner-only (an existing file is rewritten
// in place, so it stays the same file).
inline void writeDataFile(const std::string& path, const std::string& bytes) {
    writeBytes(path, bytes);
    ::chmod(path.c_str(), 0600);
}

// The files the benchmarks and the start-up measurement use: 1000 slots, 0 to count-1
// in use, with names made by nameOf and the given website (or, without one, an
// address of its own for each entry). A full file has 999 entries.
template <typename NameOf>
std::string entriesDataFileBytes(const std::string& phrase, int count, NameOf nameOf,
                                 const std::optional<std::string>& website = {}) {
    // Texts as people write them, of varied lengths, so that under a long phrase each
    // of its positions sees ordinary text and the file passes the phrase check.
    static const char* const siteWords[] = {
        "amber",  "bakery", "castle", "delta",  "ember",   "forest", "garden",  "harbor", "island",  "jungle",
        "kettle", "lemon",  "meadow", "north",  "orchard", "pepper", "quarry",  "river",  "summit",  "timber",
        "urban",  "valley", "willow", "yonder", "zephyr",  "bright", "coastal", "daily",  "eastern", "golden",
        "honest", "little", "modern", "noble",  "silver",  "travel", "western"};
    static const char* const firstNames[] = {"anna", "bernard", "chloe", "dmitri", "eva", "frank", "grace"};
    static const char* const comments[] = {
        "Opened in 2019; security questions kept on paper",
        "Shared with the family",
        "Change the password every spring",
        "Old account, still used for the newsletter",
        "Support line is open weekdays until six",
        "Bought the yearly plan",
        "Two step sign in with the phone",
        "Closed account",
        "Receipts go to the work address",
        "Ask the bank before travelling abroad",
        "Linked to the other mail address",
    };
    std::vector<std::pair<int, vault::SiteRecord>> placed;
    for (int i = 0; i < count; ++i) {
        char web[64], user[64], comment[96], pw[26];
        std::snprintf(web, sizeof web, "https://www.%s%s.com/login", siteWords[i % 37], siteWords[(i / 37) % 37]);
        std::snprintf(user, sizeof user, "%s.%d@example.org", firstNames[i % 7], i);
        std::snprintf(comment, sizeof comment, "%s (%d)", comments[i % 11], i);
        std::snprintf(pw, sizeof pw, "pW0rd!%04dxyz", i);
        placed.emplace_back(i, plainRecord("A", nameOf(i), website ? *website : web, user, comment, pw));
    }
    return dataFileBytes(placed, vault::kNewFileSlots, phrase);
}
template <typename NameOf>
std::string fullDataFileBytes(const std::string& phrase, NameOf nameOf,
                              const std::optional<std::string>& website = {}) {
    return entriesDataFileBytes(phrase, vault::kNewFileSlots - 1, nameOf, website);
}

}  // namespace testsupport
