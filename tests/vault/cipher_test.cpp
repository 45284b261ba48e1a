#include <cstdint>
#include <fstream>
#include <random>

#include "support.h"
#include "vault/seal.h"
#include "vault/windows1252.h"
#include "vault/text.h"

using namespace vault;
using vaulttest::VaultTest;

namespace {

class CipherTest : public VaultTest {};

TEST_F(CipherTest, HandComputedVectors) {
    // Phrase "ab" (a = 97, b = 98), offsets cycling 3, 1, 8, 7; text trimmed to "AB C~".
    //   pos 0 'A' 65: k 97 + d 3 = 100; 33 + (32 + 100) mod 94 = 33 + 38 = 71 'G'
    //   pos 1 'B' 66: k 98 + d 1 =  99; 33 + (33 +  99) mod 94 = 33 + 38 = 71 'G'
    //   pos 2 ' '   : unchanged, but uses up key 'a' and offset 8
    //   pos 3 'C' 67: k 98 + d 7 = 105; 33 + (34 + 105) mod 94 = 33 + 45 = 78 'N'
    //   pos 4 '~' 126: k 97 + d 3 (the cycle restarts) = 100; 33 + (93 + 100) mod 94 = 38 '&'
    cipher.setPhrase("ab");
    EXPECT_EQ(cipher.encipherText("  AB C~\t"), "GG N&");
    EXPECT_EQ(cipher.decipherText("GG N&"), "AB C~");

    // Phrase "abc": the fourth character uses 'a' again with offset 7.
    //   '!' 33 each: +100 -> 39 '\'', +99 -> 38 '&', +107 -> 46 '.', +104 -> 43 '+', +101 -> 40 '('
    cipher.setPhrase("abc");
    EXPECT_EQ(cipher.encipherText("!!!!!"), "'&.+(");

    // Key characters are unsigned: 0xE9 = 233. '!' + 236 mod 94 (48) = 'Q'; '!' + 234 mod 94 (46) = 'O'.
    cipher.setPhrase("\xE9");
    EXPECT_EQ(cipher.encipherText("!!"), "QO");

    // Control and high characters pass through but take their key position and offset:
    // pos 3 'B' 66 uses k 98 + d 7 = 105: 33 + (33 + 105) mod 94 = 77 'M'.
    cipher.setPhrase("ab");
    EXPECT_EQ(cipher.encipherText("A\1\377B"), "G\1\377M");  // \1 = 0x01, \377 = 0xFF
}

TEST_F(CipherTest, EmptyPhraseAndBlankTexts) {
    cipher.setPhrase("");
    EXPECT_EQ(cipher.encipherText("  x \t"), "  x \t");
    EXPECT_EQ(cipher.decipherText("\x01 y "), "\x01 y ");

    cipher.setPhrase("key");
    EXPECT_EQ(cipher.encipherText("   \t\r\n"), "");
    EXPECT_EQ(cipher.encipherText(""), "");
}

TEST_F(CipherTest, RoundTripOfEveryByteForRandomPhrases) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 200; ++round) {
        std::string phrase(1 + rng() % 255, '\0');
        for (char& c : phrase) c = static_cast<char>(1 + rng() % 255);
        cipher.setPhrase(phrase);
        ASSERT_EQ(cipher.phrase(), phrase);
        // Every byte value, in random order and cut into texts of at most 255.
        std::string all(256, '\0');
        for (int i = 0; i < 256; ++i) all[i] = static_cast<char>(i);
        std::shuffle(all.begin(), all.end(), rng);
        for (std::size_t at = 0; at < all.size(); at += 255) {
            std::string text = trim(all.substr(at, 255));
            std::string enc = cipher.encipherText(text);
            ASSERT_EQ(enc.size(), text.size());
            for (std::size_t i = 0; i < text.size(); ++i) {
                unsigned char p = static_cast<unsigned char>(text[i]), e = static_cast<unsigned char>(enc[i]);
                if (p >= 33 && p <= 126)
                    ASSERT_TRUE(e >= 33 && e <= 126);
                else
                    ASSERT_EQ(e, p);
            }
            ASSERT_EQ(cipher.decipherText(enc), text);
        }
    }
}

