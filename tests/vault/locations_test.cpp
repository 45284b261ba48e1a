#include "support.h"

using namespace vault;
using vaulttest::VaultTest;

namespace {

class LocationsTest : public VaultTest {};

TEST_F(LocationsTest, DataFolderIsCreatedOneLevelOwnerOnly) {
    ASSERT_TRUE(setupDataFolder(paths, dir));
    EXPECT_EQ(paths.dataFolder, dir + "/Keyfold");
    EXPECT_EQ(paths.settingsFile, dir + "/Keyfold/SG_2.ini");
    EXPECT_TRUE(directoryExists(dir + "/Keyfold"));
    EXPECT_EQ(vaulttest::modeOf(dir + "/Keyfold"), 0700u);

    // An existing folder is used as it is.
    ::chmod((dir + "/Keyfold").c_str(), 0750);
    EXPECT_TRUE(setupDataFolder(paths, dir + "/"));
    EXPECT_EQ(paths.dataFolder, dir + "/Keyfold");
    EXPECT_EQ(vaulttest::modeOf(dir + "/Keyfold"), 0750u);

    // Only one level is created.
    EXPECT_FALSE(setupDataFolder(paths, dir + "/no/such"));
    EXPECT_FALSE(directoryExists(dir + "/no"));
    // No application-data folder: nothing is created anywhere.
    EXPECT_FALSE(setupDataFolder(paths, ""));
    EXPECT_EQ(paths.dataFolder, "Keyfold");  // never "/Keyfold" at the root
    EXPECT_FALSE(directoryExists("Keyfold"));
}

TEST_F(LocationsTest, StoredLocationReplacesTheStorageFolder) {
    ASSERT_TRUE(setupDataFolder(paths, dir));
    setupStoragePaths(paths);
    EXPECT_EQ(paths.storageFolder, dir + "/Keyfold/");
    EXPECT_EQ(paths.dataFile, dir + "/Keyfold/KFOLD30.DAT");
    EXPECT_EQ(paths.legacyFile, dir + "/Keyfold/KFOLD28.DAT");
    EXPECT_FALSE(readStoredLocation(paths.dataFolder));

    writeStoredLocation(paths.dataFolder, "/media/stick");
    EXPECT_EQ(vaulttest::modeOf(dir + "/Keyfold/Storage.loc"), 0600u);
    EXPECT_EQ(vaulttest::readBytes(dir + "/Keyfold/Storage.loc"), "/media/stick");
    setupStoragePaths(paths);
    EXPECT_EQ(paths.storageFolder, "/media/stick/");
    EXPECT_EQ(paths.dataFile, "/media/stick/KFOLD30.DAT");

    writeStoredLocation(paths.dataFolder, "/media/stick/");
    setupStoragePaths(paths);
    EXPECT_EQ(paths.legacyFile, "/media/stick/KFOLD28.DAT");

    // Nothing about it goes into the settings file.
    EXPECT_FALSE(fileExists(paths.settingsFile));

    // A record with a NUL or another control character names no folder: the data
    // folder is used. Line ends after the location are still fine.
    for (const std::string& damaged : {std::string("/media/stick\0/etc/x", 19), std::string("/media/\x01stick")}) {
        vaulttest::writeBytes(dir + "/Keyfold/Storage.loc", damaged);
        EXPECT_FALSE(readStoredLocation(paths.dataFolder));
        setupStoragePaths(paths);
        EXPECT_EQ(paths.dataFile, dir + "/Keyfold/KFOLD30.DAT");
    }
    vaulttest::writeBytes(dir + "/Keyfold/Storage.loc", "/media/st\351ck\r\n");  // \351 = 0xE9
    EXPECT_EQ(readStoredLocation(paths.dataFolder), std::optional<std::string>("/media/st\351ck"));
}

}  // namespace
