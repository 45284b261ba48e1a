#include "vault/phrasecheck.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "vault/entry.h"
#include "vault/secret.h"

namespace vault {
namespace {

constexpr int kFirstPrintable = 33;
constexpr int kRingSize = 94;

// How often each letter comes in English text, a to z, in hundredths of a percent.
constexpr int kLetterFrequency[26] = {817, 149, 278, 425, 1270, 223, 202, 609, 697, 15,  77, 403, 241,
                                      675, 751, 193, 10,  599,  633, 906, 276, 98,  236, 15, 197, 7};

using Model = std::array<double, kRingSize>;

// What a proven character costs another shift: about the odds of a shifted character
// reading as the one expected.
constexpr double kProvenWeight = 6.0;

// A model under construction: how likely each printable character is in one kind of
// text, as shares that are normalised and turned into logarithms at the end.
class ModelBuilder {
public:
    ModelBuilder& letters(char first, double share) {
        for (int i = 0; i < 26; ++i) at(first + i) += share * kLetterFrequency[i] / 10'000.0;
        return *this;
    }
    ModelBuilder& digits(double share) {
        for (char c = '0'; c <= '9'; ++c) at(c) += share / 10;
        return *this;
    }
    // The share spread evenly over the characters given.
    ModelBuilder& each(std::string_view characters, double share) {
        for (char c : characters) at(c) += share / static_cast<double>(characters.size());
        return *this;
    }
    // The share spread evenly over every printable character: nothing is impossible.
    ModelBuilder& anything(double share) {
        for (double& p : shares_) p += share / kRingSize;
        return *this;
    }
    Model logarithms() const {
        double total = 0;
        for (double p : shares_) total += p;
        Model model{};
        for (int i = 0; i < kRingSize; ++i) model[i] = std::log(shares_[i] / total);
        return model;
    }

private:
    double& at(char c) { return shares_[static_cast<unsigned char>(c) - kFirstPrintable]; }
    Model shares_{};
};

// The four kinds of stored text and how their characters come: the name box types
// capitals; addresses and user IDs are mostly small letters with their own marks;
// comments are written text.
const std::array<Model, 4>& models() {
    static const std::array<Model, 4> built = {
        ModelBuilder{}
            .letters('A', 0.78)
            .digits(0.09)
            .each(".-&'_()/!+:@,#*", 0.07)
            .letters('a', 0.03)
            .anything(0.03)
            .logarithms(),
        ModelBuilder{}
            .letters('a', 0.70)
            .each(".", 0.07)
            .each("/", 0.06)
            .each(":", 0.012)
            .each("-", 0.015)
            .each("_?=&%#~+", 0.03)
            .digits(0.04)
            .letters('A', 0.03)
            .anything(0.02)
            .logarithms(),
        ModelBuilder{}
            .letters('a', 0.66)
            .digits(0.12)
            .each("@", 0.03)
            .each(".", 0.04)
            .each("_-", 0.025)
            .letters('A', 0.08)
            .anything(0.035)
            .logarithms(),
        ModelBuilder{}
            .letters('a', 0.64)
            .letters('A', 0.10)
            .digits(0.08)
            .each(".,", 0.06)
            .each(":;-!?'\"()/", 0.06)
            .anything(0.06)
            .logarithms(),
    };
    return built;
}

}  // namespace

PhraseEvidence::PhraseEvidence(std::size_t phraseLength)
    : length_(std::clamp<std::size_t>(phraseLength, 1, 255)), counts_(length_ * kModels), proven_(length_, 0) {
    for (auto& row : counts_) row.fill(0);
}

PhraseEvidence::~PhraseEvidence() {
    for (auto& row : counts_) wipeBytes(row.data(), sizeof row);
}

void PhraseEvidence::add(const SiteRecord& deciphered) {
    // A character that one text repeats at one position of the phrase counts once: a
    // run of one letter tells no more than the letter.
    std::vector<std::array<bool, kRingSize>> seen(length_);
    auto count = [&](std::size_t model, const auto& field, std::size_t from) {
        for (auto& s : seen) s.fill(false);
        for (std::size_t i = from; i < field.length && i < sizeof field.chars; ++i) {
            const int x = static_cast<unsigned char>(field.chars[i]) - kFirstPrintable;
            if (x < 0 || x >= kRingSize || seen[i % length_][x]) continue;
            seen[i % length_][x] = true;
            ++counts_[(i % length_) * kModels + model][static_cast<std::size_t>(x)];
        }
    };
    count(0, deciphered.name, 0);
    // An address that begins with its scheme (and "www."), as nearly every one does: those
    // characters read right, which proves the positions of the phrase that made them.
    const std::string_view website(deciphered.website.chars,
                                   std::min<std::size_t>(deciphered.website.length, kTextWidth));
    std::size_t start = website.starts_with("https://") ? 8 : website.starts_with("http://") ? 7 : 0;
    if (start > 0 && website.substr(start).starts_with("www.")) start += 4;
    for (std::size_t i = 0; i < start; ++i) ++proven_[i % length_];
    count(1, deciphered.website, start);
    count(2, deciphered.userId, 0);
    count(3, deciphered.comments, 0);
}

double PhraseEvidence::strongestDoubt() const {
    const std::array<Model, 4>& model = models();
    // gain[position][model][shift]: how much better the position's characters of that
    // kind of text read under the shift than as they are; count: how many there are.
    std::vector<std::array<std::array<double, kRingSize>, kModels>> gain(length_);
    std::vector<std::array<double, kModels>> count(length_);
    std::array<std::array<double, kRingSize>, kModels> totalGain{};
    std::array<double, kModels> totalCount{};
    for (std::size_t position = 0; position < length_; ++position) {
        for (std::size_t m = 0; m < kModels; ++m) {
            const auto& seen = counts_[position * kModels + m];
            auto& g = gain[position][m];
            g.fill(0);
            double n = 0;
            for (int x = 0; x < kRingSize; ++x) {
                if (seen[x] == 0) continue;
                n += seen[x];
                const double asRead = model[m][x];
                for (int shift = 1; shift < kRingSize; ++shift) {
                    const int y = x + shift < kRingSize ? x + shift : x + shift - kRingSize;
                    g[shift] += seen[x] * (model[m][y] - asRead);
                }
            }
            count[position][m] = n;
            totalCount[m] += n;
            for (int shift = 1; shift < kRingSize; ++shift) totalGain[m][shift] += g[shift];
        }
    }
    // A mistyped character of the phrase moves the characters of its own position only.
    // Where the texts themselves read better under some shift at every position (names
    // stored in small letters, say), that is the texts, not the phrase: each position is
    // measured against what the other positions gain per character under the same shift.
    double strongest = -INFINITY;
    for (std::size_t position = 0; position < length_; ++position) {
        double any = 0;
        for (std::size_t m = 0; m < kModels; ++m) any += count[position][m];
        if (any == 0) continue;
        for (int shift = 1; shift < kRingSize; ++shift) {
            // Any other shift would spoil every proven character.
            double g = -kProvenWeight * proven_[position];
            for (std::size_t m = 0; m < kModels; ++m) {
                const double n = count[position][m];
                if (n == 0) continue;
                const double othersN = totalCount[m] - n;
                const double othersGain = totalGain[m][shift] - gain[position][m][shift];
                const double usual = othersN > 0 ? std::max(0.0, othersGain / othersN) : 0.0;
                g += gain[position][m][shift] - n * usual;
            }
            strongest = std::max(strongest, g);
        }
    }
    return strongest;
}

PlainReadingCheck::PlainReadingCheck(const Cipher& candidate)
    : candidate_(candidate), evidence_(candidate.state().length) {}

void PlainReadingCheck::add(const SiteRecord& stored) {
    struct WipedRecord {
        SiteRecord r;
        ~WipedRecord() { wipeBytes(&r, sizeof r); }
    } slot{stored};
    candidate_.decipher(slot.r);
    anyEntry_ = true;
    // The address rule: every address the program stores holds a scheme.
    if (!addressNeedsScheme(slot.r.website.str())) anyAddressReads_ = true;
    evidence_.add(slot.r);
}

PlainReading PlainReadingCheck::result() const {
    if (!anyEntry_) return PlainReading::NoEntries;
    if (!anyAddressReads_) return PlainReading::NoAddressReads;
    // A phrase of at most seven characters has every character on an address's "http://":
    // the scheme alone tells a typo there.
    if (candidate_.state().length > 7 && evidence_.mistyped()) return PlainReading::Mistyped;
    return PlainReading::Reads;
}

}  // namespace vault
