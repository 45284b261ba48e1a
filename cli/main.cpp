// keyfold-cli: the list of logins from a terminal, on the same data file as the window
// program. Every rule about entries is the vault session's; this file words its
// outcomes and converts text between the terminal's UTF-8 and the file's Windows-1252.
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/random.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QRegularExpression>
#include <QStandardPaths>

#include "cli/clip.h"
#include "cli/csv.h"
#include "vault/ansi.h"
#include "vault/ioerror.h"
#include "vault/locations.h"
#include "vault/record.h"
#include "vault/secret.h"
#include "vault/session.h"
#include "vault/settings.h"
#include "vault/text.h"

namespace {

// Exit statuses, one per kind of failure (listed in --help).
enum Exit {
    kOk = 0,
    kUsage = 2,        // wrong command line
    kNoDataFile = 3,   // no data file there
    kFileError = 4,    // the data file or another file could not be read or written
    kNotFound = 5,     // no entry of that name
    kRefused = 6,      // the entry breaks a rule (space in password, name or address missing, name taken)
    kFull = 7,         // the data file has no free slot
    kOtherCopy = 8,    // another copy of the program changed or holds the file: nothing written
    kCancelled = 9,    // not confirmed, or the phrases or passwords typed differ
    kBadImport = 10,   // the file to import is no export format known here
    kClipboard = 11,   // the clipboard cannot be reached
};

const char* const kExitHelp =
    "Exit status:\n"
    "  0   success\n"
    "  2   wrong command line\n"
    "  3   no data file at the path used\n"
    "  4   a file could not be read or written\n"
    "  5   no entry of that name\n"
    "  6   the entry breaks a rule (space in the password, name or address missing,\n"
    "      name already in the list)\n"
    "  7   the data file is full\n"
    "  8   another copy of Keyfold changed or holds the data file; nothing was written\n"
    "  9   cancelled: not confirmed, no terminal to ask on, or the two typings differ\n"
    "  10  the file to import is in no known export format\n"
    "  11  the clipboard cannot be reached\n";

const char* const kCommandHelp =
    "Commands:\n"
    "  ls [FILTER]                   the names, in the order of the main window's list\n"
    "  show NAME [--show-password]   the entry's fields\n"
    "  clip NAME [--user]            the password (or user ID) to the clipboard, cleared after a delay\n"
    "  add NAME --url URL [--user U] [--comment C] [--generate [--length N] [--no-symbols]]\n"
    "  edit NAME [--url URL] [--user U] [--comment C] [--password]\n"
    "  rm NAME [--yes]\n"
    "  rekey                         change the key phrase (old one, then the new one twice)\n"
    "  export --csv FILE|-           every entry as CSV: name,url,username,password,note\n"
    "  import FILE [--dry-run]       a browser's or password manager's CSV export\n"
    "  generate [--length N] [--no-symbols]\n"
    "\n"
    "The key phrase is asked on the terminal without echo; with --phrase-stdin it is the\n"
    "first line of standard input (and a password or new phrase asked for the following lines).\n";

// Failures that end the run with a status.
struct Failure {
    int status;
    std::string text;
};
[[noreturn]] void fail(int status, const std::string& text) { throw Failure{status, text}; }

// ---- Text at the edge: arguments and output in UTF-8, the file in Windows-1252 ----

std::string ansi(const QString& text) { return vault::AnsiFromUtf8(text.toUtf8().toStdString()); }
std::string utf8(const std::string& bytes) { return vault::Utf8FromAnsi(bytes); }

// A name as the window's name box takes it: the first line, each letter that has a
// single upper-case form in Windows-1252 in that form.
std::string nameText(const QString& typed) {
    QString text = typed;
    if (const auto cut = text.indexOf(QRegularExpression(QStringLiteral("[\r\n\u2028\u2029]"))); cut >= 0)
        text.truncate(cut);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar up = text.at(i).toUpper();
        if (up != text.at(i) && vault::AnsiOfUnicode(up.unicode()) >= 0) text[i] = up;
    }
    return ansi(text);
}

