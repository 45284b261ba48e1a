// 8-bit text helpers shared by the vault and its callers.
#pragma once
#include <string>
#include <string_view>

namespace vault {
// Removes leading and trailing bytes with codes 0 to 32.
std::string Trim(std::string_view text);
// Turns the letters a to z into A to Z; every other byte stays.
std::string UpperAscii(std::string_view text);
}  // namespace vault
