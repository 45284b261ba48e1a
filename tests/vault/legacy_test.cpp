#include <cerrno>

#include "support.h"
#include "vault/ioerror.h"

using namespace vault;
using vaulttest::readBytes;
using vaulttest::VaultTest;
using vaulttest::writeBytes;

namespace {

class LegacyTest : public VaultTest {
protected:
    static LegacySiteRecord legacy(const std::string& status, const std::string& name, const std::string& password) {
        return testsupport::legacyRecord(status, name, "http://" + name, "user", "comment", password, '\0');
    }
    static std::string bytesOf(const std::vector<LegacySiteRecord>& slots) { return testsupport::legacyBytes(slots); }
    const std::string& legacyFile() const { return paths.legacyFile; }
};

TEST_F(LegacyTest, ConvertsSlotByteForByteAndBlanksQuestionMarks) {
    // "ab?c" and 21 more question marks: 25 characters, every "?" a blank, trailing ones trimmed.
    LegacySiteRecord old = legacy("A", "Mail", "ab?c" + std::string(21, '?'));
    old.name.chars[100] = 'q';  // leftovers behind the text travel with the field
    LegacySiteRecord deleted = legacy("D", "", std::string(25, '?'));
    writeBytes(legacyFile(), bytesOf({old, deleted}));

    EXPECT_EQ(file().convertLegacy(paths.legacyFile), LegacyResult::Converted);
    EXPECT_FALSE(fileExists(legacyFile()));
    EXPECT_FALSE(fileExists(tempNameFor(dataFile())));
    EXPECT_EQ(vaulttest::modeOf(dataFile()), 0600u);
    const std::string bytes = readBytes(dataFile());
    ASSERT_EQ(bytes.size(), 2 * 1104u);
    SiteRecord r;
    std::memcpy(&r, bytes.data(), sizeof r);
    EXPECT_EQ(r.status.str(), "A");
    EXPECT_EQ(std::memcmp(&r.name, &old.name, 4 * 256), 0);
    EXPECT_EQ(r.password.str(), "ab c");
    EXPECT_EQ(r.password.length, 4);
    EXPECT_EQ(r.reserved1.length, 0);
    EXPECT_EQ(r.reserved2.length, 0);
    std::memcpy(&r, bytes.data() + 1104, sizeof r);
    EXPECT_EQ(r.status.str(), "D");
    EXPECT_EQ(r.password.length, 0);

    // Once the data file exists there is nothing left to do.
    writeBytes(legacyFile(), bytesOf({old}));
    EXPECT_EQ(file().convertLegacy(paths.legacyFile), LegacyResult::NothingToDo);
    EXPECT_EQ(readBytes(dataFile()), bytes);
    EXPECT_TRUE(fileExists(legacyFile()));
}

TEST_F(LegacyTest, FourHundredSlotsKeepTheirCount) {
    std::vector<LegacySiteRecord> slots;
    for (int i = 0; i < 400; ++i)
        slots.push_back(legacy(i < 350 ? "A" : "", i < 350 ? "site" + std::to_string(i) : "", i < 350 ? "pw" : ""));
    writeBytes(legacyFile(), bytesOf(slots));
    EXPECT_EQ(file().convertLegacy(paths.legacyFile), LegacyResult::Converted);
    EXPECT_FALSE(fileExists(legacyFile()));
    EXPECT_EQ(readBytes(dataFile()).size(), 441600u);
    std::vector<std::string> names;
    scanList([&] { names.push_back(record.name.str()); });
    ASSERT_EQ(names.size(), 350u);
    EXPECT_EQ(names[349], "site349");
    EXPECT_TRUE(isNeverUsed(testsupport::slotOf(readBytes(dataFile()), 350, "")));  // where the list stopped
}

TEST_F(LegacyTest, EmptyOrCutOffLegacyFileIsLeftAlone) {
    const std::string oneSlot = bytesOf({legacy("A", "x", "p")});
    for (const std::string& contents : {std::string(), oneSlot.substr(0, 700)}) {
        writeBytes(legacyFile(), contents);
        EXPECT_EQ(file().convertLegacy(paths.legacyFile), LegacyResult::NotConverted);
        EXPECT_EQ(readBytes(legacyFile()), contents);
        EXPECT_FALSE(fileExists(dataFile()));
        EXPECT_FALSE(fileExists(tempNameFor(dataFile())));
    }
}

TEST_F(LegacyTest, StrayBytesAfterTheLastWholeRecordAreNotARecord) {
    const std::string two = bytesOf({legacy("A", "x", "p"), legacy("A", "y", "q")});
    // A tail that would read as an in-use record, were it one.
    writeBytes(legacyFile(), two + bytesOf({legacy("A", "ghost", "g")}).substr(0, 1050));
    EXPECT_EQ(file().convertLegacy(paths.legacyFile), LegacyResult::Converted);
    writeBytes(legacyFile(), two);
    const std::string converted = readBytes(dataFile());
    std::remove(dataFile().c_str());
    EXPECT_EQ(file().convertLegacy(paths.legacyFile), LegacyResult::Converted);
    EXPECT_EQ(converted, readBytes(dataFile()));  // the same as without the tail
}

TEST_F(LegacyTest, FailureKeepsTheLegacyFileAndWritesNoDataFile) {
    const std::string contents = bytesOf({legacy("A", "x", "p"), legacy("A", "y", "q")});
    for (vault::testing::Op op : {vault::testing::Op::Write, vault::testing::Op::Sync, vault::testing::Op::Rename}) {
        writeBytes(legacyFile(), contents);
        vault::testing::failNthCall(1, ENOSPC, op);
        EXPECT_THROW(file().convertLegacy(paths.legacyFile), IoError);
        EXPECT_EQ(readBytes(legacyFile()), contents);
        EXPECT_FALSE(fileExists(dataFile()));
        EXPECT_FALSE(fileExists(tempNameFor(dataFile())));
    }
    EXPECT_EQ(file().convertLegacy(paths.legacyFile), LegacyResult::Converted);
}

}  // namespace
