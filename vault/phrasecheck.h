// Whether a plain data file's texts read, under a key phrase, as the program stores them.
//
// The cipher shifts the character at text position i by the phrase's character at
// i mod length (plus an offset): a phrase with one character mistyped deciphers every
// character at the positions that character serves shifted by one constant amount, and
// leaves the rest right. The same letter statistics that break the cipher tell such a
// position apart: the characters a position deciphers to (names in capitals, addresses
// and user IDs mostly in small letters, comments as written text) read far more likely
// under the shift 0 than under any other when the phrase is right, and under the shift
// the typo made when it is not. Passwords carry no such statistics and are left out.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "vault/cipher.h"
#include "vault/record.h"

namespace vault {

class PhraseEvidence {
public:
    // A phrase of this many characters (1..255).
    explicit PhraseEvidence(std::size_t phraseLength);
    // The counts tell something of the texts: overwritten when they go.
    ~PhraseEvidence();
    PhraseEvidence(const PhraseEvidence&) = delete;
    PhraseEvidence& operator=(const PhraseEvidence&) = delete;

    // An entry's texts as deciphered under the phrase.
    void add(const SiteRecord& deciphered);

    // How much better the texts would read, in natural log-likelihood, if the
    // characters of one phrase position were shifted by some other amount: the largest
    // such gain over every position and shift. Below zero when the phrase reads best
    // everywhere.
    double strongestDoubt() const;
    // Whether some position of the phrase reads so much better under another shift that
    // the phrase is not the file's (a typo).
    bool mistyped() const { return strongestDoubt() > kDoubtLimit; }

    // Above this gain a phrase is taken as mistyped. Chosen over files made by the
    // program (tests/vault/phrasecheck_test.cpp states the rates it gives): none of
    // 10,000 such files is refused, and the largest gain seen among them was about 12.
    static constexpr double kDoubtLimit = 15.0;

private:
    static constexpr std::size_t kModels = 4;  // name, address, user ID, comment
    std::size_t length_;
    // Per position of the phrase and per model: how often each printable character came.
    std::vector<std::array<std::uint32_t, 94>> counts_;
    // Per position of the phrase: characters that read as they must (an address's scheme).
    std::vector<std::uint32_t> proven_;
};

// How a plain data file's entries read under a phrase.
enum class PlainReading {
    NoEntries,       // nothing to tell by
    Reads,           // an address reads with its scheme, and every position of the phrase reads right
    NoAddressReads,  // no address reads with its scheme
    Mistyped,        // the addresses read, but one position of the phrase reads as a typo
};

// The phrase check of a plain file: fed every in-use slot as stored, it tells how they
// read under the candidate phrase.
class PlainReadingCheck {
public:
    explicit PlainReadingCheck(const Cipher& candidate);
    // An in-use slot (status "A" or "U") as the file holds it.
    void add(const SiteRecord& stored);
    PlainReading result() const;

private:
    const Cipher& candidate_;
    PhraseEvidence evidence_;
    bool anyEntry_ = false;
    bool anyAddressReads_ = false;
};

}  // namespace vault
