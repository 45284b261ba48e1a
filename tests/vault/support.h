// Shared fixture: a fresh temporary folder holding the data file, the empty phrase,
// no fault armed, and the slot level of the vault on that folder's data file.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/vault_files.h"
#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/fileio.h"
#include "vault/locations.h"
#include "vault/record.h"

namespace vaulttest {

using testsupport::modeOf;
using testsupport::plainRecord;
using testsupport::readBytes;
using testsupport::slotBytes;
using testsupport::stored;
using testsupport::writeBytes;

class VaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string base = (std::filesystem::temp_directory_path() / "vault-test.XXXXXX").string();
        ASSERT_NE(::mkdtemp(base.data()), nullptr);
        dir = base;
        paths = testsupport::locationsIn(dir);
        vault::testing::clearFaults();
    }
    void TearDown() override {
        data.reset();
        vault::testing::clearFaults();
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
        std::filesystem::remove_all(dir);
    }

    const std::string& dataFile() const { return paths.dataFile; }

    // The slot level on paths.dataFile, as one copy of the program sees it; a new path
    // starts afresh.
    virtual vault::DataFile& file() {
        if (!data || data->path() != paths.dataFile) data = std::make_unique<vault::DataFile>(paths.dataFile);
        return *data;
    }
    // A new start of the program on the paths in force: nothing known of the file, and
    // a temporary file left beside it removed.
    void startAfresh() {
        data.reset();
        file().removeLeftoverTemp();
    }

    // The scans with the slot in `record` while the callback runs.
    void scanList(const std::function<void()>& onInUse) {
        file().scanList(cipher, [&](const vault::SiteRecord& r) {
            record = r;
            if (onInUse) onInUse();
        });
    }
    void scanForPrint(const std::function<void()>& onEntry) {
        file().scanForPrint(cipher, [&](const vault::SiteRecord& r) {
            record = r;
            if (onEntry) onEntry();
        });
    }
    // The selected-name lookup; the slot found goes to `record`.
    bool lookup(const std::string& name) {
        const std::optional<vault::SiteRecord> r = file().lookupListedName(name, cipher);
        if (r) record = *r;
        return r.has_value();
    }
    // The slot written: `record` under the phrase in force.
    void writeSlot(int n) { file().writeSlot(n, record, cipher); }

    // A data file of `slots` slots, the given records (stored under phrase) first.
    void makeDataFile(const std::vector<vault::SiteRecord>& records, int slots, const std::string& phrase = "") {
        testsupport::writeDataFile(dataFile(), testsupport::dataFileBytes(records, slots, phrase));
    }

    std::string dir;
    vault::Locations paths;
    vault::Cipher cipher;
    vault::SiteRecord record{};
    std::unique_ptr<vault::DataFile> data;
};

}  // namespace vaulttest
