#include "cli/csv.h"

#include <algorithm>
#include <cctype>

namespace cli {

std::optional<std::vector<CsvRow>> ParseCsv(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<CsvRow> rows;
    CsvRow row;
    std::string field;
    bool quoted = false, fieldStarted = false, atFieldStart = true;
    auto endRow = [&] {
        if (fieldStarted || !row.empty()) {
            row.push_back(field);
            rows.push_back(std::move(row));
        }
        row.clear();
        field.clear();
        fieldStarted = false;
        atFieldStart = true;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    field.push_back('"');
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field.push_back(c);
            }
        } else if (c == '"' && atFieldStart) {
            quoted = true;
            fieldStarted = true;
            atFieldStart = false;
        } else if (c == ',') {
            row.push_back(field);
            field.clear();
            fieldStarted = true;
            atFieldStart = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            endRow();
        } else {
            // A quote inside an unquoted field is an ordinary character.
            field.push_back(c);
            fieldStarted = true;
            atFieldStart = false;
        }
    }
    if (quoted) return std::nullopt;
    endRow();
    return rows;
}

std::string CsvLine(const CsvRow& fields) {
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) out.push_back(',');
        const std::string& f = fields[i];
        const bool quote = f.find_first_of(",\"\r\n") != std::string::npos ||
                           (!f.empty() && (f.front() == ' ' || f.back() == ' '));
        if (!quote) {
            out += f;
            continue;
        }
        out.push_back('"');
        for (char c : f) {
            if (c == '"') out.push_back('"');
            out.push_back(c);
        }
        out.push_back('"');
    }
    out.push_back('\n');
    return out;
}

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // Header cells may carry blanks around them.
    const auto first = out.find_first_not_of(' ');
    const auto last = out.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
}

// A format: the columns its header must hold (lower case) and where each field is.
struct Format {
    const char* name;
    std::vector<const char*> required;
    const char* nameColumn;  // nullptr: named after the address
    const char* urlColumn;
    const char* userColumn;
    const char* passwordColumn;
    const char* noteColumn;  // nullptr: none
    const char* typeColumn = nullptr;  // rows of another type than typeLogin are no logins
    const char* typeLogin = nullptr;
};

// The most specific headers first: several formats share "url", "username", "password".
const std::vector<Format>& formats() {
    static const std::vector<Format> list = {
        {"Bitwarden", {"login_uri", "login_username", "login_password", "name", "type"},
         "name", "login_uri", "login_username", "login_password", "notes", "type", "login"},
        {"Firefox", {"url", "username", "password", "httprealm", "formactionorigin"},
         nullptr, "url", "username", "password", nullptr},
        {"LastPass", {"url", "username", "password", "extra", "name", "grouping"},
         "name", "url", "username", "password", "extra"},
        {"KeePassXC", {"group", "title", "username", "password", "url", "notes"},
         "title", "url", "username", "password", "notes"},
        {"KeePass", {"account", "login name", "password", "web site", "comments"},
         "account", "web site", "login name", "password", "comments"},
        {"Dashlane", {"username", "username2", "title", "password", "note", "url"},
         "title", "url", "username", "password", "note"},
        {"1Password", {"title", "url", "username", "password", "archived"},
         "title", "url", "username", "password", "notes"},
        {"Safari", {"title", "url", "username", "password", "notes"},
         "title", "url", "username", "password", "notes"},
        {"Chromium family", {"name", "url", "username", "password"},
         "name", "url", "username", "password", "note"},
    };
    return list;
}

}  // namespace

std::vector<std::string> KnownFormats() {
    std::vector<std::string> names;
    for (const Format& f : formats()) names.emplace_back(f.name);
    return names;
}

std::optional<Export> ReadExport(const std::vector<CsvRow>& rows) {
    if (rows.empty()) return std::nullopt;
    std::vector<std::string> header;
    for (const std::string& cell : rows.front()) header.push_back(lower(cell));
    auto column = [&](const char* name) -> int {
        if (!name) return -1;
        const auto it = std::find(header.begin(), header.end(), name);
        return it == header.end() ? -1 : static_cast<int>(it - header.begin());
    };
    for (const Format& f : formats()) {
        if (!std::all_of(f.required.begin(), f.required.end(), [&](const char* c) { return column(c) >= 0; }))
            continue;
        Export out{f.name, {}};
        const int name = column(f.nameColumn), url = column(f.urlColumn), user = column(f.userColumn),
                  password = column(f.passwordColumn), note = column(f.noteColumn), type = column(f.typeColumn);
        for (std::size_t r = 1; r < rows.size(); ++r) {
            const CsvRow& row = rows[r];
            auto cell = [&](int i) { return i >= 0 && static_cast<std::size_t>(i) < row.size() ? row[i] : std::string(); };
            Login login{cell(name), cell(url), cell(user), cell(password), cell(note), {}};
            if (type >= 0 && lower(cell(type)) != f.typeLogin)
                login.skipReason = "not a login (type " + cell(type) + ")";
            out.logins.push_back(std::move(login));
        }
        return out;
    }
    return std::nullopt;
}

std::string HostOf(std::string_view url) {
    std::size_t start = url.find("://");
    start = start == std::string_view::npos ? 0 : start + 3;
    std::string_view rest = url.substr(start);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = rest.rfind('@'); at != std::string_view::npos) rest.remove_prefix(at + 1);
    if (!rest.empty() && rest.front() != '[') rest = rest.substr(0, rest.find(':'));
    return std::string(rest);
}

const CsvRow& ExportHeader() {
    static const CsvRow header = {"name", "url", "username", "password", "note"};
    return header;
}

}  // namespace cli
