// Two copies of the program on one data file, links, leftovers and odd files. The
// other copy is a second process (fork) on the same real file. POSIX only: the lock's
// Windows branch (LockFileEx) is not exercised here.
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>

#include "support.h"
#include "tests/support/other_copy.h"
#include "vault/ioerror.h"
#include "vault/seal.h"

using namespace vault;
using testsupport::finish;
using testsupport::otherCopy;
using testsupport::startOtherCopy;
using vaulttest::plainRecord;
using Kind = DataFileProblem::Kind;

namespace {

class SharingTest : public vaulttest::VaultTest {
protected:
    // On a sealed file (the tests run on both kinds): the cheapest key, so they stay fast.
    static constexpr SealCost kCheap{1, 8192};
    bool sealedFile = false;
    std::string currentFile() const { return sealedFile ? dataFile() + kSealedFileEnding : dataFile(); }
    std::string fileBytes() const { return vaulttest::readBytes(currentFile()); }
    // The slot level as one copy sees it; on a sealed file opened under the phrase in force.
    DataFile& file() override {
        const bool fresh = !data;
        DataFile& f = VaultTest::file();
        if (fresh && sealedFile) {
            f.setSealCost(kCheap);
            std::vector<unsigned char> bytes = f.readSealedBytes();
            SealKey key = SealKey::derive(cipher.phrase(), *parseSealHeader(bytes.data(), bytes.size()));
            std::optional<GuardedBytes> image = openSealed(bytes.data(), bytes.size(), key);
            if (!image) throw std::runtime_error("the sealed file does not open");
            f.useSealedFile(std::move(key), std::move(*image), std::move(bytes));
        }
        return f;
    }
    // The data file of `slots` slots, sealed under phrase when the test runs on a sealed file.
    void makeDataFile(const std::vector<SiteRecord>& records, int slots, const std::string& phrase = "") {
        VaultTest::makeDataFile(records, slots, phrase);
        data.reset();
        if (!sealedFile) return;
        DataFile plain(dataFile());
        if (!plain.seal(SealKey::fresh(phrase, kCheap))) throw std::runtime_error("a sealed file lies there already");
    }
    // The refusal a command met, if any, and the file it named; the file closed as the
    // window does.
    std::string refusedPath;
    std::optional<Kind> refusal(const std::function<void()>& command) {
        try {
            command();
        } catch (const DataFileProblem& p) {
            file().close();
            refusedPath = p.path();
            return p.kind();
        }
        return std::nullopt;
    }
    // The main window's update (or delete, with status "D") and add, as far as the vault goes.
    void update(const std::string& name, const std::string& password, const char* status = "U") {
        const int slot = file().findSlotByName(name, cipher);
        if (slot == kNotFound) throw std::runtime_error("not found");
        record = plainRecord(status, name, "w", "u", "c", password);
        writeSlot(slot);
        file().close();
    }
    void add(const std::string& name) {
        const FreeSlot free = file().findFreeSlot(name, cipher);
        if (free.kind != FreeSlot::Found) throw std::runtime_error("no slot");
        record = plainRecord("A", name, "w", "u", "c", "p");
        writeSlot(free.slot);
        file().close();
    }
    // Slot n as it lies in the file (inside the seal of a sealed file).
    std::string slot(int n) {
        if (!sealedFile) return vaulttest::readBytes(dataFile()).substr(n * kSlotSize, kSlotSize);
        const std::string bytes = fileBytes();
        const auto* raw = reinterpret_cast<const unsigned char*>(bytes.data());
        const std::optional<SealHeader> header = parseSealHeader(raw, bytes.size());
        if (!header) return {};
        const std::optional<GuardedBytes> image =
            openSealed(raw, bytes.size(), SealKey::derive(cipher.phrase(), *header));
        if (!image) return {};
        return std::string(reinterpret_cast<const char*>(image->data()) + n * kSlotSize, kSlotSize);
    }
    static std::string onDisk(const char* status, const std::string& name, const std::string& password,
                              const std::string& phrase = "") {
        return vaulttest::slotBytes(vaulttest::stored(plainRecord(status, name, "w", "u", "c", password), phrase));
    }
};

// The sharing cases on the plain file and on the sealed file alike.
class PlainOrSealed : public SharingTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        SharingTest::SetUp();
        sealedFile = GetParam();
    }
};
INSTANTIATE_TEST_SUITE_P(Files, PlainOrSealed, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "sealed" : "plain"; });