void out(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// ---- Secrets and questions ----

termios savedTerminal{};
volatile std::sig_atomic_t terminalFd = -1;
void restoreTerminalAndExit(int sig) {
    if (terminalFd >= 0) tcsetattr(terminalFd, TCSANOW, &savedTerminal);
    const char newline = '\n';
    [[maybe_unused]] auto w = ::write(STDERR_FILENO, &newline, 1);
    _exit(128 + sig);
}

struct Input {
    bool fromStdin = false;

    // One line of standard input, without its line end; nothing at end of input.
    static std::optional<std::string> stdinLine() {
        std::string line;
        int c;
        bool any = false;
        while ((c = std::getchar()) != EOF) {
            any = true;
            if (c == '\n') break;
            line.push_back(static_cast<char>(c));
        }
        if (!any) return std::nullopt;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }

    // A secret typed on the terminal without echo, or the next line of standard input.
    std::string secret(const char* prompt) const {
        std::string text;
        if (fromStdin) {
            std::optional<std::string> line = stdinLine();
            if (!line) fail(kCancelled, std::string("standard input ended before the ") + prompt);
            text = std::move(*line);
            vault::Wipe(*line);
            return vault::AnsiFromUtf8(text);
        }
        const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (tty < 0) fail(kCancelled, "no terminal to ask for the " + std::string(prompt) + " (use --phrase-stdin)");
        const bool isTerminal = tcgetattr(tty, &savedTerminal) == 0;
        if (isTerminal) {
            // Ctrl+C while echo is off gives the terminal back as it was.
            terminalFd = tty;
            std::signal(SIGINT, restoreTerminalAndExit);
            std::signal(SIGTERM, restoreTerminalAndExit);
            std::signal(SIGHUP, restoreTerminalAndExit);
            termios quiet = savedTerminal;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            quiet.c_lflag |= ECHONL;
            tcsetattr(tty, TCSANOW, &quiet);
        }
        const std::string ask = std::string(1, static_cast<char>(std::toupper(prompt[0]))) + (prompt + 1) + ": ";
        [[maybe_unused]] auto w = ::write(tty, ask.data(), ask.size());
        char c;
        bool ended = false;
        while (::read(tty, &c, 1) == 1) {
            if (c == '\n') { ended = true; break; }
            text.push_back(c);
        }
        if (isTerminal) {
            tcsetattr(tty, TCSANOW, &savedTerminal);
            terminalFd = -1;
            std::signal(SIGINT, SIG_DFL);
            std::signal(SIGTERM, SIG_DFL);
            std::signal(SIGHUP, SIG_DFL);
        }
        ::close(tty);
        if (!ended && text.empty()) fail(kCancelled, std::string("no ") + prompt + " typed");
        std::string bytes = vault::AnsiFromUtf8(text);
        vault::Wipe(text);
        return bytes;
    }

    // Yes or no on the terminal.
    static bool confirm(const std::string& question) {
        const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (tty < 0) fail(kCancelled, "no terminal to ask on (use --yes)");
        const std::string ask = question + " [y/N] ";
        [[maybe_unused]] auto w = ::write(tty, ask.data(), ask.size());
        std::string answer;
        char c;
        while (::read(tty, &c, 1) == 1 && c != '\n') answer.push_back(c);
        ::close(tty);
        return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
    }
};

// ---- The data file ----

std::string appDataBase() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    while (base.size() > 1 && base.endsWith(QLatin1Char('/'))) base.chop(1);
    if (base.isEmpty()) base = QDir::homePath();
    return QFile::encodeName(base).toStdString();
}

vault::Locations locations(const QString& file) {
    vault::Locations paths = vault::LocateFiles(appDataBase());
    if (!file.isEmpty()) {
        const QFileInfo info(file);
        paths.storageFolder = vault::WithTrailingSeparator(QFile::encodeName(info.absolutePath()).toStdString());
        paths.dataFile = QFile::encodeName(info.absoluteFilePath()).toStdString();
        paths.legacyFile = paths.storageFolder + vault::kLegacyFileName;
    }
    return paths;
}

