// keyfold-cli's output for scripts: the entries in the list's order, one field of an
// entry, entries as JSON, and the search over the fields.
#pragma once
#include <string>
#include <vector>

#include <QString>

#include "cli/cli.h"
#include "vault/entry.h"
#include "vault/session.h"

namespace cli {

// Every entry in the order of the main window's list; the passwords (secret texts) are
// wiped when the list goes.
class SortedEntries {
public:
    explicit SortedEntries(vault::Session& session);
    SortedEntries(const SortedEntries&) = delete;
    SortedEntries& operator=(const SortedEntries&) = delete;
    const std::vector<vault::Entry>& entries() const { return entries_; }

private:
    std::vector<vault::Entry> entries_;
};

// The field names `show --field` takes and JSON output uses.
const std::vector<std::string>& fieldNames();
// A usage failure unless the name is one of fieldNames().
void checkFieldName(const QString& name);

// `show` with --field or --json: the one field's value, or the entry as a JSON object
// (its password only when asked for by --show-password or --field password).
int showSelected(const Context& c, const vault::Entry& entry, bool showPassword);
// `ls --json`: the entries whose names the window's filter keeps, as a JSON array;
// kNoMatch when a filter keeps none.
int listJson(vault::Session& session, const vault::NameFilter& filter);
// `search TEXT`: the entries whose name, address, user ID or comment (and, when asked,
// password) hold the text, in any case; kNoMatch when none does.
int cmdSearch(Context& c, bool inPassword);

}  // namespace cli
