// The conversion between Qt's Unicode text and the vault's 8-bit Windows-1252 text.
#pragma once
#include <string>
#include <string_view>
#include <QString>

#include "vault/secret.h"

namespace platform {
// Windows-1252 bytes to Unicode (the five undefined codes 81, 8D, 8F, 90, 9D map to the
// control characters of the same number).
QString fromWindows1252(std::string_view bytes);
// Unicode to Windows-1252; a character it cannot hold becomes "?". Converted character by
// character into a block of the final size, with no copy in between.
std::string toWindows1252(const QString& text);
// The same for a text that may hold a secret (a password).
vault::SecretText secretWindows1252(const QString& text);
// Upper case as the upper-case name box makes it: each character Windows-1252 holds takes
// the vault's upper case of names (vault::upperText); any other character stays as it is.
QString windows1252Upper(const QString& text);
// A path of the file system as the user reads it (the system's 8-bit path on Windows,
// the file-name encoding elsewhere).
QString displayPath(const std::string& path);
// A one-line box's share of a pasted text: everything before its first line break.
QString firstLine(const QString& text);
// The characters of text that Windows-1252 cannot hold, each once, in the order they
// first come (a lone surrogate as U+FFFD).
std::u32string lackingWindows1252(const QString& text);
}  // namespace platform
