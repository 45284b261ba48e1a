// Writes a full data file for the start-up measurement (startup.sh): 1000 slots with
// slots 0 to 998 in use, enciphered under the given key phrase, in the given folder.
// Every entry gets its own example address, or the one given.
//   keyfold_make_data_file <data folder> <key phrase> [website]
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "sitenames.h"
#include "tests/support/vault_files.h"

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s <data folder> <key phrase> [website]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    try {
        std::filesystem::create_directories(folder);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        const std::optional<std::string> website = argc == 4 ? std::optional<std::string>(argv[3]) : std::nullopt;
        testsupport::writeDataFile(folder + "/" + vault::kDataFileName,
                                   testsupport::fullDataFileBytes(argv[2], bench::exampleSiteName, website));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
