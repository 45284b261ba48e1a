// The key phrase as every caller takes it (the key dialog, keyfold-cli, the vault):
// from the user's Unicode text to the Windows-1252 bytes the cipher and the seal use,
// trimmed of codes 0 to 32 at both ends, and refused rather than changed when it cannot
// be held: a character Windows-1252 lacks, a zero byte, another control character
// (below 32, or 127) inside it, more than 255 characters.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "vault/secret.h"

namespace vault {

constexpr std::size_t kMaxKeyPhraseLength = 255;

enum class PhraseProblem {
    None,
    NotWindows1252,    // missing names the characters the data file's text cannot hold
    ZeroByte,          // a zero byte inside the phrase
    ControlCharacter,  // a line break, a tab or another code below 32, or 127, inside the phrase
    TooLong,           // more than kMaxKeyPhraseLength characters after trimming
};

struct KeyPhraseText {
    PhraseProblem problem = PhraseProblem::None;
    SecretText text;         // the phrase in Windows-1252, trimmed (empty unless problem is None)
    std::u32string missing;  // NotWindows1252: each character that cannot be held, once
};

// The phrase typed as UTF-8.
[[nodiscard]] KeyPhraseText keyPhraseFromUtf8(std::string_view utf8);

// Whether two phrases (as keyPhraseFromUtf8 gives them) are the same, in a time that
// tells nothing of where they differ or how long they are.
[[nodiscard]] bool samePhrase(std::string_view a, std::string_view b);

// The characters of missing for a message, each in double quotes with its code point:
// "п" (U+043F), "а" (U+0430).
std::string describeCharacters(const std::u32string& missing);

}  // namespace vault
