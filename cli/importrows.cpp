#include "cli/importrows.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "vault/entry.h"
#include "vault/record.h"
#include "vault/secret.h"
#include "vault/text.h"
#include "vault/windows1252.h"

namespace cli {

namespace {

constexpr std::size_t kFieldWidth = vault::kTextWidth;
constexpr char32_t kByteOrderMark = 0xFEFF;

// The characters of UTF-8 text, a malformed byte as U+FFFD.
std::u32string characters(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        const std::size_t n = b < 0x80             ? 1
                              : (b & 0xE0) == 0xC0 ? 2
                              : (b & 0xF0) == 0xE0 ? 3
                              : (b & 0xF8) == 0xF0 ? 4
                                                   : 0;
        if (n == 0 || i + n > text.size() || !vault::isUtf8(text.substr(i, n))) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t c = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
        for (std::size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out.push_back(c);
        i += n;
    }
    return out;
}

bool isControl(char32_t c) { return c < 32 || (c >= 0x7F && c <= 0x9F); }
bool isLineBreak(char32_t c) { return c == '\r' || c == '\n' || c == 0x2028 || c == 0x2029; }

// A character for a message: itself (a control character by its code) and its number.
std::string characterText(char32_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    if (c == '\n' || c == '\r') return std::string("a line break (") + code + ")";
    if (c == '\t') return std::string("a tab (") + code + ")";
    if (c == kByteOrderMark) return std::string("a byte-order mark (") + code + ")";
    if (isControl(c)) return std::string("a control character (") + code + ")";
    return "\"" + vault::utf8Of(c) + "\" (" + code + ")";
}

std::optional<char32_t> firstControl(std::string_view utf8) {
    std::u32string text = characters(utf8);  // may be a password's: wiped below
    std::optional<char32_t> found;
    for (char32_t c : text)
        if (isControl(c)) {
            found = c;
            break;
        }
    vault::wipeBytes(text.data(), text.size() * sizeof(char32_t));
    return found;
}

// The field in Windows-1252 exactly as given, or nothing with the reason.
std::optional<std::string> exactField(std::string_view utf8, const std::string& what, std::string& why) {
    if (const std::optional<char32_t> c = firstControl(utf8)) {
        why = "the " + what + " holds " + characterText(*c);
        return std::nullopt;
    }
    char32_t lacking = 0;
    std::optional<std::string> bytes = vault::windows1252FromUtf8Exactly(utf8, &lacking);
    if (!bytes) why = "the " + what + " holds " + characterText(lacking) + ", which the data file cannot hold";
    return bytes;
}

// The scheme of an address ("https" of "https://x"), as written; empty when it has none
// ("localhost:8080" has a port, not a scheme).
std::string schemeOf(const std::string& url) {
    if (url.empty() || !std::isalpha(static_cast<unsigned char>(url[0]))) return {};
    std::size_t i = 1;
    while (i < url.size() &&
           (std::isalnum(static_cast<unsigned char>(url[i])) || url[i] == '+' || url[i] == '.' || url[i] == '-'))
        ++i;
    if (i >= url.size() || url[i] != ':') return {};
    if (i + 1 < url.size() && std::isdigit(static_cast<unsigned char>(url[i + 1]))) return {};
    return url.substr(0, i);
}

std::string lowerAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The address: trimmed, its scheme in lower case, a host the data file cannot hold in
// its ASCII form; only web addresses with more than a scheme. Nothing (with the reason)
// when it cannot be stored.
std::optional<std::string> address(std::string url, std::vector<std::string>& changes, std::string& why,
                                   const AsciiAddress& asciiAddress) {
    const std::string trimmed = vault::trim(url);
    if (trimmed != url && !trimmed.empty()) changes.push_back("address trimmed");
    url = trimmed;
    const std::string scheme = schemeOf(url);
    if (!scheme.empty()) {
        const std::string lower = lowerAscii(scheme);
        if (lower != "http" && lower != "https") {
            why = "the address is no web address (" + lower + ":)";
            return std::nullopt;
        }
        if (url.find_first_not_of('/', scheme.size() + 1) == std::string::npos) {
            why = "the address holds nothing but its scheme (" + lower + ":)";
            return std::nullopt;
        }
        if (scheme != lower) {
            url.replace(0, scheme.size(), lower);
            changes.push_back("scheme written in lower case");
        }
    }
    std::optional<std::string> bytes = exactField(url, "address", why);
    if (!bytes && !firstControl(url) && asciiAddress) {
        // A host or path in other scripts has an ASCII form that every browser reads.
        std::optional<std::string> ascii = asciiAddress(scheme.empty() ? "http://" + url : url);
        if (ascii && !ascii->empty() &&
            std::all_of(ascii->begin(), ascii->end(), [](char ch) { return ch > 32 && ch < 127; })) {
            changes.push_back("address written as " + *ascii);
            bytes = std::move(ascii);
            why.clear();
        }
    }
    if (!bytes) return std::nullopt;
    if (bytes->size() > kFieldWidth) {
        why = "the address is longer than " + std::to_string(kFieldWidth) + " characters";
        return std::nullopt;
    }
    if (!bytes->empty() && vault::addressNeedsScheme(*bytes))
        changes.push_back("address completed as http://" + vault::utf8FromWindows1252(*bytes));
    return bytes;
}

// The text on one line: each line break (CR LF as one) as joint.
std::u32string oneLine(const std::u32string& text, const std::u32string& joint, bool& changed) {
    std::u32string out;
    changed = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isLineBreak(text[i])) {
            out.push_back(text[i]);
            continue;
        }
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        out += joint;
        changed = true;
    }
    return out;
}

