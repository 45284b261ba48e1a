// Real file systems that fail: a tiny tmpfs that fills up, and one remounted read-only.
// Needs the right to mount (root); the test makes itself a private mount namespace so
// nothing it mounts is seen outside it or outlives it. Skipped where that is refused.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>

#include "output/textlist.h"
#include "support.h"

using namespace faulttest;

namespace {

bool privateMounts() {
    static int state = -1;
    if (state < 0) {
        state = ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }
    return state == 1;
}

class RealFsTest : public FaultTest {
protected:
    void SetUp() override {
        FaultTest::SetUp();
        if (!privateMounts()) GTEST_SKIP() << "mounting is not permitted here";
    }
    void TearDown() override {
        file().close();
        if (mounted) ::umount2(dir.c_str(), MNT_DETACH);
        FaultTest::TearDown();
    }

    void mountTmpfs(std::size_t kib) {
        std::string options = "size=" + std::to_string(kib) + "k,mode=0700";
        ASSERT_EQ(::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()), 0) << std::strerror(errno);
        mounted = true;
    }
    void remountReadOnly() {
        ASSERT_EQ(::mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0) << std::strerror(errno);
    }
    // Fills the file system to the last byte.
    void fill() {
        int fd = ::open((dir + "/filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        static const char block[4096] = {};
        for (std::size_t chunk = sizeof block; chunk > 0; chunk /= 2)
            while (::write(fd, block, chunk) == static_cast<ssize_t>(chunk)) {}
        ::close(fd);
        int probe = ::open((dir + "/probe").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(probe, 0);
        EXPECT_EQ(::write(probe, "x", 1), -1) << "the file system is not full";
        ::close(probe);
        ::unlink((dir + "/probe").c_str());
    }
    std::vector<std::string> strayFiles() const {
        auto stray = FaultTest::strayFiles();
        std::erase(stray, "filler");
        return stray;
    }
    void writeTextList() {
        output::TextListFile out(dir + "/Tempfile.txt");
        session->listEntries(
            [&](const vault::Entry& e) { out.writeEntry(e.name, e.website, e.userId, e.password, e.comments); });
        out.close();
    }

    bool useMemoryFolder() const override { return false; }  // mounts go on the real disk's folder
    bool mounted = false;
};

// A thumb drive with room for the data file but not for a second copy of it.
TEST_F(RealFsTest, TinyDiskThatFillsUp) {
    mountTmpfs(1200);  // a data file takes 1,104,000 bytes
    file().create();
    addEntry("ALPHA");
    addEntry("BRAVO");
    addEntry("CHARLIE");
    const auto three = bytesOf(dataFile());

    // Re-keying builds a whole new file beside the old one: no room. Creation keeps
    // the data file that is there.
    EXPECT_EQ(errorText([&] { rekeyTo("new"); }), "Disk full");
    EXPECT_EQ(phrase(), kPhrase);
    EXPECT_EQ(errorText([&] { file().create(); }), "(no error)");
    EXPECT_SAME_BYTES(bytesOf(dataFile()), three);
    EXPECT_TRUE(strayFiles().empty());

    // Full to the last byte: slots are still written in place, everything new is refused.
    fill();
    addEntry("DELTA");
    updateEntry("ALPHA");
    deleteEntry("BRAVO");
    EXPECT_EQ(listed(), (std::vector<std::string>{"ALPHA", "CHARLIE", "DELTA"}));
    const auto edited = bytesOf(dataFile());
    EXPECT_EQ(errorText([&] { vault::saveSize("Frmfirst", iniFile(), 800, 600); }), "Unable to write to " + iniFile());
    EXPECT_FALSE(bytesOf(iniFile()));
    EXPECT_EQ(errorText([&] { writeTextList(); }), "Disk full");
    EXPECT_EQ(errorText([&] { rekeyTo("new"); }), "Disk full");
    EXPECT_SAME_BYTES(bytesOf(dataFile()), edited);
    EXPECT_TRUE(strayFiles().empty());
}

// The legacy file converts into a file beside it: on a disk without room for it the
// legacy file stays and no data file appears.
TEST_F(RealFsTest, LegacyConversionWithoutRoom) {
    mountTmpfs(640);
    std::vector<vault::LegacySiteRecord> slots;
    for (int i = 0; i < 400; ++i) slots.push_back(testsupport::legacyRecord("A", "entry " + std::to_string(i)));
    const std::string legacy = testsupport::legacyBytes(slots);
    writeBytes(legacyFile(), legacy);  // 420,400 bytes; the new file needs 441,600
    EXPECT_EQ(errorText([&] { session->convertLegacyFile(); }), "Disk full");
    EXPECT_SAME_BYTES(bytesOf(legacyFile()), legacy);
    EXPECT_FALSE(bytesOf(dataFile()));
    EXPECT_TRUE(strayFiles().empty());
}

// A data file whose never-used tail is a hole (as a sparse copy leaves it) on a full
// disk: the add's slot starts in a page that exists and ends in one that cannot be
// had, so the system writes the first part and then refuses the rest. The slot must
// not stay half written: a torn slot would read as an entry with a cut-off name.
TEST_F(RealFsTest, HalfWrittenSlotIsPutBack) {
    mountTmpfs(256);
    {
        // A new data file, sparse: only the slots written below will hold pages.
        int fd = ::open(dataFile().c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, vault::kNewFileSlots * vault::kSlotSize), 0);
        ::close(fd);
    }
    for (const char* name : {"ONE", "TWO", "THREE", "FOUR", "FIVE", "SIX", "SEVEN"}) addEntry(name);
    // Slot 7 covers bytes 7728..8831: it crosses into the third page, which is a hole.
    const auto before = bytesOf(dataFile());
    fill();
    EXPECT_EQ(errorText([&] { addEntry("EIGHT IS A NAME LONG ENOUGH TO CROSS THE PAGE"); }), "Disk full");
    file().close();
    EXPECT_SAME_BYTES(bytesOf(dataFile()), before);
    EXPECT_EQ(listed(), (std::vector<std::string>{"ONE", "TWO", "THREE", "FOUR", "FIVE", "SIX", "SEVEN"}));
    // Room again: the same add goes through.
    ::unlink((dir + "/filler").c_str());
    addEntry("EIGHT");
    EXPECT_EQ(listed().back(), "EIGHT");
}

// The storage folder on a medium that turned read-only (a locked SD card): every
// command that opens the data file is refused, nothing changes.
TEST_F(RealFsTest, ReadOnlyMedium) {
    mountTmpfs(4096);
    file().create();
    addEntry("ALPHA");
    vault::saveSize("Frmfirst", iniFile(), 800, 600);
    writeBytes(legacyFile(), std::string(1051, '\0'));
    const Snapshot before = snapshot();
    remountReadOnly();

    // The entries still list; every command that writes is refused.
    std::vector<std::string> listed;
    EXPECT_EQ(errorText([&] { listed = session->listNames(); }), "(no error)");
    EXPECT_EQ(listed, std::vector<std::string>{"ALPHA"});
    file().close();
    const std::vector<std::pair<std::string, std::function<void()>>> commands = {
        {"add", [&] { addEntry("BRAVO"); }},       {"update", [&] { updateEntry("ALPHA"); }},
        {"delete", [&] { deleteEntry("ALPHA"); }}, {"re-key", [&] { rekeyTo("x"); }},
        {"text list", [&] { writeTextList(); }},
    };
    for (const auto& [what, command] : commands) {
        EXPECT_EQ(errorText(command), "File access denied") << what;
        file().close();
    }
    EXPECT_EQ(errorText([&] { vault::saveSize("Frmfirst", iniFile(), 1, 2); }), "Unable to write to " + iniFile());
    // The legacy conversion on such a medium (its data file moved away first).
    ASSERT_EQ(::mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT, nullptr), 0);
    ASSERT_EQ(std::rename(dataFile().c_str(), (dir + "/aside").c_str()), 0);
    remountReadOnly();
    EXPECT_EQ(errorText([&] { session->convertLegacyFile(); }), "File access denied");
    EXPECT_EQ(errorText([&] { file().create(); }), "File access denied");
    ASSERT_EQ(::mount("tmpfs", dir.c_str(), "tmpfs", MS_REMOUNT, nullptr), 0);
    ASSERT_EQ(std::rename((dir + "/aside").c_str(), dataFile().c_str()), 0);
    EXPECT_TRUE(snapshot() == before);
    EXPECT_TRUE(strayFiles().empty());
}

}  // namespace
