#include "vault/cipher.h"

#include <algorithm>
#include <cstring>

#include "vault/record.h"
#include "vault/secret.h"

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
// The forward shift (key character + offset) mod 94 for each text position below 256,
// and the backward shift 94 minus that: the key position and the offset step both
// advance once per character, so position i uses key character i mod length and
// offset i mod 4.
unsigned char forwardShift[kShiftTable];
unsigned char backwardShift[kShiftTable];

void ensureTables() {
    if (tablesReady) return;
    for (int i = 0; i < kRingSize; ++i) alphabet[i] = static_cast<unsigned char>(kFirstPrintable + i);
    cycleOffsets[0] = 3;
    cycleOffsets[1] = 1;
    cycleOffsets[2] = 8;
    cycleOffsets[3] = 7;
    tablesReady = true;
}

// The shift at a text position, by the key position and cycle step counters.
int shiftFor(std::size_t position) {
    int k = phrase.text[position % phrase.length];
    int d = cycleOffsets[position % 4];
    return (k + d) % kRingSize;
}

void rebuildShifts() {
    ensureTables();
    if (phrase.length == 0) return;
    for (std::size_t i = 0; i < kShiftTable; ++i) {
        int s = shiftFor(i);
        forwardShift[i] = static_cast<unsigned char>(s);
        backwardShift[i] = static_cast<unsigned char>((kRingSize - s) % kRingSize);
    }
}

bool isBlankOrControl(unsigned char c) { return c <= 32; }

// A printable character moved the given steps around the ring; any other stays.
// Written without branches so the loops over it become vector code.
inline unsigned char shifted(unsigned char c, unsigned char step) {
    unsigned char x = static_cast<unsigned char>(c - kFirstPrintable);
    unsigned char y = static_cast<unsigned char>(x + step);
    y = static_cast<unsigned char>(y >= kRingSize ? y - kRingSize : y);
    return x < kRingSize ? static_cast<unsigned char>(y + kFirstPrintable) : c;
}

// Moves every printable character of in[0..n) its own number of steps.
void shiftRun(const unsigned char* in, std::size_t n, const unsigned char* steps, unsigned char* out) {
    for (std::size_t i = 0; i < n; ++i) out[i] = shifted(in[i], steps[i]);
}

// Trims in[0..n) and shifts it into out; returns the output length. Needs a phrase.
std::size_t shiftText(const unsigned char* in, std::size_t n, unsigned char* out, bool backward) {
    std::size_t first = 0, last = n;
    while (first < last && isBlankOrControl(in[first])) ++first;
    while (last > first && isBlankOrControl(in[last - 1])) --last;
    const std::size_t len = last - first;
    const std::size_t tabled = std::min(len, kShiftTable);
    shiftRun(in + first, tabled, backward ? backwardShift : forwardShift, out);
    for (std::size_t i = tabled; i < len; ++i) {  // only texts beyond the field limits
        unsigned char c = in[first + i];
        if (c >= kFirstPrintable && c <= kLastPrintable) {
            int s = shiftFor(i);
            int v = c - kFirstPrintable + (backward ? kRingSize - s : s);
            c = alphabet[v % kRingSize];
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

// Shifts p[0..n) in place (one pointer, so the compiler can vectorise it).
void shiftInPlace(unsigned char* p, std::size_t n, const unsigned char* steps) {
    for (std::size_t i = 0; i < n; ++i) p[i] = shifted(p[i], steps[i]);
}

// One field of the record routine: the cipher of the text, cut to the field's size,
// trimmed, cut again; the area behind the text is zeroed. Done in place: the text is
// trimmed first, and the shift keeps its first and last characters above code 32,
// so the result needs no second trim.
template <std::size_t Max>
void cipherField(ShortString<Max>& field, bool backward) {
    static_assert(Max <= kShiftTable);
    auto* chars = reinterpret_cast<unsigned char*>(field.chars);
    std::size_t first = 0, last = std::min<std::size_t>(field.length, Max);
    while (first < last && isBlankOrControl(chars[first])) ++first;
    while (last > first && isBlankOrControl(chars[last - 1])) --last;
    const std::size_t len = last - first;
    if (first > 0) std::memmove(chars, chars + first, len);
    if (phrase.length != 0) shiftInPlace(chars, len, backward ? backwardShift : forwardShift);
    std::memset(chars + len, 0, Max - len);
    field.length = static_cast<unsigned char>(len);
}

}  // namespace

void InitCipherTables() {
    tablesReady = false;
    ensureTables();
    rebuildShifts();
}

// The phrase and the shifts made from it are overwritten, not just replaced.
static void wipePhrase() {
    WipeBytes(&phrase, sizeof phrase);
    WipeBytes(forwardShift, sizeof forwardShift);
    WipeBytes(backwardShift, sizeof backwardShift);
}

void SetKeyPhrase(std::string_view text) {
    wipePhrase();
    std::size_t n = std::min<std::size_t>(text.size(), sizeof phrase.text - 1);
    const void* zero = std::memchr(text.data(), 0, n);
    if (zero) n = static_cast<std::size_t>(static_cast<const char*>(zero) - text.data());
    std::memcpy(phrase.text, text.data(), n);
    phrase.length = static_cast<std::uint32_t>(n);
    rebuildShifts();
}

void ForgetKeyPhrase() {
    wipePhrase();
    WipeBytes(&CurrentRecord, sizeof CurrentRecord);
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
