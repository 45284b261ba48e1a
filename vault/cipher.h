// The key-phrase cipher: a position-dependent shift within the printable
// characters 33..126, by the key character plus an offset cycling 3, 1, 8, 7.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "vault/record.h"
#include "vault/seal.h"

namespace vault {

// A phrase: a 256-byte buffer (characters, then zero bytes) and a count.
struct KeyPhraseBuffer {
    unsigned char text[256];
    std::uint32_t length;
};

// One key phrase and the shifts made from it. Both live in guarded memory
// (GuardedBytes: libsodium's sodium_malloc, locked against swapping, behind guard pages)
// for as long as the cipher holds them, and are overwritten when they are replaced and
// when the cipher goes out of scope. The empty phrase holds no memory at all. A copy
// gets its own guarded block; a move hands the block over and leaves the empty phrase.
class Cipher {
public:
    // A phrase of at most 255 characters (longer ones are cut to 255; a zero byte
    // ends the phrase). The empty phrase leaves texts as they are.
    explicit Cipher(std::string_view phrase = {});
    ~Cipher();
    Cipher(const Cipher& other);
    Cipher& operator=(const Cipher& other);
    Cipher(Cipher&& other) noexcept;
    Cipher& operator=(Cipher&& other) noexcept;

    void setPhrase(std::string_view phrase);
    // The phrase where it lies in guarded memory: valid until the phrase is replaced or
    // forgotten, or the cipher goes. Copy it only into memory that is wiped after use.
    std::string_view phrase() const;
    const KeyPhraseBuffer& state() const;
    // Overwrites the phrase; it is empty afterwards.
    void forget();

    // With an empty phrase the text comes back exactly as given. Otherwise the text is
    // trimmed (codes 0..32 at both ends) and every character 33..126 shifted.
    std::string encipherText(std::string_view text) const;
    std::string decipherText(std::string_view text) const;

    // Every text field of the record in place: trimmed, shifted, the area behind the
    // text zeroed; reserved fields emptied; the status is never enciphered.
    void encipher(SiteRecord& record) const { cipherRecord(record, false); }
    void decipher(SiteRecord& record) const { cipherRecord(record, true); }
    void cipherRecord(SiteRecord& record, bool decipher) const;

private:
    // The phrase and the shifts made from it, as one guarded block.
    struct Keys {
        KeyPhraseBuffer phrase;
        // The forward shift (key character + offset) mod 94 for each text position below
        // 256, and the backward shift 94 minus that: the key position and the offset step
        // both advance once per character, so position i uses key character i mod length
        // and offset i mod 4.
        unsigned char forwardShift[256];
        unsigned char backwardShift[256];
    };
    Keys* keys() { return reinterpret_cast<Keys*>(keys_.data()); }
    const Keys* keys() const { return reinterpret_cast<const Keys*>(keys_.data()); }
    int shiftFor(std::size_t position) const;
    std::string cipherText(std::string_view text, bool backward) const;
    std::size_t shiftText(const unsigned char* in, std::size_t n, unsigned char* out, bool backward) const;

    GuardedBytes keys_;  // empty for the empty phrase
};

}  // namespace vault
