#include "vault/keyphrase.h"

#include <algorithm>
#include <cstdio>
#ifndef KEYFOLD_NO_SODIUM
#include <sodium.h>
#endif

#include "vault/windows1252.h"
#include "vault/secret.h"
#include "vault/text.h"

namespace vault {

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
    } else if (std::any_of(trimmed.begin(), trimmed.end(), [](char c) {
                   const auto code = static_cast<unsigned char>(c);
                   return code < 32 || code == 127;
               })) {
        result.problem = PhraseProblem::ControlCharacter;
    } else if (trimmed.size() > kMaxKeyPhraseLength) {
        result.problem = PhraseProblem::TooLong;
    } else {
        result.text = trimmed;
    }
    return result;
}

bool samePhrase(std::string_view a, std::string_view b) {
    // Both in buffers of the longest phrase's size, so the comparison takes the same
    // time whatever they hold; a longer text can never be a phrase.
    constexpr std::size_t kSize = kMaxKeyPhraseLength + 1;
    if (a.size() >= kSize || b.size() >= kSize) return false;
    unsigned char left[kSize] = {};
    unsigned char right[kSize] = {};
    std::copy(a.begin(), a.end(), left);
    std::copy(b.begin(), b.end(), right);
    left[kMaxKeyPhraseLength] = static_cast<unsigned char>(a.size());
    right[kMaxKeyPhraseLength] = static_cast<unsigned char>(b.size());
#ifndef KEYFOLD_NO_SODIUM
    const bool same = sodium_memcmp(left, right, kSize) == 0;
#else
    volatile unsigned char difference = 0;
    for (std::size_t i = 0; i < kSize; ++i) difference = difference | (left[i] ^ right[i]);
    const bool same = difference == 0;
#endif
    wipeBytes(left, kSize);
    wipeBytes(right, kSize);
    return same;
}

std::string describeCharacters(const std::u32string& missing) {
    std::string out;
    for (char32_t c : missing) {
        if (!out.empty()) out += ", ";
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
        if (c >= 0x20 && c != 0xFFFD) {  // a malformed byte has no character to show
            out += '"';
            out += utf8Of(c);
            out += "\" ";
        }
        out += '(';
        out += code;
        out += ')';
    }
    return out;
}

}  // namespace vault
