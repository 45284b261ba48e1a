// The table of keyfold-cli's commands and options, and the help made from it.
#include "cli/commandtable.h"

#include <algorithm>

#include "cli/keeper.h"
#include "cli/listing.h"

namespace cli {

QString text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

namespace {

// Statuses of a command that opens an existing data file under the key phrase.
#define OPENS kUsage, kNoDataFile, kFileError, kRefused, kCancelled, kWrongPhrase

const char* const kPhraseHelp =
    "The key phrase is asked on the terminal without echo. With --phrase-stdin it is the\n"
    "first line of standard input, and what is asked after it the following lines, in order\n"
    "(seal: the phrase again; rekey: the old phrase again for a plain file, the new one twice);\n"
    "--phrase-fd N reads those lines from file descriptor N instead. --phrase-command CMD\n"
    "(or the environment variable KEYFOLD_PHRASE_COMMAND) runs CMD with sh and takes the\n"
    "first line it prints as the data file's key phrase; a new phrase and passwords are\n"
    "still asked. The phrase is never passed to another program or put in the environment.\n"
    "A phrase holding a tab or another control character is refused.\n"
    "A phrase that does not open the data file is refused before anything is shown or written.\n"
    "shell asks the phrase once and then runs the commands it reads, one a line.\n"
    "A data file a command makes (add, import on a new path) is sealed under the key phrase\n"
    "unless --plain is given or SG_2.ini says [DataFile] SealNewFile=0; an existing file stays\n"
    "as it is.\n"
    "--open-anyway opens a plain data file whose entries all lack http:// or https:// (one\n"
    "converted from an old version), or that reads as if the phrase were mistyped, under the\n"
    "phrase given; it never opens a sealed file.\n"
    "--json prints JSON on standard output: entries as objects with the keys name, url,\n"
    "user, comment (and password when asked for); see keyfold-cli(1).\n";

struct ExitText {
    int status;
    const char* text;
};
const ExitText kExitTexts[] = {
    {kOk, "success"},
    {kNoMatch, "nothing matches (search, or ls with a filter)"},
    {kUsage, "wrong command line"},
    {kNoDataFile, "no data file at the path used"},
    {kFileError,
     "a file could not be read or written (also a sealed data file that was damaged or\n"
     "altered, or made by a newer version of Keyfold)"},
    {kNotFound, "no entry of that name"},
    {kRefused,
     "the entry or the key phrase breaks a rule (space in the password, name or\n"
     "address missing, name already in the list, a character the file cannot hold,\n"
     "a control character, a text too long; a phrase the data file cannot hold;\n"
     "seal or unseal with both the plain and the sealed file there)"},
    {kFull, "the data file is full"},
    {kOtherCopy, "another copy of Keyfold changed or holds the data file; nothing was written"},
    {kCancelled,
     "cancelled: not confirmed, no terminal to ask on, the two typings differ, or the\n"
     "phrase command failed"},
    {kBadImport, "the file to import is in no known export format, or cannot be read as one"},
    {kClipboard, "the clipboard cannot be reached"},
    {kWrongPhrase,
     "the key phrase does not open the data file; nothing was shown or written (a file\n"
     "sealed by an earlier version cannot tell a wrong phrase from damage)"},
};

QString exitLine(const ExitText& e) {
    QString t = text(e.text);
    t.replace(QLatin1Char('\n'), QStringLiteral("\n      "));
    return QStringLiteral("  %1  %2\n").arg(e.status, -2).arg(t);
}

// "--json", or a value-taking option with its value: "--field F".
QString optionWords(const OptionSpec& o) {
    QString words = QStringLiteral("--") + text(o.shownAs.empty() ? o.name : o.shownAs);
    if (!o.value.empty()) words += QLatin1Char(' ') + text(o.value).toUpper();
    return words;
}

// Lines of the form "  WORDS   explanation", the explanation from column 32 (or on
// the next line when the words are longer).
QString column(const QString& words, std::string_view explanation) {
    QString line = QStringLiteral("  ") + words;
    if (line.size() >= 32)
        line += QStringLiteral("\n") + QString(32, QLatin1Char(' '));
    else
        line = line.leftJustified(32);
    return line + text(explanation) + QLatin1Char('\n');
}

Context& ctx(Invocation& i) { return i.context; }
bool isSet(const Invocation& i, std::string_view name) { return i.parser.isSet(text(name)); }

}  // namespace

const std::vector<OptionSpec>& optionTable() {
    static const std::vector<OptionSpec> table = {
        {"file", "path", "Work on the data file at <path>."},
        {"phrase-stdin", {}, "Read the key phrase (and passwords) from standard input."},
        {"phrase-fd", "n", "Read the key phrase (and passwords) from file descriptor <n>."},
        {"phrase-command", "command", "Take the key phrase from what <command> prints (run with sh)."},
        {"open-anyway", {}, "Open a plain data file whose addresses do not show the phrase is right."},
        {"plain", {}, "Make a new data file plain, not sealed (add, import)."},
        {"show-password", {}, "show: print the password."},
        {"url", "url", "add, edit: the website address."},
        {"user", "id", "add, edit: the user ID."},
        {"clip-user", {}, "clip: the user ID instead of the password.", "user"},
        {"comment", "text", "add, edit: the comment."},
        {"generate", {}, "add: make a random password."},
        {"password", {}, "edit: type a new password."},
        {"yes", {}, "rm, rekey, seal, unseal: do not ask yes or no (a phrase is still typed again)."},
        {"csv", "file", "export: the CSV file, or - for standard output."},
        {"dry-run", {}, "import: show what would happen."},
        {"length", "n", "generate, add: password length (default 20)."},
        {"no-symbols", {}, "generate, add: letters and digits only."},
        {"json", {}, "ls, show, search, import: JSON on standard output."},
        {"field", "field", "show: print this field's value alone (name, url, user, password, comment)."},
        {"in-password", {}, "search: look in the passwords too."},
        {"timeout", "n", "clip: clear after <n> seconds (0: when something else is copied)."},
        {"wait", {}, "clip: stay until the clipboard is cleared."},
    };
    return table;
}

const std::vector<std::string_view>& commonOptions() {
    static const std::vector<std::string_view> common = {"file", "phrase-stdin", "phrase-fd", "phrase-command",
                                                         "open-anyway"};
    return common;
}

const OptionSpec& option(std::string_view name) {
    for (const OptionSpec& o : optionTable())
        if (o.name == name) return o;
    fail(kUsage, "unknown option " + std::string(name));
}

QCommandLineOption parserOption(std::string_view name) {
    const OptionSpec& o = option(name);
    QCommandLineOption parsed(text(o.name), text(o.help), text(o.value));
    if (!o.shownAs.empty()) parsed.setFlags(QCommandLineOption::HiddenFromHelp);
    return parsed;
}

const std::vector<CommandSpec>& commandTable() {
    static const std::vector<CommandSpec> table = {
        {"ls",
         "[FILTER] [--json]",
         "the names, in the order of the main window's list",
         {"json"},
         {kOk, kNoMatch, OPENS},
         FirstArgument::None,
         [](Invocation& i) { return cmdLs(ctx(i)); }},
        {"show",
         "NAME [--show-password] [--field FIELD | --json]",
         "an entry's fields, or one field",
         {"show-password", "field", "json"},
         {kOk, kNotFound, OPENS},
         FirstArgument::Name,
         [](Invocation& i) {
             if (isSet(i, "field") && isSet(i, "json")) fail(kUsage, "--field and --json do not go together");
             if (i.parser.values(QStringLiteral("field")).size() > 1) fail(kUsage, "show takes one --field");
             if (isSet(i, "field")) checkFieldName(i.parser.value(QStringLiteral("field")));
             return cmdShow(ctx(i), isSet(i, "show-password"));
         }},
        {"search",
         "TEXT [--in-password] [--json]",
         "the entries whose name, address, user ID or comment hold TEXT",
         {"in-password", "json"},
         {kOk, kNoMatch, OPENS},
         FirstArgument::None,
         [](Invocation& i) { return cmdSearch(ctx(i), isSet(i, "in-password")); }},
        {"clip",
         "NAME [--user] [--timeout N] [--wait]",
         "the password (or user ID) to the clipboard, cleared later",
         {"clip-user", "timeout", "wait"},
         {kOk, kNotFound, kClipboard, OPENS},
         FirstArgument::Name,
         [](Invocation& i) {
             if (i.inShell && isSet(i, "wait"))
                 fail(kUsage, "clip --wait would hold the shell until the copy is cleared; use clip without it");
             return cmdClip(ctx(i), isSet(i, "clip-user"), timeoutOption(i.parser, parserOption("timeout")),
                            isSet(i, "wait"));
         }},
        {"add",
         "NAME --url URL [--user ID] [--comment TEXT] [--generate [--length N] [--no-symbols]]",
         "add an entry",
         {"plain", "url", "user", "comment", "generate", "length", "no-symbols"},
         {kOk, kFull, kOtherCopy, OPENS},
         FirstArgument::None,
         [](Invocation& i) {
             if ((isSet(i, "length") || isSet(i, "no-symbols")) && !isSet(i, "generate"))
                 fail(kUsage, "--length and --no-symbols go with --generate");
             return cmdAdd(ctx(i), parserOption("url"), parserOption("user"), parserOption("comment"),
                           isSet(i, "generate"), lengthOption(i.parser, parserOption("length")),
                           !isSet(i, "no-symbols"));
         }},
        {"edit",
         "NAME [--url URL] [--user ID] [--comment TEXT] [--password]",
         "change an entry",
         {"url", "user", "comment", "password"},
         {kOk, kNotFound, kOtherCopy, OPENS},
         FirstArgument::Name,
         [](Invocation& i) {
             return cmdEdit(ctx(i), parserOption("url"), parserOption("user"), parserOption("comment"),
                            isSet(i, "password"));
         }},
        {"rm",
         "NAME [--yes]",
         "delete an entry",
         {"yes"},
         {kOk, kNotFound, kOtherCopy, OPENS},
         FirstArgument::Name,
         [](Invocation& i) { return cmdRm(ctx(i)); }},
        {"rekey",
         "[--yes]",
         "change the key phrase",
         {"yes"},
         {kOk, kOtherCopy, OPENS},
         FirstArgument::None,
         [](Invocation& i) { return cmdRekey(ctx(i)); }},
        {"seal",
         "[--yes]",
         "protect the data file with a sealed file (older versions cannot open it)",
         {"yes"},
         {kOk, kOtherCopy, OPENS},
         FirstArgument::None,
         [](Invocation& i) { return cmdSeal(ctx(i), true); }},
        {"unseal",
         "[--yes]",
         "turn the sealed file back into the plain data file",
         {"yes"},
         {kOk, kOtherCopy, OPENS},
         FirstArgument::None,
         [](Invocation& i) { return cmdSeal(ctx(i), false); }},
        {"export",
         "--csv FILE|-",
         "every entry as CSV: name,url,username,password,note",
         {"csv"},
         {kOk, OPENS},
         FirstArgument::None,
         [](Invocation& i) { return cmdExport(ctx(i), parserOption("csv")); }},
        {"import",
         "FILE [--dry-run] [--json]",
         "a browser's or password manager's CSV export",
         {"plain", "dry-run", "json"},
         {kOk, kFull, kOtherCopy, kBadImport, OPENS},
         FirstArgument::File,
         [](Invocation& i) { return cmdImport(ctx(i), isSet(i, "dry-run")); }},
        {"generate",
         "[--length N] [--no-symbols]",
         "a random password",
         {"length", "no-symbols"},
         {kOk, kUsage, kFileError},
         FirstArgument::None,
         [](Invocation& i) {
             return cmdGenerate(ctx(i), lengthOption(i.parser, parserOption("length")), !isSet(i, "no-symbols"));
         }},
        {"shell",
         "",
         "ask the key phrase once, then run the commands read one a line",
         {"plain"},
         {OPENS},
         FirstArgument::None,
         [](Invocation& i) { return runShell(i); }},
        {"clip-keeper",
         "SECONDS",
         "holds a copy for clip",
         {},
         {kOk, kUsage, kClipboard},
         FirstArgument::None,
         [](Invocation& i) { return cmdClipKeeper(ctx(i)); },
         true},
    };
    return table;
}

const CommandSpec* findCommand(const QString& name) {
    for (const CommandSpec& c : commandTable())
        if (text(c.name) == name) return &c;
    return nullptr;
}

QString overviewHelp() {
    QString help = QStringLiteral("Commands:\n");
    for (const CommandSpec& c : commandTable())
        if (!c.hidden) help += column(text(c.name) + QLatin1Char(' ') + text(c.arguments), c.summary);
    help += QStringLiteral("\n") + text(kPhraseHelp) + QStringLiteral("\nExit status:\n");
    for (const ExitText& e : kExitTexts) help += exitLine(e);
    return help + QStringLiteral("\nkeyfold-cli COMMAND --help tells one command's options and exit statuses.\n");
}

QString commandHelp(const CommandSpec& command) {
    QString help = QStringLiteral("Usage: keyfold-cli [options] %1 %2\n\n")
                       .arg(text(command.name), text(command.arguments))
                       .replace(QStringLiteral(" \n"), QStringLiteral("\n"));
    QString summary = text(command.summary);
    summary[0] = summary[0].toUpper();
    help += summary + QStringLiteral(".\n");
    if (command.first == FirstArgument::Name)
        help += QStringLiteral("NAME is the name of an entry in the list, in any letter case.\n");
    help += QStringLiteral("\nOptions:\n");
    std::vector<std::string_view> names = commonOptions();
    names.insert(names.end(), command.options.begin(), command.options.end());
    for (std::string_view name : names) help += column(optionWords(option(name)), option(name).help);
    help += column(QStringLiteral("--help"), "Displays help on commandline options.");
    help += QStringLiteral("\nExit status:\n");
    std::vector<int> exits = command.exits;
    std::sort(exits.begin(), exits.end());
    exits.erase(std::unique(exits.begin(), exits.end()), exits.end());
    for (int status : exits)
        for (const ExitText& e : kExitTexts)
            if (e.status == status) help += exitLine(e);
    if (command.name == "shell") help += QStringLiteral("  and then the status of the last command line run\n");
    return help;
}

}  // namespace cli
