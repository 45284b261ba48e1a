#include "support.h"

using namespace vault;
using vaulttest::VaultTest;

namespace {

class LocationsTest : public VaultTest {};

TEST_F(LocationsTest, DataFolderIsCreatedOneLevelOwnerOnly) {
    ASSERT_TRUE(SetupDataFolder(paths, dir));
    EXPECT_EQ(paths.dataFolder, dir + "/Keyfold");
    EXPECT_EQ(paths.settingsFile, dir + "/Keyfold/SG_2.ini");
    EXPECT_TRUE(DirectoryExists(dir + "/Keyfold"));
    EXPECT_EQ(vaulttest::modeOf(dir + "/Keyfold"), 0700u);

    // An existing folder is used as it is.
    ::chmod((dir + "/Keyfold").c_str(), 0750);
    EXPECT_TRUE(SetupDataFolder(paths, dir + "/"));
    EXPECT_EQ(paths.dataFolder, dir + "/Keyfold");
    EXPECT_EQ(vaulttest::modeOf(dir + "/Keyfold"), 0750u);

    // Only one level is created.
    EXPECT_FALSE(SetupDataFolder(paths, dir + "/no/such"));
    EXPECT_FALSE(DirectoryExists(dir + "/no"));
    // No application-data folder: nothing is created anywhere.
    EXPECT_FALSE(SetupDataFolder(paths, ""));
    EXPECT_EQ(paths.dataFolder, "Keyfold");  // never "/Keyfold" at the root
    EXPECT_FALSE(DirectoryExists("Keyfold"));
}

TEST_F(LocationsTest, StoredLocationReplacesTheStorageFolder) {
    ASSERT_TRUE(SetupDataFolder(paths, dir));
    SetupStoragePaths(paths);
    EXPECT_EQ(paths.storageFolder, dir + "/Keyfold/");
    EXPECT_EQ(paths.dataFile, dir + "/Keyfold/KFOLD30.DAT");
    EXPECT_EQ(paths.legacyFile, dir + "/Keyfold/KFOLD28.DAT");
    EXPECT_FALSE(ReadStoredLocation(paths.dataFolder));

    WriteStoredLocation(paths.dataFolder, "/media/stick");
    EXPECT_EQ(vaulttest::modeOf(dir + "/Keyfold/Storage.loc"), 0600u);
    EXPECT_EQ(vaulttest::readBytes(dir + "/Keyfold/Storage.loc"), "/media/stick");
    SetupStoragePaths(paths);
    EXPECT_EQ(paths.storageFolder, "/media/stick/");
    EXPECT_EQ(paths.dataFile, "/media/stick/KFOLD30.DAT");

    WriteStoredLocation(paths.dataFolder, "/media/stick/");
    SetupStoragePaths(paths);
    EXPECT_EQ(paths.legacyFile, "/media/stick/KFOLD28.DAT");

    // Nothing about it goes into the settings file.
    EXPECT_FALSE(FileExists(paths.settingsFile));

    // A record with a NUL or another control character names no folder: the data
    // folder is used. Line ends after the location are still fine.
    for (const std::string& damaged : {std::string("/media/stick\0/etc/x", 19), std::string("/media/\x01stick")}) {
        vaulttest::writeBytes(dir + "/Keyfold/Storage.loc", damaged);
        EXPECT_FALSE(ReadStoredLocation(paths.dataFolder));
        SetupStoragePaths(paths);
        EXPECT_EQ(paths.dataFile, dir + "/Keyfold/KFOLD30.DAT");
    }
    vaulttest::writeBytes(dir + "/Keyfold/Storage.loc", "/media/st\xe9" "ck\r\n");
    EXPECT_EQ(ReadStoredLocation(paths.dataFolder), std::optional<std::string>("/media/st\xe9" "ck"));
}

}  // namespace
