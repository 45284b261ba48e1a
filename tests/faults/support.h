// Shared pieces of the fault tests: a fresh storage folder per test with a session on
// its data file, the files' bytes before and after a command, and the commands that write.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/vault_files.h"
#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/fileio.h"
#include "vault/ioerror.h"
#include "vault/locations.h"
#include "vault/record.h"
#include "vault/session.h"
#include "vault/settings.h"

namespace faulttest {

using testsupport::bytesOf;
using testsupport::plainRecord;
using testsupport::writeBytes;

// Where two versions of a file differ, for failure messages (never the whole file).
inline std::string firstDifference(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    if (!a || !b) return a ? "file gone" : b ? "file appeared" : "same";
    if (a->size() != b->size()) return "size " + std::to_string(a->size()) + " vs " + std::to_string(b->size());
    for (std::size_t i = 0; i < a->size(); ++i)
        if ((*a)[i] != (*b)[i]) return "byte " + std::to_string(i) + " (slot " + std::to_string(i / 1104) + ")";
    return "same";
}
#define EXPECT_SAME_BYTES(a, b)                           \
    do {                                                  \
        const auto& a_ = (a);                             \
        const auto& b_ = (b);                             \
        EXPECT_TRUE(a_ == b_) << firstDifference(a_, b_); \
    } while (0)

// The text of the error a command ended with, or "(no error)".
inline std::string errorText(const std::function<void()>& command) {
    try {
        command();
    } catch (const vault::IoError& e) {
        return e.text();  // the system's text alone, without the file on its second line
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

constexpr const char* kPhrase = "correct horse";

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
        vault::testing::clearFaults();
    }
    void TearDown() override {
        session.reset();
        vault::testing::clearFaults();
        std::error_code ec;
        std::filesystem::remove_all(base(), ec);
    }
    virtual std::string base() const { return dir; }
    virtual bool useMemoryFolder() const { return true; }

    // The files in folder, and a session on them under kPhrase.
    void usePaths(const std::string& folder) {
        paths = testsupport::locationsIn(folder);
        freshStart();
    }
    // A new start of the program: a new session, under kPhrase.
    void freshStart() {
        session = std::make_unique<vault::Session>(paths);
        session->setKeyPhrase(kPhrase);
    }
    const std::string& dataFile() const { return paths.dataFile; }
    const std::string& legacyFile() const { return paths.legacyFile; }
    const std::string& iniFile() const { return paths.settingsFile; }
    vault::DataFile& file() { return session->dataFile(); }
    std::string phrase() const { return std::string(session->cipher().phrase()); }

    // The commands as the windows run them: one scan, at most one slot written, closed.
    void addEntry(const std::string& name) {
        ASSERT_EQ(session->add({name, "https://new.example", "newuser", "newpw", "added"}).outcome,
                  vault::AddOutcome::Added);
    }
    void updateEntry(const std::string& name) {
        ASSERT_EQ(session->update({name, "https://changed.example", "changed", "changedpw", "updated"}).outcome,
                  vault::ChangeOutcome::Updated);
    }
    void deleteEntry(const std::string& name) {
        ASSERT_EQ(session->remove(name).outcome, vault::ChangeOutcome::Deleted);
    }
    void rekeyTo(const std::string& newPhrase) {
        ASSERT_EQ(session->rekey(kPhrase, newPhrase, [](const std::string&) { return true; }),
                  vault::RekeyOutcome::Completed);
    }
    std::vector<std::string> listed() {
        std::vector<std::string> names;
        session->listEntries([&](const vault::Entry& e) { names.push_back(e.name); });
        return names;
    }

    // A 1000-slot data file under kPhrase: five entries with a deleted slot among them.
    void makeDataFile() {
        std::vector<vault::SiteRecord> records = {
            plainRecord("A", "Alpha", "https://alpha.example", "al", "first", "pw-alpha"),
            plainRecord("U", "Bravo", "https://bravo.example", "bo", "second", "pw-bravo"),
            plainRecord("D", ""),
            plainRecord("A", "Charlie", "https://charlie.example", "ch", "", "pw-charlie"),
            plainRecord("A", "Delta \xE9t\xE9", "", "d", "8-bit", "pw-delta"),
            plainRecord("A", "Echo", "https://echo.example", "e", "last", "0123456789012345678901234"),
        };
        testsupport::writeDataFile(dataFile(), testsupport::dataFileBytes(records, vault::kNewFileSlots, kPhrase));
    }

    // Every file the commands touch, as bytes (absent = nullopt).
    struct Snapshot {
        std::optional<std::string> data, legacy, ini, location;
        bool operator==(const Snapshot&) const = default;
    };
    std::string locationFile() const { return paths.dataFolder + "/" + vault::kStoredLocationFileName; }
    Snapshot snapshot() const {
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
    vault::Locations paths;
    std::unique_ptr<vault::Session> session;
};

}  // namespace faulttest