// The session on the data file with the key phrase in force. create: a missing data
// file is made (for the commands that add).
void open(vault::Session& session, const Input& input, bool create) {
    session.refuseUnreachableLink();
    if (!session.dataFileExists()) {
        if (!create) fail(kNoDataFile, "no data file at " + session.paths().dataFile);
        if (session.paths().dataFile == vault::LocateFiles(appDataBase()).dataFile) {
            vault::Locations made;
            QDir().mkpath(QFile::decodeName(appDataBase().c_str()));
            if (!vault::SetupDataFolder(made, appDataBase()))
                fail(kFileError, "cannot create the data folder " + made.dataFolder);
        }
        if (session.createDataFile() == vault::CreateOutcome::Created)
            std::fprintf(stderr, "New data file %s\n", session.paths().dataFile.c_str());
    }
    std::string phrase = input.secret("key phrase");
    vault::WipeAtScopeEnd wipe(phrase);
    session.setKeyPhrase(phrase);
}

struct NamedEntry {
    std::string name;  // the name as stored
    vault::Entry entry;
};

// The entry the typed name stands for: the name as typed, else as the name box takes it.
NamedEntry findEntry(vault::Session& session, const QString& typed) {
    const std::string asTyped = vault::Trim(ansi(typed));
    if (std::optional<vault::Entry> e = session.find(asTyped)) return {asTyped, *e};
    const std::string asBox = vault::Trim(nameText(typed));
    if (std::optional<vault::Entry> e = session.find(asBox)) return {asBox, *e};
    fail(kNotFound, "no entry named " + utf8(asBox));
}

// The names in the order of the main window's list (sorted by their characters).
std::vector<std::string> sortedNames(vault::Session& session) {
    std::vector<std::string> names = session.listNames();
    std::vector<std::pair<QString, std::size_t>> keys;
    keys.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        QString key(static_cast<qsizetype>(names[i].size()), Qt::Uninitialized);
        for (std::size_t k = 0; k < names[i].size(); ++k)
            key[static_cast<qsizetype>(k)] = QChar(vault::UnicodeOfAnsi(static_cast<unsigned char>(names[i][k])));
        keys.emplace_back(std::move(key), i);
    }
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (const auto& k : keys) sorted.push_back(std::move(names[k.second]));
    return sorted;
}

// ---- Passwords ----

// The widths of the password and comment fields of a slot.
constexpr int kPasswordWidth = 25;
constexpr std::size_t kCommentWidth = 255;

struct Generated {
    std::string password;
    double bits;
};

Generated generatePassword(int length, bool symbols) {
    std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    if (symbols)
        for (char c = 33; c < 127; ++c)
            if (!std::isalnum(static_cast<unsigned char>(c))) alphabet.push_back(c);
    const unsigned n = static_cast<unsigned>(alphabet.size());
    const unsigned limit = 256 - 256 % n;  // bytes at or above it would favour some characters
    Generated g{{}, length * std::log2(static_cast<double>(n))};
    while (static_cast<int>(g.password.size()) < length) {
        unsigned char buffer[64];
        const ssize_t got = getrandom(buffer, sizeof buffer, 0);
        if (got <= 0) fail(kFileError, "the system's random source failed");
        for (ssize_t i = 0; i < got && static_cast<int>(g.password.size()) < length; ++i)
            if (buffer[i] < limit) g.password.push_back(alphabet[buffer[i] % n]);
        vault::WipeBytes(buffer, sizeof buffer);
    }
    return g;
}

int lengthOption(const QCommandLineParser& p, const QCommandLineOption& o) {
    if (!p.isSet(o)) return 20;
    bool ok = false;
    const int n = p.value(o).toInt(&ok);
    if (!ok || n < 1 || n > kPasswordWidth)
        fail(kUsage, "--length takes 1 to " + std::to_string(kPasswordWidth) + " (the password field's width)");
    return n;
}

