#include "vault/cipher.h"

#include <algorithm>
#include <array>
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

// A guarded block costs a few system calls to make and to free (its pages mapped, guarded
// and locked), and a phrase check or a re-key makes ciphers in quick succession: each
// thread keeps a few wiped blocks for its next ciphers.
thread_local bool keptBlocksGone = false;
struct KeptBlocks {
    std::array<GuardedBytes, 4> blocks;
    std::size_t count = 0;
    ~KeptBlocks() { keptBlocksGone = true; }
};
KeptBlocks& keptBlocks() {
    thread_local KeptBlocks kept;
    return kept;
}

GuardedBytes takeBlock(std::size_t size) {
    if (!keptBlocksGone) {
        KeptBlocks& kept = keptBlocks();
        if (kept.count > 0) return std::move(kept.blocks[--kept.count]);
    }
    return GuardedBytes(size);
}

// Wipes the block and keeps it, or frees it; block is empty afterwards.
void giveBack(GuardedBytes& block) noexcept {
    if (block.empty()) return;
    wipeBytes(block.data(), block.size());
    if (!keptBlocksGone) {
        KeptBlocks& kept = keptBlocks();
        if (kept.count < kept.blocks.size()) {
            kept.blocks[kept.count++] = std::move(block);
            return;
        }
    }
    block = GuardedBytes();
}

}  // namespace

Cipher::Cipher(std::string_view phrase) { setPhrase(phrase); }

Cipher::~Cipher() { giveBack(keys_); }

Cipher::Cipher(const Cipher& other) { *this = other; }

Cipher& Cipher::operator=(const Cipher& other) {
    if (this == &other) return *this;
    if (other.keys_.empty()) {
        giveBack(keys_);
    } else {
        if (keys_.empty()) keys_ = takeBlock(sizeof(Keys));
        std::memcpy(keys_.data(), other.keys_.data(), sizeof(Keys));
    }
    return *this;
}

Cipher::Cipher(Cipher&& other) noexcept : keys_(std::move(other.keys_)) {}

Cipher& Cipher::operator=(Cipher&& other) noexcept {
    if (this != &other) {
        giveBack(keys_);
        keys_ = std::move(other.keys_);
    }
    return *this;
}

void Cipher::forget() { giveBack(keys_); }

const KeyPhraseBuffer& Cipher::state() const {
    static const KeyPhraseBuffer kEmpty{};
    return keys_.empty() ? kEmpty : keys()->phrase;
}

int Cipher::shiftFor(std::size_t position) const {
    const KeyPhraseBuffer& p = keys()->phrase;
    int k = p.text[position % p.length];
    int d = kCycleOffsets[position % 4];
    return (k + d) % kRingSize;
}

void Cipher::setPhrase(std::string_view text) {
    std::size_t n = std::min<std::size_t>(text.size(), sizeof(KeyPhraseBuffer::text) - 1);
    const void* zero = n ? std::memchr(text.data(), 0, n) : nullptr;
    if (zero) n = static_cast<std::size_t>(static_cast<const char*>(zero) - text.data());
    if (n == 0) {
        forget();
        return;
    }
    // The block in use is overwritten in place; text may lie in it (a phrase set anew
    // from phrase()), so it is copied out through a wiped buffer first.
    unsigned char typed[sizeof(KeyPhraseBuffer::text)];
    std::memcpy(typed, text.data(), n);
    if (keys_.empty()) keys_ = takeBlock(sizeof(Keys));
    Keys& k = *keys();
    wipeBytes(&k, sizeof k);
    std::memcpy(k.phrase.text, typed, n);
    wipeBytes(typed, sizeof typed);
    k.phrase.length = static_cast<std::uint32_t>(n);
    for (std::size_t i = 0; i < kShiftTable; ++i) {
        int s = shiftFor(i);
        k.forwardShift[i] = static_cast<unsigned char>(s);
        k.backwardShift[i] = static_cast<unsigned char>((kRingSize - s) % kRingSize);
    }
}

std::string_view Cipher::phrase() const {
    if (keys_.empty()) return {};
    const KeyPhraseBuffer& p = keys()->phrase;
    return std::string_view(reinterpret_cast<const char*>(p.text), p.length);
}

// Trims in[0..n) and shifts it into out; returns the output length. Needs a phrase.
std::size_t Cipher::shiftText(const unsigned char* in, std::size_t n, unsigned char* out, bool backward) const {
    std::size_t first = 0, last = n;
    while (first < last && isBlankOrControl(in[first])) ++first;
    while (last > first && isBlankOrControl(in[last - 1])) --last;
    const std::size_t len = last - first;
    const std::size_t tabled = std::min(len, kShiftTable);
    shiftRun(in + first, tabled, backward ? keys()->backwardShift : keys()->forwardShift, out);
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
    if (keys_.empty()) return std::string(text);
    std::string out(text.size(), '\0');
    auto* src = reinterpret_cast<const unsigned char*>(text.data());
    auto* dst = reinterpret_cast<unsigned char*>(out.data());
    out.resize(shiftText(src, text.size(), dst, backward));
    return out;
}

std::string Cipher::encipherText(std::string_view text) const { return cipherText(text, false); }

std::string Cipher::decipherText(std::string_view text) const { return cipherText(text, true); }

void Cipher::cipherRecord(SiteRecord& r, bool decipher) const {
    const unsigned char* steps = keys_.empty() ? nullptr : decipher ? keys()->backwardShift : keys()->forwardShift;
    cipherField(r.name, steps);
    cipherField(r.website, steps);
    cipherField(r.userId, steps);
    cipherField(r.comments, steps);
    cipherField(r.password, steps);
    r.reserved1.clear();
    r.reserved2.clear();
}

}  // namespace vault
