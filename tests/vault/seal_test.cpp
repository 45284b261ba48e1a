// The sealed data file and the key phrase check, on real files: sealing and unsealing
// keep the slot image byte for byte, a changed byte or a wrong phrase is refused with
// the file untouched, and a stop at any step leaves a file that opens.
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <sodium.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <thread>

#include "support.h"
#include "vault/entry.h"
#include "vault/ioerror.h"
#include "vault/keyphrase.h"
#include "vault/seal.h"
#include "vault/session.h"

using namespace vault;
using vaulttest::plainRecord;

namespace {

constexpr SealCost kCheap{1, 8192};

void putLe(std::string& at, std::size_t offset, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[offset + i] = static_cast<char>(value >> (8 * i));
}
unsigned char* bytesOf(std::string& s) { return reinterpret_cast<unsigned char*>(s.data()); }

// A file of the sealed format's first version, written from its layout: a 64-byte
// header, the image encrypted under Argon2id's output itself, the header as associated data.
std::string firstFormatFile(std::string image, const std::string& phrase, SealCost cost) {
    std::string file(kSealFirstHeaderBytes, '\0');
    file.replace(0, 9, "KFSEALED\x01");
    putLe(file, 12, cost.passes, 4);
    putLe(file, 16, cost.memoryBytes, 8);
    randombytes_buf(bytesOf(file) + 24, kSealSaltBytes + kSealNonceBytes);
    unsigned char key[32];
    EXPECT_EQ(crypto_pwhash(key, sizeof key, phrase.data(), phrase.size(), bytesOf(file) + 24, cost.passes,
                            cost.memoryBytes, crypto_pwhash_ALG_ARGON2ID13),
              0);
    std::string body(image.size() + kSealTagBytes, '\0');
    crypto_aead_xchacha20poly1305_ietf_encrypt(bytesOf(body), nullptr, bytesOf(image), image.size(), bytesOf(file),
                                               file.size(), nullptr, bytesOf(file) + 40, key);
    sodium_memzero(key, sizeof key);
    return file + body;
}

// A sealed file's header changed to ask for another cost; a version 2 header's checksum
// made to hold again, as a newer version's file would have it.
std::string askingFor(std::string file, std::uint32_t passes, std::uint64_t memory) {
    putLe(file, 12, passes, 4);
    putLe(file, 16, memory, 8);
    if (file[8] == 2) crypto_generichash(bytesOf(file) + 96, 16, bytesOf(file), 96, nullptr, 0);
    return file;
}

class SealTest : public vaulttest::VaultTest {
protected:
    void SetUp() override {
        VaultTest::SetUp();
        if (!sealingAvailable()) GTEST_SKIP() << "this build has no sealing";
    }
    std::string sealedPath() const { return dataFile() + kSealedFileEnding; }
    // A session as the program makes one, opened under phrase.
    std::unique_ptr<Session> opened(const std::string& phrase, PhraseCheck check = PhraseCheck::Required) {
        auto s = std::make_unique<Session>(paths);
        s->setSealCost(kCheap);
        EXPECT_EQ(s->openWithPhrase(phrase, {}, check), PhraseOutcome::Opened);
        return s;
    }
    // A file of entries stored by the program under phrase, then sealed.
    void makeSealedFile(const std::string& phrase, int entries) {
        testsupport::writeDataFile(dataFile(), testsupport::entriesDataFileBytes(
                                                   phrase, entries, [](int i) { return "SITE" + std::to_string(i); }));
        ASSERT_EQ(opened(phrase)->seal(), SealOutcome::Sealed);
    }
    // What a new start sees under phrase: opened, refused by the key check (or by the first
    // format's tag), or refused as damaged or made by a newer version. keysDerived counts
    // the keys it derived.
    int keysDerived = 0;
    std::string startWith(const std::string& phrase) {
        Session s(paths);
        s.setKeyWork([this](const std::function<void()>& work) {
            ++keysDerived;
            work();
        });
        try {
            switch (s.openWithPhrase(phrase)) {
            case PhraseOutcome::Opened: return "opened";
            case PhraseOutcome::SealedFileRefuses: return "refused";
            case PhraseOutcome::SealedFileRefusesOrDamaged: return "refused or damaged";
            case PhraseOutcome::NoAddressReads: return "no address";
            case PhraseOutcome::Mistyped: return "mistyped";
            }
        } catch (const DataFileProblem& p) {
            if (p.kind() == DataFileProblem::Kind::NewerVersion) return "newer";
            return p.kind() == DataFileProblem::Kind::Damaged ? "damaged" : "problem";
        } catch (const IoError&) {
            return "io error";
        }
        return "?";
    }
};

TEST_F(SealTest, SealingAndUnsealingKeepTheSlotImageByteForByte) {
    testsupport::writeDataFile(
        dataFile(), testsupport::entriesDataFileBytes("k", 500, [](int i) { return "N" + std::to_string(i); }));
    const std::string plain = vaulttest::readBytes(dataFile());
    EXPECT_EQ(opened("", PhraseCheck::Skipped)->seal(), SealOutcome::PhraseEmpty);  // would protect nothing
    auto s = opened("k");
    const std::vector<std::string> names = s->listNames();
    ASSERT_EQ(s->seal(), SealOutcome::Sealed);
    EXPECT_FALSE(fileExists(dataFile()));
    EXPECT_EQ(vaulttest::modeOf(sealedPath()), 0600u);
    EXPECT_EQ(s->seal(), SealOutcome::AlreadySealed);
    const std::string sealed = vaulttest::readBytes(sealedPath());
    EXPECT_EQ(sealed.size(), kSealHeaderBytes + plain.size() + kSealTagBytes);
    EXPECT_EQ(sealed.substr(0, 9), "KFSEALED\x02");
    EXPECT_EQ(sealed.find(plain.substr(0, 4000)), std::string::npos);

    // A new start opens it; every write seals the whole image anew, with a new nonce.
    auto again = opened("k");
    EXPECT_TRUE(again->isSealed());
    EXPECT_EQ(again->listNames(), names);
    ASSERT_EQ(again->add({"NEW", "new.example", "u", "pw", ""}).outcome, AddOutcome::Added);
    const std::string written = vaulttest::readBytes(sealedPath());
    EXPECT_EQ(written.substr(0, 40), sealed.substr(0, 40));  // same salt and cost
    EXPECT_NE(written.substr(40, 24), sealed.substr(40, 24));
    ASSERT_EQ(again->remove("NEW").outcome, ChangeOutcome::Deleted);

    ASSERT_EQ(again->unseal(), SealOutcome::Unsealed);
    EXPECT_FALSE(fileExists(sealedPath()));
    // Byte for byte but the slot the add used and the delete emptied ("D", not never used).
    const std::string back = vaulttest::readBytes(dataFile());
    ASSERT_EQ(back.size(), plain.size());
    EXPECT_EQ(back.substr(0, 500 * kSlotSize), plain.substr(0, 500 * kSlotSize));
    EXPECT_EQ(back.substr(501 * kSlotSize), plain.substr(501 * kSlotSize));
    EXPECT_EQ(back.substr(500 * kSlotSize, 2), "\1D");  // status length 1, "D"
    EXPECT_EQ(again->unseal(), SealOutcome::NotSealed);
    EXPECT_EQ(opened("k")->listNames(), names);
}

// A changed byte is told from a wrong phrase: the header's checksum or the image's tag
// fails under the right phrase's key check, and the file is called damaged (a changed
// version, made by a newer one); only another phrase fails the key check.
TEST_F(SealTest, EveryChangedByteIsRefusedAndTheFileStaysAsItWas) {
    makeSealedFile("k", 3);
    const std::string good = vaulttest::readBytes(sealedPath());
    std::vector<std::size_t> places;
    for (std::size_t i = 0; i < kSealHeaderBytes; ++i) places.push_back(i);
    for (std::size_t i : {kSealHeaderBytes, good.size() / 2, good.size() - kSealTagBytes, good.size() - 1})
        places.push_back(i);
    for (std::size_t at : places) {
        SCOPED_TRACE("byte " + std::to_string(at));
        std::string bad = good;
        bad[at] = static_cast<char>(bad[at] ^ 0x01);
        vaulttest::writeBytes(sealedPath(), bad);
        EXPECT_EQ(startWith("k"), at == 8 ? "newer" : "damaged");
        EXPECT_EQ(startWith("K"), at < kSealHeaderBytes ? startWith("k") : "refused");
        EXPECT_EQ(vaulttest::readBytes(sealedPath()), bad);
    }
    vaulttest::writeBytes(sealedPath(), good.substr(0, good.size() - 1));
    EXPECT_EQ(startWith("k"), "damaged");
    vaulttest::writeBytes(sealedPath(), good.substr(0, kSealHeaderBytes + kSealTagBytes - 1));
    EXPECT_EQ(startWith("k"), "damaged");

    // Changed while a session has it open: its next write refuses and writes nothing.
    vaulttest::writeBytes(sealedPath(), good);
    auto s = opened("k");
    std::string bad = good;
    bad[good.size() / 2] ^= 0x01;
    vaulttest::writeBytes(sealedPath(), bad);
    EXPECT_THROW((void)s->add({"X", "x.example", "", "pw", ""}), DataFileProblem);
    EXPECT_EQ(vaulttest::readBytes(sealedPath()), bad);
}

// A new data file is the sealed file, made straight from memory (no plain file is
// written, not even for a moment), unless the settings file or the caller asks for a
// plain one or the phrase is empty; an existing file of either kind is kept as it is.
TEST_F(SealTest, ANewDataFileIsSealedUnlessAPlainOneIsAskedFor) {
    const struct {
        const char* settings;  // SG_2.ini's text; nullptr: no settings file
        const char* phrase;
        NewFileKind kind;
        bool sealed;
    } cases[] = {
        {nullptr, "k", NewFileKind::Sealed, true},
        {"[DataFile]\nSealNewFile=0\n", "k", NewFileKind::Sealed, false},
        {"[datafile]\nsealnewfile = 0\n", "k", NewFileKind::Sealed, false},
        {"[DataFile]\nSealNewFile=1\n", "k", NewFileKind::Sealed, true},
        {"[DataFile]\nSealNewFile=no\n", "k", NewFileKind::Sealed, true},  // only 0 asks for a plain one
        {"[Clipboard]\nSealNewFile=0\n", "k", NewFileKind::Sealed, true},  // another section's key
        {nullptr, "k", NewFileKind::Plain, false},
        {nullptr, "", NewFileKind::Sealed, false},  // the empty phrase cannot seal
    };
    for (const auto& c : cases) {
        const std::string label = std::string(c.settings ? c.settings : "(none)") + " phrase " + c.phrase;
        std::remove(dataFile().c_str());
        std::remove(sealedPath().c_str());
        std::remove(paths.settingsFile.c_str());
        if (c.settings) vaulttest::writeBytes(paths.settingsFile, c.settings);
        Session s(paths);
        s.setSealCost(kCheap);
        s.setKeyPhrase(c.phrase);
        // The one file written: the first rename puts the plain file in place or the sealed one.
        bool plainFirst = false;
        vault::testing::beforeNextCall(vault::testing::Op::Rename,
                                       [&] { plainFirst = fileExists(tempNameFor(dataFile())); });
        ASSERT_EQ(s.createDataFile(c.kind == NewFileKind::Plain ? c.kind : s.newFileKind()), CreateOutcome::Created)
            << label;
        EXPECT_EQ(plainFirst, !c.sealed) << label;
        EXPECT_EQ(s.isSealed(), c.sealed) << label;
        EXPECT_EQ(fileExists(sealedPath()), c.sealed) << label;
        EXPECT_EQ(fileExists(dataFile()), !c.sealed) << label;
        const std::string made = vaulttest::readBytes(c.sealed ? sealedPath() : dataFile());
        EXPECT_EQ(vaulttest::modeOf(c.sealed ? sealedPath() : dataFile()), 0600u) << label;
        const std::size_t image = 1000 * kSlotSize;
        EXPECT_EQ(made.size(), c.sealed ? kSealHeaderBytes + image + kSealTagBytes : image) << label;
        if (!c.sealed) {
            EXPECT_EQ(made, std::string(image, '\0')) << label;
            continue;
        }
        // The session goes on with the file it made; a new start needs the phrase.
        ASSERT_EQ(s.add({"MAIL", "mail.example", "ann", "pw", ""}).outcome, AddOutcome::Added);
        EXPECT_EQ(startWith("K"), "refused");
        EXPECT_EQ(opened(c.phrase)->listNames(), std::vector<std::string>{"MAIL"});
        EXPECT_EQ(s.createDataFile(NewFileKind::Sealed), CreateOutcome::AlreadyThere);
    }
    // A plain file that is there stays plain, whatever a new file would be.
    std::remove(paths.settingsFile.c_str());
    std::remove(sealedPath().c_str());
    makeDataFile({}, 10, "k");
    const std::string plain = vaulttest::readBytes(dataFile());
    auto s = opened("k");
    EXPECT_EQ(s->createDataFile(s->newFileKind()), CreateOutcome::AlreadyThere);
    EXPECT_FALSE(s->isSealed());
    EXPECT_FALSE(fileExists(sealedPath()));
    EXPECT_EQ(vaulttest::readBytes(dataFile()), plain);
}

// A wrong phrase is caught before anything is read or written: on a sealed file by its
// tag, on a plain file by its addresses. No file the program writes is refused under
// its own phrase, and a random wrong phrase passes the address check of a one-entry
// file less often than once in a million tries (none in three million here).
TEST_F(SealTest, AWrongPhraseIsCaughtOnBothKinds) {
    const std::string phrases[] = {"", "k", "purple tiger coffee bridge", "\xe9t\xe9 ~ 32", std::string(255, '~')};
    const std::string addresses[] = {"x", "https://y.example", "see http://z", "HTTP://UP.EXAMPLE"};
    for (const std::string& phrase : phrases) {
        std::remove(dataFile().c_str());
        Session writer(paths);
        ASSERT_EQ(writer.createDataFile(NewFileKind::Plain), CreateOutcome::Created);
        writer.setKeyPhrase(phrase);
        for (const std::string& address : addresses)
            ASSERT_EQ(writer.add({"N" + address, address, "u", "pw", ""}).outcome, AddOutcome::Added);
        EXPECT_EQ(startWith(phrase), "opened") << phrase;
        // (A typo that keeps the phrase characters falling on "http://" is not caught.)
        EXPECT_EQ(startWith(phrase == "Wrong!" ? "Other" : "Wrong!"), "no address");
    }
    // The test fixtures' files open too; a file with no entry has nothing to tell by.
    testsupport::writeDataFile(dataFile(),
                               testsupport::fullDataFileBytes("k", [](int i) { return std::to_string(i); }));
    EXPECT_EQ(startWith("k"), "opened");
    makeDataFile({}, 10, "k");
    EXPECT_EQ(startWith("wrong"), "opened");

    // Entries without a scheme (a file converted from the legacy format): only unchecked.
    makeDataFile({plainRecord("A", "OLD", "old.example")}, 10, "k");
    EXPECT_EQ(startWith("k"), "no address");
    EXPECT_TRUE(opened("k", PhraseCheck::Skipped)->find("OLD").has_value());

    // The rate: random phrases against one stored address.
    const Cipher right("purple tiger coffee bridge");
    const std::string stored = right.encipherText("https://www.bank.example/login");
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    int accepted = 0;
    constexpr int kTries = 3'000'000;
    std::string wrong;
    for (int i = 0; i < kTries; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        wrong.assign(1 + (state >> 59), ' ');
        for (char& c : wrong) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            c = static_cast<char>(33 + (state >> 33) % 94);
        }
        if (!addressNeedsScheme(Cipher(wrong).decipherText(stored))) ++accepted;
    }
    EXPECT_EQ(accepted, 0);