// A password typed twice (once from standard input), checked against the field's width.
std::string typedPassword(const Input& input) {
    std::string password = input.secret("password");
    if (!input.fromStdin) {
        std::string again = input.secret("password again");
        vault::WipeAtScopeEnd wipe(again);
        if (again != password) {
            vault::Wipe(password);
            fail(kCancelled, "the two passwords differ; nothing was written");
        }
    }
    if (password.size() > static_cast<std::size_t>(kPasswordWidth)) {
        vault::Wipe(password);
        fail(kRefused, "a password holds at most " + std::to_string(kPasswordWidth) + " characters");
    }
    return password;
}

// ---- Outcomes in words ----

void wordAdd(const vault::AddResult& r, const std::string& typedName) {
    switch (r.outcome) {
    case vault::AddOutcome::Added: return;
    case vault::AddOutcome::SpaceInPassword: fail(kRefused, "the password holds a space");
    case vault::AddOutcome::NameOrWebsiteMissing: fail(kRefused, "an entry needs a name and a website address");
    case vault::AddOutcome::ListedAlready:
    case vault::AddOutcome::Duplicate:
        fail(kRefused, "the name " + utf8(vault::nameKey(typedName)) + " is already in the list (use edit)");
    case vault::AddOutcome::Full:
        fail(kFull, "the data file is full: delete an entry before adding another");
    }
}

void wordChange(const vault::ChangeResult& r, const std::string& name) {
    switch (r.outcome) {
    case vault::ChangeOutcome::Updated:
    case vault::ChangeOutcome::Deleted: return;
    case vault::ChangeOutcome::SpaceInPassword: fail(kRefused, "the password holds a space");
    case vault::ChangeOutcome::NameMissing: fail(kRefused, "no name given");
    case vault::ChangeOutcome::NotFound: fail(kNotFound, "no entry named " + utf8(name));
    }
}

// ---- Commands ----

struct Context {
    QCommandLineParser& p;
    QStringList args;  // after the command
    Input input;
    QString file;
    bool yes;
};

QString needName(const Context& c, const char* command) {
    if (c.args.isEmpty()) fail(kUsage, std::string(command) + " needs a NAME");
    if (c.args.size() > 1) fail(kUsage, std::string(command) + " takes one NAME (quote a name with blanks)");
    return c.args.first();
}

int cmdLs(Context& c) {
    if (c.args.size() > 1) fail(kUsage, "ls takes at most one FILTER");
    vault::Session session(locations(c.file));
    open(session, c.input, false);
    std::vector<std::string> names = sortedNames(session);
    // The filter as the main window applies it: untrimmed, a to z in upper case; one of
    // blanks only filters nothing.
    std::string filter = c.args.isEmpty() ? std::string() : vault::UpperAscii(ansi(c.args.first()));
    if (vault::Trim(filter).empty()) filter.clear();
    std::string text;
    text.reserve(names.size() * 16);
    for (const std::string& name : names)
        if (filter.empty() || name.find(filter) != std::string::npos) (text += utf8(name)) += '\n';
    out(text);
    return kOk;
}

int cmdShow(Context& c, bool showPassword) {
    const QString typed = needName(c, "show");
    vault::Session session(locations(c.file));
    open(session, c.input, false);
    NamedEntry e = findEntry(session, typed);
    vault::WipeAtScopeEnd wipe(e.entry.password);
    std::string text = "Name:     " + utf8(e.entry.name) + "\nWebsite:  " + utf8(e.entry.website) +
                       "\nUser ID:  " + utf8(e.entry.userId) + "\nPassword: " +
                       (showPassword ? utf8(e.entry.password) : std::string(e.entry.password.empty() ? "" : "********")) +
                       "\nComments: " + utf8(e.entry.comments) + "\n";
    out(text);
    vault::Wipe(text);
    return kOk;
}

