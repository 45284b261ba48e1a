#include <cerrno>

#include "support.h"
#include "vault/ioerror.h"

using namespace vault;
using vaulttest::plainRecord;
using vaulttest::readBytes;
using vaulttest::VaultTest;

namespace {

class RekeyTest : public VaultTest {
protected:
    void SetUp() override {
        VaultTest::SetUp();
        makeDataFile(
            {plainRecord("D", ""), plainRecord("A", "First", "http://a", "ann", "c1", "pw1"),
             plainRecord("U", "Second", "http://b", "bob", "c2", "pw2"), plainRecord("D", ""),
             plainRecord("A", "Third", "", "", "", "p3"), SiteRecord{}, plainRecord("A", "Behind", "", "", "", "p4")},
            10, "old phrase");
        ::chmod(dataFile().c_str(), 0640);
        original = readBytes(dataFile());
    }

    std::vector<std::string> namesUnder(const std::string& phrase) {
        cipher.setPhrase(phrase);
        std::vector<std::string> names;
        scanList([&] { names.push_back(record.name.str() + "|" + record.password.str()); });
        return names;
    }
    std::string slot(const std::string& bytes, int n) { return bytes.substr(n * 1104, 1104); }

    std::string original;
};

TEST_F(RekeyTest, CompletedRekeyChangesEveryEntryAtOnce) {
    std::vector<std::string> asked;
    cipher.setPhrase("something else");
    RekeyResult r = file().rekey(cipher, "old phrase", "new phrase", [&](const std::string& line) {
        asked.push_back(line);
        return true;
    });
    EXPECT_EQ(r, RekeyResult::Completed);
    EXPECT_EQ(asked, (std::vector<std::string>{"First"}));  // the lowest in-use slot, once
    EXPECT_EQ(cipher.phrase(), "new phrase");
    EXPECT_FALSE(file().isOpen());
    EXPECT_FALSE(fileExists(tempNameFor(dataFile())));
    EXPECT_EQ(vaulttest::modeOf(dataFile()), 0640u);

    const std::string after = readBytes(dataFile());
    ASSERT_EQ(after.size(), original.size());
    EXPECT_EQ(namesUnder("new phrase"), (std::vector<std::string>{"First|pw1", "Second|pw2", "Third|p3"}));
    EXPECT_NE(namesUnder("old phrase"), namesUnder("new phrase"));
    // Deleted slots, the never-used slot that ends the scan and what lies behind it are untouched.
    for (int n : {0, 3, 5, 6, 9}) EXPECT_EQ(slot(after, n), slot(original, n)) << n;
    EXPECT_NE(slot(after, 1), slot(original, 1));
}

TEST_F(RekeyTest, CancelAndEmptyFileChangeNothing) {
    cipher.setPhrase("in force");
    EXPECT_EQ(file().rekey(cipher, "old phrase", "new phrase", [&](const std::string&) { return false; }),
              RekeyResult::Cancelled);
    EXPECT_EQ(readBytes(dataFile()), original);
    EXPECT_EQ(cipher.phrase(), "old phrase");
    EXPECT_FALSE(file().isOpen());

    ::unlink(dataFile().c_str());
    file().create();
    const std::string empty = readBytes(dataFile());
    cipher.setPhrase("in force");
    bool asked = false;
    EXPECT_EQ(file().rekey(cipher, "", "new", [&](const std::string&) { return asked = true; }),
              RekeyResult::Completed);
    EXPECT_FALSE(asked);
    EXPECT_EQ(cipher.phrase(), "in force");
    EXPECT_EQ(readBytes(dataFile()), empty);
}

TEST_F(RekeyTest, FailurePartWayLeavesTheFileAllOld) {
    using vault::testing::Op;
    for (Op op : {Op::Read, Op::Open, Op::Write, Op::Sync, Op::Rename}) {
        cipher.setPhrase("in force");
        vault::testing::failNthCall(op == Op::Open ? 2 : 1, ENOSPC, op);
        EXPECT_THROW(file().rekey(cipher, "old phrase", "new phrase", [&](const std::string&) { return true; }),
                     IoError)
            << static_cast<int>(op);
        EXPECT_TRUE(vault::testing::faultFired());
        EXPECT_EQ(readBytes(dataFile()), original);
        EXPECT_FALSE(fileExists(tempNameFor(dataFile())));
        EXPECT_FALSE(file().isOpen());
        EXPECT_EQ(cipher.phrase(), "in force");
    }
    EXPECT_EQ(namesUnder("old phrase"), (std::vector<std::string>{"First|pw1", "Second|pw2", "Third|p3"}));
}

TEST_F(RekeyTest, EmptyOldPhraseEnciphersAPlainFile) {
    makeDataFile({plainRecord("A", "plain", "", "", "", "pw")}, 3);
    EXPECT_EQ(file().rekey(cipher, "", "k", [&](const std::string& line) { return line == "plain"; }),
              RekeyResult::Completed);
    const std::string name = cipher.encipherText("plain"), password = cipher.encipherText("pw");
    EXPECT_EQ(namesUnder("k"), (std::vector<std::string>{"plain|pw"}));
    EXPECT_EQ(namesUnder(""), (std::vector<std::string>{name + "|" + password}));
}

}  // namespace
