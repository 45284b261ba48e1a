// The sealed data file and the key phrase check, on real files: sealing and unsealing
// keep the slot image byte for byte, a changed byte or a wrong phrase is refused with
// the file untouched, and a stop at any step leaves a file that opens.
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

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
    // What a new start sees under phrase: opened, refused by the tag, or refused as damaged.
    std::string startWith(const std::string& phrase) {
        Session s(paths);
        try {
            switch (s.openWithPhrase(phrase)) {
            case PhraseOutcome::Opened: return "opened";
            case PhraseOutcome::SealedFileRefuses: return "refused";
            case PhraseOutcome::NoAddressReads: return "no address";
            }
        } catch (const DataFileProblem& p) {
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
        const std::string seen = startWith("k");
        EXPECT_TRUE(seen == "refused" || seen == "damaged") << seen;
        EXPECT_EQ(vaulttest::readBytes(sealedPath()), bad);
    }
    vaulttest::writeBytes(sealedPath(), good.substr(0, good.size() - 1));
    EXPECT_EQ(startWith("k"), "refused");

    // Changed while a session has it open: its next write refuses and writes nothing.
    vaulttest::writeBytes(sealedPath(), good);
    auto s = opened("k");
    std::string bad = good;
    bad[good.size() / 2] ^= 0x01;
    vaulttest::writeBytes(sealedPath(), bad);
    EXPECT_THROW((void)s->add({"X", "x.example", "", "pw", ""}), DataFileProblem);
    EXPECT_EQ(vaulttest::readBytes(sealedPath()), bad);
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
        ASSERT_EQ(writer.createDataFile(), CreateOutcome::Created);
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
    };
    for (const auto& c : cases) {
        const KeyPhraseText p = keyPhraseFromUtf8(c.typed);
        EXPECT_EQ(p.problem, c.problem) << c.typed;
        EXPECT_EQ(p.text, c.text);
    }
    EXPECT_EQ(describeCharacters(keyPhraseFromUtf8("\xd0\xbf\xd0\xbf\xd0\xb0").missing),
              "\"\xd0\xbf\" (U+043F), \"\xd0\xb0\" (U+0430)");
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
