// Windows-1252, the 8-bit text of the data file, and Unicode: the one conversion table
// that the window program and the command line share.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace vault {
// The Unicode character of a Windows-1252 byte (the five undefined codes 81, 8D, 8F, 90
// and 9D map to the control characters of the same number).
char16_t unicodeOfWindows1252(unsigned char byte);
// The Windows-1252 byte of a Unicode character, or -1 when Windows-1252 has none.
int windows1252OfUnicode(char32_t character);
// One Unicode character in UTF-8.
std::string utf8Of(char32_t character);
// Windows-1252 bytes to UTF-8.
std::string utf8FromWindows1252(std::string_view bytes);
// UTF-8 to Windows-1252: a character Windows-1252 cannot hold, and each byte of a
// malformed sequence, becomes "?"; when missing is given, each such character is added
// to it (a malformed byte as U+FFFD), so a caller can refuse the text and name them.
std::string windows1252FromUtf8(std::string_view utf8, std::u32string* missing = nullptr);
// UTF-8 to Windows-1252 when every character has its byte there; otherwise nothing, and
// lacking (when given) gets the first character that has none (U+FFFD for a malformed
// sequence).
std::optional<std::string> windows1252FromUtf8Exactly(std::string_view utf8, char32_t* lacking = nullptr);
// Whether the bytes are well-formed UTF-8.
bool isUtf8(std::string_view text);
}  // namespace vault