TEST_F(CipherTest, PhraseBufferIsCutAndZeroed) {
    cipher.setPhrase(std::string(300, 'k'));
    const KeyPhraseBuffer& b = cipher.state();
    EXPECT_EQ(b.length, 255u);
    EXPECT_EQ(b.text[254], 'k');
    EXPECT_EQ(b.text[255], 0);

    cipher.setPhrase("xy");
    EXPECT_EQ(b.length, 2u);
    for (int i = 2; i < 256; ++i) ASSERT_EQ(b.text[i], 0) << i;
    EXPECT_EQ(cipher.phrase(), "xy");

    // Past 255 characters of text the key and the offsets keep cycling.
    cipher.setPhrase("abc");
    std::string longText(400, '!');
    EXPECT_EQ(cipher.decipherText(cipher.encipherText(longText)), longText);
    EXPECT_EQ(cipher.encipherText(longText).substr(300, 5), cipher.encipherText("!!!!!"));  // 300 = 3 * 4 * 25
}

// A copy is a cipher of its own; a move hands the phrase over and leaves the empty
// phrase; a phrase set anew from its own text stays whole. The phrase lies in guarded
// memory: a page no one may touch follows it.
TEST_F(CipherTest, CopiesMovesAndForgetting) {
    const std::string sample = "Bank ~ https://bank.example/login";
    Cipher first("purple tiger");
    const std::string enciphered = first.encipherText(sample);
    Cipher copy(first);
    Cipher assigned("other");
    assigned = first;
    first.setPhrase("changed");
    for (const Cipher* c : {&copy, &assigned}) {
        EXPECT_EQ(c->phrase(), "purple tiger");
        EXPECT_EQ(c->encipherText(sample), enciphered);
    }
    EXPECT_NE(copy.phrase().data(), first.phrase().data());
    assigned = assigned;  // NOLINT: assigning a cipher to itself keeps it
    EXPECT_EQ(assigned.encipherText(sample), enciphered);

    Cipher moved(std::move(copy));
    EXPECT_EQ(moved.encipherText(sample), enciphered);
    EXPECT_TRUE(copy.phrase().empty());  // NOLINT: moved from is the empty phrase
    EXPECT_EQ(copy.encipherText(sample), sample);
    Cipher empty;
    assigned = empty;
    EXPECT_TRUE(assigned.phrase().empty());
    EXPECT_EQ(assigned.encipherText(sample), sample);
    assigned = std::move(moved);
    EXPECT_EQ(assigned.encipherText(sample), enciphered);

    assigned.setPhrase(assigned.phrase().substr(0, 6));  // "purple", from its own text
    EXPECT_EQ(assigned.phrase(), "purple");
    EXPECT_EQ(assigned.encipherText(sample), Cipher("purple").encipherText(sample));
    assigned.forget();
    EXPECT_TRUE(assigned.phrase().empty());
    EXPECT_EQ(assigned.state().length, 0u);
    EXPECT_EQ(assigned.encipherText(sample), sample);

#ifdef __linux__
    if (!sealingAvailable()) return;
    // /proc/self/maps: the mapping that holds the phrase, and the one right after it.
    const auto at = reinterpret_cast<std::uintptr_t>(first.phrase().data());
    std::ifstream maps("/proc/self/maps");
    std::string line, holding, after;
    std::uintptr_t holdingEnd = 0;
    while (std::getline(maps, line)) {
        const std::uintptr_t from = std::stoull(line.substr(0, line.find('-')), nullptr, 16);
        const std::uintptr_t to = std::stoull(line.substr(line.find('-') + 1), nullptr, 16);
        if (holdingEnd != 0 && from == holdingEnd) after = line;
        if (from <= at && at < to) {
            holding = line;
            holdingEnd = to;
        }
    }
    EXPECT_EQ(holding.find("[heap]"), std::string::npos) << holding;
    EXPECT_NE(after.find(" ---p "), std::string::npos) << "no guard page after " << holding;
#endif
}

