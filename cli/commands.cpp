// keyfold-cli's commands on the entries: ls, show, clip, add, edit, rm and generate, and
// the session they work on. Every rule about entries is the vault session's; these word
// its outcomes.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/random.h>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "cli/cli.h"
#include "cli/keeper.h"
#include "cli/listing.h"
#include "vault/windows1252.h"
#include "vault/locations.h"
#include "vault/secret.h"
#include "vault/settings.h"
#include "vault/text.h"

namespace cli {
namespace {

std::string appDataBase() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    while (base.size() > 1 && base.endsWith(QLatin1Char('/'))) base.chop(1);
    if (base.isEmpty()) base = QDir::homePath();
    return QFile::encodeName(base).toStdString();
}

}  // namespace

// ---- The data file ----

vault::Locations locations(const QString& file) {
    vault::Locations paths = vault::locateFiles(appDataBase());
    if (!file.isEmpty()) {
        QString named = file;
        // The sealed file may be named: the session works from the plain file's path.
        if (named.endsWith(QLatin1String(vault::kSealedFileEnding)) && named.size() > 7)
            named.chop(static_cast<qsizetype>(std::strlen(vault::kSealedFileEnding)));
        const QFileInfo info(named);
        paths.storageFolder = vault::withTrailingSeparator(QFile::encodeName(info.absolutePath()).toStdString());
        paths.dataFile = QFile::encodeName(info.absoluteFilePath()).toStdString();
        paths.legacyFile = paths.storageFolder + vault::kLegacyFileName;
    }
    return paths;
}

void openSession(vault::Session& session, const Input& input, bool create, vault::PhraseCheck check,
                 const std::function<void()>& beforeCreating, bool plain) {
    session.refuseUnreachableLink();
    const bool missing = !session.dataFileExists();
    if (missing && !create) fail(kNoDataFile, "no data file at " + session.paths().dataFile);
    const vault::SecretText phrase = input.dataFilePhrase();
    if (missing) {
        if (beforeCreating) beforeCreating();
        if (session.paths().dataFile == vault::locateFiles(appDataBase()).dataFile) {
            vault::Locations made;
            QDir().mkpath(QFile::decodeName(appDataBase().c_str()));
            if (!vault::setupDataFolder(made, appDataBase()))
                fail(kFileError, "cannot create the data folder " + made.dataFolder);
        }
        // The new file is made under the phrase and in use at once: a sealed file's key
        // is made once, not again to open it.
        session.setKeyPhrase(phrase);
        const vault::NewFileKind kind = plain ? vault::NewFileKind::Plain : session.newFileKind();
        if (session.createDataFile(kind) == vault::CreateOutcome::Created) {
            if (session.isSealed())
                std::fprintf(stderr, "New sealed data file %s\n", session.sealedFile().c_str());
            else
                std::fprintf(stderr, "New data file %s (plain, not sealed%s)\n", session.paths().dataFile.c_str(),
                             kind == vault::NewFileKind::Sealed ? ": the empty key phrase cannot seal it" : "");
            session.removeLeftoverTemp();
            return;
        }
        session.forgetKeyPhrase();  // another copy made a file meanwhile: the phrase must open it
    }
    if (create) session.removeLeftoverTemp();
    switch (session.openWithPhrase(phrase, {}, check)) {
    case vault::PhraseOutcome::Opened: break;
    case vault::PhraseOutcome::SealedFileRefuses:
        fail(kWrongPhrase, "the key phrase does not open the sealed data file " + session.sealedFile() +
                               "; nothing was shown or written");
    case vault::PhraseOutcome::SealedFileRefusesOrDamaged:
        fail(kWrongPhrase, "the sealed data file " + session.sealedFile() +
                               " does not open under the key phrase: either the phrase is not the file's, or the "
                               "file was damaged or altered (a file sealed by an earlier version of Keyfold cannot "
                               "tell which). Nothing was shown or written. If you are sure of the phrase, keep the "
                               "file as it is and use a backup copy");
    case vault::PhraseOutcome::NoAddressReads:
        fail(kWrongPhrase, "the key phrase does not open the data file " + session.paths().dataFile +
                               ": no website address reads as one under it. Nothing was shown or written. If every "
                               "entry was stored without http:// or https:// (a file converted from an old version), "
                               "--open-anyway opens it under this phrase");
    case vault::PhraseOutcome::Mistyped:
        fail(kWrongPhrase, "the key phrase does not open the data file " + session.paths().dataFile +
                               ": under it the entries read as if a character of the phrase were mistyped. Nothing "
                               "was shown or written. Only if you are sure this is the file's phrase, --open-anyway "
                               "opens it under this phrase");
    }
    if (session.isSealed() && session.plainFileExists())
        std::fprintf(stderr,
                     "Note: the sealed data file %s is used; the plain data file %s lies beside it and is left as "
                     "it is.\n",
                     session.sealedFile().c_str(), session.paths().dataFile.c_str());
}