    // On a sealed file the tag decides, and a re-key from a wrong phrase is refused.
    makeSealedFile("k", 2);
    const std::string sealed = vaulttest::readBytes(sealedPath());
    EXPECT_EQ(startWith("K"), "refused");
    Session s(paths);
    EXPECT_EQ(s.rekey("K", "new", [](const std::string&) { return true; }), RekeyOutcome::OldPhraseWrong);
    EXPECT_EQ(vaulttest::readBytes(sealedPath()), sealed);
    // The right one re-seals it under the new phrase, with a new salt.
    s.setSealCost(kCheap);
    EXPECT_EQ(s.rekey("k", "new", [](const std::string&) { return true; }), RekeyOutcome::Completed);
    EXPECT_NE(vaulttest::readBytes(sealedPath()).substr(24, 16), sealed.substr(24, 16));
    EXPECT_EQ(startWith("k"), "refused");
    EXPECT_EQ(opened("new")->listNames().size(), 2u);
}

// A header may ask for at most twice the default cost. Beyond that (or in a later
// version) the file is refused as made by a newer version before any key is derived;
// below Argon2id's least cost, as damaged. Either way the file stays as it was.
TEST_F(SealTest, AHeaderBeyondTheLimitsIsRefusedBeforeAnyKeyIsDerived) {
    makeSealedFile("k", 2);
    const std::string second = vaulttest::readBytes(sealedPath());
    const std::string first = firstFormatFile(
        testsupport::entriesDataFileBytes("k", 2, [](int i) { return "S" + std::to_string(i); }), "k", kCheap);
    const SealCost most = kMaxSealCost;
    EXPECT_EQ(most, (SealCost{14, 256ull << 20}));
    std::string later = second;
    later[8] = 3;
    const struct {
        std::string file;
        const char* seen;
    } cases[] = {
        {askingFor(second, most.passes + 1, most.memoryBytes), "newer"},
        {askingFor(second, most.passes, most.memoryBytes + 1), "newer"},
        {askingFor(second, 64, 1ull << 30), "newer"},  // what the first release still took
        {askingFor(second, 0xFFFFFFFFu, ~0ull), "newer"},
        {askingFor(first, 64, 1ull << 30), "newer"},
        {askingFor(first, most.passes + 1, 8192), "newer"},
        {later, "newer"},
        {askingFor(second, 0, 8192), "damaged"},
        {askingFor(second, 1, 8191), "damaged"},
        {askingFor(first, 1, 8191), "damaged"},
        {second, "opened"},
        {first, "opened"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases));
        vaulttest::writeBytes(sealedPath(), c.file);
        keysDerived = 0;
        EXPECT_EQ(startWith("k"), c.seen);
        EXPECT_EQ(keysDerived, std::string(c.seen) == "opened" ? 1 : 0);
        EXPECT_EQ(vaulttest::readBytes(sealedPath()), c.file);
    }
    // The most a header may ask for is still read (not opened here: it takes seconds).
    SealHeader header;
    const std::string atMost = askingFor(second, most.passes, most.memoryBytes);
    EXPECT_EQ(readSealHeader(reinterpret_cast<const unsigned char*>(atMost.data()), atMost.size(), header),
              SealHeaderState::Readable);
    EXPECT_EQ(header.cost, most);
}

