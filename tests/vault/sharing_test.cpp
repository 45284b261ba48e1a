// Two copies of the program on one data file, links, leftovers and odd files. The
// other copy is a second process (fork) on the same real file. POSIX only: the lock's
// Windows branch (LockFileEx) is not exercised here.
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>

#include "support.h"
#include "vault/ioerror.h"

using namespace vault;
using vaulttest::plainRecord;
using vaulttest::readBytes;
using vaulttest::slotBytes;
using vaulttest::stored;
using vaulttest::VaultTest;
using vaulttest::writeBytes;
using Kind = DataFileProblem::Kind;

namespace {

class SharingTest : public VaultTest {
protected:
    // Starts the other copy; it runs body and exits 0, or 1 on any exception.
    static pid_t startOtherCopy(const std::function<void()>& body) {
        pid_t pid = ::fork();
        if (pid == 0) {
            int rc = 0;
            try {
                body();
            } catch (...) {
                rc = 1;
            }
            ::_exit(rc);
        }
        return pid;
    }
    static int finish(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
    }
    static int otherCopy(const std::function<void()>& body) { return finish(startOtherCopy(body)); }

    template <typename F>
    static std::optional<Kind> refusal(F f) {
        try {
            f();
        } catch (const DataFileProblem& p) {
            CloseDataFile();  // as the window does after any failure
            return p.kind();
        }
        return std::nullopt;
    }

    // The main window's commands, as far as the vault goes.
    static void update(const std::string& name, const std::string& password) {
        const int slot = FindSlotByName(name);
        ASSERT_NE(slot, kNotFound);
        CurrentRecord = plainRecord("U", name, "w", "u", "c", password);
        WriteSlot(slot);
        CloseDataFile();
    }
    static void add(const std::string& name) {
        const FreeSlot free = FindFreeSlot(name);
        ASSERT_EQ(free.kind, FreeSlot::Found);
        CurrentRecord = plainRecord("A", name, "w", "u", "c", "p");
        WriteSlot(free.slot);
        CloseDataFile();
    }
    std::string slot(int n) const { return readBytes(dataFile()).substr(static_cast<std::size_t>(n) * kSlotSize, kSlotSize); }
    static std::string onDisk(const SiteRecord& r, const std::string& phrase = "") { return slotBytes(stored(r, phrase)); }
};

TEST_F(SharingTest, AnUpdateOrDeleteOfASlotTheOtherCopyChangedIsRefused) {
    makeDataFile({plainRecord("A", "Mail", "w", "u", "c", "pw0"), plainRecord("A", "Bank", "w", "u", "c", "pw0")}, 10);
    ScanSiteList({});  // this copy's list, both entries shown in turn
    ASSERT_TRUE(LookupListedName("Bank"));
    ASSERT_TRUE(LookupListedName("Mail"));
    ASSERT_EQ(otherCopy([] { update("Mail", "pw1"); }), 0);
    const std::string file = readBytes(dataFile());

    EXPECT_EQ(refusal([] { update("Mail", "pw2"); }), Kind::ChangedByOtherCopy);
    EXPECT_EQ(readBytes(dataFile()), file);  // the other copy's update is kept
    // A delete of that slot is refused alike; an entry nobody else touched updates.
    EXPECT_EQ(refusal([] {
                  const int n = FindSlotByName("Mail");
                  CurrentRecord = plainRecord("D", "");
                  WriteSlot(n);
              }),
              Kind::ChangedByOtherCopy);
    EXPECT_EQ(refusal([] { update("Bank", "pw3"); }), std::nullopt);
    EXPECT_EQ(slot(1), onDisk(plainRecord("U", "Bank", "w", "u", "c", "pw3")));

    // Refresh (the list read again): the update goes through, over the other's. So
    // does one after the entry was shown again.
    ScanSiteList({});
    EXPECT_EQ(refusal([] { update("Mail", "pw2"); }), std::nullopt);
    EXPECT_EQ(slot(0), onDisk(plainRecord("U", "Mail", "w", "u", "c", "pw2")));
    // This copy's own writes never count as another's.
    EXPECT_EQ(refusal([] { update("Mail", "pw4"); }), std::nullopt);
    ASSERT_EQ(otherCopy([] { update("Mail", "pw5"); }), 0);
    ASSERT_TRUE(LookupListedName("Mail"));
    EXPECT_EQ(refusal([] { update("Mail", "pw6"); }), std::nullopt);
}

TEST_F(SharingTest, AfterTheOtherCopyReKeysNothingIsWrittenUnderTheOldPhrase) {
    makeDataFile({plainRecord("A", "Mail", "w", "u", "c", "p")}, 10, "old");
    SetKeyPhrase("old");
    ScanSiteList({});
    ASSERT_EQ(otherCopy([] { RekeyDataFile("old", "new", [](const std::string&) { return true; }); }), 0);
    const std::string file = readBytes(dataFile());
    EXPECT_EQ(refusal([] { add("Shop"); }), Kind::ReplacedByOtherCopy);
    EXPECT_EQ(refusal([] { update("Mail", "x"); }), Kind::ReplacedByOtherCopy);
    EXPECT_EQ(readBytes(dataFile()), file);

    // A restart reads the file under its new phrase and writes again.
    ForgetDataFile();
    SetKeyPhrase("new");
    ScanSiteList({});
    EXPECT_EQ(refusal([] { add("Shop"); }), std::nullopt);
    EXPECT_EQ(slot(1), onDisk(plainRecord("A", "Shop", "w", "u", "c", "p"), "new"));
}

TEST_F(SharingTest, TwoAddsAtOnceOnASlowDriveKeepBothEntries) {
    makeDataFile({plainRecord("A", "Mail")}, 10);
    ScanSiteList({});
    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    // The other copy's add stops just before its slot write, holding the lock.
    pid_t other = startOtherCopy([&] {
        vault::testing::beforeNextCall(vault::testing::Op::Write, [&] {
            char c = 'r';
            (void)!::write(ready[1], &c, 1);
            (void)!::read(go[0], &c, 1);
        });
        add("Shop");
    });
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);