vault::Session& Context::session() {
    if (!sessions->session) sessions->session = std::make_unique<vault::Session>(locations(file));
    return *sessions->session;
}

void openSession(Context& c, bool create, const std::function<void()>& beforeCreating) {
    vault::Session& session = c.session();
    if (c.sessions->opened) {
        if (!session.dataFileExists()) fail(kNoDataFile, "no data file at " + session.paths().dataFile);
        return;
    }
    openSession(session, c.input, create, c.phraseCheck, beforeCreating, c.plain);
    c.sessions->opened = true;
}

namespace {

struct NamedEntry {
    std::string name;  // the name as stored
    vault::Entry entry;
};

// A name as ls shows it: each \xHH the byte it stands for.
std::string unescaped(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\\x") == 0 && i + 3 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            bytes.push_back(static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16)));
            i += 3;
        } else {
            bytes.push_back(text[i]);
        }
    }
    return bytes;
}

// The entry the typed name stands for: the name as typed, else as the name box takes
// it, else as ls shows it (a name holding control characters).
NamedEntry findEntry(vault::Session& session, const QString& typed) {
    const std::string asTyped = vault::trim(windows1252(typed));
    if (std::optional<vault::Entry> e = session.find(asTyped)) return {asTyped, std::move(*e)};
    const std::string asBox = vault::trim(nameText(typed));
    if (std::optional<vault::Entry> e = session.find(asBox)) return {asBox, std::move(*e)};
    const std::string asShown = unescaped(windows1252(typed));
    if (std::optional<vault::Entry> e = session.find(asShown)) return {asShown, std::move(*e)};
    fail(kNotFound, "no entry named " + shown(asBox));
}

}  // namespace

std::vector<std::string> sortedNames(vault::Session& session) {
    std::vector<std::string> names = session.listNames();
    vault::sortAsListed(names);
    return names;
}

// ---- Passwords ----

namespace {

struct Generated {
    vault::SecretText password;
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
        vault::wipeBytes(buffer, sizeof buffer);
    }
    return g;
}

}  // namespace

int lengthOption(const QCommandLineParser& p, const QCommandLineOption& o) {
    if (!p.isSet(o)) return 20;
    bool ok = false;
    const int n = p.value(o).toInt(&ok);
    const int width = static_cast<int>(vault::kPasswordWidth);
    if (!ok || n < 1 || n > width)
        fail(kUsage, "--length takes 1 to " + std::to_string(width) + " (the password field's width)");
    return n;
}

// ---- Outcomes in words ----

namespace {

std::string fieldName(vault::Field field) {
    switch (field) {
    case vault::Field::Name: return "name";
    case vault::Field::Website: return "address";
    case vault::Field::UserId: return "user ID";
    case vault::Field::Password: return "password";
    case vault::Field::Comments: return "comment";
    }
    return "text";
}

std::string controlCharacterText(vault::Field field, unsigned char character) {
    char code[8];
    std::snprintf(code, sizeof code, "U+%04X", character);
    return "the " + fieldName(field) + " holds a control character (" + code + "), which is not stored";
}

std::string tooLongText(vault::Field field) {
    return "the " + fieldName(field) + " as stored is longer than the " + std::to_string(vault::fieldWidth(field)) +
           " characters it holds";
}

}  // namespace

namespace {

// The rule an entry breaks, in words; add and import name the name and the address together.
std::string ruleText(vault::EntryRule rule, vault::Field field, unsigned char character, vault::Operation operation) {
    switch (rule) {
    case vault::EntryRule::Passed: return "accepted";
    case vault::EntryRule::SpaceInPassword: return "the password holds a space";
    case vault::EntryRule::NameMissing:
        return operation == vault::Operation::Update ? "no name given" : "an entry needs a name and a website address";
    case vault::EntryRule::WebsiteMissing: return "an entry needs a name and a website address";
    case vault::EntryRule::ControlCharacter: return controlCharacterText(field, character);
    case vault::EntryRule::TooLong: return tooLongText(field);
    }
    return "refused";
}

}  // namespace

