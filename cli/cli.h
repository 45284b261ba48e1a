// What the files of keyfold-cli share: the exit statuses, the failure that ends a run,
// text at the edge (arguments and output in UTF-8, the data file in Windows-1252), the
// terminal's questions, the session on the data file and the commands.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include "vault/entry.h"
#include "vault/session.h"

namespace cli {

// Exit statuses, one per kind of failure (listed in --help).
enum Exit {
    kOk = 0,
    kNoMatch = 1,       // search, or ls with a filter: nothing matches (as grep)
    kUsage = 2,         // wrong command line
    kNoDataFile = 3,    // no data file there
    kFileError = 4,     // the data file or another file could not be read or written
    kNotFound = 5,      // no entry of that name
    kRefused = 6,       // the entry or the key phrase breaks a rule (space in password, name or address missing,
                        // name taken; a phrase the data file's text cannot hold; seal or unseal with a file
                        // of the other kind beside the data file)
    kFull = 7,          // the data file has no free slot
    kOtherCopy = 8,     // another copy of the program changed or holds the file: nothing written
    kCancelled = 9,     // not confirmed, or the phrases or passwords typed differ
    kBadImport = 10,    // the file to import is no export format known here, or cannot be read as one
    kClipboard = 11,    // the clipboard cannot be reached
    kWrongPhrase = 12,  // the key phrase does not open the data file: nothing shown or written
};

// Failures that end the run with a status.
struct Failure {
    int status;
    std::string text;
};
[[noreturn]] void fail(int status, const std::string& text);

// ---- Text at the edge (terminal.cpp) ----

std::string windows1252(const QString& text);
std::string utf8(const std::string& bytes);
// The same for a secret (a password).
vault::SecretText secretUtf8(std::string_view bytes);
// Typed text (an argument, a password) as the data file holds it, changing nothing: a
// character Windows-1252 lacks fails the run, naming it and what held it.
std::string typed(std::string_view text, const char* what);
std::string typed(const QString& text, const char* what);
// A name as the window's name box takes it: the first line, upper-cased as names are.
std::string nameText(const QString& typed);
// UTF-8 text with its control characters (below 32, DEL, U+0080 to U+009F) other than
// those in keep written as \xHH, so that nothing read from a file steers a terminal.
std::string escapeControls(std::string_view text, std::string_view keep);
// An entry's text (Windows-1252) to be shown: UTF-8, control characters escaped.
std::string shown(const std::string& bytes);
vault::SecretText shownSecret(std::string_view bytes);
// To standard output; a terminal gets control characters other than line ends and
// tabs escaped.
void out(std::string_view text);
// Standard output gets a buffer of the program's own, before anything is written to it,
// so that what a command printed (a password shown or exported) can be wiped once it
// has gone out: wipeOutputBuffer flushes the output and wipes the buffer.
void ownOutputBuffer();
void wipeOutputBuffer();

// ---- Secrets and questions (terminal.cpp) ----

struct Input {
    bool fromStdin = false;  // --phrase-stdin
    int fromFd = -1;         // --phrase-fd: the secrets' lines come from this descriptor
    // --phrase-command or KEYFOLD_PHRASE_COMMAND: run with sh, its first line of output is
    // the data file's key phrase (the phrase in force, also as the old phrase of rekey).
    QString phraseCommand;
    // The phrase a shell took once, given to every opening of the file in it.
    const vault::SecretText* givenPhrase = nullptr;

