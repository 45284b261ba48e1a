// Shared fixture: a fresh temporary folder holding the data file, the phrase
// cleared and no fault armed.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/fileio.h"
#include "vault/locations.h"
#include "vault/record.h"

namespace vaulttest {

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline unsigned modeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return static_cast<unsigned>(st.st_mode) & 07777u;
}

// A plain (not enciphered) record.
inline vault::SiteRecord plainRecord(const std::string& status, const std::string& name,
                                     const std::string& website = "", const std::string& user = "",
                                     const std::string& comments = "", const std::string& password = "") {
    return vault::MakeRecord(status, name, website, user, comments, password);
}

// The record as it lies on disk under phrase (the phrase in force is restored).
inline vault::SiteRecord stored(vault::SiteRecord r, const std::string& phrase) {
    const std::string before = vault::KeyPhrase();
    vault::SetKeyPhrase(phrase);
    vault::CurrentRecord = r;
    vault::EncipherRecord();
    r = vault::CurrentRecord;
    vault::SetKeyPhrase(before);
    return r;
}

inline std::string slotBytes(const vault::SiteRecord& r) {
    return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

class VaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string base = (std::filesystem::temp_directory_path() / "vault-test.XXXXXX").string();
        ASSERT_NE(::mkdtemp(base.data()), nullptr);
        dir = base;
        vault::Paths() = {};
        vault::Paths().dataFolder = dir;
        vault::Paths().settingsFile = dir + "/SG_2.ini";
        vault::Paths().storageFolder = dir + "/";
        vault::Paths().dataFile = dir + "/KFOLD30.DAT";
        vault::Paths().legacyFile = dir + "/KFOLD28.DAT";
        vault::InitCipherTables();
        vault::SetKeyPhrase("");
        vault::testing::clearFaults();
        std::memset(&vault::CurrentRecord, 0, sizeof vault::CurrentRecord);
    }
    void TearDown() override {
        vault::CloseDataFile();
        vault::testing::clearFaults();
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
        std::filesystem::remove_all(dir);
    }

    const std::string& dataFile() const { return vault::Paths().dataFile; }

    // A data file of `slots` slots, the given records (stored under phrase) first.
    void makeDataFile(const std::vector<vault::SiteRecord>& records, int slots, const std::string& phrase = "") {
        std::string bytes;
        for (const auto& r : records) bytes += slotBytes(stored(r, phrase));
        bytes.resize(static_cast<std::size_t>(slots) * vault::kSlotSize, '\0');
        writeBytes(dataFile(), bytes);
        ::chmod(dataFile().c_str(), 0600);
    }

    std::string dir;
};

}  // namespace vaulttest
