// The conversion between Qt's Unicode text and the vault's 8-bit Windows-1252 text.
#pragma once
#include <string>
#include <QString>

namespace platform {
// Windows-1252 bytes to Unicode (the five undefined codes 81, 8D, 8F, 90, 9D map to the
// control characters of the same number).
QString fromWindows1252(const std::string& bytes);
// Unicode to Windows-1252; a character it cannot hold becomes "?".
std::string toWindows1252(const QString& text);
// The text as an 8-bit box holds it: every character Windows-1252 cannot hold is "?".
// fromWindows1252(toWindows1252(t)) == windows1252Safe(t), and windows1252Safe(t).size() == toWindows1252(t).size().
QString windows1252Safe(const QString& text);
// Upper case as an 8-bit upper-case box makes it, of text such a box holds (windows1252Safe):
// the vault's upper case of names (vault::upperText).
QString windows1252Upper(const QString& text);
// A path of the file system as the user reads it (the system's 8-bit path on Windows,
// the file-name encoding elsewhere).
QString displayPath(const std::string& path);
// A one-line box's share of a pasted text: everything before its first line break.
QString firstLine(const QString& text);
}  // namespace platform