TEST_P(PlainOrSealed, AnUpdateOrDeleteOfAnEntryTheOtherCopyChangedIsRefused) {
    makeDataFile({plainRecord("A", "Mail", "w", "u", "c", "pw0"), plainRecord("A", "Bank", "w", "u", "c", "pw0"),
                  plainRecord("A", "Shop", "w", "u", "c", "pw0")},
                 10);
    scanList({});
    ASSERT_TRUE(lookup("Bank") && lookup("Mail"));  // both shown in turn; Shop only listed
    ASSERT_TRUE(otherCopy([&] {
        update("Mail", "pw1");
        update("Shop", "pw1");
    }));
    const std::string theirs = fileBytes();

    EXPECT_EQ(refusal([&] { update("Mail", "pw2"); }), Kind::ChangedByOtherCopy);
    EXPECT_EQ(refusal([&] { update("Mail", "", "D"); }), Kind::ChangedByOtherCopy);
    EXPECT_EQ(refusal([&] { update("Shop", "typed blind"); }), Kind::ChangedByOtherCopy);
    EXPECT_EQ(fileBytes(), theirs);
    EXPECT_EQ(refusal([&] { update("Bank", "pw3"); }), std::nullopt);  // untouched by the other

    // After Refresh the update goes through; this copy's own writes never count as another's.
    scanList({});
    EXPECT_EQ(refusal([&] { update("Mail", "pw2"); }), std::nullopt);
    EXPECT_EQ(refusal([&] { update("Mail", "pw4"); }), std::nullopt);
    EXPECT_EQ(slot(0), onDisk("U", "Mail", "pw4"));

    // The same bytes under a new file number (a FAT drive attached again) are the same file.
    vaulttest::writeBytes(dir + "/again", fileBytes());
    ASSERT_EQ(std::rename((dir + "/again").c_str(), currentFile().c_str()), 0);
    EXPECT_EQ(refusal([&] { update("Mail", "pw5"); }), std::nullopt);
}

TEST_P(PlainOrSealed, AfterTheOtherCopyReKeysNothingIsWrittenUnderTheOldPhrase) {
    makeDataFile({plainRecord("A", "Mail")}, 10, "old");
    cipher.setPhrase("old");
    ASSERT_TRUE(lookup("Mail"));
    ASSERT_TRUE(otherCopy([&] { file().rekey(cipher, "old", "new", [&](const std::string&) { return true; }); }));
    const std::string rekeyed = fileBytes();
    EXPECT_EQ(refusal([&] { add("Shop"); }), Kind::ReplacedByOtherCopy);
    EXPECT_EQ(refusal([&] { update("Mail", "x"); }), Kind::ReplacedByOtherCopy);
    EXPECT_EQ(fileBytes(), rekeyed);

    // An add that waited (for its password) after its phrase was checked: refused too.
    data.reset();
    cipher.setPhrase("new");
    file().open();  // the phrase checked against the file
    file().close();
    ASSERT_TRUE(otherCopy([&] {
        data.reset();
        file().rekey(cipher, "new", "old", [&](const std::string&) { return true; });
    }));
    EXPECT_EQ(refusal([&] { add("Late"); }), Kind::ReplacedByOtherCopy);
    cipher.setPhrase("old");
    data.reset();
    ASSERT_TRUE(file().rekey(cipher, "old", "new", [&](const std::string&) { return true; }) == RekeyResult::Completed);

    // A restart reads the file under its new phrase and writes again.
    data.reset();
    cipher.setPhrase("new");
    EXPECT_EQ(refusal([&] { add("Shop"); }), std::nullopt);
    EXPECT_EQ(slot(1), onDisk("A", "Shop", "p", "new"));

    // A re-key whose file the other copy writes while its question is open writes nothing.
    EXPECT_EQ(refusal([&] {
                  file().rekey(cipher, "new", "third",
                               [&](const std::string&) { return otherCopy([&] { add("Bank"); }); });
              }),
              Kind::ChangedByOtherCopy);
    EXPECT_EQ(cipher.phrase(), "new");
    EXPECT_EQ(slot(2), onDisk("A", "Bank", "p", "new"));
    EXPECT_FALSE(fileExists(tempNameFor(currentFile())));
}

