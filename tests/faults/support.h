// Shared pieces of the fault tests: a fresh storage folder per test, the files' bytes
// before and after a command, and the flows of the commands that write.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/fileio.h"
#include "vault/ioerror.h"
#include "vault/locations.h"
#include "vault/record.h"
#include "vault/settings.h"

namespace faulttest {

inline std::optional<std::string> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Where two versions of a file differ, for failure messages (never the whole file).
inline std::string firstDifference(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    if (!a || !b) return a ? "file gone" : b ? "file appeared" : "same";
    if (a->size() != b->size()) return "size " + std::to_string(a->size()) + " vs " + std::to_string(b->size());
    for (std::size_t i = 0; i < a->size(); ++i)
        if ((*a)[i] != (*b)[i]) return "byte " + std::to_string(i) + " (slot " + std::to_string(i / 1104) + ")";
    return "same";
}
#define EXPECT_SAME_BYTES(a, b)                          \
    do {                                                 \
        const auto& a_ = (a);                            \
        const auto& b_ = (b);                            \
        EXPECT_TRUE(a_ == b_) << firstDifference(a_, b_); \
    } while (0)

// The text of the error a command ended with, or "(no error)".
inline std::string errorText(const std::function<void()>& command) {
    try {
        command();
    } catch (const vault::IoError& e) {
        return e.what();
    }
    return "(no error)";
}

// What the user is shown for a failing system call.
inline std::string textFor(int err) {
    switch (err) {
    case ENOSPC: return "Disk full";
    case EACCES:
    case EROFS: return "File access denied";
    case ENOENT: return "File not found";
    case EMFILE: return "Too many open files";
    default: return "I/O error " + std::to_string(err);
    }
}

inline vault::SiteRecord plain(const std::string& status, const std::string& name, const std::string& site = "",
                               const std::string& user = "", const std::string& comments = "",
                               const std::string& password = "") {
    return vault::MakeRecord(status, name, site, user, comments, password);
}

constexpr const char* kPhrase = "correct horse";

// The commands as the windows run them: one scan, at most one slot written, closed.
inline void addEntry(const std::string& name) {
    vault::FreeSlot f = vault::FindFreeSlot(name);
    ASSERT_EQ(f.kind, vault::FreeSlot::Found);
    vault::CurrentRecord = plain("A", name, "https://new.example", "newuser", "added", "newpw");
    vault::WriteSlot(f.slot);
    vault::CloseDataFile();
}
inline void updateEntry(const std::string& name) {
    int n = vault::FindSlotByName(name);
    ASSERT_NE(n, vault::kNotFound);
    vault::CurrentRecord = plain("U", name, "https://changed.example", "changed", "updated", "changedpw");
    vault::WriteSlot(n);
    vault::CloseDataFile();
}
inline void deleteEntry(const std::string& name) {
    int n = vault::FindSlotByName(name);
    ASSERT_NE(n, vault::kNotFound);
    vault::CurrentRecord = plain("D", "");
    vault::WriteSlot(n);
    vault::CloseDataFile();
}

class FaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Memory-backed when the machine has it: the sweeps write the data file hundreds of times.
        std::filesystem::path tmp = std::filesystem::temp_directory_path();
        if (useMemoryFolder() && ::access("/dev/shm", W_OK) == 0) tmp = "/dev/shm";
        std::string base = (tmp / "keyfold-fault.XXXXXX").string();
        ASSERT_NE(::mkdtemp(base.data()), nullptr);
        dir = base;
        usePaths(dir);
        vault::InitCipherTables();
        vault::SetKeyPhrase(kPhrase);
        vault::testing::clearFaults();
        std::memset(&vault::CurrentRecord, 0, sizeof vault::CurrentRecord);
    }
    void TearDown() override {
        vault::CloseDataFile();
        vault::testing::clearFaults();
        std::error_code ec;
        std::filesystem::remove_all(base(), ec);
    }
    virtual std::string base() const { return dir; }
    virtual bool useMemoryFolder() const { return true; }

    static void usePaths(const std::string& folder) {
        vault::Paths() = {};
        vault::Paths().dataFolder = folder;
        vault::Paths().settingsFile = folder + "/SG_2.ini";
        vault::Paths().storageFolder = folder + "/";
        vault::Paths().dataFile = folder + "/KFOLD30.DAT";
        vault::Paths().legacyFile = folder + "/KFOLD28.DAT";
    }
    static const std::string& dataFile() { return vault::Paths().dataFile; }
    static const std::string& legacyFile() { return vault::Paths().legacyFile; }
    static const std::string& iniFile() { return vault::Paths().settingsFile; }

    // A 1000-slot data file under kPhrase: five entries with a deleted slot among them.
    static void makeDataFile() {
        std::vector<vault::SiteRecord> records = {
            plain("A", "Alpha", "https://alpha.example", "al", "first", "pw-alpha"),
            plain("U", "Bravo", "https://bravo.example", "bo", "second", "pw-bravo"),
            plain("D", ""),
            plain("A", "Charlie", "https://charlie.example", "ch", "", "pw-charlie"),
            plain("A", "Delta \xE9t\xE9", "", "d", "8-bit", "pw-delta"),
            plain("A", "Echo", "https://echo.example", "e", "last", "0123456789012345678901234"),
        };
        std::string bytes;
        for (auto r : records) {
            vault::CurrentRecord = r;
            vault::EncipherRecord();
            bytes.append(reinterpret_cast<const char*>(&vault::CurrentRecord), vault::kSlotSize);
        }
        bytes.resize(vault::kNewFileSlots * vault::kSlotSize, '\0');
        writeBytes(dataFile(), bytes);
        ::chmod(dataFile().c_str(), 0600);
    }

    // Every file the commands touch, as bytes (absent = nullopt).
    struct Snapshot {
        std::optional<std::string> data, legacy, ini, location;
        bool operator==(const Snapshot&) const = default;
    };
    static std::string locationFile() {
        return vault::Paths().dataFolder + "/" + vault::kStoredLocationFileName;
    }
    static Snapshot snapshot() {
        return {bytesOf(dataFile()), bytesOf(legacyFile()), bytesOf(iniFile()), bytesOf(locationFile())};
    }

    // Files left behind in the folder that were not there before (temporary copies).
    std::vector<std::string> strayFiles() const {
        std::vector<std::string> stray;
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            std::string name = e.path().filename().string();
            // The writers' lock file stays beside the data file by design.
            if (name != "KFOLD30.DAT" && name != "KFOLD28.DAT" && name != "SG_2.ini" && name != "Tempfile.txt" &&
                name != vault::kStoredLocationFileName && name != "KFOLD30.DAT.lock")
                stray.push_back(name);
        }
        return stray;
    }

    std::string dir;
};

}  // namespace faulttest
