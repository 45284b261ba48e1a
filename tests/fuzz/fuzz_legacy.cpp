// The legacy conversion of an arbitrary legacy file: its whole slots convert slot for
// slot (fields byte for byte, "?" in the password blanked and trimmed; stray bytes after
// the last whole slot are not a slot) and the legacy file goes; a file without one
// whole slot leaves both files as they were.
#include "common.h"
#include "vault/datafile.h"
#include "vault/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string legacy(reinterpret_cast<const char*>(data), size);
    const vault::Locations paths = fuzz::usePaths();
    std::remove(paths.dataFile.c_str());
    fuzz::writeBytes(paths.legacyFile, legacy);

    vault::DataFile df(paths.dataFile);
    const vault::LegacyResult result = df.convertLegacy(paths.legacyFile);
    std::string converted, still;
    const bool haveData = fuzz::readFile(paths.dataFile, converted);
    const bool haveLegacy = fuzz::readFile(paths.legacyFile, still);
    std::string temp;
    FUZZ_CHECK(!fuzz::readFile(vault::tempNameFor(paths.dataFile), temp));

    const std::size_t count = legacy.size() / vault::kLegacySlotSize;
    if (count == 0) {
        FUZZ_CHECK(result == vault::LegacyResult::NotConverted);
        FUZZ_CHECK(!haveData);
        FUZZ_CHECK(haveLegacy && still == legacy);
        return 0;
    }
    FUZZ_CHECK(result == vault::LegacyResult::Converted);
    FUZZ_CHECK(!haveLegacy);
    FUZZ_CHECK(haveData && converted.size() == count * vault::kSlotSize);
    for (std::size_t i = 0; i < count; ++i) {
        vault::LegacySiteRecord old;
        std::memcpy(&old, legacy.data() + i * vault::kLegacySlotSize, sizeof old);
        vault::SiteRecord r;
        std::memcpy(&r, converted.data() + i * vault::kSlotSize, sizeof r);
        // Status: at most one character, the legacy one.
        FUZZ_CHECK(r.status.str() == old.status.str());
        // Four fields byte for byte, length byte and area both.
        FUZZ_CHECK(std::memcmp(&r.name, &old.name, sizeof r.name) == 0);
        FUZZ_CHECK(std::memcmp(&r.website, &old.website, sizeof r.website) == 0);
        FUZZ_CHECK(std::memcmp(&r.userId, &old.userId, sizeof r.userId) == 0);
        FUZZ_CHECK(std::memcmp(&r.comments, &old.comments, sizeof r.comments) == 0);
        std::string password(old.password, sizeof old.password);
        for (char& c : password)
            if (c == '?') c = ' ';
        FUZZ_CHECK(r.password.str() == vault::trim(password));
        FUZZ_CHECK(r.password.length <= 25);
        FUZZ_CHECK(r.reserved1.length == 0 && r.reserved2.length == 0);
    }
    // The converted file is a data file every scan can run over.
    df.scanList(vault::Cipher(), nullptr);
    return 0;
}

std::vector<std::string> FuzzSeeds() {
    auto slot = [](const std::string& status, const std::string& name, const std::string& password) {
        return testsupport::legacyBytes(
            {testsupport::legacyRecord(status, name, "https://" + name + ".example", "user", "comment", password)});
    };
    std::vector<std::string> seeds;
    seeds.push_back(slot("A", "bank", "ab?c"));
    seeds.push_back(slot("A", "one", "x") + slot("D", "", "") + slot("U", "three", std::string(25, 'p')) +
                    std::string(1051, '\0'));
    seeds.push_back(slot("A", "cut", "pw").substr(0, 1000));                              // cut off
    seeds.push_back(slot("A", "whole", "pw") + slot("A", "stray", "pw").substr(0, 700));  // stray tail
    seeds.push_back(std::string());
    std::string junk(1051 * 2, '\xff');
    seeds.push_back(junk);
    return seeds;
}
