// keyfold-cli's export and import: every entry as CSV in the list's order, and a web
// browser's or password manager's CSV export read in (its format recognised by
// cli/csv.h), each row through the vault session's rules.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

#include "cli/cli.h"
#include "cli/csv.h"
#include "cli/json.h"
#include "cli/listing.h"
#include "vault/windows1252.h"
#include "vault/fileio.h"
#include "vault/ioerror.h"
#include "vault/secret.h"
#include "vault/text.h"

namespace cli {

namespace {

// The export's target: a regular file of that name or none (then it is made); a link,
// a device, a pipe or a folder is refused before anything is read or written.
std::string exportTarget(const QString& target) {
    const std::string path = QFile::encodeName(target).toStdString();
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) fail(kFileError, "cannot write " + path + ": " + std::strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        fail(kFileError, "cannot write " + path +
                             ": it is no regular file (export writes a file of its own, or - for "
                             "standard output); nothing was written");
    }
    return path;
}

}  // namespace

int cmdExport(Context& c, const QCommandLineOption& csv) {
    if (!c.p.isSet(csv)) fail(kUsage, "export needs --csv FILE (or --csv - for standard output)");
    if (!c.args.isEmpty()) fail(kUsage, "export takes no other arguments");
    const QString target = c.p.value(csv);
    const bool toStdout = target == QLatin1String("-");
    const std::string path = toStdout ? std::string() : exportTarget(target);
    vault::Session& session = c.session();
    openSession(c, false);
    // In the order of the list, as ls shows it.
    const SortedEntries list(session);
    const std::vector<vault::Entry>& entries = list.entries();
    std::string text = cli::csvLine(cli::exportHeader());
    for (const vault::Entry& e : entries)
        text += cli::csvLine({utf8(e.name), utf8(e.website), utf8(e.userId), utf8(e.password), utf8(e.comments)});
    vault::WipeAtScopeEnd wipe(text);
    if (toStdout) {
        out(text);
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            fail(kFileError, std::string("cannot write to standard output: ") + std::strerror(errno));
        return kOk;
    }
    exportTarget(target);  // still no link, device or pipe
    // A file size limit fails the write instead of ending the program part-way.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        // Owner-only, written whole beside the target and renamed over it: a failure
        // leaves the old file (or none) and nothing beside it.
        vault::replaceWholeFile(path, text.data(), text.size(), 0600);
    } catch (const vault::IoError& e) {
        fail(kFileError, "cannot write " + path + ": " + e.text() + "; nothing was written");
    }
    std::fprintf(stderr, "%zu %s written to %s\n", entries.size(), entries.size() == 1 ? "entry" : "entries",
                 path.c_str());
    return kOk;
}