TEST_P(PlainOrSealed, TwoAddsAtOnceOnASlowDriveKeepBothEntries) {
    makeDataFile({plainRecord("A", "Mail")}, 10);
    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready) | ::pipe(go), 0);
    // The other copy's add stops just before its slot write, holding the lock.
    pid_t other = startOtherCopy([&] {
        vault::testing::beforeNextCall(vault::testing::Op::Write, [&] {
            char c = 'r';
            if (::write(ready[1], &c, 1) != 1 || ::read(go[0], &c, 1) != 1) ::_exit(2);
        });
        add("Shop");
    });
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);

    // A short wait ends in a refusal, not a frozen window; nothing is written.
    const std::string before = fileBytes();
    vault::testing::setLockWait(100);
    EXPECT_EQ(refusal([&] { add("Bank"); }), Kind::Busy);
    EXPECT_EQ(refusal([&] { file().create(); }), Kind::Busy);
    EXPECT_EQ(fileBytes(), before);

    // Within the normal wait the add waits its turn and takes the next free slot.
    vault::testing::setLockWait(-1);
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    EXPECT_EQ(refusal([&] { add("Bank"); }), std::nullopt);
    EXPECT_TRUE(finish(other));
    EXPECT_EQ(slot(1), onDisk("A", "Shop", "p"));
    EXPECT_EQ(slot(2), onDisk("A", "Bank", "p"));
    for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);
    EXPECT_FALSE(file().create());  // a file another copy made is kept
    EXPECT_EQ(slot(2), onDisk("A", "Bank", "p"));
}

TEST_F(SharingTest, LinksAreWrittenThroughAndADanglingLinkIsNeverReplaced) {
    ASSERT_EQ(::mkdir((dir + "/drive").c_str(), 0700), 0);
    const std::string target = dir + "/drive/real.DAT";
    ASSERT_EQ(::symlink("drive/real.DAT", dataFile().c_str()), 0);
    EXPECT_EQ(refusal([&] { file().create(); }), Kind::LinkUnreachable);
    EXPECT_EQ(refusedPath, target);
    EXPECT_FALSE(fileExists(target));
    EXPECT_TRUE(isDanglingLink(dataFile()));

    // The target present: a re-key rewrites it and the link stays.
    std::string bytes = onDisk("A", "Mail", "p", "old");
    bytes.resize(10 * kSlotSize, '\0');
    vaulttest::writeBytes(target, bytes);
    EXPECT_EQ(file().rekey(cipher, "old", "new", [&](const std::string&) { return true; }), RekeyResult::Completed);
    EXPECT_FALSE(isPlainFile(dataFile()));
    EXPECT_EQ(vaulttest::readBytes(target).substr(0, kSlotSize), onDisk("A", "Mail", "p", "new"));
    EXPECT_FALSE(fileExists(target + ".tmp") || fileExists(dataFile() + ".tmp"));
}

TEST_F(SharingTest, LeftoverTemporaryFileAndFarTooLargeFile) {
    makeDataFile({plainRecord("A", "Mail")}, 10);
    const std::string bytes = vaulttest::readBytes(dataFile());
    vaulttest::writeBytes(tempNameFor(dataFile()), "half a re-key");
    setupStoragePaths(paths);  // the next start
    startAfresh();
    EXPECT_FALSE(fileExists(tempNameFor(dataFile())));
    EXPECT_EQ(vaulttest::readBytes(dataFile()), bytes);

    // A huge (sparse) data file is refused at once, naming the file.
    ASSERT_EQ(::truncate(dataFile().c_str(), 1ll << 40), 0);
    for (const auto& command : std::vector<std::function<void()>>{
             [&] { scanList({}); }, [&] { file().findSlotByName("Mail", cipher); },
             [&] { file().rekey(cipher, "", "new", [&](const std::string&) { return true; }); }}) {
        try {
            command();
            ADD_FAILURE() << "read";
        } catch (const DataFileProblem& p) {
            EXPECT_EQ(p.kind(), Kind::TooLarge);
            EXPECT_EQ(p.path(), dataFile());
        }
        EXPECT_FALSE(file().isOpen());
    }
}

}  // namespace
#endif  // _WIN32
