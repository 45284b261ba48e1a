#include "vault/cipher.h"

#include <algorithm>
#include <cstring>

#include "vault/secret.h"

namespace vault {
namespace {

constexpr int kFirstPrintable = 33;
constexpr int kLastPrintable = 126;
constexpr int kRingSize = kLastPrintable - kFirstPrintable + 1;  // 94
constexpr std::size_t kShiftTable = 256;
// The offsets that cycle with the text position.
constexpr std::int16_t kCycleOffsets[4] = {3, 1, 8, 7};

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

// Shifts p[0..n) in place (one pointer, so the compiler can vectorise it).
void shiftInPlace(unsigned char* p, std::size_t n, const unsigned char* steps) {
    for (std::size_t i = 0; i < n; ++i) p[i] = shifted(p[i], steps[i]);
}

// One field of the record routine: the cipher of the text, cut to the field's size,
// trimmed, cut again; the area behind the text is zeroed. Done in place: the text is
// trimmed first, and the shift keeps its first and last characters above code 32,
// so the result needs no second trim. steps is null for the empty phrase.
template <std::size_t Max>
void cipherField(ShortString<Max>& field, const unsigned char* steps) {
    static_assert(Max <= kShiftTable);
    auto* chars = reinterpret_cast<unsigned char*>(field.chars);
    std::size_t first = 0, last = std::min<std::size_t>(field.length, Max);
    while (first < last && isBlankOrControl(chars[first])) ++first;
    while (last > first && isBlankOrControl(chars[last - 1])) --last;
    const std::size_t len = last - first;
    if (first > 0) std::memmove(chars, chars + first, len);
    if (steps) shiftInPlace(chars, len, steps);
    std::memset(chars + len, 0, Max - len);
    field.length = static_cast<unsigned char>(len);
}

}  // namespace

Cipher::Cipher(std::string_view phrase) { setPhrase(phrase); }

Cipher::~Cipher() { wipe(); }

Cipher::Cipher(const Cipher& other) { *this = other; }

Cipher& Cipher::operator=(const Cipher& other) {
    if (this != &other) {
        std::memcpy(&phrase_, &other.phrase_, sizeof phrase_);
        std::memcpy(forwardShift_, other.forwardShift_, sizeof forwardShift_);
        std::memcpy(backwardShift_, other.backwardShift_, sizeof backwardShift_);
    }
    return *this;
}

// The phrase and the shifts made from it are overwritten, not just replaced.
void Cipher::wipe() {
    wipeBytes(&phrase_, sizeof phrase_);
    wipeBytes(forwardShift_, sizeof forwardShift_);
    wipeBytes(backwardShift_, sizeof backwardShift_);
}

void Cipher::forget() { wipe(); }

int Cipher::shiftFor(std::size_t position) const {
    int k = phrase_.text[position % phrase_.length];
    int d = kCycleOffsets[position % 4];
    return (k + d) % kRingSize;
}

void Cipher::rebuildShifts() {
    if (phrase_.length == 0) return;
    for (std::size_t i = 0; i < kShiftTable; ++i) {
        int s = shiftFor(i);
        forwardShift_[i] = static_cast<unsigned char>(s);
        backwardShift_[i] = static_cast<unsigned char>((kRingSize - s) % kRingSize);
    }
}

void Cipher::setPhrase(std::string_view text) {
    wipe();
    std::size_t n = std::min<std::size_t>(text.size(), sizeof phrase_.text - 1);
    const void* zero = n ? std::memchr(text.data(), 0, n) : nullptr;
    if (zero) n = static_cast<std::size_t>(static_cast<const char*>(zero) - text.data());
    if (n) std::memcpy(phrase_.text, text.data(), n);
    phrase_.length = static_cast<std::uint32_t>(n);
    rebuildShifts();
}

std::string Cipher::phrase() const { return std::string(reinterpret_cast<const char*>(phrase_.text), phrase_.length); }

// Trims in[0..n) and shifts it into out; returns the output length. Needs a phrase.
std::size_t Cipher::shiftText(const unsigned char* in, std::size_t n, unsigned char* out, bool backward) const {
    std::size_t first = 0, last = n;
    while (first < last && isBlankOrControl(in[first])) ++first;
    while (last > first && isBlankOrControl(in[last - 1])) --last;
    const std::size_t len = last - first;
    const std::size_t tabled = std::min(len, kShiftTable);
    shiftRun(in + first, tabled, backward ? backwardShift_ : forwardShift_, out);
    for (std::size_t i = tabled; i < len; ++i) {  // only texts beyond the field limits
        unsigned char c = in[first + i];
        if (c >= kFirstPrintable && c <= kLastPrintable) {
            int s = shiftFor(i);
            int v = c - kFirstPrintable + (backward ? kRingSize - s : s);
            c = static_cast<unsigned char>(kFirstPrintable + v % kRingSize);
        }
        out[i] = c;
    }
    return len;
}

std::string Cipher::cipherText(std::string_view text, bool backward) const {
    if (phrase_.length == 0) return std::string(text);
    std::string out(text.size(), '\0');
    auto* src = reinterpret_cast<const unsigned char*>(text.data());
    auto* dst = reinterpret_cast<unsigned char*>(out.data());
    out.resize(shiftText(src, text.size(), dst, backward));
    return out;
}

std::string Cipher::encipherText(std::string_view text) const { return cipherText(text, false); }

std::string Cipher::decipherText(std::string_view text) const { return cipherText(text, true); }

void Cipher::cipherRecord(SiteRecord& r, bool decipher) const {
    const unsigned char* steps = phrase_.length == 0 ? nullptr : decipher ? backwardShift_ : forwardShift_;
    cipherField(r.name, steps);
    cipherField(r.website, steps);
    cipherField(r.userId, steps);
    cipherField(r.comments, steps);
    cipherField(r.password, steps);
    r.reserved1.clear();
    r.reserved2.clear();
}

}  // namespace vault
