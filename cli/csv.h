// CSV as web browsers and password managers write their exports, and the layout
// keyfold-cli exports in. Plain C++ on UTF-8 text.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cli {

using CsvRow = std::vector<std::string>;

// Every record of the text (fields in double quotes may hold commas, quotes doubled,
// and line breaks; a UTF-8 byte-order mark and CR LF or LF line ends are taken).
// Blank lines are no records. Nothing when a quoted field is never closed; then
// unclosedQuoteLine (when given) gets the line (from 1) where that field begins.
std::optional<std::vector<CsvRow>> parseCsv(std::string_view text, std::size_t* unclosedQuoteLine = nullptr);
// One record: fields joined by commas, each in double quotes only when it holds a
// comma, a double quote, a line break or leading or trailing blanks; ends with "\n".
std::string csvLine(const CsvRow& fields);

// One login as an export gives it (UTF-8).
struct Login {
    std::string name;  // empty when the format has none: the caller names it after the address
    std::string url;
    std::string username;
    std::string password;
    std::string note;
    std::string skipReason;  // not empty: the row is not a login (e.g. a secure note)
    // The row's other data (folder, one-time password seed, custom fields...): the
    // column's header and the cell, for each such cell that is not empty.
    std::vector<std::pair<std::string, std::string>> extras;
};

// A recognised export format: its name and its rows as logins.
struct Export {
    std::string format;
    std::vector<Login> logins;
};

// Recognises the header row of the export and reads every following row. Nothing when
// the header is none of the known ones.
std::optional<Export> readExport(const std::vector<CsvRow>& rows);
// The names of the formats readExport knows, for the help text.
std::vector<std::string> knownFormats();
// The host of an address ("https://www.example.com:8080/x" -> "www.example.com").
std::string hostOf(std::string_view url);

// The header of the layout keyfold-cli writes (the Chromium family's).
const CsvRow& exportHeader();

}  // namespace cli
