// Every command that writes, failed at each of its system calls in turn through the file
// module's fault seam, for each kind of failure: the user is shown the failure's own
// text and every file is either exactly as before or exactly as a clean run leaves it.
#include <sys/resource.h>
#include <sys/wait.h>

#include "support.h"

using namespace faulttest;

namespace {

struct Writer {
    std::string name;
    std::function<void()> prepare;
    std::function<void()> command;
    bool settings = false;  // its failures read "Unable to write to <settings file>"
};

class SeamTest : public FaultTest {
protected:
    static std::string legacyBytes() {
        std::vector<vault::LegacySiteRecord> slots(40);  // ten never used at the end
        for (int i = 0; i < 30; ++i)
            slots[i] = testsupport::legacyRecord(i % 7 == 3 ? "D" : "A", "legacy " + std::to_string(i),
                                                 "https://legacy.example/" + std::to_string(i), "u" + std::to_string(i),
                                                 "c", "ab?c");
        return testsupport::legacyBytes(slots);
    }

    std::vector<Writer> writers() {
        auto removeAll = [this] {
            freshStart();  // each command as in a fresh start of the program
            std::remove(dataFile().c_str());
            std::remove(legacyFile().c_str());
            std::remove(iniFile().c_str());
        };
        auto withDataFile = [=, this] {
            removeAll();
            makeDataFile();
        };
        const std::string ini = "[Frmfirst]\r\nW=800\r\nH=600\r\n\r\n[FrmBrowse]\r\nW=1\r\n";
        return {
            {"add into a deleted slot", withDataFile, [=, this] { addEntry("Foxtrot"); }},
            {"update", withDataFile, [=, this] { updateEntry("Charlie"); }},
            {"delete", withDataFile, [=, this] { deleteEntry("Echo"); }},
            {"create a new data file", removeAll, [=, this] { file().create(); }},
            {"create where a stopped command left its temporary file",
             [=, this] {
                 removeAll();
                 writeBytes(vault::tempNameFor(dataFile()), "half");
             },
             [=, this] { file().create(); }},
            {"legacy conversion",
             [=, this] {
                 removeAll();
                 writeBytes(legacyFile(), legacyBytes());
             },
             [=, this] { ASSERT_EQ(session->convertLegacyFile(), vault::LegacyResult::Converted); }},
            {"re-keying", withDataFile, [=, this] { rekeyTo("new phrase"); }},
            {"window size into an existing settings file",
             [=, this] {
                 removeAll();
                 writeBytes(iniFile(), ini);
             },
             [=, this] { vault::saveSize("FrmBrowse", iniFile(), 1024, 768); }, true},
            {"window size into a new settings file", removeAll,
             [=, this] { vault::saveSize("Frmfirst", iniFile(), 640, 480); }, true},
            {"storage location chosen",
             [=, this] {
                 removeAll();
                 std::remove(locationFile().c_str());
             },
             [=, this] { vault::writeStoredLocation(paths.dataFolder, "/media/stick"); }},
        };
    }
};

TEST_F(SeamTest, EveryWriterFailedAtEachCallShowsItsTextAndLeavesWholeFiles) {
    const int errors[] = {ENOSPC, EIO, EACCES, EROFS, EMFILE};
    int faultsTried = 0;
    for (const Writer& w : writers()) {
        SCOPED_TRACE(w.name);
        w.prepare();
        const Snapshot before = snapshot();
        session->setKeyPhrase(kPhrase);
        w.command();
        const Snapshot after = snapshot();
        ASSERT_FALSE(before == after) << "the command changes nothing";
        ASSERT_TRUE(strayFiles().empty());

        for (int err : errors) {
            int calls = 0;
            for (int n = 1; n < 100; ++n) {
                w.prepare();
                session->setKeyPhrase(kPhrase);
                vault::testing::failNthCall(n, err, vault::testing::Op::Any);
                const std::string text = errorText(w.command);
                const bool fired = vault::testing::faultFired();
                vault::testing::clearFaults();
                const std::string phraseAfter = phrase();
                file().close();  // as the next command's open does
                const Snapshot s = snapshot();
                if (!fired) {
                    EXPECT_EQ(text, "(no error)");
                    EXPECT_TRUE(s == after);
                    break;
                }
                ++calls;
                ++faultsTried;
                SCOPED_TRACE("call " + std::to_string(n) + " failed with errno " + std::to_string(err));
                EXPECT_EQ(text, w.settings ? "Unable to write to " + iniFile() : textFor(err));
                EXPECT_TRUE(s == before || s == after)
                    << "data: " << firstDifference(s.data, before.data) << " / " << firstDifference(s.data, after.data)
                    << "; legacy: " << firstDifference(s.legacy, before.legacy)
                    << "; ini: " << firstDifference(s.ini, before.ini);
                EXPECT_TRUE(strayFiles().empty()) << strayFiles().front();
                EXPECT_EQ(phraseAfter, kPhrase);
            }
            EXPECT_GE(calls, 2) << "errno " << err;  // every writer makes several calls
        }
    }
    RecordProperty("faults_tried", faultsTried);
}

// A file removed by someone else between two commands: each later command reports
// "File not found" and none of them brings a data file back into being.
TEST_F(SeamTest, DataFileRemovedBetweenTwoCommands) {
    makeDataFile();
    ASSERT_EQ(listed().size(), 5u);
    ASSERT_EQ(std::remove(dataFile().c_str()), 0);

    const std::vector<std::pair<std::string, std::function<void()>>> commands = {
        {"load", [&] { session->listEntries(nullptr); }},
        {"add", [&] { addEntry("Foxtrot"); }},
        {"update", [&] { updateEntry("Alpha"); }},
        {"delete", [&] { deleteEntry("Alpha"); }},
        {"show", [&] { session->find("Alpha"); }},
        {"print", [&] { session->forEachPrintable(nullptr); }},
        {"re-key",
         [&] {
             vault::Cipher inForce = session->cipher();
             file().rekey(inForce, kPhrase, "x", [](const std::string&) { return true; });
         }},
        {"write a slot", [&] { file().writeSlot(0, plainRecord("A", "Ghost"), session->cipher()); }},
    };
    for (const auto& [what, command] : commands) {
        EXPECT_EQ(errorText(command), "File not found") << what;
        file().close();
        EXPECT_FALSE(vault::fileExists(dataFile())) << what;
        EXPECT_TRUE(strayFiles().empty()) << what;
        EXPECT_EQ(phrase(), kPhrase) << what;
    }

    // The settings file's folder removed: the size write reports the path, nothing is created.
    const std::string gone = dir + "/gone";
    ASSERT_EQ(::mkdir(gone.c_str(), 0700), 0);
    ASSERT_EQ(::rmdir(gone.c_str()), 0);
    EXPECT_EQ(errorText([&] { vault::saveSize("Frmfirst", gone + "/SG_2.ini", 1, 2); }),
              "Unable to write to " + gone + "/SG_2.ini");
    EXPECT_FALSE(std::filesystem::exists(gone));
}

// The data file emptied by someone else (a failed copy) between two commands: every
// command reports the read past the end, and none of them grows the file.
TEST_F(SeamTest, DataFileEmptiedBetweenTwoCommands) {
    makeDataFile();
    session->listEntries(nullptr);
    writeBytes(dataFile(), "");
    const std::vector<std::pair<std::string, std::function<void()>>> commands = {
        {"load", [&] { session->listEntries(nullptr); }},
        {"add", [&] { addEntry("Foxtrot"); }},
        {"update", [&] { updateEntry("Alpha"); }},
        {"re-key", [&] { rekeyTo("x"); }},
    };
    for (const auto& [what, command] : commands) {
        EXPECT_EQ(errorText(command), "Read beyond end of file") << what;
        file().close();
        EXPECT_EQ(bytesOf(dataFile()), std::string()) << what;
        EXPECT_TRUE(strayFiles().empty()) << what;
    }
}

// Out of file descriptors for real: the process's limit lowered to what it has open.
TEST_F(SeamTest, NoFileDescriptorLeft) {
    makeDataFile();
    const auto before = bytesOf(dataFile());
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);  // the number the next open would get
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    struct rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    std::string add = errorText([&] { addEntry("Foxtrot"); });
    std::string size = errorText([&] { vault::saveSize("Frmfirst", iniFile(), 1, 2); });
    std::string rekey = errorText([&] { rekeyTo("x"); });
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(add, "Too many open files");
    EXPECT_EQ(size, "Unable to write to " + iniFile());
    EXPECT_EQ(rekey, "Too many open files");
    EXPECT_SAME_BYTES(bytesOf(dataFile()), before);
    EXPECT_FALSE(bytesOf(iniFile()));
    EXPECT_EQ(phrase(), kPhrase);
}

