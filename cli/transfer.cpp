// keyfold-cli's export and import: every entry as CSV in the list's order, and a web
// browser's or password manager's CSV export read in (its format recognised by
// cli/csv.h), each row through the vault session's rules.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <QFile>
#include <QUrl>

#include "cli/cli.h"
#include "cli/csv.h"
#include "cli/importrows.h"
#include "cli/json.h"
#include "cli/listing.h"
#include "vault/record.h"
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
    vault::SecretText text = cli::csvLine(cli::exportHeader());
    for (const vault::Entry& e : entries)
        cli::appendCsvLine(text,
                           {utf8(e.name), utf8(e.website), utf8(e.userId), secretUtf8(e.password), utf8(e.comments)});
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

// The file's bytes, read into a secret text (an export holds passwords): no library
// buffer keeps a copy.
vault::SecretText importedBytes(const QString& name, const std::string& given) {
    const int fd = ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(kFileError, "cannot read " + given + ": " + std::strerror(errno));
    vault::SecretText bytes;
    if (struct stat st{}; ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxImportBytes)
        bytes.reserve(std::size_t(st.st_size));  // read without growing
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) != 0 && bytes.size() <= std::size_t(kMaxImportBytes)) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        bytes.append(std::string_view(buffer, std::size_t(n)));
    }
    const int error = errno;
    vault::wipeBytes(buffer, sizeof buffer);
    ::close(fd);
    if (n < 0) fail(kFileError, "cannot read " + given + ": " + std::strerror(error));
    if (bytes.size() > std::size_t(kMaxImportBytes))
        fail(kBadImport, given + " is larger than 64 MiB, far larger than any export of logins; nothing was imported");
    return bytes;
}

// The ASCII form every browser reads of an address in other scripts.
std::optional<std::string> asciiAddress(const std::string& utf8Address) {
    const QUrl parsed(QString::fromStdString(utf8Address));
    if (!parsed.isValid() || parsed.host().isEmpty()) return std::nullopt;
    return parsed.toString(QUrl::FullyEncoded).toStdString();
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& p : parts) text += (text.empty() ? "" : separator) + p;
    return text;
}

// One line of the report on standard error: nothing read from the file steers the
// terminal, and a zero byte does not end the line early.
void say(const std::string& line) {
    const std::string text = escapeControls(line, {}) + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
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
    const std::string given = escapeControls(c.args.first().toStdString(), {});
    std::string how, problem;
    std::optional<vault::SecretText> text = importText(importedBytes(c.args.first(), given), how, problem);
    if (!text) fail(kBadImport, problem);
    std::size_t unclosedLine = 0;
    std::vector<std::size_t> lines;
    std::optional<std::vector<cli::CsvRow>> rows = cli::parseCsv(*text, &unclosedLine, &lines);
    text.reset();
    if (!rows)
        fail(kBadImport, given + ": the quoted field that begins on line " + std::to_string(unclosedLine) +
                             " is never closed; nothing was imported");
    std::optional<cli::Export> ex = cli::readExport(*rows);
    rows.reset();
    if (!ex)
        fail(kBadImport, given + " is no CSV export known here (known: " + joined(cli::knownFormats(), ", ") + ")");
    say(given + ": " + ex->format + " export" + how + ", " + std::to_string(ex->logins.size()) +
        (ex->logins.size() == 1 ? " row" : " rows") + (dryRun ? " (dry run: nothing is written)" : ""));

    vault::Session& session = c.session();
    // A first import can be tried before there is a data file.
    const bool noFileYet = dryRun && !session.dataFileExists();
    if (!noFileYet) openSession(c, !dryRun);
    // Names are checked against the list and the rows before, and a dry run counts the
    // free slots as the real run fills them: both runs take the same rows.
    std::vector<std::string> taken;
    if (!noFileYet)
        for (const std::string& n : session.listNames()) taken.push_back(vault::nameKey(n));
    int freeSlots = noFileYet ? vault::kNewFileSlots - 1 : dryRun ? session.freeSlots() : 0;
    const auto listed = [&](const std::string& key) {
        return std::find(taken.begin(), taken.end(), key) != taken.end();
    };
    std::size_t added = 0, changed = 0, skipped = 0;
    bool full = false;
    ImportReport report(ex->format, how, dryRun);
    for (std::size_t i = 0; i < ex->logins.size(); ++i) {
        cli::Login& l = ex->logins[i];
        const std::size_t line = i + 1 < lines.size() ? lines[i + 1] : i + 2;
        const std::string row = "row " + std::to_string(line);
        PreparedRow p = prepareRow(l, asciiAddress);
        auto skip = [&](const std::string& why) {
            ++skipped;
            if (c.json)
                report.row(line, p.shown, "skipped", {}, why);
            else
                say(row + (p.shown.empty() ? "" : " " + p.shown) + ": skipped, " + why);
        };
        if (!l.skipReason.empty()) {
            skip(l.skipReason);
            continue;
        }
        if (!p.skipReason.empty()) {
            skip(p.skipReason);
            continue;
        }
        vault::AddResult r = session.checkBeforeScan(p.entry, vault::Operation::Import, listed);
        if (r.outcome == vault::AddOutcome::Added) {
            if (!dryRun) {
                r = session.add(p.entry, vault::Operation::Import, listed);
            } else if (freeSlots == 0) {
                r.outcome = vault::AddOutcome::Full;
            } else {
                --freeSlots;
            }
        }
        if (r.outcome == vault::AddOutcome::Full) {
            full = true;
            break;
        }
        if (r.outcome != vault::AddOutcome::Added) {
            skip(addWords(r, p.entry.name).text);
            continue;
        }
        ++added;
        taken.push_back(vault::nameKey(r.entry.name));
        // The name as stored.
        p.shown = utf8(r.entry.name);
        if (c.json)
            report.row(line, p.shown, "added", p.changes, {});
        else if (dryRun || !p.changes.empty())
            say(row + " " + p.shown + (dryRun ? ": would be added" : ": added") +
                (p.changes.empty() ? std::string() : ", with changes: " + joined(p.changes, "; ")));
        changed += p.changes.empty() ? 0 : 1;
    }
    const std::size_t left = ex->logins.size() - added - skipped;
    if (c.json) out(report.text(added, changed, skipped, full ? left : 0));
    std::string summary = std::to_string(added) + (dryRun ? " would be added (" : " added (") +
                          std::to_string(changed) + " with changes), " + std::to_string(skipped) + " skipped";
    if (full)
        summary += dryRun ? "; the data file would be full: " + std::to_string(left) + " would not be imported"
                          : "; the data file is full: " + std::to_string(left) + " not imported";
    say(summary);
    return full ? kFull : kOk;
}

}  // namespace cli
