#include "vault/locations.h"

#include <sys/stat.h>

#include "vault/datafile.h"
#include "vault/fileio.h"

namespace vault {

Locations& Paths() {
    static Locations paths;
    return paths;
}

std::string WithTrailingSeparator(const std::string& folder) {
    if (!folder.empty() && (folder.back() == kPathSeparator || folder.back() == '/')) return folder;
    return folder + kPathSeparator;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SetupDataFolder(const std::string& appDataBase) {
    Locations& p = Paths();
    // Without an application-data folder nothing is created (never "/Keyfold" at the
    // root); the paths then point at a "Keyfold" folder that does not exist.
    p.dataFolder = appDataBase.empty() ? std::string("Keyfold") : WithTrailingSeparator(appDataBase) + "Keyfold";
    p.settingsFile = p.dataFolder + kPathSeparator + kSettingsFileName;
    p.storageFolder = p.dataFolder + kPathSeparator;
    if (appDataBase.empty()) return false;
    if (DirectoryExists(p.dataFolder)) return true;
    return MakeDirectory(p.dataFolder) == 0;
}

void SetupStoragePaths() {
    Locations& p = Paths();
    std::optional<std::string> chosen = ReadStoredLocation(p.dataFolder);
    p.storageFolder = chosen ? WithTrailingSeparator(*chosen) : p.dataFolder + kPathSeparator;
    p.dataFile = p.storageFolder + kDataFileName;
    p.legacyFile = p.storageFolder + kLegacyFileName;
    ForgetDataFile();
    RemoveLeftoverTemp();
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
