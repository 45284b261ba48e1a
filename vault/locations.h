// Where the program keeps its files: data folder, settings file, storage folder,
// data file and legacy data file. Computed at start and held by the caller (a
// vault::Session holds the ones it works with).
#pragma once
#include <optional>
#include <string>

#include "vault/fileio.h"  // fileExists, directoryExists

namespace vault {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif
constexpr const char* kDataFileName = "KFOLD30.DAT";
constexpr const char* kLegacyFileName = "KFOLD28.DAT";
constexpr const char* kSettingsFileName = "SG_2.ini";
constexpr const char* kStoredLocationFileName = "Storage.loc";

struct Locations {
    std::string dataFolder;     // <app data>/Keyfold
    std::string settingsFile;   // dataFolder + "/SG_2.ini"
    std::string storageFolder;  // dataFolder + "/" or the stored chosen location, ending with "/"
    std::string dataFile;       // storageFolder + "KFOLD30.DAT"
    std::string legacyFile;     // storageFolder + "KFOLD28.DAT"
};

// Start-up path set-up. appDataBase is the per-user application-data folder given by
// the platform layer. Sets the data folder, the settings file and the default storage
// folder in paths, and creates the data folder (one level, 0700 on POSIX) when missing.
// Returns false when the folder could not be created (the caller shows the warning).
bool setupDataFolder(Locations& paths, const std::string& appDataBase);
// Sets storage folder, data file and legacy paths (stored chosen location if any).
void setupStoragePaths(Locations& paths);
// Both, without creating anything: the files a program of this user works with.
Locations locateFiles(const std::string& appDataBase);
// The settings file for the per-user application-data folder.
std::string settingsFileFor(const std::string& appDataBase);

// The storage location chosen by the user, kept from one run to the next in a file of
// its own in the data folder ("Storage.loc"), so nothing else goes into SG_2.ini.
// The file holds the location's bytes as they are. A missing or empty file means none,
// and so does one holding a NUL or another control character.
std::optional<std::string> readStoredLocation(const std::string& dataFolder);
// Throws IoError when the file cannot be written.
void writeStoredLocation(const std::string& dataFolder, const std::string& location);
// A folder path with the separator added when it does not end with one.
std::string withTrailingSeparator(const std::string& folder);

}  // namespace vault