namespace {

// No export of a list of logins comes near this; /dev/zero would never end.
constexpr qint64 kMaxImportBytes = 64 * 1024 * 1024;
constexpr std::size_t kFieldWidth = vault::kTextWidth;

bool isControl(char32_t c) { return c < 32 || (c >= 0x7F && c <= 0x9F); }

// A character for a message: itself (a control character by its code) and its number.
std::string characterText(char32_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    if (c == '\n' || c == '\r') return std::string("a line break (") + code + ")";
    if (c == '\t') return std::string("a tab (") + code + ")";
    if (isControl(c)) return std::string("a control character (") + code + ")";
    return "\"" + QString::fromUcs4(&c, 1).toStdString() + "\" (" + code + ")";
}

// The first control character of the text, if any.
std::optional<char32_t> firstControl(const std::string& utf8) {
    for (char32_t c : QString::fromStdString(utf8).toUcs4())
        if (isControl(c)) return c;
    return std::nullopt;
}

// One row of an export as it would be stored, what differs from the file, or why the
// row cannot be stored.
struct PreparedRow {
    vault::Entry entry;
    std::string shown;  // the name for messages (UTF-8)
    std::vector<std::string> changes;
    std::string skipReason;
};

// The field in Windows-1252 exactly as given, or nothing with the reason.
std::optional<std::string> exactField(const std::string& utf8, const char* what, std::string& why) {
    if (const std::optional<char32_t> c = firstControl(utf8)) {
        why = std::string("the ") + what + " holds " + characterText(*c);
        return std::nullopt;
    }
    char32_t lacking = 0;
    std::optional<std::string> bytes = vault::windows1252FromUtf8Exactly(utf8, &lacking);
    if (!bytes)
        why = std::string("the ") + what + " holds " + characterText(lacking) + ", which the data file cannot hold";
    return bytes;
}

// The address: trimmed, its scheme in lower case, a host the data file cannot hold in
// its ASCII form; only web addresses. Nothing (with the reason) when it cannot be stored.
std::optional<std::string> address(std::string url, std::vector<std::string>& changes, std::string& why) {
    const std::string trimmed = vault::trim(url);
    if (trimmed != url && !trimmed.empty()) changes.push_back("address trimmed");
    url = trimmed;
    static const QRegularExpression schemePattern(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):(?!\\d)"));
    const QRegularExpressionMatch scheme = schemePattern.match(QString::fromStdString(url));
    if (scheme.hasMatch()) {
        const QString name = scheme.captured(1);
        const QString lower = name.toLower();
        if (lower != QLatin1String("http") && lower != QLatin1String("https")) {
            why = "the address is no web address (" + lower.toStdString() + ":)";
            return std::nullopt;
        }
        if (name != lower) {
            url.replace(0, static_cast<std::size_t>(name.size()), lower.toStdString());
            changes.push_back("scheme written in lower case");
        }
    }
    std::optional<std::string> bytes = exactField(url, "address", why);
    if (!bytes && !firstControl(url)) {
        // A host or path in other scripts has an ASCII form that every browser reads.
        const QUrl parsed(QString::fromStdString(scheme.hasMatch() ? url : "http://" + url));
        const std::string ascii = parsed.toString(QUrl::FullyEncoded).toStdString();
        if (parsed.isValid() && !parsed.host().isEmpty() &&
            std::all_of(ascii.begin(), ascii.end(), [](char ch) { return ch > 32 && ch < 127; })) {
            changes.push_back("address written as " + ascii);
            bytes = ascii;
            why.clear();
        }
    }
    if (!bytes) return std::nullopt;
    if (bytes->size() > kFieldWidth) {
        why = "the address is longer than " + std::to_string(kFieldWidth) + " characters";
        return std::nullopt;
    }
    if (!bytes->empty() && vault::addressNeedsScheme(*bytes))
        changes.push_back("address completed as http://" + utf8(*bytes));
    return bytes;
}

// The note on one line, with the row's other data after it where the comment has room.
std::string comment(const cli::Login& l, std::vector<std::string>& changes) {
    auto oneLine = [](const std::string& text, const char* joint, bool& changed) {
        QString t = QString::fromStdString(text);
        static const QRegularExpression lineBreaks(QStringLiteral("\r\n|[\r\n\u2028\u2029]"));
        QString joined = t;
        joined.replace(lineBreaks, QString::fromLatin1(joint));
        changed = joined != t;
        return joined.toStdString();
    };
    bool brokenLines = false, controls = false;
    std::string note = oneLine(l.note, " ", brokenLines);
    if (brokenLines) changes.push_back("note put on one line");
    std::string bytes;
    std::string lacking;
    for (char32_t c : QString::fromStdString(note).toUcs4()) {
        if (isControl(c) && c != '\t') {
            controls = true;
            bytes.push_back(' ');
            continue;
        }
        const int b = vault::windows1252OfUnicode(c);
        if (b < 0 && lacking.find(characterText(c)) == std::string::npos)
            lacking += (lacking.empty() ? "" : ", ") + characterText(c);
        bytes.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    if (controls) changes.push_back("control characters in the note written as blanks");
    if (!lacking.empty()) changes.push_back("note: " + lacking + " written as \"?\" (the data file cannot hold them)");
    if (vault::trim(bytes) != bytes) {
        bytes = vault::trim(bytes);
        changes.push_back("note trimmed");
    }
    if (bytes.size() > kFieldWidth) {
        bytes = vault::trim(bytes.substr(0, kFieldWidth));
        changes.push_back("note cut to " + std::to_string(kFieldWidth) + " characters");
    }
    for (auto [column, value] : l.extras) {
        // "login_totp" as "login totp", "!group_name" as "group name".
        column.erase(0, column.find_first_not_of('!'));
        std::replace(column.begin(), column.end(), '_', ' ');
        bool changed = false;
        // Custom fields come as "name: value" lines already.
        const std::string piece = oneLine(column == "fields" ? value : column + ": " + value, "; ", changed);
        std::string why;
        const std::optional<std::string> text = exactField(vault::trim(piece), column.c_str(), why);
        const std::string joined = bytes.empty() ? text.value_or("") : bytes + "; " + text.value_or("");
        if (!text)
            changes.push_back(column + " left out (" + why + ")");
        else if (joined.size() > kFieldWidth)
            changes.push_back(column + " left out (no room in the comment)");
        else {
            bytes = joined;
            changes.push_back(column + " kept in the comment");
        }
    }
    return bytes;
}

PreparedRow prepare(const cli::Login& l) {
    PreparedRow row;
    auto skip = [&](std::string why) {
        row.skipReason = std::move(why);
        return row;
    };
    std::string sourceName = vault::trim(l.name);
    row.shown = sourceName;
    std::string why;
    std::optional<std::string> website = address(l.url, row.changes, why);
    if (!website) return skip(why);
    if (sourceName.empty())
        sourceName = cli::hostOf(utf8(*website));
    else if (sourceName != l.name)
        row.changes.push_back("name trimmed");
    row.shown = sourceName;
    if (!exactField(sourceName, "name", why)) return skip(why);
    std::string name = nameText(QString::fromStdString(sourceName));
    row.shown = utf8(name);
    if (name.size() > kFieldWidth) {
        name = vault::trim(name.substr(0, kFieldWidth));
        row.changes.push_back("name cut to " + std::to_string(kFieldWidth) + " characters");
        row.shown = utf8(name);
    }
    const std::string user = vault::trim(l.username);
    std::optional<std::string> userId = exactField(user, "user ID", why);
    if (!userId) return skip(why);
    if (user != l.username) row.changes.push_back("user ID trimmed");
    if (userId->size() > kFieldWidth)
        return skip("the user ID is longer than " + std::to_string(kFieldWidth) + " characters");
    std::optional<std::string> password = exactField(l.password, "password", why);
    if (!password) return skip(why);
    vault::WipeAtScopeEnd wipe(*password);
    if (password->size() > vault::kPasswordWidth)
        return skip("the password is longer than " + std::to_string(vault::kPasswordWidth) + " characters");
    if (vault::passwordHasSpace(*password)) return skip("the password holds a space");
    if (vault::trim(name).empty() || website->empty()) return skip("no name or no address");
    row.entry = vault::Entry{name, *website, *userId, *password, comment(l, row.changes)};
    return row;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& p : parts) text += (text.empty() ? "" : "; ") + p;
    return text;
}

// The export as UTF-8 text: UTF-8 as it is, UTF-16 by its byte-order mark, anything
// else as Windows-1252 (said in how).
std::string importText(const QByteArray& bytes, std::string& how) {
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decode(QStringDecoder::Utf16);
        const QString text = decode(bytes);
        if (decode.hasError()) fail(kBadImport, "the file is no well-formed UTF-16 text");
        how = ", read as UTF-16";
        return text.toStdString();
    }
    const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (vault::isUtf8(view)) return std::string(view);
    // Rows saved by different programs: read either way, some would come out garbled.
    for (std::size_t i = 0; i < view.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(view[i]);
        const std::size_t n = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        if (n && i + n <= view.size() && vault::isUtf8(view.substr(i, n)))
            fail(kBadImport, "the file mixes UTF-8 with other 8-bit text; save it as UTF-8 and import it again");
    }
    how = ", read as Windows-1252 (it is no UTF-8 text)";
    return vault::utf8FromWindows1252(view);
}

