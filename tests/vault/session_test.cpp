// The session: outcomes of the entry operations, the rules they apply, and the data
// file closed however an operation ends.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <stdexcept>

#include "support.h"
#include "tests/support/freed_blocks.h"
#include "tests/support/memory_search.h"
#include "vault/ioerror.h"
#include "vault/secret.h"
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
    EXPECT_EQ(s.add(entry("", "", "", " pw")).rule, EntryRule::SpaceInPassword);
    EXPECT_EQ(s.add(entry("  ", "x")).rule, EntryRule::NameMissing);
    EXPECT_EQ(s.add(entry("NEW", " \t")).rule, EntryRule::WebsiteMissing);
    // The caller's own list test gets the name trimmed and upper-cased, before the scan.
    std::string asked;
    auto listed = [&](const std::string& key) {
        asked = key;
        return key == "SHOWN";
    };
    EXPECT_EQ(s.add(entry(" shown ", "x"), Operation::Add, listed).outcome, AddOutcome::ListedAlready);
    EXPECT_EQ(asked, "SHOWN");
    // The file's test: trimmed, letter case ignored.
    EXPECT_EQ(s.add(entry(" bank", "x"), Operation::Add, listed).outcome, AddOutcome::Duplicate);
    EXPECT_EQ(readBytes(dataFile()), before);
    EXPECT_FALSE(s.dataFile().isOpen());

    // The first free slot is the deleted one; the address gets its scheme.
    bool completedSeen = false;
    const AddResult added = s.add(entry(" New ", " www.n.example ", " me ", "secret", " note "), Operation::Add, listed,
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

// One rule list per operation: every rule, checked before any file is read, refuses
// alike in add, update and import (where it applies), and nothing is written.
TEST_F(SessionTest, EveryRuleRefusesInEveryOperation) {
    makeDataFile({plainRecord("A", "BANK", "http://b")}, 5);
    Session s(paths);
    const std::string before = readBytes(dataFile());
    const std::string longText(256, 'x');
    // An entry that breaks the rule, named BANK so that an update finds it where it passes.
    // A rule added to EntryRule fails this switch until it has an entry here.
    auto breaking = [&](EntryRule rule) -> std::vector<Entry> {
        switch (rule) {
        case EntryRule::Passed: return {};
        case EntryRule::SpaceInPassword: return {entry("BANK", "x", "u", "a b"), entry("BANK\x1b", "x", "u", " ab")};
        case EntryRule::NameMissing: return {entry(" \t", "x"), entry("", "")};
        case EntryRule::WebsiteMissing: return {entry("BANK", " \t")};
        case EntryRule::ControlCharacter:
            return {entry("BA\x1b[31mNK", "x"),
                    entry("BANK", "x", "u", std::string("a\0b", 3)),
                    entry("BANK", "x", "a\tb"),
                    entry("BANK", "http://x\n/y"),
                    entry("BANK", "x", "u", "pw", "one\rtwo"),
                    entry("BA\x7fNK", "x"),  // DEL, like the codes below 32
                    entry("BANK", "x", "u", "pw\x7f"),
                    entry("BANK", "x", "u", "pw", "note\x7f")};
        case EntryRule::TooLong:
            return {entry(longText, "x"),
                    // The address as stored: "http://" put before 250 characters is too long.
                    entry("BANK", std::string(250, 'w')), entry("BANK", "x", "u", std::string(26, 'p')),
                    entry("BANK", "x", "u", "pw", longText)};
        }
        return {};
    };
    struct Expected {
        EntryRule rule;
        Field field;
        unsigned char character;
    };
    const std::vector<std::pair<EntryRule, std::vector<Expected>>> table = {
        {EntryRule::SpaceInPassword,
         {{EntryRule::SpaceInPassword, Field::Name, 0}, {EntryRule::SpaceInPassword, Field::Name, 0}}},
        {EntryRule::NameMissing, {{EntryRule::NameMissing, Field::Name, 0}, {EntryRule::NameMissing, Field::Name, 0}}},
        {EntryRule::WebsiteMissing, {{EntryRule::WebsiteMissing, Field::Name, 0}}},
        {EntryRule::ControlCharacter,
         {{EntryRule::ControlCharacter, Field::Name, 0x1B},
          {EntryRule::ControlCharacter, Field::Password, 0},
          {EntryRule::ControlCharacter, Field::UserId, '\t'},
          {EntryRule::ControlCharacter, Field::Website, '\n'},
          {EntryRule::ControlCharacter, Field::Comments, '\r'},
          {EntryRule::ControlCharacter, Field::Name, 0x7F},
          {EntryRule::ControlCharacter, Field::Password, 0x7F},
          {EntryRule::ControlCharacter, Field::Comments, 0x7F}}},
        {EntryRule::TooLong,
         {{EntryRule::TooLong, Field::Name, 0},
          {EntryRule::TooLong, Field::Website, 0},
          {EntryRule::TooLong, Field::Password, 0},
          {EntryRule::TooLong, Field::Comments, 0}}},
    };
    for (const auto& [rule, expected] : table) {
        const std::vector<Entry> entries = breaking(rule);
        ASSERT_EQ(entries.size(), expected.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& typed = entries[i];
            const Expected& want = expected[i];
            for (Operation op : {Operation::Add, Operation::Update, Operation::Import}) {
                SCOPED_TRACE(typed.name.substr(0, 12) + "|" + typed.website.substr(0, 12) + " op " +
                             std::to_string(static_cast<int>(op)));
                // An update stores an empty address as "http://": that rule is add's and import's.
                const bool applies = !(rule == EntryRule::WebsiteMissing && op == Operation::Update);
                const EntryCheck checked = s.check(typed, op);
                EXPECT_EQ(checked.rule, applies ? want.rule : EntryRule::Passed);
                if (!applies) continue;
                EXPECT_EQ(checked.field, want.field);
                EXPECT_EQ(checked.character, want.character);
                EXPECT_TRUE(checked.entry.password.empty());
                if (op == Operation::Update) {
                    const ChangeResult changed = s.update(typed);
                    EXPECT_EQ(changed.outcome, ChangeOutcome::Refused);
                    EXPECT_EQ(changed.rule, want.rule);
                    EXPECT_EQ(changed.field, want.field);
                } else {
                    const AddResult added = s.add(typed, op);
                    EXPECT_EQ(added.outcome, AddOutcome::Refused);
                    EXPECT_EQ(added.rule, want.rule);
                    EXPECT_EQ(added.field, want.field);
                    EXPECT_EQ(added.character, want.character);
                }
            }
        }
    }
    EXPECT_EQ(readBytes(dataFile()), before);

    // The stored form is made here, not by the callers: texts trimmed (control characters
    // at either end too), the address completed, and the name upper-cased by add and
    // import; an update writes back the name it found.
    const Entry typed = entry(
        "\x01"
        "caf\xe9\x02",
        std::string(248, 'w'), std::string(255, 'u'), std::string(25, 'p'), "a\tb");
    for (Operation op : {Operation::Add, Operation::Update, Operation::Import}) {
        const EntryCheck checked = s.check(typed, op);
        ASSERT_EQ(checked.rule, EntryRule::Passed);
        EXPECT_EQ(checked.entry.name, op == Operation::Update ? "caf\xe9" : "CAF\xc9");
        EXPECT_EQ(checked.entry.website, "http://" + std::string(248, 'w'));
        EXPECT_TRUE(checked.addressCompleted);
        EXPECT_EQ(checked.entry.comments, "a\tb");
    }
    EXPECT_EQ(s.check(entry("BANK", ""), Operation::Update).entry.website, "http://");
    EXPECT_EQ(nameAsTheBoxTakesIt("caf\xe9\r\nsecond line"), "CAF\xc9");
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
    // Typed as UTF-8: a character Windows-1252 lacks (or a malformed byte) is in no name,
    // not even one holding the "?" an 8-bit box would make of it.
    for (const FilterCase& f :
         {FilterCase{"\xc3\xa9", "CAF\xc9", true, true}, FilterCase{"\xe2\x82\xac", "\x80", true, true},
          FilterCase{"\xc5\x9d", "WHAT?", true, false}, FilterCase{"a\xc5\x9d", "A?", true, false},
          FilterCase{"\xff", "?", true, false}, FilterCase{" ", "A?", false, true}}) {
        SCOPED_TRACE(f.typed);
        const NameFilter filter = NameFilter::fromUtf8(f.typed);
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
    EXPECT_EQ(s.update(entry("BANK", "x", "u", "a b")).rule, EntryRule::SpaceInPassword);
    EXPECT_EQ(s.update(entry(" ", "x")).rule, EntryRule::NameMissing);
    const ChangeResult nameless = s.remove(" \t");
    EXPECT_EQ(nameless.outcome, ChangeOutcome::Refused);
    EXPECT_EQ(nameless.rule, EntryRule::NameMissing);
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
        EXPECT_THROW(static_cast<void>(s.add(entry("NEW", "x"), Operation::Add, {},
                                             [](const Entry&, bool) { throw std::runtime_error("stop"); })),
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

#ifdef __linux__  // the search reads /proc/self
using keyfoldtest::FreedBlockWatch;
using keyfoldtest::MemorySearch;

// Every buffer that held a password on its way (the slots read ahead, each scan's slot
// image, the record written and the one it replaces, the sealed file's image) is wiped
// once the operation is over, under the empty phrase (the file holds the password as
// typed) and under another, which also seals, unseals and re-keys.
TEST_F(SessionTest, NoCopyOfAPasswordOutlivesTheCommonPaths) {
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer keeps its own fake stacks and terabytes of shadow mappings: the
    // search neither finishes in time nor reads what a user's build holds.
    GTEST_SKIP() << "the memory search runs in the ordinary build";
#endif
    constexpr unsigned char kMask = 0x5A;
    const auto masked = [&](std::string_view text) { return MemorySearch::masked(text, kMask); };
    for (const std::string phrase : {"", "Key phrase"}) {
        // A short one (kept inside a std::string's own object) and a long one (on the heap).
        for (const std::string& hidden : {masked("Qx7!vR2m"), masked("Hj4%Tz8&Wq1*Np6@Ls3!Xc9^K")}) {
            SCOPED_TRACE(phrase + " / " + std::to_string(hidden.size()));
            makeDataFile({plainRecord("A", "BANK", "http://b")}, 5, phrase);
            MemorySearch search;
            FreedBlockWatch watch(hidden, kMask);
            {
                Session s(paths);
                s.setKeyPhrase(phrase);
                SecretText password;
                for (char c : hidden) password.push_back(static_cast<char>(c ^ kMask));
                Entry typed = entry("mail", "m.example", "me", "", "note");
                typed.password = password;
                ASSERT_EQ(s.add(typed).outcome, AddOutcome::Added);
                std::optional<Entry> found = s.find("MAIL");
                ASSERT_TRUE(found);
                EXPECT_EQ(found->password, password);
                int seen = 0;
                s.listEntries([&](const Entry& e) { seen += e.password == password; });
                s.forEachPrintable([&](const Entry& e) { seen += e.password == password; });
                EXPECT_EQ(seen, 2);
                Entry changed = *found;
                changed.comments = "changed";
                ASSERT_EQ(s.update(changed).outcome, ChangeOutcome::Updated);
                if (!phrase.empty()) {  // the whole image sealed, opened, unsealed, re-keyed
                    s.setSealCost({1, 8192});
                    ASSERT_EQ(s.seal(), SealOutcome::Sealed);
                    ASSERT_EQ(s.find("MAIL")->password, password);
                    ASSERT_EQ(s.unseal(), SealOutcome::Unsealed);
                    ASSERT_EQ(s.rekey(phrase, "Other phrase", [](const std::string&) { return true; }),
                              RekeyOutcome::Completed);
                }
            }
            search.keep();
            EXPECT_EQ(search.copies(hidden, kMask), 0);
            EXPECT_EQ(watch.blocksWithText(), 0);
        }
    }
}

// A secret text lets go of no block that still holds its bytes: not when it grows a byte
// or a piece at a time, is shortened, assigned over, copied, moved, or takes a string's
// bytes. The last row keeps one alive, to show the search finds it.
TEST(SecretTextTest, NoBlockItLetsGoKeepsTheText) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the memory search runs in the ordinary build";
#endif
    constexpr unsigned char kMask = 0x3C;
    const std::string hidden = MemorySearch::masked("Zt5#Kp9!Rw2^Lm7&Qa4$Vb8*N", kMask);
    const auto grown = [&] {  // the text a byte at a time, through every growth
        SecretText s;
        for (char c : hidden) s.push_back(static_cast<char>(c ^ kMask));
        return s;
    };
    struct Case {
        const char* what;
        std::function<void(std::vector<SecretText>& kept)> run;
        int copiesLeft;
    };
    const Case cases[] = {
        {"grown a byte at a time", [&](auto&) { grown(); }, 0},
        {"appended in pieces",
         [&](auto&) {
             const SecretText piece = grown();
             SecretText whole;
             for (int i = 0; i < 5; ++i) whole.append(piece.view().substr(0, 9)).append(piece.view().substr(9));
         },
         0},
        {"assigned a shorter text", [&](auto&) { grown() = "short"; }, 0},
        {"resized shorter", [&](auto& kept) { kept.push_back(grown()), kept.back().resize(3); }, 0},
        {"cleared", [&](auto& kept) { kept.push_back(grown()), kept.back().clear(); }, 0},
        {"copied and assigned over",
         [&](auto&) {
             SecretText a = grown();
             SecretText b(a);
             SecretText c("x");
             c = b;
             c = std::move(a);
         },
         0},
        {"taken from a string",
         [&](auto&) {
             std::string text;
             text.reserve(64);  // no growth: only the one block to wipe
             for (char c : hidden) text.push_back(static_cast<char>(c ^ kMask));
             SecretText taken(std::move(text));
             SecretText assigned;
             std::string again;
             again.reserve(64);
             for (char c : hidden) again.push_back(static_cast<char>(c ^ kMask));
             assigned = std::move(again);
         },
         0},
        {"kept", [&](auto& kept) { kept.push_back(grown()); }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<SecretText> kept;
        kept.reserve(4);
        MemorySearch search;
        FreedBlockWatch watch(hidden, kMask);
        c.run(kept);
        search.keep();
        EXPECT_EQ(search.copies(hidden, kMask), c.copiesLeft);
        EXPECT_EQ(watch.blocksWithText(), 0);
    }
}
#endif  // __linux__

}  // namespace
