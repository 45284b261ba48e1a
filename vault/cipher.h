// The key-phrase cipher: a position-dependent shift within the printable
// characters 33..126, by the key character plus an offset cycling 3, 1, 8, 7.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vault {

// The phrase in force: a 256-byte buffer (characters, then zero bytes) and a count.
struct KeyPhraseBuffer {
    unsigned char text[256];
    std::uint32_t length;
};

void InitCipherTables();
// Puts a phrase of at most 255 characters in force (longer ones are cut to 255;
// a zero byte ends the phrase).
void SetKeyPhrase(std::string_view phrase);
// Overwrites the phrase in force (and the record buffer, which holds deciphered
// text) at the end of the run; the phrase is empty afterwards.
void ForgetKeyPhrase();
// A copy of the phrase in force; the caller wipes it when done (vault/secret.h).
std::string KeyPhrase();
const KeyPhraseBuffer& KeyPhraseState();

// With an empty phrase the text comes back exactly as given. Otherwise the text is
// trimmed (codes 0..32 at both ends) and every character 33..126 shifted.
std::string EncipherText(std::string_view text);
std::string DecipherText(std::string_view text);

// One routine with a direction flag (true = decipher), on CurrentRecord in place.
void CipherRecord(bool decipher);
inline void EncipherRecord() { CipherRecord(false); }
inline void DecipherRecord() { CipherRecord(true); }

}  // namespace vault
