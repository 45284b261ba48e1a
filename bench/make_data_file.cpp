// Writes a full data file for the start-up measurement (startup.sh): 1000 slots with
// slots 0 to 998 in use, enciphered under the given key phrase, in the given folder.
// Every entry gets its own example address, or the one given.
//   keyfold_make_data_file <data folder> <key phrase> [website]
#include <cstdio>
#include <filesystem>
#include <string>

#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/ioerror.h"
#include "vault/locations.h"
#include "vault/record.h"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s <data folder> <key phrase> [website]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    try {
        std::filesystem::create_directories(folder);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        vault::Paths().storageFolder = folder + "/";
        vault::Paths().dataFile = folder + "/KFOLD30.DAT";
        vault::InitCipherTables();
        vault::CreateDataFile();
        vault::SetKeyPhrase(argv[2]);
        vault::OpenDataFile();
        for (int i = 0; i < 999; ++i) {
            char name[32], web[64], user[64], comment[96], pw[26];
            std::snprintf(name, sizeof name, "EXAMPLE SITE %04d", i);
            std::snprintf(web, sizeof web, "https://www.example%04d.com/login", i);
            const std::string website = argc == 4 ? argv[3] : web;
            std::snprintf(user, sizeof user, "user%04d@example.org", i);
            std::snprintf(comment, sizeof comment, "Opened in 2019; security questions kept on paper (%d)", i);
            std::snprintf(pw, sizeof pw, "pW0rd!%04dxyz", i);
            vault::CurrentRecord = vault::MakeRecord("A", name, website, user, comment, pw);
            vault::WriteSlot(i);
        }
        vault::CloseDataFile();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
