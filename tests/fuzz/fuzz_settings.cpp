// The settings file reader and writer on arbitrary ini text: reading never fails and
// gives 0 for anything that is not an integer; writing a window size reads back as
// written, leaves the other sections' values as they were, and writing it again
// gives the same file byte for byte.
#include <climits>

#include "common.h"
#include "vault/settings.h"

namespace {
const char* const kSections[] = {"Frmfirst", "FrmBrowse", "Webbrowser1"};

// A plain reading of a 32-bit decimal integer, for comparison.
bool decimal(const std::string& text, long long& value) {
    if (text.empty()) return false;
    std::size_t i = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') negative = text[i++] == '-';
    if (i == text.size()) return false;
    while (i + 1 < text.size() && text[i] == '0') ++i;  // leading zeros
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
        if (v > 1LL << 32) return false;
    }
    value = negative ? -v : v;
    return value >= INT_MIN && value <= INT_MAX;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::uint8_t which = in.byte();
    const int width = in.int32();
    const int height = in.int32();
    const std::string number = in.shortText();
    const std::string ini = in.rest();
    const std::string path = fuzz::usePaths().settingsFile;

    // The integer parser against a plain reading (decimal texts without blanks).
    long long expected = 0;
    if (number.find_first_of(" \t\r") == std::string::npos && number.find("0x") == std::string::npos &&
        number.find("0X") == std::string::npos && number.find('$') == std::string::npos) {
        auto parsed = vault::parseIniInteger(number);
        if (decimal(number, expected))
            FUZZ_CHECK(parsed && *parsed == expected);
        else
            FUZZ_CHECK(!parsed);
    }
    FUZZ_CHECK(vault::parseIniInteger(std::to_string(width)) == width);

    fuzz::writeBytes(path, ini);
    int before[3][2];
    for (int s = 0; s < 3; ++s) {
        before[s][0] = vault::readWidth(kSections[s], path);
        before[s][1] = vault::readHeight(kSections[s], path);
    }
    const int target = which % 3;
    vault::saveSize(kSections[target], path, width, height);
    FUZZ_CHECK(vault::readWidth(kSections[target], path) == width);
    FUZZ_CHECK(vault::readHeight(kSections[target], path) == height);
    for (int s = 0; s < 3; ++s) {
        if (s == target) continue;
        FUZZ_CHECK(vault::readWidth(kSections[s], path) == before[s][0]);
        FUZZ_CHECK(vault::readHeight(kSections[s], path) == before[s][1]);
    }
    std::string once, twice;
    FUZZ_CHECK(fuzz::readFile(path, once));
    vault::saveSize(kSections[target], path, width, height);
    FUZZ_CHECK(fuzz::readFile(path, twice));
    FUZZ_CHECK(once == twice);
    std::string temp;
    FUZZ_CHECK(!fuzz::readFile(vault::tempNameFor(path), temp));
    return 0;
}

std::vector<std::string> FuzzSeeds() {
    auto seed = [](int which, int w, int h, const std::string& number, const std::string& ini) {
        std::string s(1, static_cast<char>(which));
        for (int v : {w, h})
            for (int shift = 24; shift >= 0; shift -= 8)
                s += static_cast<char>((static_cast<unsigned>(v) >> shift) & 0xff);
        return s + fuzz::lengthPrefixed(number) + ini;
    };
    return {
        seed(0, 800, 600, "700", ""),
        seed(1, 1024, 768, "-12", "[Frmfirst]\r\nW=800\r\nH=600\r\n\r\n[FrmBrowse]\r\nW=0x10\r\nH=$20\r\n"),
        seed(2, -1, 0, "2147483648", "; comment\n[webbrowser1]\nw = 5\nh=\"7\"\n[Other]\nkey=value\n"),
        seed(0, INT_MIN, INT_MAX, "+0", "[Frmfirst\nW=1\n[Frmfirst]junk\nW=2\nW=3\nH\n=4\n"),
        seed(1, 5, 6, "00012", "no sections at all\nW=9\n"),
        seed(2, 7, 8, "", "[Webbrowser1]\rW=1\rH=2\r[FrmBrowse]\nW=3"),
    };
}