int cmdClip(Context& c, bool user) {
    const QString typed = needName(c, "clip");
    std::string secret, settings;
    {
        vault::Session session(locations(c.file));
        open(session, c.input, false);
        NamedEntry e = findEntry(session, typed);
        secret = utf8(user ? e.entry.userId : e.entry.password);
        vault::Wipe(e.entry.password);
        settings = session.paths().settingsFile;
    }
    vault::WipeAtScopeEnd wipe(secret);
    // The module beside the program holds the clipboard code (and with it QtGui).
    QLibrary module(QCoreApplication::applicationDirPath() + QStringLiteral("/libkeyfold_cli_clip.so"));
    auto copy = reinterpret_cast<KeyfoldCliClipFunction>(module.resolve("keyfold_cli_clip"));
    if (!copy) fail(kClipboard, "the clipboard module cannot be loaded: " + module.errorString().toStdString());
    const int seconds = vault::ClipboardClearSeconds(settings);
    if (copy("keyfold-cli", secret.c_str(), seconds, user ? "User ID" : "Password") != 0)
        fail(kClipboard, "the clipboard cannot be reached");
    return kOk;
}

int cmdAdd(Context& c, const QCommandLineOption& url, const QCommandLineOption& userOpt,
           const QCommandLineOption& comment, bool generate, int length, bool symbols) {
    const QString typed = needName(c, "add");
    if (!c.p.isSet(url)) fail(kUsage, "add needs --url URL");
    vault::Session session(locations(c.file));
    open(session, c.input, true);
    vault::Entry entry{nameText(typed), ansi(c.p.value(url)), ansi(c.p.value(userOpt)), {}, ansi(c.p.value(comment))};
    vault::WipeAtScopeEnd wipe(entry.password);
    if (generate) {
        Generated g = generatePassword(length, symbols);
        entry.password = std::move(g.password);
        std::fprintf(stderr, "Password generated (%.0f bits).\n", std::floor(g.bits));
    } else {
        entry.password = typedPassword(c.input);
    }
    const vault::AddResult r = session.add(entry);
    wordAdd(r, entry.name);
    std::fprintf(stderr, "Added %s%s.\n", utf8(r.entry.name).c_str(),
                 r.addressCompleted ? (" (address " + utf8(r.entry.website) + ")").c_str() : "");
    return kOk;
}

int cmdEdit(Context& c, const QCommandLineOption& url, const QCommandLineOption& userOpt,
            const QCommandLineOption& comment, bool newPassword) {
    const QString typed = needName(c, "edit");
    vault::Session session(locations(c.file));
    open(session, c.input, false);
    NamedEntry e = findEntry(session, typed);
    vault::WipeAtScopeEnd wipe(e.entry.password);
    if (!c.p.isSet(url) && !c.p.isSet(userOpt) && !c.p.isSet(comment) && !newPassword)
        fail(kUsage, "edit needs at least one of --url, --user, --comment, --password");
    if (c.p.isSet(url)) e.entry.website = ansi(c.p.value(url));
    if (c.p.isSet(userOpt)) e.entry.userId = ansi(c.p.value(userOpt));
    if (c.p.isSet(comment)) e.entry.comments = ansi(c.p.value(comment));
    if (newPassword) {
        vault::Wipe(e.entry.password);
        e.entry.password = typedPassword(c.input);
    }
    const vault::ChangeResult r = session.update(e.entry);
    wordChange(r, e.name);
    std::fprintf(stderr, "%s has been updated.\n", utf8(e.name).c_str());
    return kOk;
}

int cmdRm(Context& c) {
    const QString typed = needName(c, "rm");
    vault::Session session(locations(c.file));
    open(session, c.input, false);
    NamedEntry e = findEntry(session, typed);
    vault::Wipe(e.entry.password);
    if (!c.yes && !Input::confirm("Delete the entry " + utf8(e.name) + "?"))
        fail(kCancelled, "not deleted");
    const vault::ChangeResult r = session.remove(e.name);
    wordChange(r, e.name);
    std::fprintf(stderr, "%s has been deleted.\n", utf8(e.name).c_str());
    return kOk;
}