// A file of the first sealed format still opens; it has no key check, so a wrong phrase
// and a damaged image are one refusal there. Its first write, a re-key or a seal after an
// unseal writes the second format, under the same salt until the phrase changes.
TEST_F(SealTest, TheFirstFormatIsStillReadAndWrittenAnewInTheSecond) {
    const std::string image = testsupport::entriesDataFileBytes("k", 3, [](int i) { return "S" + std::to_string(i); });
    const std::string first = firstFormatFile(image, "k", kCheap);
    vaulttest::writeBytes(sealedPath(), first);
    EXPECT_EQ(startWith("k"), "opened");
    EXPECT_EQ(startWith("K"), "refused or damaged");
    std::string bad = first;
    bad[first.size() / 2] ^= 0x01;
    vaulttest::writeBytes(sealedPath(), bad);
    EXPECT_EQ(startWith("k"), "refused or damaged");
    EXPECT_EQ(vaulttest::readBytes(sealedPath()), bad);

    vaulttest::writeBytes(sealedPath(), first);
    auto s = opened("k");
    EXPECT_EQ(s->listNames().size(), 3u);
    ASSERT_EQ(s->add({"NEW", "new.example", "u", "pw", ""}).outcome, AddOutcome::Added);
    const std::string written = vaulttest::readBytes(sealedPath());
    EXPECT_EQ(written.substr(0, 9), "KFSEALED\x02");
    EXPECT_EQ(written.size(), kSealHeaderBytes + image.size() + kSealTagBytes);
    EXPECT_EQ(written.substr(12, 28), first.substr(12, 28));  // the same cost and salt
    ASSERT_EQ(s->add({"MORE", "more.example", "u", "pw", ""}).outcome, AddOutcome::Added);
    EXPECT_EQ(startWith("K"), "refused");
    EXPECT_EQ(opened("k")->listNames().size(), 5u);

    // A re-key of the first format, and its unseal, keep every entry.
    vaulttest::writeBytes(sealedPath(), first);
    Session r(paths);
    r.setSealCost(kCheap);
    EXPECT_EQ(r.rekey("k", "new", [](const std::string&) { return true; }), RekeyOutcome::Completed);
    EXPECT_EQ(vaulttest::readBytes(sealedPath())[8], 2);
    EXPECT_EQ(opened("new")->listNames().size(), 3u);
    vaulttest::writeBytes(sealedPath(), first);
    ASSERT_EQ(opened("k")->unseal(), SealOutcome::Unsealed);
    EXPECT_EQ(vaulttest::readBytes(dataFile()), image);
}

