// 8-bit text helpers shared by the vault and its callers.
#pragma once
#include <string>
#include <string_view>

namespace vault {
// Removes leading and trailing bytes with codes 0 to 32.
std::string trim(std::string_view text);
// The same, as a view into text (no copy: for secrets).
std::string_view trimmedView(std::string_view text);
// The upper case of a Windows-1252 byte: each letter that has a single upper-case form in
// Windows-1252 takes it (a to z, the accented letters, š, œ, ž, ÿ); every other byte stays
// (ß, µ and ƒ among them).
unsigned char upperByte(unsigned char byte);
// The text with every byte in its upper case (upperByte): names are stored so.
std::string upperText(std::string_view text);
}  // namespace vault
