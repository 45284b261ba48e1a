// keyfold-cli's export and import: every entry as CSV in the list's order, and a web
// browser's or password manager's CSV export read in (its format recognised by
// cli/csv.h), each row through the vault session's rules.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <QFile>

#include "cli/cli.h"
#include "cli/csv.h"
#include "vault/ansi.h"
#include "vault/secret.h"
#include "vault/text.h"

namespace cli {

int cmdExport(Context& c, const QCommandLineOption& csv) {
    if (!c.p.isSet(csv)) fail(kUsage, "export needs --csv FILE (or --csv - for standard output)");
    if (!c.args.isEmpty()) fail(kUsage, "export takes no other arguments");
    vault::Session session(locations(c.file));
    openSession(session, c.input, false);
    // In the order of the list, as ls shows it.
    std::vector<vault::Entry> entries;
    session.listEntries([&](const vault::Entry& e) { entries.push_back(e); });
    std::vector<std::string> order = sortedNames(session);
    std::string text = cli::CsvLine(cli::ExportHeader());
    std::vector<bool> used(entries.size());
    for (const std::string& name : order)
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (!used[i] && entries[i].name == name) {
                used[i] = true;
                const vault::Entry& e = entries[i];
                text += cli::CsvLine({utf8(e.name), utf8(e.website), utf8(e.userId), utf8(e.password), utf8(e.comments)});
                break;
            }
    for (vault::Entry& e : entries) vault::Wipe(e.password);
    vault::WipeAtScopeEnd wipe(text);
    const QString target = c.p.value(csv);
    if (target == QLatin1String("-")) {
        out(text);
        return kOk;
    }
    const std::string path = QFile::encodeName(target).toStdString();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) fail(kFileError, "cannot write " + path + ": " + std::strerror(errno));
    // An existing file keeps no wider permissions than a new one.
    bool ok = ::fchmod(fd, 0600) == 0;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<std::size_t>(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok) fail(kFileError, "cannot write " + path + ": " + std::strerror(errno));
    std::fprintf(stderr, "%zu entries written to %s\n", entries.size(), path.c_str());
    return kOk;
}

int cmdImport(Context& c, bool dryRun) {
    if (c.args.size() != 1) fail(kUsage, "import needs one FILE");
    QFile file(c.args.first());
    if (!file.open(QIODevice::ReadOnly)) fail(kFileError, "cannot read " + c.args.first().toStdString());
    QByteArray bytes = file.readAll();
    std::optional<std::vector<cli::CsvRow>> rows = cli::ParseCsv(std::string_view(bytes.constData(), bytes.size()));
    bytes.fill('\0');
    std::optional<cli::Export> ex = rows ? cli::ReadExport(*rows) : std::nullopt;
    if (rows)
        for (cli::CsvRow& row : *rows)
            for (std::string& f : row) vault::Wipe(f);
    if (!ex) {
        std::string known;
        for (const std::string& f : cli::KnownFormats()) known += (known.empty() ? "" : ", ") + f;
        fail(kBadImport, c.args.first().toStdString() + " is no CSV export known here (known: " + known + ")");
    }
    std::fprintf(stderr, "%s: %s export, %zu rows%s\n", c.args.first().toLocal8Bit().constData(), ex->format.c_str(),
                 ex->logins.size(), dryRun ? " (dry run: nothing is written)" : "");

    vault::Session session(locations(c.file));
    openSession(session, c.input, !dryRun);
    // A dry run checks names against the list and against the rows before them.
    std::vector<std::string> taken;
    if (dryRun && session.dataFileExists())
        for (const std::string& n : session.listNames()) taken.push_back(vault::nameKey(n));
    std::size_t added = 0, skipped = 0;
    bool full = false;
    for (std::size_t i = 0; i < ex->logins.size(); ++i) {
        cli::Login& l = ex->logins[i];
        const std::string row = "row " + std::to_string(i + 2);
        vault::Entry entry{nameText(QString::fromStdString(l.name.empty() ? cli::HostOf(l.url) : l.name)),
                           vault::AnsiFromUtf8(l.url), vault::AnsiFromUtf8(l.username),
                           vault::AnsiFromUtf8(l.password), {}};
        vault::WipeAtScopeEnd wipe(entry.password, l.password);
        std::string note = l.note;
        std::replace_if(note.begin(), note.end(), [](char ch) { return ch == '\r' || ch == '\n'; }, ' ');
        entry.comments = vault::AnsiFromUtf8(note);
        const std::string shown = utf8(entry.name);
        auto skip = [&](const std::string& why) {
            ++skipped;
            std::fprintf(stderr, "%s %s: skipped, %s\n", row.c_str(), shown.c_str(), why.c_str());
        };
        if (!l.skipReason.empty()) { skip(l.skipReason); continue; }
        if (utf8(entry.password) != l.password) { skip("the password holds characters the data file cannot hold"); continue; }
        if (entry.password.size() > static_cast<std::size_t>(kPasswordWidth)) {
            skip("the password is longer than " + std::to_string(kPasswordWidth) + " characters");
            continue;
        }
        if (vault::passwordHasSpace(entry.password)) { skip("the password holds a space"); continue; }
        if (vault::Trim(entry.name).empty() || vault::Trim(entry.website).empty()) { skip("no name or no address"); continue; }
        if (entry.comments.size() > kCommentWidth || l.note != note)
            std::fprintf(stderr, "%s %s: note put on one line of at most %zu characters\n", row.c_str(), shown.c_str(),
                         kCommentWidth);
        if (dryRun) {
            const std::string key = vault::nameKey(entry.name);
            if (std::find(taken.begin(), taken.end(), key) != taken.end()) { skip("the name is already in the list"); continue; }
            taken.push_back(key);
            std::fprintf(stderr, "%s %s: would be added\n", row.c_str(), shown.c_str());
            ++added;
            continue;
        }
        const vault::AddResult r = session.add(entry);
        if (r.outcome == vault::AddOutcome::Full) { full = true; break; }
        if (r.outcome == vault::AddOutcome::Duplicate || r.outcome == vault::AddOutcome::ListedAlready) {
            skip("the name is already in the list");
            continue;
        }
        if (r.outcome != vault::AddOutcome::Added) { skip("refused by the entry rules"); continue; }
        ++added;
    }
    const std::size_t left = ex->logins.size() - added - skipped;
    std::fprintf(stderr, "%zu %s, %zu skipped", added, dryRun ? "would be added" : "added", skipped);
    if (full) {
        std::fprintf(stderr, "; the data file is full: %zu not imported\n", left);
        return kFull;
    }
    std::fprintf(stderr, "\n");
    return kOk;
}

}  // namespace cli
