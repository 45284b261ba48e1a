// JSON text for scripts: strings escaped, entries as objects with the field names that
// `show --field` takes (name, url, user, password, comment).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "vault/entry.h"
#include "vault/secret.h"

namespace cli {

// The UTF-8 text as a JSON string, quotes included. Control characters, the C1 range
// and the line and paragraph separators are written as \u escapes, so the text stays
// on one line and no terminal control reaches the reader.
std::string jsonString(std::string_view utf8);
// ["a","b"]
std::string jsonStrings(const std::vector<std::string>& utf8);
// {"name":…,"url":…,"user":…[,"password":…],"comment":…[,extra]}: the entry's texts
// (Windows-1252) in UTF-8; extra, when given, is appended as further "key":value pairs.
vault::SecretText entryJson(const vault::Entry& entry, bool withPassword, const std::string& extra = {});

}  // namespace cli
