#include "cli/csv.h"

#include <algorithm>
#include <cctype>

namespace cli {

std::optional<std::vector<CsvRow>> parseCsv(std::string_view text, std::size_t* unclosedQuoteLine) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::size_t line = 1, quoteLine = 0;
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
                if (c == '\n') ++line;
                field.push_back(c);
            }
        } else if (c == '"' && atFieldStart) {
            quoted = true;
            quoteLine = line;
            fieldStarted = true;
            atFieldStart = false;
        } else if (c == ',') {
            row.push_back(field);
            field.clear();
            fieldStarted = true;
            atFieldStart = true;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            ++line;
            endRow();
        } else {
            // A quote inside an unquoted field is an ordinary character.
            field.push_back(c);
            fieldStarted = true;
            atFieldStart = false;
        }
    }
    if (quoted) {
        if (unclosedQuoteLine) *unclosedQuoteLine = quoteLine;
        return std::nullopt;
    }
    endRow();
    return rows;
}

std::string csvLine(const CsvRow& fields) {
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) out.push_back(',');
        const std::string& f = fields[i];
        const bool quote =
            f.find_first_of(",\"\r\n") != std::string::npos || (!f.empty() && (f.front() == ' ' || f.back() == ' '));
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
    const char* nameColumn;  // nullptr (or absent): named after the address
    const char* urlColumn;
    const char* userColumn;
    const char* passwordColumn;
    const char* noteColumn;            // nullptr: none
    const char* typeColumn = nullptr;  // rows of another type than typeLogin are no logins
    const char* typeLogin = nullptr;
};

// The most specific headers first: several formats share "url", "username", "password".
const std::vector<Format>& formats() {
    static const std::vector<Format> list = {
        {"Bitwarden",
         {"login_uri", "login_username", "login_password", "name", "type"},
         "name",
         "login_uri",
         "login_username",
         "login_password",
         "notes",
         "type",
         "login"},
        {"Firefox",
         {"url", "username", "password", "httprealm", "formactionorigin"},
         nullptr,
         "url",
         "username",
         "password",
         nullptr},
        {"LastPass",
         {"url", "username", "password", "extra", "name", "grouping"},
         "name",
         "url",
         "username",
         "password",
         "extra"},
        {"KeePassXC",
         {"group", "title", "username", "password", "url", "notes"},
         "title",
         "url",
         "username",
         "password",
         "notes"},
        {"KeePass",
         {"account", "login name", "password", "web site", "comments"},
         "account",
         "web site",
         "login name",
         "password",
         "comments"},
        {"Dashlane",
         {"username", "username2", "title", "password", "note", "url"},
         "title",
         "url",
         "username",
         "password",
         "note"},
        {"Buttercup",
         {"!group_id", "!group_name", "title", "username", "password"},
         "title",
         "url",
         "username",
         "password",
         "notes"},
        {"1Password",
         {"title", "url", "username", "password", "archived"},
         "title",
         "url",
         "username",
         "password",
         "notes"},
        {"Safari",
         {"title", "url", "username", "password", "notes", "otpauth"},
         "title",
         "url",
         "username",
         "password",
         "notes"},
        {"SaferPass",
         {"title", "url", "username", "password", "notes", "favorite"},
         "title",
         "url",
         "username",
         "password",
         "notes"},
        {"1Password 4/7",
         {"title", "url", "username", "password", "notes"},
         "title",
         "url",
         "username",
         "password",
         "notes"},
        {"Chromium family", {"name", "url", "username", "password"}, "name", "url", "username", "password", "note"},
        {"SaferPass", {"url", "username", "password", "notes"}, "title", "url", "username", "password", "notes"},
    };
    return list;
}

// Columns that describe the record rather than the login (times, marks, identifiers):
// nothing is lost when they are not kept.
bool isBookkeeping(const std::string& column) {
    static const std::vector<std::string> names = {"favorite",     "fav",
                                                   "reprompt",     "guid",
                                                   "id",           "timecreated",
                                                   "timelastused", "timepasswordchanged",
                                                   "httprealm",    "formactionorigin",
                                                   "icon",         "last modified",
                                                   "created",      "archived",
                                                   "!group_id",    "!group_parent",
                                                   "!type"};
    return std::find(names.begin(), names.end(), column) != names.end();
}

}  // namespace

std::vector<std::string> knownFormats() {
    std::vector<std::string> names;
    for (const Format& f : formats())
        if (std::find(names.begin(), names.end(), f.name) == names.end()) names.emplace_back(f.name);
    return names;
}

std::optional<Export> readExport(const std::vector<CsvRow>& rows) {
    if (rows.empty()) return std::nullopt;
    std::vector<std::string> header;
    for (const std::string& cell : rows.front()) header.push_back(lower(cell));
    auto column = [&](const char* name) -> int {
        if (!name) return -1;
        const auto it = std::find(header.begin(), header.end(), name);
        return it == header.end() ? -1 : static_cast<int>(it - header.begin());
    };
    for (const Format& f : formats()) {
        if (!std::all_of(f.required.begin(), f.required.end(), [&](const char* c) { return column(c) >= 0; })) continue;
        Export out{f.name, {}};
        const int name = column(f.nameColumn), url = column(f.urlColumn), user = column(f.userColumn),
                  password = column(f.passwordColumn), type = column(f.typeColumn);
        // Some exports of a family name the note column "notes".
        const int note = column(f.noteColumn) >= 0 ? column(f.noteColumn) : column(f.noteColumn ? "notes" : nullptr);
        std::vector<int> extraColumns;
        for (int i = 0; i < static_cast<int>(header.size()); ++i)
            if (i != name && i != url && i != user && i != password && i != note && i != type &&
                !isBookkeeping(header[i]))
                extraColumns.push_back(i);
        for (std::size_t r = 1; r < rows.size(); ++r) {
            const CsvRow& row = rows[r];
            auto cell = [&](int i) {
                return i >= 0 && static_cast<std::size_t>(i) < row.size() ? row[i] : std::string();
            };
            Login login{cell(name), cell(url), cell(user), cell(password), cell(note), {}, {}};
            if (type >= 0 && lower(cell(type)) != f.typeLogin)
                login.skipReason = "not a login (type " + cell(type) + ")";
            for (int i : extraColumns)
                if (!cell(i).empty()) login.extras.emplace_back(header[i], cell(i));
            out.logins.push_back(std::move(login));
        }
        return out;
    }
    return std::nullopt;
}

std::string hostOf(std::string_view url) {
    std::size_t start = url.find("://");
    start = start == std::string_view::npos ? 0 : start + 3;
    std::string_view rest = url.substr(start);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = rest.rfind('@'); at != std::string_view::npos) rest.remove_prefix(at + 1);
    if (!rest.empty() && rest.front() != '[') rest = rest.substr(0, rest.find(':'));
    return std::string(rest);
}

const CsvRow& exportHeader() {
    static const CsvRow header = {"name", "url", "username", "password", "note"};
    return header;
}

}  // namespace cli
