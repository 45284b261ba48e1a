// The one place where Qt's Unicode text meets the vault's 8-bit Windows-1252 text.
#pragma once
#include <string>
#include <QString>

namespace platform {
// Windows-1252 bytes to Unicode (the five undefined codes map to U+0081 etc. as-is).
QString fromAnsi(const std::string& bytes);
// Unicode to Windows-1252; a character it cannot hold becomes "?".
std::string toAnsi(const QString& text);
// Whether text survives toAnsi unchanged.
QString ansiSafe(const QString& text);  // text as an 8-bit box would hold it
}  // namespace platform
