// An export's rows as the data file would store them: each row's entry exactly as the
// file gives it, every difference named, or the reason it cannot be stored. Plain C++
// on the vault, so that the fuzzers build it too.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/csv.h"
#include "vault/entry.h"
#include "vault/secret.h"

namespace cli {

// The export's bytes as UTF-8 text: UTF-8 as it is, UTF-16 by its byte-order mark,
// anything else as Windows-1252 (then how says so, as it does for UTF-16). Nothing, with
// the problem in words, for malformed UTF-16 and for UTF-8 mixed with other 8-bit text.
std::optional<vault::SecretText> importText(std::string_view bytes, std::string& how, std::string& problem);

// One row as it would be stored, what differs from the file, or why the row cannot be
// stored.
struct PreparedRow {
    vault::Entry entry;
    std::string shown;  // the name for messages (UTF-8): as stored, once it can be
    std::vector<std::string> changes;
    std::string skipReason;
};

// The ASCII form of an address whose host or path is in another script
// ("https://почта.рф/" -> "https://xn--80a1acny.xn--p1ai/"), or nothing.
using AsciiAddress = std::function<std::optional<std::string>(const std::string& utf8Address)>;

// The row of an export as the session is to be given it: texts in Windows-1252 exactly
// as in the file (only trimming, the name's capitals, the scheme's small letters and
// the comment's layout may differ, each named in changes), or a skip reason.
PreparedRow prepareRow(const Login& login, const AsciiAddress& asciiAddress);

}  // namespace cli
