#include "vault/settings.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "vault/fileio.h"
#include "vault/ioerror.h"
#include "vault/locations.h"

namespace vault {
namespace {

// Profile files are small; they are read whole, edited as lines and written whole.
struct IniLines {
    std::string marks;  // the byte-order marks the file starts with, written back as found
    std::vector<std::string> lines;
    std::string eol = "\n";
};

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

// The name of a "[section]" line, or nothing.
std::optional<std::string_view> sectionOf(std::string_view line) {
    line = trimSpaces(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trimSpaces(line.substr(1, close - 1));
}

// The key of a "key=value" line, or nothing (comments and other lines).
std::optional<std::string_view> keyOf(std::string_view line) {
    std::string_view t = trimSpaces(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
    auto eq = t.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return trimSpaces(t.substr(0, eq));
}

// The reading and the writing both start here, so a write keeps what a read saw: every
// byte-order mark at the start (an editor may have added one, or one more on each save)
// is set aside and written back, and trailing CRs, which no reading looks at, are
// dropped with the line end. Writing the lines read changes nothing, so a second
// identical write gives the same file.
IniLines splitLines(std::string_view bytes) {
    IniLines ini;
    while (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        ini.marks += kByteOrderMark;
        bytes.remove_prefix(kByteOrderMark.size());
    }
    if (bytes.find("\r\n") != std::string::npos) ini.eol = "\r\n";
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line(bytes.substr(start, end - start));
        while (!line.empty() && line.back() == '\r') line.pop_back();
        ini.lines.push_back(std::move(line));
        start = end + 1;
    }
    return ini;
}

// Index of the first line of the section, or -1.
long findSection(const IniLines& ini, std::string_view section) {
    for (std::size_t i = 0; i < ini.lines.size(); ++i) {
        auto name = sectionOf(ini.lines[i]);
        if (name && sameIgnoringCase(*name, section)) return static_cast<long>(i);
    }
    return -1;
}

// One past the section's last line.
std::size_t sectionEnd(const IniLines& ini, long header) {
    std::size_t i = static_cast<std::size_t>(header) + 1;
    while (i < ini.lines.size() && !sectionOf(ini.lines[i])) ++i;
    return i;
}

std::optional<std::string> readValue(const std::string& iniPath, const std::string& section, const std::string& key) {
    std::string bytes;
    try {
        bytes = readWholeFile(iniPath);
    } catch (const std::exception&) {
        return std::nullopt;  // a missing or unreadable file reads as nothing stored
    }
    IniLines ini = splitLines(bytes);
    long header = findSection(ini, section);
    if (header < 0) return std::nullopt;
    for (std::size_t i = static_cast<std::size_t>(header) + 1, end = sectionEnd(ini, header); i < end; ++i) {
        auto k = keyOf(ini.lines[i]);
        if (k && sameIgnoringCase(*k, key)) {
            std::string_view line = ini.lines[i];
            std::string_view value = trimSpaces(line.substr(line.find('=') + 1));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            return std::string(value);
        }
    }
    return std::nullopt;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

// Decimal ("-12", "+7") or hexadecimal ("0x1F", "$1F") 32-bit integers; anything else
// (including trailing garbage and values out of range) is not an integer.
std::optional<int> parseIniInteger(std::string_view text) {
    std::string_view s = trimSpaces(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    if (s.front() == '$' || (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))) {
        s.remove_prefix(s.front() == '$' ? 1 : 2);
        if (s.empty() || s.size() > 8) return std::nullopt;
        std::uint32_t v = 0;
        for (char c : s) {
            int d = hexDigit(c);
            if (d < 0) return std::nullopt;
            v = v * 16 + static_cast<std::uint32_t>(d);
        }
        std::int32_t value = static_cast<std::int32_t>(v);
        return negative ? static_cast<int>(0u - static_cast<std::uint32_t>(value)) : value;
    }
    std::int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > static_cast<std::int64_t>(INT_MAX) + 1) return std::nullopt;
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) return std::nullopt;
    return static_cast<int>(v);
}

int readIniInteger(const std::string& iniPath, const std::string& section, const std::string& key) {
    std::optional<std::string> value = readValue(iniPath, section, key);
    if (!value) return 0;
    return parseIniInteger(*value).value_or(0);
}

std::optional<std::string> readIniString(const std::string& iniPath, const std::string& section,
                                         const std::string& key) {
    return readValue(iniPath, section, key);
}

void writeIniValues(const std::string& iniPath, const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& values) {
    try {
        IniLines ini;
#ifdef _WIN32
        ini.eol = "\r\n";
#endif
        if (fileExists(iniPath)) ini = splitLines(readWholeFile(iniPath));
        long header = findSection(ini, section);
        if (header < 0) {
            if (!ini.lines.empty() && !trimSpaces(ini.lines.back()).empty()) ini.lines.emplace_back();
            ini.lines.push_back("[" + section + "]");
            header = static_cast<long>(ini.lines.size()) - 1;
        }
        for (const auto& [key, value] : values) {
            std::size_t end = sectionEnd(ini, header);
            std::size_t insertAt = static_cast<std::size_t>(header) + 1;
            bool replaced = false;
            for (std::size_t i = static_cast<std::size_t>(header) + 1; i < end; ++i) {
                auto k = keyOf(ini.lines[i]);
                if (k && sameIgnoringCase(*k, key)) {
                    ini.lines[i] = std::string(*k) + "=" + value;
                    replaced = true;
                    break;
                }
                if (!trimSpaces(ini.lines[i]).empty()) insertAt = i + 1;
            }
            if (!replaced)
                ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + value);
        }
        std::string bytes = ini.marks;
        for (const std::string& line : ini.lines) bytes += line + ini.eol;
        writeFileReplacing(iniPath, bytes);
    } catch (const IoError& e) {
        throw IoError("Unable to write to " + iniPath, e.code());
    }
}

void writeIniString(const std::string& iniPath, const std::string& section, const std::string& key,
                    const std::string& value) {
    writeIniValues(iniPath, section, {{key, value}});
}

void saveSize(const std::string& section, const std::string& iniPath, int width, int height) {
    writeIniValues(iniPath, section, {{"W", std::to_string(width)}, {"H", std::to_string(height)}});
}

int readWidth(const std::string& section, const std::string& iniPath) { return readIniInteger(iniPath, section, "W"); }

int readHeight(const std::string& section, const std::string& iniPath) { return readIniInteger(iniPath, section, "H"); }

int clipboardClearSeconds(const std::string& iniPath) {
    try {
        const std::optional<std::string> value = readIniString(iniPath, "Clipboard", "ClearAfter");
        if (!value) return kDefaultClipboardClearSeconds;
        const std::optional<int> seconds = parseIniInteger(*value);
        if (!seconds || *seconds < 0) return kDefaultClipboardClearSeconds;
        return std::min(*seconds, kLongestClipboardSeconds);
    } catch (...) {
        return kDefaultClipboardClearSeconds;
    }
}

bool sealsNewDataFile(const std::string& iniPath) {
    try {
        const std::optional<std::string> value = readIniString(iniPath, "DataFile", "SealNewFile");
        if (!value) return true;
        const std::optional<int> seal = parseIniInteger(*value);
        return !(seal && *seal == 0);
    } catch (...) {
        return true;
    }
}

}  // namespace vault