std::string utf8Of(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) out += vault::utf8Of(c);
    return out;
}

// The note on one line, with the row's other data after it where the comment has room.
// Secrets are never kept there: the comment is shown in the clear.
std::string comment(const Login& l, std::vector<std::string>& changes) {
    bool brokenLines = false, controls = false, byteOrderMark = false;
    const std::u32string note = oneLine(characters(l.note), U" ", brokenLines);
    if (brokenLines) changes.push_back("note put on one line");
    std::string bytes;
    std::string lacking;
    for (char32_t c : note) {
        if (c == kByteOrderMark) {
            byteOrderMark = true;
            continue;
        }
        if (isControl(c) && c != '\t') {
            controls = true;
            bytes.push_back(' ');
            continue;
        }
        const int b = vault::windows1252OfUnicode(c);
        if (b < 0 && lacking.find(characterText(c)) == std::string::npos)
            lacking += (lacking.empty() ? "" : ", ") + characterText(c);
        bytes.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    if (byteOrderMark) changes.push_back("note: a byte-order mark (U+FEFF) left out");
    if (controls) changes.push_back("control characters in the note written as blanks");
    if (!lacking.empty()) changes.push_back("note: " + lacking + " written as \"?\" (the data file cannot hold them)");
    if (vault::trim(bytes) != bytes) {
        bytes = vault::trim(bytes);
        changes.push_back("note trimmed");
    }
    if (bytes.size() > kFieldWidth) {
        bytes = vault::trim(bytes.substr(0, kFieldWidth));
        changes.push_back("note cut to " + std::to_string(kFieldWidth) + " characters");
    }
    for (const auto& [what, value] : l.extras) {
        bool changed = false;
        const std::string piece = utf8Of(oneLine(characters(what + ": " + value), U"; ", changed));
        std::string why;
        const std::optional<std::string> text = exactField(vault::trim(piece), what, why);
        const std::string joined = bytes.empty() ? text.value_or("") : bytes + "; " + text.value_or("");
        if (!text)
            changes.push_back(what + " left out (" + why + ")");
        else if (joined.size() > kFieldWidth)
            changes.push_back(what + " left out (no room in the comment)");
        else {
            bytes = joined;
            changes.push_back(what + " kept in the comment");
        }
    }
    if (!l.secretsLeftOut.empty()) {
        std::string names;
        for (const std::string& s : l.secretsLeftOut) names += (names.empty() ? "" : ", ") + s;
        changes.push_back("left out, as the comment is shown in the clear: " + names);
    }
    return bytes;
}

}  // namespace

