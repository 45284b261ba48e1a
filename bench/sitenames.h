// The entry names of the measured data files (keyfold_make_data_file, the window
// benchmark) and of the floor that shows the same list: names as people give them, each
// its own, two words with a number only where both words come again. Names that differ
// only in a number at the same place would read, under a long key phrase, like a typed
// phrase with a character wrong, and the program would not open the file.
#pragma once
#include <string>

namespace bench {

inline std::string exampleSiteName(int i) {
    static const char* const words[] = {
        "AMBER",  "BAKERY", "CASTLE", "DELTA",  "EMBER",   "FOREST", "GARDEN",  "HARBOR", "ISLAND",  "JUNGLE",
        "KETTLE", "LEMON",  "MEADOW", "NORTH",  "ORCHARD", "PEPPER", "QUARRY",  "RIVER",  "SUMMIT",  "TIMBER",
        "URBAN",  "VALLEY", "WILLOW", "YONDER", "ZEPHYR",  "BRIGHT", "COASTAL", "DAILY",  "EASTERN", "GOLDEN",
        "HONEST", "LITTLE", "MODERN", "NOBLE",  "SILVER",  "TRAVEL", "WESTERN"};
    constexpr int kWords = sizeof words / sizeof words[0];
    std::string name = std::string(words[i % kWords]) + " " + words[(i / kWords + i) % kWords];
    if (i >= kWords * kWords) name += " " + std::to_string(i);
    return name;
}

}  // namespace bench
