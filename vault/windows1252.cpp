#include "vault/windows1252.h"

#include <array>
#include <optional>

#include "vault/secret.h"

namespace vault {
namespace {

// Unicode of the bytes 0x80..0x9F in Windows-1252; the undefined ones keep their number.
constexpr std::array<char16_t, 32> kHigh = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

std::string utf8Of(char32_t character) {
    std::string out;
    appendUtf8(out, character);
    return out;
}

char16_t unicodeOfWindows1252(unsigned char b) {
    if (b >= 0x80 && b <= 0x9F) return kHigh[b - 0x80];
    return b;
}

int windows1252OfUnicode(char32_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<int>(u);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == u) return 0x80 + i;
    return -1;
}

std::string utf8FromWindows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);  // the longest a character takes: no growth leaves a copy
    for (unsigned char b : bytes) appendUtf8(out, unicodeOfWindows1252(b));
    return out;
}

namespace {

// The character of the UTF-8 sequence at in[i], or nothing for a malformed one (overlong
// forms and surrogates included); i moves past what was taken (one byte when malformed).
std::optional<char32_t> nextCharacter(std::string_view in, std::size_t& i) {
    const unsigned char lead = static_cast<unsigned char>(in[i]);
    int extra = lead < 0x80             ? 0
                : (lead & 0xE0) == 0xC0 ? 1
                : (lead & 0xF0) == 0xE0 ? 2
                : (lead & 0xF8) == 0xF0 ? 3
                                        : -1;
    char32_t c = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
    bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < in.size();
    for (int k = 1; ok && k <= extra; ++k) {
        const unsigned char next = static_cast<unsigned char>(in[i + k]);
        if ((next & 0xC0) != 0x80)
            ok = false;
        else
            c = (c << 6) | (next & 0x3F);
    }
    if (ok && ((extra == 1 && c < 0x80) || (extra == 2 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
               (extra == 3 && (c < 0x10000 || c > 0x10FFFF))))
        ok = false;
    if (!ok) {
        ++i;
        return std::nullopt;
    }
    i += static_cast<std::size_t>(extra) + 1;
    return c;
}

}  // namespace

std::string windows1252FromUtf8(std::string_view in, std::u32string* missing) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        const std::optional<char32_t> c = nextCharacter(in, i);
        const int b = c ? windows1252OfUnicode(*c) : -1;
        if (b < 0 && missing) missing->push_back(c ? *c : U'\uFFFD');
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return out;
}

std::optional<std::string> windows1252FromUtf8Exactly(std::string_view in, char32_t* lacking) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        const std::optional<char32_t> c = nextCharacter(in, i);
        const int b = c ? windows1252OfUnicode(*c) : -1;
        if (b < 0) {
            if (lacking) *lacking = c.value_or(0xFFFD);
            wipeSecret(out);  // what was converted so far may be part of a password
            return std::nullopt;
        }
        out.push_back(static_cast<char>(b));
    }
    return out;
}

bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();)
        if (!nextCharacter(text, i)) return false;
    return true;
}

}  // namespace vault
