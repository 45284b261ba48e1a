#include "cli/csv.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

namespace cli {

std::optional<std::vector<CsvRow>> parseCsv(std::string_view text, std::size_t* unclosedQuoteLine,
                                            std::vector<std::size_t>* rowLines) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::size_t line = 1, quoteLine = 0, rowLine = 0;
    std::vector<CsvRow> rows;
    if (rowLines) rowLines->clear();
    CsvRow row;
    vault::SecretText field;
    bool quoted = false, fieldStarted = false, atFieldStart = true, inRow = false;
    auto endRow = [&] {
        if (fieldStarted || !row.empty()) {
            row.push_back(field);
            rows.push_back(std::move(row));
            if (rowLines) rowLines->push_back(rowLine);
        }
        row.clear();
        field.clear();
        fieldStarted = false;
        atFieldStart = true;
        inRow = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!inRow && c != '\r' && c != '\n') {
            inRow = true;
            rowLine = line;
        }
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

namespace {

template <class Text, class Fields>
void appendLine(Text& out, const Fields& fields) {
    bool first = true;
    for (const std::string_view f : fields) {
        if (!first) out.push_back(',');
        first = false;
        // A byte-order mark at the start of a line would read as the file's own.
        const bool quote = f.find_first_of(",\"\r\n") != std::string_view::npos ||
                           (!f.empty() && (f.front() == ' ' || f.back() == ' ')) || f.rfind("\xEF\xBB\xBF", 0) == 0;
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
}

}  // namespace

vault::SecretText csvLine(const CsvRow& fields) {
    vault::SecretText out;
    appendLine(out, fields);
    return out;
}

void appendCsvLine(vault::SecretText& out, std::initializer_list<std::string_view> fields) { appendLine(out, fields); }

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
                                                   "!type",        "ainfo",
                                                   "autosubmit",   "autofill",
                                                   "uuid",         "modified",
                                                   "lastmodified", "createdat",
                                                   "updatedat"};
    return std::find(names.begin(), names.end(), column) != names.end();
}

}  // namespace

std::vector<std::string> knownFormats() {
    std::vector<std::string> names;
    for (const Format& f : formats())
        if (std::find(names.begin(), names.end(), f.name) == names.end()) names.emplace_back(f.name);
    return names;
}

namespace {

// "login_totp" as "login totp", "!group_name" as "group name".
std::string label(std::string column) {
    column.erase(0, column.find_first_not_of('!'));
    std::replace(column.begin(), column.end(), '_', ' ');
    return column;
}

// "cell 5", "cells 5 and 6", "cells 5, 6 and 7", "cells 5 to 40".
std::string cellNumbers(const std::vector<std::size_t>& cells) {
    if (cells.size() == 1) return "cell " + std::to_string(cells[0]);
    if (cells.size() > 3) return "cells " + std::to_string(cells.front()) + " to " + std::to_string(cells.back());
    std::string text = "cells ";
    for (std::size_t i = 0; i < cells.size(); ++i)
        text += (i == 0 ? "" : i + 1 == cells.size() ? " and " : ", ") + std::to_string(cells[i]);
    return text;
}

// Why a row with cells beyond the header is not stored: the cells past the header that
// hold something (empty ones lose nothing); empty when there are none.
std::string extraCellsReason(const CsvRow& row, std::size_t headerCells) {
    std::vector<std::size_t> filled;
    for (std::size_t i = headerCells; i < row.size(); ++i)
        if (!row[i].empty()) filled.push_back(i + 1);
    if (filled.empty()) return {};
    return "the row has " + std::to_string(row.size()) + " cells and the header only " + std::to_string(headerCells) +
           " (" + cellNumbers(filled) +
           " under no column): a comma in a field without quotes splits it, "
           "a password perhaps; put that field in double quotes and import the row again";
}

// Buttercup lists its groups as rows of their own, and each login by its group's
// number: the folder of a login, parents first ("Work/Mail"), from those rows.
class ButtercupGroups {
public:
    // rows: the export's rows when it is Buttercup's, else nothing.
    ButtercupGroups(const std::vector<CsvRow>* rows, int id, int name, int parent, int type,
                    const std::vector<int>& loginColumns)
        : id_(id), name_(name), type_(type), loginColumns_(loginColumns) {
        for (std::size_t r = 1; rows && r < rows->size(); ++r)
            if (const CsvRow& row = (*rows)[r]; isGroup(row))
                groups_.emplace(cell(row, id), Group{std::string(cell(row, name)), std::string(cell(row, parent))});
    }
    bool isGroup(const CsvRow& row) const {
        if (type_ >= 0) return lower(cell(row, type_)) == "group";
        // Without a type column: a row with a group's name and nothing of a login.
        return !cell(row, name_).empty() &&
               std::all_of(loginColumns_.begin(), loginColumns_.end(), [&](int c) { return cell(row, c).empty(); });
    }
    std::string folderOf(const CsvRow& row) const {
        if (const std::string_view own = cell(row, name_); !own.empty()) return std::string(own);
        std::string path, id(cell(row, id_));
        // Parents first; a chain that loops or runs deep ends after a few steps.
        for (int depth = 0; depth < 8 && !id.empty(); ++depth) {
            const auto g = groups_.find(std::string_view(id));
            if (g == groups_.end()) break;
            path = path.empty() ? g->second.name : g->second.name + "/" + path;
            id = g->second.parent;
        }
        return path;
    }

private:
    struct Group {
        std::string name, parent;
    };
    static std::string_view cell(const CsvRow& row, int i) {
        return i >= 0 && static_cast<std::size_t>(i) < row.size() ? row[i].view() : std::string_view();
    }
    int id_, name_, type_;
    std::vector<int> loginColumns_;
    std::unordered_map<std::string_view, Group> groups_;  // by number, in the rows
};

}  // namespace