// The phrase as every caller takes it: trimmed, refused rather than changed.
TEST_F(SealTest, KeyPhrasesAreTrimmedOrRefusedNeverChanged) {
    const struct {
        std::string typed;
        PhraseProblem problem;
        std::string text;
    } cases[] = {
        {"  alpha beta \t", PhraseProblem::None, "alpha beta"},
        {"caf\xc3\xa9 \xe2\x82\xac", PhraseProblem::None, "caf\xe9 \x80"},
        {"\xd0\xbf\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c", PhraseProblem::NotWindows1252, ""},
        {"ab\xff", PhraseProblem::NotWindows1252, ""},
        {std::string("ab\0cd", 5), PhraseProblem::ZeroByte, ""},
        {std::string(256, 'x'), PhraseProblem::TooLong, ""},
        {" " + std::string(255, 'x') + " ", PhraseProblem::None, std::string(255, 'x')},
        // Control characters: trimmed at the ends as ever, refused anywhere inside.
        {"\r\nab cd\t\r\n", PhraseProblem::None, "ab cd"},
        {"ab\r\ncd", PhraseProblem::ControlCharacter, ""},
        {"ab\tcd", PhraseProblem::ControlCharacter, ""},
        {"ab\x1f"
         "cd",
         PhraseProblem::ControlCharacter, ""},
        {"abcd\x7f", PhraseProblem::ControlCharacter, ""},  // 127 is no blank: never trimmed
    };
    for (const auto& c : cases) {
        const KeyPhraseText p = keyPhraseFromUtf8(c.typed);
        EXPECT_EQ(p.problem, c.problem) << c.typed;
        EXPECT_EQ(p.text, c.text);
    }
    EXPECT_EQ(describeCharacters(keyPhraseFromUtf8("\xd0\xbf\xd0\xbf\xd0\xb0").missing),
              "\"\xd0\xbf\" (U+043F), \"\xd0\xb0\" (U+0430)");
}