    // A short wait ends in a message, not a frozen window; nothing is written.
    const std::string before = readBytes(dataFile());
    vault::testing::setLockWait(100);
    EXPECT_EQ(refusal([] { add("Bank"); }), Kind::Busy);
    EXPECT_EQ(refusal([] { update("Mail", "x"); }), Kind::Busy);
    EXPECT_EQ(refusal([] { CreateDataFile(); }), Kind::Busy);
    EXPECT_EQ(readBytes(dataFile()), before);

    // Within the normal wait the add waits its turn and finds the next free slot.
    vault::testing::setLockWait(-1);
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    EXPECT_EQ(refusal([] { add("Bank"); }), std::nullopt);
    EXPECT_EQ(finish(other), 0);
    EXPECT_EQ(slot(1), onDisk(plainRecord("A", "Shop", "w", "u", "c", "p")));
    EXPECT_EQ(slot(2), onDisk(plainRecord("A", "Bank", "w", "u", "c", "p")));
    for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);

    // First-run creation keeps a file another copy made meanwhile.
    EXPECT_FALSE(CreateDataFile());
    EXPECT_EQ(slot(2), onDisk(plainRecord("A", "Bank", "w", "u", "c", "p")));
}

TEST_F(SharingTest, AReKeyChecksTheFileAfterItsQuestion) {
    makeDataFile({plainRecord("A", "Mail", "w", "u", "c", "p")}, 10, "old");
    SetKeyPhrase("old");
    ScanSiteList({});
    EXPECT_EQ(refusal([] {
                  RekeyDataFile("old", "new", [](const std::string&) {
                      return otherCopy([] { update("Mail", "other"); }) == 0;
                  });
              }),
              Kind::ChangedByOtherCopy);
    EXPECT_EQ(KeyPhrase(), "old");
    EXPECT_EQ(slot(0), onDisk(plainRecord("U", "Mail", "w", "u", "c", "other"), "old"));
    EXPECT_FALSE(FileExists(TempNameFor(dataFile())));
}

TEST_F(SharingTest, LinksAreWrittenThroughAndADanglingLinkIsNeverReplaced) {
    const std::string elsewhere = dir + "/drive";
    ASSERT_EQ(::mkdir(elsewhere.c_str(), 0700), 0);
    const std::string target = elsewhere + "/real.DAT";
    ASSERT_EQ(::symlink("drive/real.DAT", dataFile().c_str()), 0);

    // Creation through a link whose target is absent: nothing is made, the target named.
    try {
        CreateDataFile();
        ADD_FAILURE() << "created";
    } catch (const DataFileProblem& p) {
        EXPECT_EQ(p.kind(), Kind::LinkUnreachable);
        EXPECT_EQ(p.path(), dir + "/drive/real.DAT");
    }
    EXPECT_FALSE(FileExists(target));
    EXPECT_TRUE(IsDanglingLink(dataFile()));

    // The target present: a re-key rewrites it and the link stays.
    std::string bytes = onDisk(plainRecord("A", "Mail", "w", "u", "c", "p"), "old");
    bytes.resize(10 * kSlotSize, '\0');
    writeBytes(target, bytes);
    SetKeyPhrase("old");
    EXPECT_EQ(RekeyDataFile("old", "new", [](const std::string&) { return true; }), RekeyResult::Completed);
    EXPECT_FALSE(IsPlainFile(dataFile()));
    EXPECT_EQ(readBytes(target).substr(0, kSlotSize), onDisk(plainRecord("A", "Mail", "w", "u", "c", "p"), "new"));
    EXPECT_FALSE(FileExists(target + ".tmp"));
    EXPECT_FALSE(FileExists(dataFile() + ".tmp"));
    // Later writes keep reaching the target.
    EXPECT_EQ(refusal([] { add("Shop"); }), std::nullopt);
    EXPECT_EQ(readBytes(target).substr(kSlotSize, kSlotSize), onDisk(plainRecord("A", "Shop", "w", "u", "c", "p"), "new"));
}

TEST_F(SharingTest, LeftoversAndFarTooLargeFiles) {
    // A re-key stopped part-way left its temporary file: the next start removes it.
    makeDataFile({plainRecord("A", "Mail")}, 10);
    const std::string file = readBytes(dataFile());
    writeBytes(TempNameFor(dataFile()), "half a re-key");
    SetupStoragePaths();
    EXPECT_FALSE(FileExists(TempNameFor(dataFile())));
    EXPECT_EQ(readBytes(dataFile()), file);

    // A huge (sparse) data file is refused at once, naming the file, by every command.
    ASSERT_EQ(::truncate(dataFile().c_str(), 1ll << 40), 0);
    for (const auto& command : std::vector<std::function<void()>>{
             [] { ScanSiteList({}); }, [] { FindSlotByName("Mail"); }, [] { FindFreeSlot("Shop"); },
             [] { RekeyDataFile("", "new", [](const std::string&) { return true; }); }}) {
        try {
            command();
            ADD_FAILURE() << "read";
        } catch (const DataFileProblem& p) {
            EXPECT_EQ(p.kind(), Kind::TooLarge);
            EXPECT_EQ(p.path(), dataFile());
        }
        EXPECT_FALSE(DataFileIsOpen());
    }
}

}  // namespace
#endif  // _WIN32