// What import did (or would do) with each row, as JSON for scripts.
class ImportReport {
public:
    ImportReport(const std::string& format, const std::string& how, bool dryRun)
        : head_("{\"format\":" + jsonString(format) + ",\"encoding\":" +
                jsonString(how.empty()                               ? "UTF-8"
                           : how.find("UTF-16") != std::string::npos ? "UTF-16"
                                                                     : "Windows-1252") +
                ",\"dry_run\":" + (dryRun ? "true" : "false")) {}
    void row(std::size_t line, const std::string& name, const char* outcome, const std::vector<std::string>& changes,
             const std::string& reason) {
        (rows_ += rows_.empty() ? "\n" : ",\n") +=
            "{\"row\":" + std::to_string(line) + ",\"name\":" + jsonString(name) + ",\"outcome\":\"" + outcome + "\"";
        if (!reason.empty()) rows_ += ",\"reason\":" + jsonString(reason);
        rows_ += ",\"changes\":" + jsonStrings(changes) + "}";
    }
    std::string text(std::size_t added, std::size_t changed, std::size_t skipped, std::size_t notImported) const {
        return head_ + ",\"rows\":[" + rows_ + (rows_.empty() ? "]" : "\n]") + ",\"added\":" + std::to_string(added) +
               ",\"with_changes\":" + std::to_string(changed) + ",\"skipped\":" + std::to_string(skipped) +
               ",\"not_imported\":" + std::to_string(notImported) + "}\n";
    }

private:
    std::string head_;
    std::string rows_;
};

}  // namespace