int cmdRekey(Context& c) {
    if (!c.args.isEmpty()) fail(kUsage, "rekey takes no arguments");
    vault::Session session(locations(c.file));
    session.refuseUnreachableLink();
    if (!session.dataFileExists()) fail(kNoDataFile, "no data file at " + session.paths().dataFile);
    std::string oldPhrase = c.input.secret("old key phrase");
    std::string newPhrase = c.input.secret("new key phrase");
    std::string again = c.input.secret("new key phrase again");
    vault::WipeAtScopeEnd wipe(oldPhrase, newPhrase, again);
    if (again != newPhrase) fail(kCancelled, "the two new key phrases differ; nothing was changed");
    const vault::RekeyOutcome r = session.rekey(oldPhrase, newPhrase, [&](const std::string& verifyLine) {
        // A wrong old phrase shows as an unreadable first name.
        std::fprintf(stderr, "The first entry under the old key phrase reads: %s\n", utf8(verifyLine).c_str());
        return c.yes || Input::confirm("Is that the name as you know it? Change the key phrase?");
    });
    switch (r) {
    case vault::RekeyOutcome::Completed: std::fprintf(stderr, "The key phrase has been changed.\n"); return kOk;
    case vault::RekeyOutcome::Cancelled: fail(kCancelled, "the key phrase was not changed");
    case vault::RekeyOutcome::NewPhraseMissing: fail(kRefused, "the new key phrase is empty");
    case vault::RekeyOutcome::NoDataFile: fail(kNoDataFile, "no data file at " + session.paths().dataFile);
    }
    return kOk;
}

