#include "vault/text.h"

namespace vault {

std::string_view trimmedView(std::string_view text) {
    std::size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
    return text.substr(first, last - first);
}

std::string trim(std::string_view text) { return std::string(trimmedView(text)); }

unsigned char upperByte(unsigned char b) {
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) return static_cast<unsigned char>(b - 0x20);
    switch (b) {
    case 0x9A: return 0x8A;  // š
    case 0x9C: return 0x8C;  // œ
    case 0x9E: return 0x8E;  // ž
    case 0xFF: return 0x9F;  // ÿ
    default: return b;
    }
}

std::string upperText(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(upperByte(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace vault