// Runs body as an ordinary user (the superuser is never refused) and returns what it
// printed to the pipe, or an empty text when the machine cannot switch users.
std::string asOrdinaryUser(const std::string& folder, const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    pid_t child = ::fork();
    if (child < 0) return {};
    if (child == 0) {
        ::close(fds[0]);
        if (::geteuid() == 0) {
            for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
                if (::chown(e.path().c_str(), 65534, 65534) != 0) ::_exit(2);
            if (::chown(folder.c_str(), 65534, 65534) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        }
        std::string out = body();
        if (::write(fds[1], out.data(), out.size()) != static_cast<ssize_t>(out.size())) ::_exit(3);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string out;
    char buf[512];
    ssize_t got;
    while ((got = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(got));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return out;
}

// Real refusals of the file system: a data file the user may not write, and a storage
// folder the user may not write into (nothing can be created or replaced there).
TEST_F(SeamTest, RefusedByTheFileSystem) {
    makeDataFile();
    writeBytes(iniFile(), "[Frmfirst]\nW=1\nH=2\n");
    writeBytes(legacyFile(), std::string(1051 * 3, '\0'));
    const Snapshot before = snapshot();
    const std::string ini = iniFile();
    std::string report = asOrdinaryUser(dir, [&] {
        std::string r;
        ::chmod(dataFile().c_str(), 0400);
        r += "open-for-add:" + errorText([&] { addEntry("Foxtrot"); }) + "\n";
        ::chmod(dataFile().c_str(), 0600);
        ::chmod(dir.c_str(), 0500);  // read-only storage folder
        r += "rekey:" + errorText([&] { rekeyTo("x"); }) + "\n";
        r += "phrase:" + phrase() + "\n";
        r += "create:" + errorText([&] { file().create(); }) + "\n";
        r += "size:" + errorText([&] { vault::saveSize("Frmfirst", ini, 5, 6); }) + "\n";
        // In a read-only folder slots can still be written in place.
        r += "update:" + errorText([&] { updateEntry("Alpha"); }) + "\n";
        ::chmod(dir.c_str(), 0700);
        return r;
    });
    if (report.empty()) GTEST_SKIP() << "cannot run as an ordinary user here";
    EXPECT_EQ(report,
              "open-for-add:File access denied\n"
              "rekey:File access denied\n"
              "phrase:" +
                  std::string(kPhrase) +
                  "\n"
                  "create:(no error)\n"  // the existing data file is kept, not re-made
                  "size:Unable to write to " +
                  ini +
                  "\n"
                  "update:(no error)\n");
    Snapshot s = snapshot();
    EXPECT_EQ(s.legacy, before.legacy);
    EXPECT_EQ(s.ini, before.ini);
    EXPECT_TRUE(strayFiles().empty());
    // Only the one slot of the update changed.
    ASSERT_TRUE(s.data && before.data);
    ASSERT_EQ(s.data->size(), before.data->size());
    for (std::size_t slot = 0; slot < s.data->size() / 1104; ++slot)
        EXPECT_EQ(s.data->substr(slot * 1104, 1104) == before.data->substr(slot * 1104, 1104), slot != 0) << slot;
}

}  // namespace