bool isSecretField(std::string_view name, std::string_view value) {
    const std::string n = lower(name);
    std::string v = lower(value.substr(0, 10));
    if (v.find_first_not_of(' ') != std::string::npos) v.erase(0, v.find_first_not_of(' '));
    if (v.rfind("otpauth://", 0) == 0) return true;
    for (const char* part : {"password", "passwd", "passphrase", "secret", "totp", "hotp", "otpauth", "recovery",
                             "credential", "private", "token", "seed"})
        if (n.find(part) != std::string::npos) return true;
    // Short names only as whole words: "pin", not "shipping".
    std::string word;
    for (std::size_t i = 0; i <= n.size(); ++i) {
        const unsigned char ch = i < n.size() ? static_cast<unsigned char>(n[i]) : ' ';
        if (std::isalnum(ch)) {
            word.push_back(static_cast<char>(ch));
            continue;
        }
        for (const char* w : {"pin", "otp", "pass", "pwd", "key", "cvv", "cvc", "cvv2", "puk", "mfa", "2fa", "hidden"})
            if (word == w) return true;
        word.clear();
    }
    return false;
}

std::optional<Export> readExport(const std::vector<CsvRow>& rows) {
    if (rows.empty()) return std::nullopt;
    std::vector<std::string> header;
    for (const vault::SecretText& cell : rows.front()) header.push_back(lower(cell));
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
        const bool buttercup = std::string_view(f.name) == "Buttercup";
        const int groupName = buttercup ? column("!group_name") : -1;
        const ButtercupGroups groups(buttercup ? &rows : nullptr, column("!group_id"), groupName,
                                     column("!group_parent"), column("!type"), {name, url, user, password});
        std::vector<int> extraColumns;
        for (int i = 0; i < static_cast<int>(header.size()); ++i)
            if (i != name && i != url && i != user && i != password && i != note && i != type && i != groupName &&
                !isBookkeeping(header[i]))
                extraColumns.push_back(i);
        for (std::size_t r = 1; r < rows.size(); ++r) {
            const CsvRow& row = rows[r];
            // Views of the row's cells: a cell that holds a secret is copied only into one.
            auto cell = [&](int i) {
                return i >= 0 && static_cast<std::size_t>(i) < row.size() ? row[i].view() : std::string_view();
            };
            Login login{std::string(cell(name)),
                        std::string(cell(url)),
                        std::string(cell(user)),
                        cell(password),
                        std::string(cell(note)),
                        {},
                        {},
                        {}};
            if (std::string why = extraCellsReason(row, header.size()); !why.empty())
                login.skipReason = std::move(why);
            else if (type >= 0 && lower(cell(type)) != f.typeLogin)
                login.skipReason = "not a login (type " + std::string(cell(type)) + ")";
            else if (buttercup && groups.isGroup(row))
                login.skipReason = "not a login (a group)";
            if (buttercup)
                if (const std::string folder = groups.folderOf(row); !folder.empty())
                    login.extras.emplace_back("folder", folder);
            auto keep = [&](std::string_view what, std::string_view value) {
                if (isSecretField(what, value))
                    login.secretsLeftOut.emplace_back(what);
                else
                    login.extras.emplace_back(what, value);
            };
            for (int i : extraColumns) {
                const std::string_view value = cell(i);
                if (value.empty()) continue;
                if (header[i] != "fields") {
                    keep(label(header[i]), value);
                    continue;
                }
                // Custom fields, one "name: value" a line: each judged by its own name.
                std::size_t at = 0;
                while (at <= value.size()) {
                    std::size_t end = value.find_first_of("\r\n", at);
                    if (end == std::string_view::npos) end = value.size();
                    const std::string_view line = value.substr(at, end - at);
                    at = end + 1;
                    if (line.empty()) continue;
                    const std::size_t colon = line.find(": ");
                    if (colon == std::string_view::npos)
                        keep("field", line);
                    else
                        keep(line.substr(0, colon), line.substr(colon + 2));
                }
            }
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