Words addWords(const vault::AddResult& r, const std::string& name) {
    switch (r.outcome) {
    case vault::AddOutcome::Added:
        return {kOk, "Added " + shown(r.entry.name) +
                         (r.addressCompleted ? " (address " + shown(r.entry.website) + ")" : std::string()) + "."};
    case vault::AddOutcome::Refused: return {kRefused, ruleText(r.rule, r.field, r.character, vault::Operation::Add)};
    case vault::AddOutcome::ListedAlready:
    case vault::AddOutcome::Duplicate:
        return {kRefused, "the name " + shown(vault::nameKey(name)) + " is already in the list (use edit)"};
    case vault::AddOutcome::Full: return {kFull, "the data file is full: delete an entry before adding another"};
    }
    return {kRefused, "refused"};
}

namespace {

Words changeWords(const vault::ChangeResult& r, const std::string& name) {
    switch (r.outcome) {
    case vault::ChangeOutcome::Updated: return {kOk, shown(name) + " has been updated."};
    case vault::ChangeOutcome::Deleted: return {kOk, shown(name) + " has been deleted."};
    case vault::ChangeOutcome::Refused:
        return {kRefused, ruleText(r.rule, r.field, r.character, vault::Operation::Update)};
    case vault::ChangeOutcome::NotFound: return {kNotFound, "no entry named " + shown(name)};
    }
    return {kRefused, "refused"};
}

// Ends the run on a refusal; says what was done on success.
void report(const Words& words) {
    if (words.status != kOk) fail(words.status, words.text);
    std::fprintf(stderr, "%s\n", words.text.c_str());
}

QString needName(const Context& c, const char* command) {
    if (c.args.isEmpty()) fail(kUsage, std::string(command) + " needs a NAME");
    if (c.args.size() > 1) fail(kUsage, std::string(command) + " takes one NAME (quote a name with blanks)");
    return c.args.first();
}

}  // namespace

int cmdLs(Context& c) {
    if (c.args.size() > 1) fail(kUsage, "ls takes at most one FILTER");
    vault::Session& session = c.session();
    openSession(c, false);
    std::vector<std::string> names = sortedNames(session);
    // The main window's filter: one with a character no name can hold matches none.
    const vault::NameFilter filter =
        vault::NameFilter::fromUtf8(c.args.isEmpty() ? std::string() : c.args.first().toStdString());
    if (c.json) return listJson(session, filter);
    std::string text;
    text.reserve(names.size() * 16);
    for (const std::string& name : names)
        if (filter.matches(name)) (text += shown(name)) += '\n';
    out(text);
    return !filter.active() || !text.empty() ? kOk : kNoMatch;
}

int cmdShow(Context& c, bool showPassword) {
    const QString typed = needName(c, "show");
    vault::Session& session = c.session();
    openSession(c, false);
    NamedEntry e = findEntry(session, typed);
    if (c.json || !c.field.isEmpty()) return showSelected(c, e.entry, showPassword);
    vault::SecretText text = "Name:     " + shown(e.entry.name) + "\nWebsite:  " + shown(e.entry.website) +
                             "\nUser ID:  " + shown(e.entry.userId) + "\nPassword: ";
    if (showPassword)
        text += shownSecret(e.entry.password);
    else if (!e.entry.password.empty())
        text += "********";
    (text += "\nComments: ") += shown(e.entry.comments) + "\n";
    out(text);
    return kOk;
}

QString clipModulePath() {
    // The module beside the program holds the clipboard code (and with it QtGui). The
    // program's folder is found as QCoreApplication finds it, but also before the
    // application object is made.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() + QStringLiteral("/libkeyfold_cli_clip.so");
}

