#include "vault/locations.h"

#include "vault/fileio.h"

namespace vault {

std::string WithTrailingSeparator(const std::string& folder) {
    if (!folder.empty() && (folder.back() == kPathSeparator || folder.back() == '/')) return folder;
    return folder + kPathSeparator;
}

namespace {
void setDataFolder(Locations& p, const std::string& appDataBase) {
    // Without an application-data folder nothing is created (never "/Keyfold" at the
    // root); the paths then point at a "Keyfold" folder that does not exist.
    p.dataFolder = appDataBase.empty() ? std::string("Keyfold") : WithTrailingSeparator(appDataBase) + "Keyfold";
    p.settingsFile = p.dataFolder + kPathSeparator + kSettingsFileName;
    p.storageFolder = p.dataFolder + kPathSeparator;
}
}  // namespace

std::string SettingsFileFor(const std::string& appDataBase) {
    Locations p;
    setDataFolder(p, appDataBase);
    return p.settingsFile;
}

Locations LocateFiles(const std::string& appDataBase) {
    Locations p;
    setDataFolder(p, appDataBase);
    SetupStoragePaths(p);
    return p;
}

bool SetupDataFolder(Locations& p, const std::string& appDataBase) {
    setDataFolder(p, appDataBase);
    if (appDataBase.empty()) return false;
    if (DirectoryExists(p.dataFolder)) return true;
    return MakeDirectory(p.dataFolder) == 0;
}

void SetupStoragePaths(Locations& p) {
    std::optional<std::string> chosen = ReadStoredLocation(p.dataFolder);
    p.storageFolder = chosen ? WithTrailingSeparator(*chosen) : p.dataFolder + kPathSeparator;
    p.dataFile = p.storageFolder + kDataFileName;
    p.legacyFile = p.storageFolder + kLegacyFileName;
}

std::optional<std::string> ReadStoredLocation(const std::string& dataFolder) {
    const std::string path = dataFolder + kPathSeparator + kStoredLocationFileName;
    if (!FileExists(path)) return std::nullopt;
    std::string bytes;
    try {
        bytes = ReadWholeFile(path);
    } catch (const std::exception&) {
        return std::nullopt;  // an unreadable record of the choice: use the data folder
    }
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
    if (bytes.empty()) return std::nullopt;
    // A NUL or another control character is no part of a path: the record is damaged.
    for (unsigned char c : bytes)
        if (c < 32 || c == 127) return std::nullopt;
    return bytes;
}

void WriteStoredLocation(const std::string& dataFolder, const std::string& location) {
    WriteFileReplacing(dataFolder + kPathSeparator + kStoredLocationFileName, location);
}

}  // namespace vault