int cmdExport(Context& c, const QCommandLineOption& csv) {
    if (!c.p.isSet(csv)) fail(kUsage, "export needs --csv FILE (or --csv - for standard output)");
    if (!c.args.isEmpty()) fail(kUsage, "export takes no other arguments");
    vault::Session session(locations(c.file));
    open(session, c.input, false);
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
    open(session, c.input, !dryRun);
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

int cmdGenerate(Context& c, int length, bool symbols) {
    if (!c.args.isEmpty()) fail(kUsage, "generate takes no arguments");
    Generated g = generatePassword(length, symbols);
    vault::WipeAtScopeEnd wipe(g.password);
    out(g.password + "\n");
    std::fprintf(stderr, "Strength: %.0f bits\n", std::floor(g.bits));
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("keyfold-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KEYFOLD_VERSION));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Keyfold's list of logins from a terminal.\n\n") +
                                QString::fromUtf8(kCommandHelp) + QLatin1Char('\n') + QString::fromUtf8(kExitHelp));
    p.addHelpOption();
    p.addVersionOption();
    p.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption file(QStringLiteral("file"), QStringLiteral("Work on the data file at <path>."), QStringLiteral("path"));
    const QCommandLineOption phraseStdin(QStringLiteral("phrase-stdin"),
                                         QStringLiteral("Read the key phrase (and passwords) from standard input."));
    const QCommandLineOption showPassword(QStringLiteral("show-password"), QStringLiteral("show: print the password."));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("add, edit: the user ID."), QStringLiteral("id"));
    const QCommandLineOption url(QStringLiteral("url"), QStringLiteral("add, edit: the website address."), QStringLiteral("url"));
    const QCommandLineOption comment(QStringLiteral("comment"), QStringLiteral("add, edit: the comment."), QStringLiteral("text"));
    const QCommandLineOption generate(QStringLiteral("generate"), QStringLiteral("add: make a random password."));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("edit: type a new password."));
    const QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("rm, rekey: do not ask."));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("export: the CSV file, or - for standard output."),
                                 QStringLiteral("file"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"), QStringLiteral("import: show what would happen."));
    const QCommandLineOption length(QStringLiteral("length"), QStringLiteral("generate, add: password length (default 20)."),
                                    QStringLiteral("n"));
    QCommandLineOption clipUser(QStringLiteral("clip-user"), QStringLiteral("clip: the user ID."));
    clipUser.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption noSymbols(QStringLiteral("no-symbols"), QStringLiteral("generate, add: letters and digits only."));
    p.addOptions({file, phraseStdin, showPassword, url, user, comment, generate, password, yes, csv, dryRun, length, noSymbols,
                  clipUser});
    p.addPositionalArgument(QStringLiteral("command"), QStringLiteral("ls, show, clip, add, edit, rm, rekey, export, import, generate"));

    // `clip NAME --user` takes no value, where add's and edit's --user does.
    QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--")) break;
        if (a.startsWith(QLatin1Char('-'))) {
            static const QStringList withValue = {QStringLiteral("--file"), QStringLiteral("--url"), QStringLiteral("--user"),
                                                  QStringLiteral("--comment"), QStringLiteral("--csv"), QStringLiteral("--length")};
            if (withValue.contains(a)) ++i;
            continue;
        }
        if (a == QLatin1String("clip"))
            for (QString& b : arguments)
                if (b == QLatin1String("--user")) b = QStringLiteral("--clip-user");
        break;
    }
    if (!p.parse(arguments)) {
        std::fprintf(stderr, "keyfold-cli: %s\n", p.errorText().toLocal8Bit().constData());
        return kUsage;
    }
    if (p.isSet(QStringLiteral("help"))) p.showHelp(kOk);
    if (p.isSet(QStringLiteral("version"))) p.showVersion();

    try {
        QStringList args = p.positionalArguments();
        if (args.isEmpty()) fail(kUsage, "no command (see --help)");
        const QString command = args.takeFirst();
        Context c{p, args, Input{p.isSet(phraseStdin)}, p.value(file), p.isSet(yes)};
        // clip --user takes no value: `--user` is also add's and edit's option with a value.
        auto allowOnly = [&](std::initializer_list<const QCommandLineOption*> allowed) {
            for (const QCommandLineOption* o : {&showPassword, &url, &user, &comment, &generate, &password, &yes, &csv,
                                                &dryRun, &length, &noSymbols})
                if (p.isSet(*o) && std::find(allowed.begin(), allowed.end(), o) == allowed.end())
                    fail(kUsage, "--" + o->names().first().toStdString() + " does not go with " + command.toStdString());
        };
        if (command == QLatin1String("ls")) { allowOnly({}); return cmdLs(c); }
        if (command == QLatin1String("clip")) { allowOnly({}); return cmdClip(c, p.isSet(clipUser)); }
        if (command == QLatin1String("show")) { allowOnly({&showPassword}); return cmdShow(c, p.isSet(showPassword)); }
        if (command == QLatin1String("add")) {
            allowOnly({&url, &user, &comment, &generate, &length, &noSymbols});
            if ((p.isSet(length) || p.isSet(noSymbols)) && !p.isSet(generate))
                fail(kUsage, "--length and --no-symbols go with --generate");
            return cmdAdd(c, url, user, comment, p.isSet(generate), lengthOption(p, length), !p.isSet(noSymbols));
        }
        if (command == QLatin1String("edit")) { allowOnly({&url, &user, &comment, &password}); return cmdEdit(c, url, user, comment, p.isSet(password)); }
        if (command == QLatin1String("rm")) { allowOnly({&yes}); return cmdRm(c); }
        if (command == QLatin1String("rekey")) { allowOnly({&yes}); return cmdRekey(c); }
        if (command == QLatin1String("export")) { allowOnly({&csv}); return cmdExport(c, csv); }
        if (command == QLatin1String("import")) { allowOnly({&dryRun}); return cmdImport(c, p.isSet(dryRun)); }
        if (command == QLatin1String("generate")) { allowOnly({&length, &noSymbols}); return cmdGenerate(c, lengthOption(p, length), !p.isSet(noSymbols)); }
        fail(kUsage, "unknown command " + command.toStdString() + " (see --help)");
    } catch (const Failure& f) {
        std::fprintf(stderr, "keyfold-cli: %s\n", f.text.c_str());
        return f.status;
    } catch (const vault::DataFileProblem& e) {
        std::fprintf(stderr, "keyfold-cli: %s; nothing was written. Try again.\n", e.what());
        return e.kind() == vault::DataFileProblem::Kind::ChangedByOtherCopy ||
                       e.kind() == vault::DataFileProblem::Kind::ReplacedByOtherCopy ||
                       e.kind() == vault::DataFileProblem::Kind::Busy
                   ? kOtherCopy
                   : kFileError;
    } catch (const vault::IoError& e) {
        std::fprintf(stderr, "keyfold-cli: %s\n", e.what());
        return kFileError;
    }
}