int cmdClip(Context& c, bool user, int seconds, bool wait) {
    const QString typed = needName(c, "clip");
    vault::SecretText secret;
    std::string settings;
    {
        vault::Session& session = c.session();
        openSession(c, false);
        NamedEntry e = findEntry(session, typed);
        secret = secretUtf8(user ? std::string_view(e.entry.userId) : std::string_view(e.entry.password));
        settings = session.paths().settingsFile;
    }
    if (seconds < 0) seconds = vault::clipboardClearSeconds(settings);
    return offerOnClipboard(secret, seconds, user ? "User ID" : "Password", wait);
}

namespace {

// The texts given on the command line pass add's rules before a file is made or a phrase
// or password asked for (the password, still empty, is checked once it is given).
void refuseBeforeAskingPassword(const vault::Session& session, const vault::Entry& entry) {
    if (const vault::AddResult early = session.checkBeforeScan(entry, vault::Operation::Add);
        early.outcome != vault::AddOutcome::Added)
        report(addWords(early, entry.name));
}

}  // namespace

int cmdAdd(Context& c, const QCommandLineOption& url, const QCommandLineOption& userOpt,
           const QCommandLineOption& comment, bool generate, int length, bool symbols) {
    const QString typedName = needName(c, "add");
    if (!c.p.isSet(url)) fail(kUsage, "add needs --url URL");
    vault::Entry entry{typed(typedName, "name"),
                       typed(c.p.value(url), "address"),
                       typed(c.p.value(userOpt), "user ID"),
                       {},
                       typed(c.p.value(comment), "comment")};
    vault::Session& session = c.session();
    refuseBeforeAskingPassword(session, entry);
    double bits = 0;
    bool passwordTaken = false;
    // On a new data file the password comes before the file is made, so a refused one
    // leaves none; on an existing file it comes once the phrase has opened it.
    const auto takePassword = [&] {
        if (generate) {
            Generated g = generatePassword(length, symbols);
            entry.password = std::move(g.password);
            bits = g.bits;
        } else {
            entry.password = typedPassword(c.input);
        }
        passwordTaken = true;
        if (const vault::AddResult checked = session.checkBeforeScan(entry, vault::Operation::Add);
            checked.outcome != vault::AddOutcome::Added)
            report(addWords(checked, entry.name));
    };
    openSession(c, true, takePassword);
    if (!passwordTaken) takePassword();
    // A generated password is announced once the entry is accepted, as it is written.
    const vault::AddResult r = session.add(entry, vault::Operation::Add, {}, [&](const vault::Entry&, bool) {
        if (generate) std::fprintf(stderr, "Password generated (%.0f bits).\n", std::floor(bits));
    });
    report(addWords(r, entry.name));
    return kOk;
}

int cmdEdit(Context& c, const QCommandLineOption& url, const QCommandLineOption& userOpt,
            const QCommandLineOption& comment, bool newPassword) {
    const QString typedName = needName(c, "edit");
    vault::Session& session = c.session();
    openSession(c, false);
    session.removeLeftoverTemp();
    NamedEntry e = findEntry(session, typedName);
    if (!c.p.isSet(url) && !c.p.isSet(userOpt) && !c.p.isSet(comment) && !newPassword)
        fail(kUsage, "edit needs at least one of --url, --user, --comment, --password");
    if (c.p.isSet(url)) e.entry.website = typed(c.p.value(url), "address");
    if (c.p.isSet(userOpt)) e.entry.userId = typed(c.p.value(userOpt), "user ID");
    if (c.p.isSet(comment)) e.entry.comments = typed(c.p.value(comment), "comment");
    if (newPassword) e.entry.password = typedPassword(c.input);
    report(changeWords(session.update(e.entry), e.name));
    return kOk;
}

int cmdRm(Context& c) {
    const QString typed = needName(c, "rm");
    vault::Session& session = c.session();
    openSession(c, false);
    session.removeLeftoverTemp();
    NamedEntry e = findEntry(session, typed);
    vault::wipeSecret(e.entry.password);
    if (!c.yes && !Input::confirm("Delete the entry " + shown(e.name) + "?")) fail(kCancelled, "not deleted");
    report(changeWords(session.remove(e.name), e.name));
    return kOk;
}

int cmdGenerate(Context& c, int length, bool symbols) {
    if (!c.args.isEmpty()) fail(kUsage, "generate takes no arguments");
    Generated g = generatePassword(length, symbols);
    out(g.password + "\n");
    std::fprintf(stderr, "Strength: %.0f bits\n", std::floor(g.bits));
    return kOk;
}

}  // namespace cli
