#include "cli/json.h"

#include <cstdio>

#include "cli/cli.h"
#include "vault/secret.h"

namespace cli {

namespace {

template <class Text>
void appendJsonString(Text& text, std::string_view utf8) {
    text.reserve(text.size() + utf8.size() + 2);
    text.push_back('"');
    auto escape = [&](unsigned code) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04X", code);
        text += buffer;
    };
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c == '"' || c == '\\') {
            text.push_back('\\');
            text.push_back(static_cast<char>(c));
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            escape(c);
        } else if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
            escape(static_cast<unsigned char>(utf8[++i]));  // U+0080 to U+009F
        } else if (c == 0xE2 && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(utf8[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(utf8[i + 2]) == 0xA9)) {
            escape(0x2028u + (static_cast<unsigned char>(utf8[i + 2]) - 0xA8u));
            i += 2;
        } else {
            text.push_back(static_cast<char>(c));
        }
    }
    text.push_back('"');
}

}  // namespace

std::string jsonString(std::string_view utf8) {
    std::string text;
    appendJsonString(text, utf8);
    return text;
}

std::string jsonStrings(const std::vector<std::string>& utf8) {
    std::string text = "[";
    for (const std::string& s : utf8) (text += text.size() > 1 ? "," : "") += jsonString(s);
    return text + "]";
}

vault::SecretText entryJson(const vault::Entry& entry, bool withPassword, const std::string& extra) {
    // Built in a secret text: a block the password passed through is wiped when let go.
    vault::SecretText text = "{\"name\":";
    text += jsonString(utf8(entry.name));
    text += ",\"url\":";
    text += jsonString(utf8(entry.website));
    text += ",\"user\":";
    text += jsonString(utf8(entry.userId));
    if (withPassword) {
        text += ",\"password\":";
        appendJsonString(text, secretUtf8(entry.password));
    }
    text += ",\"comment\":";
    text += jsonString(utf8(entry.comments));
    if (!extra.empty()) (text += ",") += extra;
    text += "}";
    return text;
}

}  // namespace cli
