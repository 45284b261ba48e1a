// The per-user application-data folder the data folder lives in.
#pragma once
#include <string>

namespace platform {
// Windows: the shell's CSIDL_APPDATA folder; elsewhere the generic data location
// ($XDG_DATA_HOME, usually ~/.local/share). Falls back to the home folder when the
// system supplies none. Native path bytes, without a trailing separator. The folder
// exists afterwards when it can be created (the data folder below it is one level).
std::string appDataFolder();
}  // namespace platform
