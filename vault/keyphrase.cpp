#include "vault/keyphrase.h"

#include <algorithm>
#include <cstdio>

#include "vault/windows1252.h"
#include "vault/secret.h"
#include "vault/text.h"

namespace vault {

KeyPhraseText::~KeyPhraseText() { wipeSecret(text); }

KeyPhraseText keyPhraseFromUtf8(std::string_view utf8) {
    KeyPhraseText result;
    std::u32string missing;
    std::string bytes = windows1252FromUtf8(utf8, &missing);
    WipeAtScopeEnd wipe(bytes);
    std::string trimmed = trim(bytes);
    WipeAtScopeEnd wipeTrimmed(trimmed);
    if (!missing.empty()) {
        result.problem = PhraseProblem::NotWindows1252;
        for (char32_t c : missing)
            if (result.missing.find(c) == std::u32string::npos) result.missing.push_back(c);
    } else if (trimmed.find('\0') != std::string::npos) {
        result.problem = PhraseProblem::ZeroByte;
    } else if (trimmed.size() > kMaxKeyPhraseLength) {
        result.problem = PhraseProblem::TooLong;
    } else {
        result.text = trimmed;
    }
    return result;
}

std::string describeCharacters(const std::u32string& missing) {
    std::string out;
    for (char32_t c : missing) {
        if (!out.empty()) out += ", ";
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
        if (c >= 0x20 && c != 0xFFFD) {  // a malformed byte has no character to show
            out += "\"" + utf8Of(c) + "\" ";
        }
        out += "(" + std::string(code) + ")";
    }
    return out;
}

}  // namespace vault
