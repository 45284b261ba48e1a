// The key-phrase cipher: a position-dependent shift within the printable
// characters 33..126, by the key character plus an offset cycling 3, 1, 8, 7.
#pragma once
#include <string>
#include <string_view>

namespace vault {

void InitCipherTables();
// Puts a phrase of at most 255 characters in force (longer ones are cut to 255).
void SetKeyPhrase(std::string_view phrase);
// The phrase in force.
std::string KeyPhrase();

std::string EncipherText(std::string_view text);
std::string DecipherText(std::string_view text);

// One routine with a direction flag (true = decipher), on CurrentRecord in place.
void CipherRecord(bool decipher);
inline void EncipherRecord() { CipherRecord(false); }
inline void DecipherRecord() { CipherRecord(true); }

}  // namespace vault