int cmdImport(Context& c, bool dryRun) {
    if (c.args.size() != 1) fail(kUsage, "import needs one FILE");
    const std::string given = c.args.first().toStdString();
    QFile file(c.args.first());
    if (!file.open(QIODevice::ReadOnly)) fail(kFileError, "cannot read " + given);
    QByteArray bytes = file.read(kMaxImportBytes + 1);
    if (bytes.size() > kMaxImportBytes)
        fail(kBadImport, given + " is larger than 64 MiB, far larger than any export of logins; nothing was imported");
    std::string how;
    std::string text = importText(bytes, how);
    bytes.fill('\0');
    std::size_t unclosedLine = 0;
    std::optional<std::vector<cli::CsvRow>> rows = cli::parseCsv(text, &unclosedLine);
    vault::wipeSecret(text);
    if (!rows)
        fail(kBadImport, given + ": the quoted field that begins on line " + std::to_string(unclosedLine) +
                             " is never closed; nothing was imported");
    std::optional<cli::Export> ex = cli::readExport(*rows);
    for (cli::CsvRow& row : *rows)
        for (std::string& f : row) vault::wipeSecret(f);
    if (!ex) {
        std::string known;
        for (const std::string& f : cli::knownFormats()) known += (known.empty() ? "" : ", ") + f;
        fail(kBadImport, given + " is no CSV export known here (known: " + known + ")");
    }
    std::fprintf(stderr, "%s: %s export%s, %zu %s%s\n", c.args.first().toLocal8Bit().constData(), ex->format.c_str(),
                 how.c_str(), ex->logins.size(), ex->logins.size() == 1 ? "row" : "rows",
                 dryRun ? " (dry run: nothing is written)" : "");

    vault::Session& session = c.session();
    // A first import can be tried before there is a data file.
    const bool noFileYet = dryRun && !session.dataFileExists();
    if (!noFileYet) openSession(c, !dryRun);
    // A dry run checks names against the list and against the rows before them.
    std::vector<std::string> taken;
    if (dryRun && !noFileYet)
        for (const std::string& n : session.listNames()) taken.push_back(vault::nameKey(n));
    std::size_t added = 0, changed = 0, skipped = 0;
    bool full = false;
    ImportReport report(ex->format, how, dryRun);
    for (std::size_t i = 0; i < ex->logins.size(); ++i) {
        cli::Login& l = ex->logins[i];
        vault::WipeAtScopeEnd wipeLogin(l.password);
        const std::string row = "row " + std::to_string(i + 2);
        PreparedRow p = prepare(l);
        vault::WipeAtScopeEnd wipe(p.entry.password);
        auto skip = [&](const std::string& why) {
            ++skipped;
            if (c.json)
                report.row(i + 2, p.shown, "skipped", {}, why);
            else
                std::fprintf(stderr, "%s %s: skipped, %s\n", row.c_str(), p.shown.c_str(), why.c_str());
        };
        if (!l.skipReason.empty()) {
            skip(l.skipReason);
            continue;
        }
        if (!p.skipReason.empty()) {
            skip(p.skipReason);
            continue;
        }
        const std::string changes = p.changes.empty() ? std::string() : ", with changes: " + joined(p.changes);
        // The same rules either way: a dry run checks names against the list and the rows before.
        const vault::AddResult r =
            dryRun ? session.check(p.entry,
                                   [&](const std::string& key) {
                                       return std::find(taken.begin(), taken.end(), key) != taken.end();
                                   })
                   : session.add(p.entry);
        if (r.outcome == vault::AddOutcome::Full) {
            full = true;
            break;
        }
        if (r.outcome != vault::AddOutcome::Added) {
            skip(addWords(r, p.entry.name).text);
            continue;
        }
        ++added;
        if (c.json) report.row(i + 2, p.shown, "added", p.changes, {});
        if (dryRun) {
            taken.push_back(vault::nameKey(p.entry.name));
            if (!c.json)
                std::fprintf(stderr, "%s %s: would be added%s\n", row.c_str(), p.shown.c_str(), changes.c_str());
        } else if (!p.changes.empty() && !c.json) {
            std::fprintf(stderr, "%s %s: added%s\n", row.c_str(), p.shown.c_str(), changes.c_str());
        }
        changed += p.changes.empty() ? 0 : 1;
    }
    const std::size_t left = ex->logins.size() - added - skipped;
    if (c.json) out(report.text(added, changed, skipped, full ? left : 0));
    std::fprintf(stderr, "%zu %s (%zu with changes), %zu skipped", added, dryRun ? "would be added" : "added", changed,
                 skipped);
    if (full) {
        std::fprintf(stderr, "; the data file is full: %zu not imported\n", left);
        return kFull;
    }
    std::fprintf(stderr, "\n");
    return kOk;
}

}  // namespace cli
