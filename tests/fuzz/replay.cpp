// Runs a harness without a fuzzing engine: over its seeds built by code and over every
// file named on the command line (or found in a folder named there), so the seeds and
// any saved finding replay as an ordinary test. "--write-seeds DIR" writes the seeds
// as files, the starting corpus of a fuzzing run.
#include <filesystem>
#include <iostream>

#include "common.h"

namespace {
int runOne(const std::string& bytes) {
    return LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}
}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--write-seeds") {
        fs::create_directories(args[1]);
        int i = 0;
        for (const std::string& seed : FuzzSeeds()) fuzz::writeBytes(args[1] + "/seed-" + std::to_string(i++), seed);
        std::cout << i << " seeds written to " << args[1] << "\n";
        return 0;
    }
    std::size_t count = 0;
    for (const std::string& seed : FuzzSeeds()) {
        runOne(seed);
        ++count;
    }
    for (const std::string& arg : args) {
        std::vector<fs::path> files;
        if (fs::is_directory(arg)) {
            for (const auto& e : fs::directory_iterator(arg))
                if (e.is_regular_file()) files.push_back(e.path());
        } else {
            files.push_back(arg);
        }
        for (const auto& f : files) {
            std::string bytes;
            if (!fuzz::readFile(f.string(), bytes)) {
                std::cerr << "cannot read " << f << "\n";
                return 1;
            }
            runOne(bytes);
            ++count;
        }
    }
    std::cout << count << " inputs passed\n";
    return 0;
}
