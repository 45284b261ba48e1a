// The per-user key of the program's two display switches ("Show", "CheckFirstScreen").
// On Windows this is HKEY_CURRENT_USER\Software\Quorvel\Keyfold; elsewhere Qt's native
// per-user settings file.
#pragma once
#include <optional>
#include <QString>

namespace platform {
// The Boolean value, or nothing when it is absent or is not an integer.
// Any non-zero integer reads as true.
std::optional<bool> readUserKeyBool(const QString& name);
// Stores 1 for true and 0 for false.
void writeUserKeyBool(const QString& name, bool value);
}  // namespace platform
