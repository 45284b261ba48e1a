// CSV as web browsers and password managers write their exports, and the layout
// keyfold-cli exports in. Plain C++ on UTF-8 text.
#pragma once
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vault/secret.h"

namespace cli {

// A record's fields. Any of them may hold a password (a row whose unquoted comma moved
// the cells along, too): each is a secret text.
using CsvRow = std::vector<vault::SecretText>;

// Every record of the text (fields in double quotes may hold commas, quotes doubled,
// and line breaks; a UTF-8 byte-order mark and CR LF or LF line ends are taken).
// Blank lines are no records. Nothing when a quoted field is never closed; then
// unclosedQuoteLine (when given) gets the line (from 1) where that field begins.
// rowLines (when given) gets, for each record, the line (from 1) where it begins.
std::optional<std::vector<CsvRow>> parseCsv(std::string_view text, std::size_t* unclosedQuoteLine = nullptr,
                                            std::vector<std::size_t>* rowLines = nullptr);
// One record: fields joined by commas, each in double quotes only when it holds a
// comma, a double quote, a line break, leading or trailing blanks or a leading
// byte-order mark; ends with "\n".
vault::SecretText csvLine(const CsvRow& fields);
// The same line appended to a secret text (a line that holds a password).
void appendCsvLine(vault::SecretText& out, std::initializer_list<std::string_view> fields);

// One login as an export gives it (UTF-8).
struct Login {
    std::string name;  // empty when the format has none: the caller names it after the address
    std::string url;
    std::string username;
    vault::SecretText password;
    std::string note;
    std::string skipReason;  // not empty: the row is not a login (e.g. a secure note)
    // The row's other data a person reads (folder, custom fields...): what it is, as
    // shown to the person ("folder", "login uri 2", a custom field's own name), and the
    // cell, for each such cell that is not empty.
    std::vector<std::pair<std::string, std::string>> extras;
    // The row's secrets other than the password (one-time password seeds, hidden or
    // secret-named custom fields), by what they are: never kept in the comment, which
    // is shown in the clear, but named to the person as left out.
    std::vector<std::string> secretsLeftOut;
};

// A recognised export format: its name and its rows as logins.
struct Export {
    std::string format;
    std::vector<Login> logins;
};

// Recognises the header row of the export and reads every following row: logins[i] is
// rows[i + 1]. A row with more cells than the header (an unquoted comma splits a field)
// and a row that holds no login (a note, a card, a group) come with their skipReason.
// Columns that only keep the exporter's records (identifiers, times, marks) are left
// out. Nothing when the header is none of the known ones.
std::optional<Export> readExport(const std::vector<CsvRow>& rows);
// The names of the formats readExport knows, for the help text.
std::vector<std::string> knownFormats();
// The host of an address ("https://www.example.com:8080/x" -> "www.example.com").
std::string hostOf(std::string_view url);
// Whether a column or custom field of that name holds a secret (a password, PIN,
// one-time password seed, recovery code, key...), or the value is one (otpauth://).
bool isSecretField(std::string_view name, std::string_view value);

// The header of the layout keyfold-cli writes (the Chromium family's).
const CsvRow& exportHeader();

}  // namespace cli
