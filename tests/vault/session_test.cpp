// The session: outcomes of the entry operations, the rules they apply, and the data
// file closed however an operation ends.
#include <stdexcept>

#include "support.h"
#include "vault/ioerror.h"
#include "vault/session.h"
#include "vault/text.h"

using namespace vault;
using vaulttest::plainRecord;
using vaulttest::readBytes;
using vaulttest::VaultTest;

namespace {

class SessionTest : public VaultTest {
protected:
    Entry entry(const std::string& name, const std::string& site, const std::string& user = "u",
                const std::string& password = "pw", const std::string& comments = "") {
        return Entry{name, site, user, password, comments};
    }
    SiteRecord slot(int n) {
        const std::string bytes = readBytes(dataFile());
        SiteRecord r;
        std::memcpy(&r, bytes.data() + n * kSlotSize, kSlotSize);
        return r;
    }
};

TEST_F(SessionTest, AddOutcomesInTheirOrder) {
    makeDataFile({plainRecord("A", "BANK", "http://b"), plainRecord("D", ""), plainRecord("A", "MAIL")}, 5);
    Session s(paths);
    const std::string before = readBytes(dataFile());
    // The password is checked first, as typed (a space at either end counts too).
    EXPECT_EQ(s.add(entry("", "", "", " pw")).outcome, AddOutcome::SpaceInPassword);
    EXPECT_EQ(s.add(entry("  ", "x")).outcome, AddOutcome::NameOrWebsiteMissing);
    EXPECT_EQ(s.add(entry("NEW", " \t")).outcome, AddOutcome::NameOrWebsiteMissing);
    // The caller's own list test gets the name trimmed and upper-cased, before the scan.
    std::string asked;
    auto listed = [&](const std::string& key) {
        asked = key;
        return key == "SHOWN";
    };
    EXPECT_EQ(s.add(entry(" shown ", "x"), listed).outcome, AddOutcome::ListedAlready);
    EXPECT_EQ(asked, "SHOWN");
    // The file's test: trimmed, letter case ignored.
    EXPECT_EQ(s.add(entry(" bank", "x"), listed).outcome, AddOutcome::Duplicate);
    EXPECT_EQ(readBytes(dataFile()), before);
    EXPECT_FALSE(s.dataFile().isOpen());

    // The first free slot is the deleted one; the address gets its scheme.
    bool completedSeen = false;
    const AddResult added = s.add(entry(" NEW ", " www.n.example ", " me ", "secret", " note "), listed,
                                  [&](const Entry& e, bool completed) {
                                      completedSeen = completed;
                                      EXPECT_EQ(e.website, "http://www.n.example");
                                  });
    ASSERT_EQ(added.outcome, AddOutcome::Added);
    EXPECT_TRUE(added.addressCompleted && completedSeen);
    EXPECT_EQ(added.slot, 1);
    EXPECT_EQ(added.entry, entry("NEW", "http://www.n.example", "me", "secret", "note"));
    EXPECT_EQ(vaulttest::slotBytes(slot(1)),
              vaulttest::slotBytes(plainRecord("A", "NEW", "http://www.n.example", "me", "note", "secret")));
    // An address holding either scheme anywhere is kept as typed (trimmed).
    const AddResult kept = s.add(entry("FTP", " see https://x "));
    EXPECT_FALSE(kept.addressCompleted);
    EXPECT_EQ(slot(3).website.str(), "see https://x");
    // Slot 4 is the last: it is never used, so the file is full.
    EXPECT_EQ(s.add(entry("MORE", "x")).outcome, AddOutcome::Full);
    EXPECT_FALSE(s.dataFile().isOpen());
}

// The rules on the texts, before any file is read: one table for add's check, update
// answering alike, and nothing written for a refusal.
TEST_F(SessionTest, TextRulesRefuseWhatTheFileWouldChange) {
    makeDataFile({plainRecord("A", "BANK", "http://b")}, 5);
    Session s(paths);
    const std::string before = readBytes(dataFile());
    const std::string longText(256, 'x');
    struct Case {
        Entry typed;
        AddOutcome outcome;
        Field field;
        unsigned char character;
    };
    const Case cases[] = {
        {entry("A\x1b[31mB", "x"), AddOutcome::ControlCharacter, Field::Name, 0x1B},
        {entry("NEW", "x", "u", std::string("a\0b", 3)), AddOutcome::ControlCharacter, Field::Password, 0},
        {entry("NEW", "x", "a\tb"), AddOutcome::ControlCharacter, Field::UserId, '\t'},
        {entry("NEW", "http://x\n/y"), AddOutcome::ControlCharacter, Field::Website, '\n'},
        {entry("NEW", "x", "u", "pw", "one\rtwo"), AddOutcome::ControlCharacter, Field::Comments, '\r'},
        {entry(longText, "x"), AddOutcome::TooLong, Field::Name, 0},
        // The address as stored: "http://" put before 250 characters is too long.
        {entry("NEW", std::string(250, 'w')), AddOutcome::TooLong, Field::Website, 0},
        {entry("NEW", "x", "u", std::string(26, 'p')), AddOutcome::TooLong, Field::Password, 0},
        {entry("NEW", "x", "u", "pw", longText), AddOutcome::TooLong, Field::Comments, 0},
        // Earlier rules come first; control characters at either end are trimmed away.
        {entry("A\x1b", "x", "u", "a b"), AddOutcome::SpaceInPassword, Field::Name, 0},
        {entry("\x01NEW\x02", std::string(248, 'w'), std::string(255, 'u'), std::string(25, 'p'), "a\tb"),
         AddOutcome::Added, Field::Name, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.name.substr(0, 12) + "|" + c.typed.website.substr(0, 12));
        const AddResult checked = s.check(c.typed);
        EXPECT_EQ(checked.outcome, c.outcome);
        EXPECT_EQ(checked.field, c.field);
        EXPECT_EQ(checked.character, c.character);
        if (c.outcome == AddOutcome::Added) {
            EXPECT_EQ(checked.entry.name, "NEW");
            EXPECT_EQ(checked.entry.website, "http://" + std::string(248, 'w'));
            continue;
        }
        EXPECT_EQ(s.add(c.typed).outcome, c.outcome);
        if (c.outcome == AddOutcome::SpaceInPassword) continue;
        Entry update = c.typed;
        update.name = c.field == Field::Name ? c.typed.name : "BANK";
        const ChangeResult changed = s.update(update);
        EXPECT_EQ(changed.outcome,
                  c.outcome == AddOutcome::TooLong ? ChangeOutcome::TooLong : ChangeOutcome::ControlCharacter);
        EXPECT_EQ(changed.field, c.field);
    }
    EXPECT_EQ(readBytes(dataFile()), before);
    // A dry run's own list test, in duplicate-test form.
    EXPECT_EQ(s.check(entry(" caf\xe9 ", "x"), [](const std::string& key) { return key == "CAF\xc9"; }).outcome,
              AddOutcome::ListedAlready);
    // What an import cuts to fit, and reports.
    Entry imported = entry(longText, "x", "u", std::string(30, 'p'), "short");
    EXPECT_EQ(cutToWidths(imported), (std::vector<Field>{Field::Name, Field::Password}));
    EXPECT_EQ(imported.name.size(), 255u);
    EXPECT_EQ(imported.password.size(), 25u);
}

// Upper case, the duplicate key, the filter and the list's order, each as
// the window and keyfold-cli apply them.
TEST(EntryRules, NamesFilterAndOrder) {
    // Windows-1252 bytes: é, ÿ, š, œ, ž take their capitals; ß, µ, ƒ, ÷ have none there.
    EXPECT_EQ(upperText("az\xe9\xfe\xff\x9a\x9c\x9e"), "AZ\xc9\xde\x9f\x8a\x8c\x8e");
    EXPECT_EQ(upperText(std::string("\xdf\xb5\x83\xf7") + "AZ1"), std::string("\xdf\xb5\x83\xf7") + "AZ1");
    EXPECT_EQ(nameKey(" caf\xe9\t"), "CAF\xc9");
    EXPECT_TRUE(hasNameKey(" caf\xe9\t", "CAF\xc9"));
    EXPECT_FALSE(hasNameKey("cafe", "CAF\xc9"));

    struct FilterCase {
        const char* typed;
        const char* name;
        bool active, matches;
    };
    for (const FilterCase& f : {FilterCase{"ma", "AMAZON", true, true}, FilterCase{"\xe9", "CAF\xc9", true, true},
                                FilterCase{" m", "AMAZON", true, false}, FilterCase{" \t", "AMAZON", false, true},
                                FilterCase{"", "AMAZON", false, true}}) {
        SCOPED_TRACE(f.typed);
        const NameFilter filter(f.typed);
        EXPECT_EQ(filter.active(), f.active);
        EXPECT_EQ(filter.matches(f.name), f.matches);
    }

    // By Unicode values, not bytes: the euro sign (byte 80) after É (byte C9).
    std::vector<std::string> names = {"\x80", "b", "ABC", "\xc9", "a", "AB", "Z"};
    sortAsListed(names);
    EXPECT_EQ(names, (std::vector<std::string>{"AB", "ABC", "Z", "a", "b", "\xc9", "\x80"}));
    EXPECT_TRUE(listedBefore("\xc9", "\x80"));
    EXPECT_FALSE(listedBefore("\x80", "\xc9"));
}

TEST_F(SessionTest, UpdateAndDeleteFindTheExactName) {
    makeDataFile({plainRecord("A", "BANK", "http://b", "u", "c", "p"), plainRecord("A", "Mail", "http://m")}, 10,
                 "key");
    Session s(paths);
    s.setKeyPhrase("key");
    EXPECT_EQ(s.update(entry("BANK", "x", "u", "a b")).outcome, ChangeOutcome::SpaceInPassword);
    EXPECT_EQ(s.update(entry(" ", "x")).outcome, ChangeOutcome::NameMissing);
    EXPECT_EQ(s.remove(" \t").outcome, ChangeOutcome::NameMissing);
    EXPECT_EQ(s.update(entry("MAIL", "x")).outcome, ChangeOutcome::NotFound);  // letter case counts
    EXPECT_EQ(s.remove("bank").outcome, ChangeOutcome::NotFound);

    const ChangeResult updated = s.update(entry(" BANK ", "bank.example", "new", "pw2", "c2"));
    ASSERT_EQ(updated.outcome, ChangeOutcome::Updated);
    EXPECT_TRUE(updated.addressCompleted);
    EXPECT_EQ(updated.slot, 0);
    ASSERT_TRUE(s.find("BANK").has_value());
    EXPECT_EQ(*s.find("BANK"), entry("BANK", "http://bank.example", "new", "pw2", "c2"));
    EXPECT_EQ(slot(0).status.str(), "U");

    // A delete writes "D" and nothing else: every text empty, not merely the name.
    const ChangeResult deleted = s.remove(" Mail ");
    ASSERT_EQ(deleted.outcome, ChangeOutcome::Deleted);
    EXPECT_EQ(deleted.entry.name, "Mail");
    EXPECT_EQ(vaulttest::slotBytes(slot(1)), vaulttest::slotBytes(deletedRecord()));
    EXPECT_EQ(s.listNames(), std::vector<std::string>{"BANK"});
    EXPECT_FALSE(s.find("Mail").has_value());
    EXPECT_FALSE(s.dataFile().isOpen());
}

TEST_F(SessionTest, FileClosedWhenAnOperationThrowsOrTheSessionEnds) {
    makeDataFile({plainRecord("A", "BANK", "http://b")}, 5);
    const std::string before = readBytes(dataFile());
    {
        Session s(paths);
        EXPECT_THROW(static_cast<void>(
                         s.add(entry("NEW", "x"), {}, [](const Entry&, bool) { throw std::runtime_error("stop"); })),
                     std::runtime_error);
        EXPECT_FALSE(s.dataFile().isOpen());
        EXPECT_THROW(s.listEntries([](const Entry&) { throw std::runtime_error("stop"); }), std::runtime_error);
        EXPECT_FALSE(s.dataFile().isOpen());
        // A writing scan left open by a caller of the slot routines ends with the session:
        // its lock goes with it, so another copy can write at once.
        ASSERT_EQ(s.dataFile().findSlotByName("BANK", s.cipher()), 0);
        EXPECT_TRUE(s.dataFile().isOpen());
        vault::testing::setLockWait(0);
        EXPECT_THROW(file().findSlotByName("BANK", cipher), DataFileProblem);
    }
    EXPECT_EQ(file().findSlotByName("BANK", cipher), 0);
    file().close();
    vault::testing::setLockWait(-1);
    EXPECT_EQ(readBytes(dataFile()), before);
}

TEST_F(SessionTest, CreateAndRekeyOutcomes) {
    Session s(paths);
    EXPECT_FALSE(s.dataFileExists());
    EXPECT_EQ(s.rekey("", "new", nullptr), RekeyOutcome::NoDataFile);
    EXPECT_EQ(s.createDataFile(NewFileKind::Plain), CreateOutcome::Created);
    EXPECT_EQ(s.createDataFile(NewFileKind::Plain), CreateOutcome::AlreadyThere);
    EXPECT_EQ(s.rekey("old", " \t ", nullptr), RekeyOutcome::NewPhraseMissing);
    ASSERT_EQ(s.add(entry("BANK", "b")).outcome, AddOutcome::Added);
    std::string line;
    EXPECT_EQ(s.rekey(" ", " new ",
                      [&](const std::string& l) {
                          line = l;
                          return false;
                      }),
              RekeyOutcome::Cancelled);
    EXPECT_EQ(line, "BANK");
    EXPECT_EQ(s.rekey("", "new", [](const std::string&) { return true; }), RekeyOutcome::Completed);
    // The new phrase (trimmed) is in force: the entry reads back.
    EXPECT_EQ(s.cipher().phrase(), "new");
    EXPECT_EQ(s.listNames(), std::vector<std::string>{"BANK"});
}

}  // namespace