std::optional<vault::SecretText> importText(std::string_view bytes, std::string& how, std::string& problem) {
    const bool little = bytes.substr(0, 2) == "\xFF\xFE", big = bytes.substr(0, 2) == "\xFE\xFF";
    if (little || big) {
        vault::SecretText text;
        auto unit = [&](std::size_t i) {
            const unsigned char a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
            return static_cast<char32_t>(little ? a | b << 8 : b | a << 8);
        };
        bool wellFormed = bytes.size() % 2 == 0;
        for (std::size_t i = 2; wellFormed && i + 1 < bytes.size(); i += 2) {
            char32_t c = unit(i);
            if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
                i += 2;
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                wellFormed = false;
            }
            text += vault::utf8Of(c);
        }
        if (!wellFormed) {
            problem = "the file is no well-formed UTF-16 text";
            return std::nullopt;
        }
        how = ", read as UTF-16";
        return text;
    }
    if (vault::isUtf8(bytes)) return vault::SecretText(bytes);
    // Rows saved by different programs: read either way, some would come out garbled.
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        const std::size_t n = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        if (n && i + n <= bytes.size() && vault::isUtf8(bytes.substr(i, n))) {
            problem = "the file mixes UTF-8 with other 8-bit text; save it as UTF-8 and import it again";
            return std::nullopt;
        }
    }
    how = ", read as Windows-1252 (it is no UTF-8 text)";
    return vault::SecretText(vault::utf8FromWindows1252(bytes));
}

PreparedRow prepareRow(const Login& l, const AsciiAddress& asciiAddress) {
    PreparedRow row;
    auto skip = [&](std::string why) {
        row.skipReason = std::move(why);
        return row;
    };
    std::string sourceName = vault::trim(l.name);
    row.shown = sourceName;
    std::string why;
    std::optional<std::string> website = address(l.url, row.changes, why, asciiAddress);
    if (!website) return skip(why);
    // Trimming may leave nothing of a name of blanks and control characters.
    if (sourceName != l.name) row.changes.push_back("name trimmed");
    if (sourceName.empty())
        // Named after the host, as the name is stored: "sp.example " is "sp.example".
        sourceName = vault::trim(hostOf(vault::utf8FromWindows1252(*website)));
    row.shown = sourceName;
    std::optional<std::string> bytes = exactField(sourceName, "name", why);
    if (!bytes) return skip(why);
    std::string name = vault::storedForm({*bytes, {}, {}, {}, {}}, vault::Operation::Import).name;
    if (name.size() > kFieldWidth) {
        name = vault::trim(name.substr(0, kFieldWidth));
        row.changes.push_back("name cut to " + std::to_string(kFieldWidth) + " characters");
    }
    row.shown = vault::utf8FromWindows1252(name);
    const std::string user = vault::trim(l.username);
    std::optional<std::string> userId = exactField(user, "user ID", why);
    if (!userId) return skip(why);
    if (user != l.username) row.changes.push_back("user ID trimmed");
    if (userId->size() > kFieldWidth)
        return skip("the user ID is longer than " + std::to_string(kFieldWidth) + " characters");
    std::optional<std::string> password = exactField(l.password, "password", why);
    if (!password) return skip(why);
    vault::WipeAtScopeEnd wipe(*password);
    if (password->size() > vault::kPasswordWidth)
        return skip("the password is longer than " + std::to_string(vault::kPasswordWidth) + " characters");
    if (vault::passwordHasSpace(*password)) return skip("the password holds a space");
    if (name.empty() || website->empty()) return skip("no name or no address");
    row.entry = vault::Entry{name, *website, *userId, std::move(*password), comment(l, row.changes)};
    return row;
}

}  // namespace cli
