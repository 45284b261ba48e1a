// keyfold-cli's commands on the entries: ls, show, clip, add, edit, rm, rekey and
// generate. Every rule about entries is the vault session's; these word its outcomes.
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
#include "vault/ansi.h"
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
    vault::Locations paths = vault::LocateFiles(appDataBase());
    if (!file.isEmpty()) {
        QString named = file;
        // The sealed file may be named: the session works from the plain file's path.
        if (named.endsWith(QLatin1String(vault::kSealedFileEnding)) && named.size() > 7)
            named.chop(static_cast<qsizetype>(std::strlen(vault::kSealedFileEnding)));
        const QFileInfo info(named);
        paths.storageFolder = vault::WithTrailingSeparator(QFile::encodeName(info.absolutePath()).toStdString());
        paths.dataFile = QFile::encodeName(info.absoluteFilePath()).toStdString();
        paths.legacyFile = paths.storageFolder + vault::kLegacyFileName;
    }
    return paths;
}

void openSession(vault::Session& session, const Input& input, bool create, vault::PhraseCheck check) {
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
    if (create) session.removeLeftoverTemp();
    std::string phrase = input.keyPhrase("key phrase");
    vault::WipeAtScopeEnd wipe(phrase);
    switch (session.openWithPhrase(phrase, {}, check)) {
    case vault::PhraseOutcome::Opened: break;
    case vault::PhraseOutcome::SealedFileRefuses:
        fail(kWrongPhrase, "the key phrase does not open the sealed data file " + session.sealedFile() +
                               "; nothing was shown or written");
    case vault::PhraseOutcome::NoAddressReads:
        fail(kWrongPhrase, "the key phrase does not open the data file " + session.paths().dataFile +
                               ": no website address reads as one under it. Nothing was shown or written. If every "
                               "entry was stored without http:// or https:// (a file converted from an old version), "
                               "--open-anyway opens it under this phrase");
    }
    if (session.isSealed() && session.plainFileExists())
        std::fprintf(stderr,
                     "Note: the sealed data file %s is used; the plain data file %s lies beside it and is left as "
                     "it is.\n",
                     session.sealedFile().c_str(), session.paths().dataFile.c_str());
}

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

int lengthOption(const QCommandLineParser& p, const QCommandLineOption& o) {
    if (!p.isSet(o)) return 20;
    bool ok = false;
    const int n = p.value(o).toInt(&ok);
    if (!ok || n < 1 || n > kPasswordWidth)
        fail(kUsage, "--length takes 1 to " + std::to_string(kPasswordWidth) + " (the password field's width)");
    return n;
}

// ---- Outcomes in words ----

namespace {

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

QString needName(const Context& c, const char* command) {
    if (c.args.isEmpty()) fail(kUsage, std::string(command) + " needs a NAME");
    if (c.args.size() > 1) fail(kUsage, std::string(command) + " takes one NAME (quote a name with blanks)");
    return c.args.first();
}

}  // namespace

int cmdLs(Context& c) {
    if (c.args.size() > 1) fail(kUsage, "ls takes at most one FILTER");
    vault::Session session(locations(c.file));
    openSession(session, c.input, false, c.phraseCheck);
    std::vector<std::string> names = sortedNames(session);
    // The filter as the main window applies it: untrimmed, a to z in upper case; one of
    // blanks only filters nothing.
    std::string filter = c.args.isEmpty() ? std::string() : vault::UpperAscii(ansi(c.args.first()));
    if (vault::Trim(filter).empty()) filter.clear();
    if (c.json) return listJson(session, filter);
    std::string text;
    text.reserve(names.size() * 16);
    for (const std::string& name : names)
        if (filter.empty() || name.find(filter) != std::string::npos) (text += utf8(name)) += '\n';
    out(text);
    return filter.empty() || !text.empty() ? kOk : kNoMatch;
}

int cmdShow(Context& c, bool showPassword) {
    const QString typed = needName(c, "show");
    vault::Session session(locations(c.file));
    openSession(session, c.input, false, c.phraseCheck);
    NamedEntry e = findEntry(session, typed);
    vault::WipeAtScopeEnd wipe(e.entry.password);
    if (c.json || !c.field.isEmpty()) return showSelected(c, e.entry, showPassword);
    std::string text = "Name:     " + utf8(e.entry.name) + "\nWebsite:  " + utf8(e.entry.website) +
                       "\nUser ID:  " + utf8(e.entry.userId) + "\nPassword: " +
                       (showPassword ? utf8(e.entry.password) : std::string(e.entry.password.empty() ? "" : "********")) +
                       "\nComments: " + utf8(e.entry.comments) + "\n";
    out(text);
    vault::Wipe(text);
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
    std::string secret, settings;
    {
        vault::Session session(locations(c.file));
        openSession(session, c.input, false, c.phraseCheck);
        NamedEntry e = findEntry(session, typed);
        secret = utf8(user ? e.entry.userId : e.entry.password);
        vault::Wipe(e.entry.password);
        settings = session.paths().settingsFile;
    }
    vault::WipeAtScopeEnd wipe(secret);
    if (seconds < 0) seconds = vault::ClipboardClearSeconds(settings);
    return offerOnClipboard(secret, seconds, user ? "User ID" : "Password", wait);
}

