#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "support.h"
#include "vault/ioerror.h"
#include "vault/session.h"

using namespace vault;
using namespace std::string_literals;
using vaulttest::plainRecord;
using vaulttest::readBytes;
using vaulttest::VaultTest;

namespace {

class DataFileTest : public VaultTest {
protected:
    std::vector<std::string> listed() {
        std::vector<std::string> names;
        scanList([&] { names.push_back(record.name.str()); });
        return names;
    }
    // The add flow: find the free slot, fill it, write it, close.
    FreeSlot add(const std::string& name) {
        FreeSlot f = file().findFreeSlot(name, cipher);
        if (f.kind == FreeSlot::Found) {
            record = plainRecord("A", name, "site", "user", "", "pw");
            writeSlot(f.slot);
            file().close();
        }
        return f;
    }
    std::string ioErrorText(const std::function<void()>& action) {
        try {
            action();
        } catch (const IoError& e) {
            return e.what();
        }
        return "(no error)";
    }
};

TEST_F(DataFileTest, NewFileIsThousandZeroSlotsOwnerOnly) {
    // A file made meanwhile (by another copy) is kept as it is.
    vaulttest::writeBytes(dataFile(), "old contents");
    EXPECT_FALSE(file().create());
    EXPECT_EQ(readBytes(dataFile()), "old contents");
    ::unlink(dataFile().c_str());
    const mode_t mask = ::umask(0);
    EXPECT_TRUE(file().create());
    ::umask(mask);
    std::string bytes = readBytes(dataFile());
    ASSERT_EQ(bytes.size(), 1104000u);
    EXPECT_EQ(bytes.find_first_not_of('\0'), std::string::npos);
    EXPECT_EQ(vaulttest::modeOf(dataFile()), 0600u);
    EXPECT_FALSE(fileExists(tempNameFor(dataFile())));
    EXPECT_FALSE(file().isOpen());
}

TEST_F(DataFileTest, FieldOffsetsOnDisk) {
    file().create();
    record = plainRecord("A", "Nm", "W", "U", "C", "P");
    std::memset(record.reserved1.chars, 'x', 25);
    record.reserved1.length = 4;
    writeSlot(2);
    file().close();
    const std::string bytes = readBytes(dataFile());
    ASSERT_EQ(bytes.size(), 1104000u);
    const std::size_t s = 2 * 1104;
    // Each field's length byte and text ("\1A": length 1, then "A"), the rest zero.
    const std::pair<std::size_t, std::string> fields[] = {{0, "\1A"s},     {2, "\2Nm\0"s},  {258, "\1W\0"s},
                                                          {514, "\1U\0"s}, {770, "\1C\0"s}, {1026, "\1P\0"s}};
    for (const auto& [offset, field] : fields) EXPECT_EQ(bytes.substr(s + offset, field.size()), field) << offset;
    EXPECT_EQ(bytes.substr(s + 1052, 52), std::string(52, '\0'));  // both reserved fields empty
    // Nothing outside the slot changed.
    EXPECT_EQ(bytes.substr(0, s).find_first_not_of('\0'), std::string::npos);
    EXPECT_EQ(bytes.substr(s + 1104).find_first_not_of('\0'), std::string::npos);

    // Under a phrase the name is stored enciphered ('N' 78 + 'k' 107 + 3 -> 33 + 155 mod 94 = 94 '^').
    cipher.setPhrase("k");
    record = plainRecord("U", "N");
    writeSlot(0);
    file().close();
    EXPECT_EQ(readBytes(dataFile()).substr(0, 4), "\1U\1^"s);
}

TEST_F(DataFileTest, AddsFillTheFileUpToTheSlotBeforeTheLast) {
    cipher.setPhrase("a twenty char phrase");
    std::vector<SiteRecord> records;
    for (int i = 0; i < 998; ++i) records.push_back(plainRecord("A", "site " + std::to_string(i)));
    makeDataFile(records, 1000, "a twenty char phrase");

    // Duplicates: upper-cased and trimmed names compare equal.
    EXPECT_EQ(file().findFreeSlot("  SITE 17 ", cipher).kind, FreeSlot::Duplicate);
    EXPECT_FALSE(file().isOpen());

    FreeSlot f = add("site 998");
    ASSERT_EQ(f.kind, FreeSlot::Found);
    EXPECT_EQ(f.slot, 998);
    EXPECT_EQ(add("one more").kind, FreeSlot::Full);  // slot 999 stays never used
    EXPECT_FALSE(file().isOpen());
    EXPECT_EQ(listed().size(), 999u);
    const std::string bytes = readBytes(dataFile());
    EXPECT_EQ(bytes.size(), 1104000u);
    EXPECT_EQ(bytes.substr(999 * 1104).find_first_not_of('\0'), std::string::npos);
}

TEST_F(DataFileTest, DeletedSlotIsReusedAndSkipped) {
    std::vector<SiteRecord> records;
    for (int i = 0; i < 10; ++i) records.push_back(plainRecord("A", "n" + std::to_string(i)));
    makeDataFile(records, 1000);

    int slot = file().findSlotByName("n3", cipher);
    ASSERT_EQ(slot, 3);
    record = SiteRecord{};
    record.status.assign("D");
    writeSlot(slot);
    file().close();

    EXPECT_EQ(file().findSlotByName("n3", cipher), kNotFound);
    EXPECT_EQ(listed().size(), 9u);
    FreeSlot f = add("new");
    EXPECT_EQ(f.kind, FreeSlot::Found);
    EXPECT_EQ(f.slot, 3);
    EXPECT_EQ(file().findSlotByName("new", cipher), 3);
    file().close();
    EXPECT_EQ(file().findSlotByName("NEW", cipher), kNotFound);  // exact match only
}

TEST_F(DataFileTest, EachScanEndsByItsOwnRule) {
    // Slot 0 never used, then in-use slots, with the file's last slot in use.
    makeDataFile({SiteRecord{}, plainRecord("A", "x"), plainRecord("Z", "odd"), plainRecord("U", "last")}, 4);
    EXPECT_TRUE(listed().empty());                     // list loading stops at slot 0
    EXPECT_FALSE(lookup("x"));                         // so does the selected-name lookup
    EXPECT_EQ(file().findSlotByName("x", cipher), 1);  // the update/delete scan runs past it
    file().close();
    EXPECT_EQ(file().findFreeSlot("y", cipher).slot, 0);
    file().close();

    std::vector<std::string> printed;
    scanForPrint([&] { printed.push_back(record.name.str()); });
    EXPECT_EQ(printed, (std::vector<std::string>{"x", "last"}));  // neither empty nor "Z"

    // An entry in the last slot is listed but never found by name.
    makeDataFile({plainRecord("A", "a"), plainRecord("Z", "odd"), plainRecord("A", "last")}, 3);
    EXPECT_EQ(listed(), (std::vector<std::string>{"a", "odd", "last"}));
    EXPECT_EQ(record.name.str(), "last");  // the last in-use slot stays in the buffer
    EXPECT_FALSE(lookup("last"));
    EXPECT_FALSE(file().isOpen());
    EXPECT_EQ(file().findSlotByName("last", cipher), kNotFound);
    EXPECT_FALSE(file().isOpen());
    EXPECT_EQ(file().findFreeSlot("new", cipher).kind, FreeSlot::Full);
    EXPECT_TRUE(lookup("odd"));
    EXPECT_EQ(record.status.str(), "Z");
}

// Looking up many names through one index answers each exactly as the single lookup
// does, whatever the order of the questions, and leaves the file closed.
TEST_F(DataFileTest, ListedNameIndexAnswersAsTheSingleLookup) {
    SiteRecord deleted{};
    deleted.status.assign("D");
    const std::vector<std::pair<std::vector<SiteRecord>, std::vector<std::string>>> cases = {
        {{plainRecord("A", "dup"), deleted, plainRecord("U", "dup", "second"), plainRecord("A", "b"), SiteRecord{},
          plainRecord("A", "after"), plainRecord("A", "end")},
         {"b", "dup", "after", "zzz", "dup", "B", "b", "end"}},
        {{plainRecord("A", "a"), plainRecord("Z", "odd"), plainRecord("A", "last")}, {"last", "odd", "a", "last"}},
        {{SiteRecord{}, plainRecord("A", "x")}, {"x"}},
    };
    for (const auto& [records, questions] : cases) {
        makeDataFile(records, static_cast<int>(records.size()));
        Session session(paths);
        std::vector<std::optional<Entry>> answers;
        {
            ListedNameIndex index(session);  // holds the file open while it is asked
            for (const std::string& name : questions) {
                const Entry* found = index.find(name);
                answers.push_back(found ? std::optional<Entry>(*found) : std::nullopt);
            }
        }
        EXPECT_FALSE(session.dataFile().isOpen());
        for (std::size_t i = 0; i < questions.size(); ++i) {
            const std::optional<Entry> single = session.find(questions[i]);
            ASSERT_EQ(answers[i].has_value(), single.has_value()) << questions[i];
            if (answers[i]) {
                EXPECT_EQ(*answers[i], *single) << questions[i];
            }
        }
        EXPECT_FALSE(session.dataFile().isOpen());
    }
}

TEST_F(DataFileTest, PartialTailAndZeroSlotFiles) {
    makeDataFile({plainRecord("A", "a"), plainRecord("A", "b"), plainRecord("A", "c")}, 3);
    std::string bytes = readBytes(dataFile()) + std::string(500, '\x7f');
    vaulttest::writeBytes(dataFile(), bytes);
    EXPECT_EQ(listed(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(file().findSlotByName("c", cipher), kNotFound);  // slot 2 is the last whole slot
    EXPECT_EQ(file().findSlotByName("b", cipher), 1);
    record = plainRecord("U", "b");
    writeSlot(1);
    EXPECT_THROW(writeSlot(3), std::out_of_range);  // the file never grows
    file().close();
    std::string after = readBytes(dataFile());
    ASSERT_EQ(after.size(), bytes.size());
    EXPECT_EQ(after.substr(3 * 1104), std::string(500, '\x7f'));

    for (std::size_t size : {0u, 500u}) {
        vaulttest::writeBytes(dataFile(), std::string(size, '\0'));
        EXPECT_EQ(ioErrorText([&] { scanList(nullptr); }), "Read beyond end of file\n" + dataFile()) << size;
        EXPECT_FALSE(file().isOpen());
    }
}

TEST_F(DataFileTest, FailureTexts) {
    // The system's text, and the file on a second line.
    const std::string named = "\n" + dataFile();
    EXPECT_EQ(ioErrorText([&] { file().open(); }), "File not found" + named);
    file().create();

    // A file the user may read but not write: it lists, and a write is refused.
    ::chmod(dataFile().c_str(), 0444);
    ::chmod(dir.c_str(), 0755);
    if (::geteuid() != 0) {
        EXPECT_EQ(ioErrorText([&] { file().open(); }), "(no error)");
        EXPECT_EQ(ioErrorText([&] { file().findFreeSlot("x", cipher); }), "File access denied" + named);
    } else {
        // The superuser is never refused: check it as an ordinary user in a child.
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
            try {
                file().open();
                file().close();
                file().findFreeSlot("x", cipher);
            } catch (const IoError& e) {
                ::_exit(std::string(e.what()) == "File access denied" + named ? 0 : 3);
            }
            ::_exit(4);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    ::chmod(dataFile().c_str(), 0600);

    vault::testing::failNthCall(1, EMFILE, vault::testing::Op::Open);
    EXPECT_EQ(ioErrorText([&] { file().open(); }), "Too many open files" + named);
    vault::testing::failNthCall(1, EIO, vault::testing::Op::Read);
    EXPECT_EQ(ioErrorText([&] { file().findSlotByName("x", cipher); }), "I/O error 5" + named);
    EXPECT_FALSE(file().isOpen());

    // A full disk while writing: the error surfaces and the slot is as it was.
    const std::string before = readBytes(dataFile());
    ASSERT_EQ(file().findFreeSlot("x", cipher).slot, 0);
    record = plainRecord("A", "x");
    vault::testing::failNthCall(1, ENOSPC, vault::testing::Op::Write);
    EXPECT_EQ(ioErrorText([&] { writeSlot(0); }), "Disk full" + named);
    file().close();
    EXPECT_EQ(readBytes(dataFile()), before);

    // Every write is flushed before writeSlot returns: a failing flush is reported.
    ASSERT_EQ(file().findFreeSlot("x", cipher).slot, 0);
    record = plainRecord("A", "x");
    vault::testing::failNthCall(1, EIO, vault::testing::Op::Sync);
    EXPECT_EQ(ioErrorText([&] { writeSlot(0); }), "I/O error 5" + named);
    EXPECT_TRUE(vault::testing::faultFired());

#ifndef _WIN32
    // A folder where the data file should be.
    file().close();
    ASSERT_EQ(::unlink(dataFile().c_str()), 0);
    ASSERT_EQ(::mkdir(dataFile().c_str(), 0700), 0);
    EXPECT_EQ(ioErrorText([&] { file().open(); }), "I/O error 21" + named);
    ::rmdir(dataFile().c_str());
#endif
}

#ifndef _WIN32
// A write whose flush fails has landed: it stays this object's own, so the next change
// of the entry is not taken for another copy's. A file renamed into place between a
// reading scan and the write gets the write; the file it replaced never does.
TEST_F(DataFileTest, WritesLandInTheFileThePathNames) {
    makeDataFile({plainRecord("A", "Mail", "w")}, 10);
    ASSERT_TRUE(lookup("Mail"));
    for (const char* password : {"one", "two"}) {
        ASSERT_EQ(file().findSlotByName("Mail", cipher), 0);
        record = plainRecord("U", "Mail", "w", "u", "c", password);
        if (password == std::string("one")) vault::testing::failNthCall(1, EIO, vault::testing::Op::Sync);
        EXPECT_EQ(ioErrorText([&] { writeSlot(0); }),
                  password == std::string("one") ? "I/O error 5\n" + dataFile() : "(no error)");
        file().close();
    }
    file().open();
    vault::SiteRecord r;
    file().readSlot(r);
    vaulttest::writeBytes(dir + "/new", readBytes(dataFile()));
    const std::string replaced = dir + "/replaced";
    ASSERT_EQ(::link(dataFile().c_str(), replaced.c_str()), 0);
    ASSERT_EQ(std::rename((dir + "/new").c_str(), dataFile().c_str()), 0);
    record = plainRecord("U", "Mail", "w", "u", "c", "three");
    writeSlot(0);
    file().close();
    EXPECT_EQ(readBytes(dataFile()).substr(0, kSlotSize), vaulttest::slotBytes(record));
    EXPECT_EQ(readBytes(replaced).substr(0, kSlotSize),
              vaulttest::slotBytes(plainRecord("U", "Mail", "w", "u", "c", "two")));
}
#endif

TEST_F(DataFileTest, ScanClosesTheFileWhenItsCallbackThrows) {
    makeDataFile({plainRecord("A", "a")}, 5);
    EXPECT_THROW(scanList([&] { throw std::runtime_error("boom"); }), std::runtime_error);
    EXPECT_FALSE(file().isOpen());
}

}  // namespace