// A phrase typed again is the one in force only when every character and the length agree.
TEST_F(SealTest, PhraseTypedAgainMustBeTheOneInForce) {
    const std::string longest(255, 'x');
    const struct {
        std::string a, b;
        bool same;
    } cases[] = {
        {"purple tiger", "purple tiger", true},
        {"purple tiger", "purple tigeR", false},
        {"purple tiger", "purple tige", false},
        {"", "", true},
        {"", "x", false},
        {longest, longest, true},
        {longest, longest.substr(1) + "y", false},
        {longest + "x", longest + "x", false},  // no phrase is that long
    };
    for (const auto& c : cases) EXPECT_EQ(samePhrase(c.a, c.b), c.same) << c.a << " / " << c.b;
    Session s(paths);
    s.setKeyPhrase("purple tiger");
    EXPECT_TRUE(s.isKeyPhraseInForce("purple tiger"));
    EXPECT_FALSE(s.isKeyPhraseInForce("purple tigex"));
    EXPECT_FALSE(s.isKeyPhraseInForce(""));
}

// With both files there, neither seal nor unseal writes anything: the file in use stays,
// and the other one, which may hold entries the file in use lacks, is left as it was
// until the user moves it. The check is made again under the writers' lock, for a file
// another copy makes meanwhile.
TEST_F(SealTest, NeitherSealNorUnsealReplacesAFileOfTheOtherKind) {
    makeSealedFile("k", 2);
    testsupport::writeDataFile(
        dataFile(), testsupport::entriesDataFileBytes("k", 3, [](int i) { return "OLDER" + std::to_string(i); }));
    const std::string plain = vaulttest::readBytes(dataFile());
    const std::string sealed = vaulttest::readBytes(sealedPath());
    auto expectBothAsBefore = [&] {
        EXPECT_EQ(vaulttest::readBytes(dataFile()), plain);
        EXPECT_EQ(vaulttest::readBytes(sealedPath()), sealed);
    };
    // Another copy holds the lock while the command starts, makes the file and lets go.
    auto whileOtherCopyMakes = [&](const std::string& path, const std::string& bytes, const auto& command) {
        std::remove(path.c_str());
        FileLock other;
        EXPECT_TRUE(other.acquire(dataFile(), 1000));
        SealOutcome outcome{};
        std::thread waiting([&] { outcome = command(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        vaulttest::writeBytes(path, bytes);
        other.release();
        waiting.join();
        return outcome;
    };

    auto s = opened("k");  // the sealed file is used
    ASSERT_TRUE(s->isSealed());
    EXPECT_EQ(s->unseal(), SealOutcome::OtherFileThere);
    expectBothAsBefore();
    EXPECT_EQ(whileOtherCopyMakes(dataFile(), plain, [&] { return s->unseal(); }), SealOutcome::OtherFileThere);
    expectBothAsBefore();
    EXPECT_EQ(s->seal(), SealOutcome::AlreadySealed);
    expectBothAsBefore();
    EXPECT_TRUE(s->isSealed());
    EXPECT_EQ(s->listNames(), (std::vector<std::string>{"SITE0", "SITE1"}));

    // The plain file in use, a sealed one beside it (another copy sealed, or a copy put there).
    std::remove(sealedPath().c_str());
    auto p = opened("k");
    ASSERT_FALSE(p->isSealed());
    vaulttest::writeBytes(sealedPath(), sealed);
    EXPECT_EQ(p->seal(), SealOutcome::OtherFileThere);
    expectBothAsBefore();
    EXPECT_EQ(whileOtherCopyMakes(sealedPath(), sealed, [&] { return p->seal(); }), SealOutcome::OtherFileThere);
    expectBothAsBefore();
    EXPECT_FALSE(p->isSealed());

    // Once the user has moved the other file away, each goes on.
    std::remove(dataFile().c_str());
    auto again = opened("k");
    ASSERT_EQ(again->unseal(), SealOutcome::Unsealed);
    EXPECT_EQ(again->listNames(), (std::vector<std::string>{"SITE0", "SITE1"}));
    ASSERT_EQ(again->seal(), SealOutcome::Sealed);
    EXPECT_FALSE(fileExists(dataFile()));
}

// A stop (kill -9) at every file call of sealing and of unsealing leaves at least one
// file that opens under the phrase with every entry, never none.
TEST_F(SealTest, AStopAtEveryStepLeavesAFileThatOpens) {
    for (bool sealing : {true, false}) {
        bool finished = false;
        for (int n = 1; n <= 60 && !finished; ++n) {
            SCOPED_TRACE((sealing ? "seal, stop at call " : "unseal, stop at call ") + std::to_string(n));
            std::remove(sealedPath().c_str());
            makeDataFile({plainRecord("A", "MAIL", "http://mail.example", "u", "c", "pw")}, 10, "k");
            if (!sealing) {
                ASSERT_EQ(opened("k")->seal(), SealOutcome::Sealed);
            }
            auto s = opened("k");
            const pid_t pid = ::fork();
            if (pid == 0) {
                int calls = 0;
                std::function<void()> stopAtN = [&] {
                    if (++calls == n) ::raise(SIGKILL);
                    vault::testing::beforeNextCall(vault::testing::Op::Any, stopAtN);
                };
                vault::testing::beforeNextCall(vault::testing::Op::Any, stopAtN);
                const SealOutcome o = sealing ? s->seal() : s->unseal();
                ::_exit(o == (sealing ? SealOutcome::Sealed : SealOutcome::Unsealed) ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            finished = WIFEXITED(status);
            if (finished) {
                EXPECT_EQ(WEXITSTATUS(status), 0);
            }
            startAfresh();  // a leftover temporary file goes at the next start
            ASSERT_TRUE(fileExists(dataFile()) || fileExists(sealedPath()));
            const auto after = opened("k");
            ASSERT_TRUE(after->find("MAIL").has_value());
            EXPECT_EQ(after->find("MAIL")->password, "pw");
            // Both left: the sealed file is used, and the plain one stays until the user moves it.
            if (fileExists(dataFile()) && fileExists(sealedPath())) {
                const std::string left = vaulttest::readBytes(dataFile());
                EXPECT_EQ(after->unseal(), SealOutcome::OtherFileThere);
                EXPECT_EQ(vaulttest::readBytes(dataFile()), left);
            }
        }
        EXPECT_TRUE(finished) << "more steps than tried";
    }
}

}  // namespace
#endif  // _WIN32