TEST_F(CipherTest, RecordRoutineTrimsCutsAndZeroes) {
    SiteRecord r{};
    std::memset(&r, 0xAA, sizeof r);
    r.status.assign("U");
    r.name.assign("  Bank  ");
    r.website.assign("\thttp://bank.example/ ");
    r.userId.assign("me");
    r.comments.assign("");
    r.password.assign(" 1234567890123456789012345");  // 26 given: assign keeps 25 with the blank first
    for (char& c : r.reserved1.chars) c = 'r';
    r.reserved1.length = 3;
    r.reserved2.length = 9;
    // Bytes behind the text hold leftovers.
    r.name.chars[200] = 'z';

    // Without a phrase: every field trimmed, nothing shifted, Status untouched.
    cipher.setPhrase("");
    record = r;
    cipher.encipher(record);
    EXPECT_EQ(record.status.str(), "U");
    EXPECT_EQ(record.name.str(), "Bank");
    EXPECT_EQ(record.website.str(), "http://bank.example/");
    EXPECT_EQ(record.password.str(), "123456789012345678901234");
    EXPECT_EQ(record.reserved1.length, 0);
    EXPECT_EQ(record.reserved2.length, 0);

    // With a phrase: each field the cipher of its trimmed text, zeros behind it.
    cipher.setPhrase("Secret phrase");
    record = r;
    cipher.encipher(record);
    EXPECT_EQ(record.status.str(), "U");
    EXPECT_EQ(record.name.str(), cipher.encipherText("Bank"));
    EXPECT_EQ(record.website.str(), cipher.encipherText("http://bank.example/"));
    EXPECT_EQ(record.userId.str(), cipher.encipherText("me"));
    EXPECT_EQ(record.comments.length, 0);
    EXPECT_EQ(record.password.str(), cipher.encipherText("123456789012345678901234"));
    auto zerosBehind = [&](const char* chars, std::size_t len, std::size_t max) {
        for (std::size_t i = len; i < max; ++i)
            if (chars[i] != 0) return false;
        return true;
    };
    EXPECT_TRUE(zerosBehind(record.name.chars, record.name.length, 255));
    EXPECT_TRUE(zerosBehind(record.website.chars, record.website.length, 255));
    EXPECT_TRUE(zerosBehind(record.userId.chars, record.userId.length, 255));
    EXPECT_TRUE(zerosBehind(record.comments.chars, 0, 255));
    EXPECT_TRUE(zerosBehind(record.password.chars, record.password.length, 25));
    EXPECT_TRUE(zerosBehind(record.reserved1.chars, 0, 25));

    // A 25-character password stays 25 characters and comes back.
    record = vaulttest::plainRecord("A", "Bank", "", "", "", "abcdefghijklmnopqrstuvwxy");
    cipher.encipher(record);
    EXPECT_EQ(record.password.length, 25);
    cipher.decipher(record);
    EXPECT_EQ(record.password.str(), "abcdefghijklmnopqrstuvwxy");
    EXPECT_EQ(record.name.str(), "Bank");
}

}  // namespace

namespace {

// The file's Windows-1252 text and UTF-8 (the command line's edge): every byte goes
// there and back; what Windows-1252 cannot hold, and broken UTF-8, becomes "?".
TEST(Windows1252Text, EveryByteRoundTripsAndTheRestBecomesQuestionMarks) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(vault::windows1252FromUtf8(vault::utf8FromWindows1252(all)), all);
    EXPECT_EQ(vault::utf8FromWindows1252("\x80\x9F\xE9"), "\xE2\x82\xAC\xC5\xB8\xC3\xA9");
    EXPECT_EQ(vault::windows1252FromUtf8("caf\xC3\xA9 \xE2\x98\x83 \xF0\x9F\x94\x91"), "caf\xE9 ? ?");
    // Truncated, overlong, stray continuation and surrogate forms.
    EXPECT_EQ(vault::windows1252FromUtf8("a\xC3"), "a?");
    EXPECT_EQ(vault::windows1252FromUtf8("\xC0\xAF\x80"), "???");
    EXPECT_EQ(vault::windows1252FromUtf8("\xED\xA0\x80z"), "???z");
}

// The exact conversion refuses instead, naming the first character it lacks.
TEST(Windows1252Text, ExactConversionNamesWhatItLacks) {
    const struct {
        const char* utf8;
        const char* windows1252;
        char32_t lacking;
        bool wellFormed;
    } cases[] = {
        {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80", 0, true}, {"\xD0\x9F\xD0\xBE", nullptr, U'\u041F', true},
        {"ok \xF0\x9F\x98\x80", nullptr, U'\U0001F600', true}, {"a\xC3", nullptr, U'\uFFFD', false},
        {"\xED\xA0\x80", nullptr, U'\uFFFD', false},           {"Caf\xE9", nullptr, U'\uFFFD', false},
    };
    for (const auto& c : cases) {
        char32_t lacking = 0;
        const std::optional<std::string> got = vault::windows1252FromUtf8Exactly(c.utf8, &lacking);
        EXPECT_EQ(got.has_value(), c.windows1252 != nullptr) << c.utf8;
        if (c.windows1252) {
            EXPECT_EQ(*got, c.windows1252);
        }
        EXPECT_EQ(lacking, c.lacking) << c.utf8;
        EXPECT_EQ(vault::isUtf8(c.utf8), c.wellFormed) << c.utf8;
    }
}

}  // namespace
