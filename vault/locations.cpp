#include "vault/locations.h"

#include "vault/fileio.h"

namespace vault {

std::string withTrailingSeparator(const std::string& folder) {
    if (!folder.empty() && (folder.back() == kPathSeparator || folder.back() == '/')) return folder;
    return folder + kPathSeparator;
}

namespace {
void setDataFolder(Locations& p, const std::string& appDataBase) {
    // Without an application-data folder nothing is created (never "/Keyfold" at the
    // root); the paths then point at a "Keyfold" folder that does not exist.
    p.dataFolder = appDataBase.empty() ? std::string("Keyfold") : withTrailingSeparator(appDataBase) + "Keyfold";
    p.settingsFile = p.dataFolder + kPathSeparator + kSettingsFileName;
    p.storageFolder = p.dataFolder + kPathSeparator;
}
}  // namespace

std::string settingsFileFor(const std::string& appDataBase) {
    Locations p;
    setDataFolder(p, appDataBase);
    return p.settingsFile;
}

Locations locateFiles(const std::string& appDataBase) {
    Locations p;
    setDataFolder(p, appDataBase);
    setupStoragePaths(p);
    return p;
}

bool setupDataFolder(Locations& p, const std::string& appDataBase) {
    setDataFolder(p, appDataBase);
    if (appDataBase.empty()) return false;
    if (directoryExists(p.dataFolder)) return true;
    return makeDirectory(p.dataFolder) == 0;
}

void setupStoragePaths(Locations& p) {
    std::optional<std::string> chosen = readStoredLocation(p.dataFolder);
    p.storageFolder = chosen ? withTrailingSeparator(*chosen) : p.dataFolder + kPathSeparator;
    p.dataFile = p.storageFolder + kDataFileName;
    p.legacyFile = p.storageFolder + kLegacyFileName;
}

std::optional<std::string> readStoredLocation(const std::string& dataFolder) {
    const std::string path = dataFolder + kPathSeparator + kStoredLocationFileName;
    if (!fileExists(path)) return std::nullopt;
    std::string bytes;
    try {
        bytes = readWholeFile(path);
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

void writeStoredLocation(const std::string& dataFolder, const std::string& location) {
    writeFileReplacing(dataFolder + kPathSeparator + kStoredLocationFileName, location);
}

}  // namespace vault