int cmdAdd(Context& c, const QCommandLineOption& url, const QCommandLineOption& userOpt,
           const QCommandLineOption& comment, bool generate, int length, bool symbols) {
    const QString typed = needName(c, "add");
    if (!c.p.isSet(url)) fail(kUsage, "add needs --url URL");
    vault::Session session(locations(c.file));
    openSession(session, c.input, true, c.phraseCheck);
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
    openSession(session, c.input, false, c.phraseCheck);
    session.removeLeftoverTemp();
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
    openSession(session, c.input, false, c.phraseCheck);
    session.removeLeftoverTemp();
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
    session.removeLeftoverTemp();
    std::string oldPhrase = c.input.keyPhrase("old key phrase");
    std::string newPhrase = c.input.keyPhrase("new key phrase");
    std::string again = c.input.keyPhrase("new key phrase again");
    vault::WipeAtScopeEnd wipe(oldPhrase, newPhrase, again);
    if (again != newPhrase) fail(kCancelled, "the two new key phrases differ; nothing was changed");
    const vault::RekeyOutcome r = session.rekey(oldPhrase, newPhrase, [&](const std::string& verifyLine) {
        // A wrong old phrase shows as an unreadable first name.
        std::fprintf(stderr, "The first entry under the old key phrase reads: %s\n", utf8(verifyLine).c_str());
        return c.yes || Input::confirm("Is that the name as you know it? Change the key phrase?");
    }, c.phraseCheck);
    switch (r) {
    case vault::RekeyOutcome::Completed: std::fprintf(stderr, "The key phrase has been changed.\n"); return kOk;
    case vault::RekeyOutcome::Cancelled: fail(kCancelled, "the key phrase was not changed");
    case vault::RekeyOutcome::NewPhraseMissing: fail(kRefused, "the new key phrase is empty");
    case vault::RekeyOutcome::NoDataFile: fail(kNoDataFile, "no data file at " + session.paths().dataFile);
    case vault::RekeyOutcome::OldPhraseWrong:
        fail(kWrongPhrase, "the old key phrase does not open the data file; nothing was changed");
    }
    return kOk;
}

int cmdSeal(Context& c, bool sealing) {
    if (!c.args.isEmpty()) fail(kUsage, std::string(sealing ? "seal" : "unseal") + " takes no arguments");
    vault::Session session(locations(c.file));
    openSession(session, c.input, false, c.phraseCheck);
    if (sealing && !session.isSealed() && !c.yes &&
        !Input::confirm("Seal the data file? Older versions of Keyfold cannot open a sealed file."))
        fail(kCancelled, "not sealed");
    if (!sealing && session.isSealed() && !c.yes &&
        !Input::confirm("Unseal the data file? Anyone who has the file can then read it with enough effort."))
        fail(kCancelled, "not unsealed");
    switch (sealing ? session.seal() : session.unseal()) {
    case vault::SealOutcome::Sealed:
        std::fprintf(stderr, "The data file is sealed: %s\n", session.sealedFile().c_str());
        return kOk;
    case vault::SealOutcome::Unsealed:
        std::fprintf(stderr, "The data file is plain again: %s\n", session.paths().dataFile.c_str());
        return kOk;
    case vault::SealOutcome::AlreadySealed:
        std::fprintf(stderr, "The data file is sealed already: %s\n", session.sealedFile().c_str());
        return kOk;
    case vault::SealOutcome::NotSealed:
        std::fprintf(stderr, "The data file is not sealed: %s\n", session.paths().dataFile.c_str());
        return kOk;
    case vault::SealOutcome::NoDataFile: fail(kNoDataFile, "no data file at " + session.paths().dataFile);
    case vault::SealOutcome::PhraseEmpty:
        fail(kRefused, "a sealed file needs a key phrase: the empty phrase would protect nothing (change it with rekey)");
    case vault::SealOutcome::NotAvailable: fail(kFileError, "this build of keyfold-cli cannot seal data files");
    }
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

}  // namespace cli