    // One line of standard input, without its line end; nothing at end of input. Read a
    // byte at a time past the C library's buffer, which would keep a typed secret.
    static std::optional<vault::SecretText> stdinLine();
    // A key phrase, taken as the window takes it (vault/keyphrase.h): trimmed, and
    // refused (kRefused) when the data file's text cannot hold it as typed. The phrase
    // command gives the phrase in force; a new phrase is always asked.
    enum class Phrase {
        InForce,
        New
    };
    vault::SecretText keyPhrase(const char* prompt, Phrase which = Phrase::InForce) const;
    // The key phrase that opens the data file: the shell's, the phrase command's, or asked.
    vault::SecretText dataFilePhrase() const;
    // A secret typed on the terminal without echo, or the next line of the secrets'
    // source, as typed (UTF-8).
    vault::SecretText secretText(const char* prompt) const;
    // Whether the secrets' lines are read (standard input or --phrase-fd), not typed.
    bool readsLines() const { return fromStdin || fromFd >= 0; }
    // Yes or no on the terminal.
    static bool confirm(const std::string& question);
};

// A password typed twice (once from standard input), taken as typed (typed()).
vault::SecretText typedPassword(const Input& input);

// ---- The data file (commands.cpp) ----

vault::Locations locations(const QString& file);
// The session on the data file with the key phrase in force, once the phrase has been
// found to open the file (kWrongPhrase otherwise; check Skipped at the user's word).
// create: a missing data file is made (for the commands that add), and a temporary file
// left by a stopped re-key is removed, as every writing command does. beforeCreating
// runs, after the phrase is typed, before a missing file is made: what it refuses leaves
// no new file behind. The file made is sealed under the phrase unless plain (--plain) or
// the settings file asks for a plain one.
void openSession(vault::Session& session, const Input& input, bool create,
                 vault::PhraseCheck check = vault::PhraseCheck::Required,
                 const std::function<void()>& beforeCreating = {}, bool plain = false);
// The names in the order of the main window's list (sorted by their characters).
std::vector<std::string> sortedNames(vault::Session& session);
int lengthOption(const QCommandLineParser& p, const QCommandLineOption& o);

// An outcome in words with its exit status: kOk (and what was done) only for success.
struct Words {
    int status;
    std::string text;
};
// name: the name as given to the session.
Words addWords(const vault::AddResult& r, const std::string& name);

// ---- Commands ----

// The session a run works on: made for the one command of a run, or the shell's, kept
// open over its lines so that the key phrase is asked and its key derived once.
struct SessionHolder {
    std::unique_ptr<vault::Session> session;
    bool opened = false;
};

struct Context {
    QCommandLineParser& p;
    QStringList args;  // after the command
    Input input;
    QString file;
    bool yes;
    vault::PhraseCheck phraseCheck = vault::PhraseCheck::Required;  // --open-anyway: Skipped
    bool json = false;                                              // --json: output for scripts (cli/json.h)
    QString field;                                                  // show --field: the one field printed
    bool plain = false;  // --plain: a data file made by this run is the plain file, not the sealed one
    SessionHolder* sessions = nullptr;

    // The session on the data file (not yet opened unless a shell opened it).
    vault::Session& session();
};
// Opens c.session() under the key phrase (openSession above), unless it is open already.
void openSession(Context& c, bool create, const std::function<void()>& beforeCreating = {});

// commands.cpp
int cmdLs(Context& c);
int cmdShow(Context& c, bool showPassword);
// seconds: --timeout (-1: the settings' delay); wait: hold the copy here until it is cleared.
int cmdClip(Context& c, bool user, int seconds, bool wait);
// The clipboard module (cli/clip.h), beside the program.
QString clipModulePath();
int cmdAdd(Context& c, const QCommandLineOption& url, const QCommandLineOption& userOpt,
           const QCommandLineOption& comment, bool generate, int length, bool symbols);
int cmdEdit(Context& c, const QCommandLineOption& url, const QCommandLineOption& userOpt,
            const QCommandLineOption& comment, bool newPassword);
int cmdRm(Context& c);
int cmdGenerate(Context& c, int length, bool symbols);
// keycommands.cpp
int cmdRekey(Context& c);
int cmdSeal(Context& c, bool sealing);
// shell.cpp
struct Invocation;
int runShell(Invocation& invocation);
// A line split into words as sh splits it: blanks between words, '...' taken as it is,
// "..." with \\ \" \$ \` escaped, \ before any other character outside quotes; a
// word starting with # ends the line. Nothing when a quote is left open.
std::optional<QStringList> splitWords(const QString& line);
// One command line (without the program's name), parsed and run: its exit status. In a
// shell, shell gives the file, the phrase's source and the session its lines share.
struct Context;
int runCommandLine(const QStringList& arguments, const Context* shell = nullptr);
// transfer.cpp
int cmdExport(Context& c, const QCommandLineOption& csv);
int cmdImport(Context& c, bool dryRun);

}  // namespace cli
