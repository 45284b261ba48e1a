#include "vault/cipher.h"

#include <algorithm>
#include <cstring>

#include "vault/record.h"

namespace vault {
namespace {

constexpr int kFirstPrintable = 33;
constexpr int kLastPrintable = 126;
constexpr int kRingSize = kLastPrintable - kFirstPrintable + 1;  // 94
constexpr std::size_t kShiftTable = 256;

// The alphabet of the ring and the four offsets that cycle with the text position.
unsigned char alphabet[kRingSize];
std::int16_t cycleOffsets[4];
bool tablesReady = false;

KeyPhraseBuffer phrase{};
// (key character + offset) mod 94 for each text position below 256; the key position
// and the offset step both advance once per character, so position i uses key
// character i mod length and offset i mod 4.
unsigned char shiftAt[kShiftTable];

void ensureTables() {
    if (tablesReady) return;
    for (int i = 0; i < kRingSize; ++i) alphabet[i] = static_cast<unsigned char>(kFirstPrintable + i);
    cycleOffsets[0] = 3;
    cycleOffsets[1] = 1;
    cycleOffsets[2] = 8;
    cycleOffsets[3] = 7;
    tablesReady = true;
}

int shiftFor(std::size_t position) {
    if (position < kShiftTable) return shiftAt[position];
    int k = phrase.text[position % phrase.length];
    int d = cycleOffsets[position % 4];
    return (k + d) % kRingSize;
}

void rebuildShifts() {
    ensureTables();
    if (phrase.length == 0) return;
    std::uint32_t keyPos = 0;
    unsigned step = 0;
    for (std::size_t i = 0; i < kShiftTable; ++i) {
        shiftAt[i] = static_cast<unsigned char>((phrase.text[keyPos] + cycleOffsets[step]) % kRingSize);
        if (++keyPos == phrase.length) keyPos = 0;
        step = (step + 1) & 3u;
    }
}

bool isBlankOrControl(unsigned char c) { return c <= 32; }

// Trims in[0..n) and shifts it into out; returns the output length. Needs a phrase.
std::size_t shiftText(const unsigned char* in, std::size_t n, unsigned char* out, bool backward) {
    std::size_t first = 0, last = n;
    while (first < last && isBlankOrControl(in[first])) ++first;
    while (last > first && isBlankOrControl(in[last - 1])) --last;
    const std::size_t len = last - first;
    for (std::size_t i = 0; i < len; ++i) {
        unsigned char c = in[first + i];
        if (c >= kFirstPrintable && c <= kLastPrintable) {
            int s = shiftFor(i);
            int v = c - kFirstPrintable + (backward ? -s : s);
            if (v >= kRingSize) v -= kRingSize;
            if (v < 0) v += kRingSize;
            c = alphabet[v];
        }
        out[i] = c;
    }
    return len;
}

std::string cipherText(std::string_view text, bool backward) {
    if (phrase.length == 0) return std::string(text);
    std::string out(text.size(), '\0');
    auto* src = reinterpret_cast<const unsigned char*>(text.data());
    auto* dst = reinterpret_cast<unsigned char*>(out.data());
    out.resize(shiftText(src, text.size(), dst, backward));
    return out;
}

// One field of the record routine: the cipher of the text, cut to `cut`, trimmed,
// cut again; the area behind the text is zeroed.
template <std::size_t Max>
void cipherField(ShortString<Max>& field, bool backward) {
    unsigned char work[Max];
    const std::size_t n = std::min<std::size_t>(field.length, Max);
    auto* chars = reinterpret_cast<unsigned char*>(field.chars);
    std::size_t len;
    if (phrase.length == 0) {
        std::memcpy(work, chars, n);
        len = n;
    } else {
        len = shiftText(chars, n, work, backward);
    }
    len = std::min(len, Max);
    std::size_t first = 0;
    while (first < len && isBlankOrControl(work[first])) ++first;
    while (len > first && isBlankOrControl(work[len - 1])) --len;
    len = std::min(len - first, Max);
    std::memcpy(chars, work + first, len);
    std::memset(chars + len, 0, Max - len);
    field.length = static_cast<unsigned char>(len);
}

}  // namespace

void InitCipherTables() {
    tablesReady = false;
    ensureTables();
    rebuildShifts();
}

void SetKeyPhrase(std::string_view text) {
    std::memset(&phrase, 0, sizeof phrase);
    std::size_t n = std::min<std::size_t>(text.size(), sizeof phrase.text - 1);
    const void* zero = std::memchr(text.data(), 0, n);
    if (zero) n = static_cast<std::size_t>(static_cast<const char*>(zero) - text.data());
    std::memcpy(phrase.text, text.data(), n);
    phrase.length = static_cast<std::uint32_t>(n);
    rebuildShifts();
}

std::string KeyPhrase() { return std::string(reinterpret_cast<const char*>(phrase.text), phrase.length); }

const KeyPhraseBuffer& KeyPhraseState() { return phrase; }

std::string EncipherText(std::string_view text) {
    ensureTables();
    return cipherText(text, false);
}

std::string DecipherText(std::string_view text) {
    ensureTables();
    return cipherText(text, true);
}

void CipherRecord(bool decipher) {
    ensureTables();
    SiteRecord& r = CurrentRecord;
    cipherField(r.Name, decipher);
    cipherField(r.Website, decipher);
    cipherField(r.UserId, decipher);
    cipherField(r.Comments, decipher);
    cipherField(r.Password, decipher);
    r.Reserved1.clear();
    r.Reserved2.clear();
}

}  // namespace vault
