#include "cli/listing.h"

#include <algorithm>

#include "cli/json.h"
#include "vault/secret.h"

namespace cli {

SortedEntries::SortedEntries(vault::Session& session) {
    std::vector<vault::Entry> read;
    session.listEntries([&](const vault::Entry& e) { read.push_back(e); });
    entries_.reserve(read.size());
    std::vector<bool> used(read.size());
    for (const std::string& name : sortedNames(session))
        for (std::size_t i = 0; i < read.size(); ++i)
            if (!used[i] && read[i].name == name) {
                used[i] = true;
                entries_.push_back(std::move(read[i]));
                break;
            }
}

const std::vector<std::string>& fieldNames() {
    static const std::vector<std::string> names = {"name", "url", "user", "password", "comment"};
    return names;
}

void checkFieldName(const QString& name) {
    const std::vector<std::string>& names = fieldNames();
    if (std::find(names.begin(), names.end(), name.toStdString()) != names.end()) return;
    std::string known;
    for (const std::string& n : names) known += (known.empty() ? "" : ", ") + n;
    fail(kUsage, "--field takes one of " + known + " (not " + name.toStdString() + ")");
}

namespace {

// The entry's field of that name (one of fieldNames()), in Windows-1252.
std::string_view fieldOf(const vault::Entry& e, const std::string& name) {
    if (name == "url") return e.website;
    if (name == "user") return e.userId;
    if (name == "password") return e.password;
    if (name == "comment") return e.comments;
    return e.name;
}

}  // namespace

int showSelected(const Context& c, const vault::Entry& entry, bool showPassword) {
    // The raw value: a script reads exactly what is stored, as UTF-8.
    vault::SecretText text =
        c.json ? entryJson(entry, showPassword) : secretUtf8(fieldOf(entry, c.field.toStdString()));
    text.push_back('\n');
    out(text);
    return kOk;
}

int listJson(vault::Session& session, const vault::NameFilter& filter) {
    const SortedEntries list(session);
    std::string text = "[";
    bool any = false;
    for (const vault::Entry& e : list.entries())
        if (filter.matches(e.name)) {
            (text += any ? ",\n" : "\n") += entryJson(e, false);
            any = true;
        }
    text += any ? "\n]\n" : "]\n";
    out(text);
    return !filter.active() || any ? kOk : kNoMatch;
}

int cmdSearch(Context& c, bool inPassword) {
    if (c.args.size() != 1) fail(kUsage, "search takes one TEXT (quote a text with blanks)");
    const QString wanted = c.args.first();
    if (wanted.isEmpty()) fail(kUsage, "search needs a TEXT to look for");
    vault::Session& session = c.session();
    openSession(c, false);
    const SortedEntries list(session);
    std::string text = c.json ? "[" : "";
    bool any = false;
    for (const vault::Entry& e : list.entries()) {
        std::vector<std::string> matched;
        for (const std::string& name : fieldNames()) {
            if (name == "password" && !inPassword) continue;
            const vault::SecretText value = secretUtf8(fieldOf(e, name));
            QString field = QString::fromUtf8(value.data(), qsizetype(value.size()));
            if (field.contains(wanted, Qt::CaseInsensitive)) matched.push_back(name);
            field.fill(QChar(0));
        }
        if (matched.empty()) continue;
        if (c.json)
            (text += any ? ",\n" : "\n") += entryJson(e, false, "\"matched\":" + jsonStrings(matched));
        else
            (text += shown(e.name)) += '\n';
        any = true;
    }
    if (c.json) text += any ? "\n]\n" : "]\n";
    out(text);
    return any ? kOk : kNoMatch;
}

}  // namespace cli
