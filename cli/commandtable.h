// keyfold-cli's commands as one table: each command with its arguments, its summary,
// the options it takes, the exit statuses it can end with and the function that runs
// it. The parser, --help (overall and per command) and the hidden check of the
// completion files and the manual page all read this table.
#pragma once
#include <string_view>
#include <vector>

#include <QCommandLineParser>
#include <QString>

#include "cli/cli.h"

namespace cli {

struct OptionSpec {
    std::string_view name;       // without the dashes
    std::string_view value;      // the value's name in the help; empty: a switch
    std::string_view help;       // one line
    std::string_view shownAs{};  // the name the user types, when it differs (clip's --user)
};

// What the first argument after the command word is, for completion.
enum class FirstArgument {
    None,
    Name,  // an entry's name
    File,  // a file to read
};

struct Invocation;

struct CommandSpec {
    std::string_view name;
    std::string_view arguments;             // after the command word, as in the synopsis
    std::string_view summary;               // one line, also zsh's description of the command
    std::vector<std::string_view> options;  // its own options (names in optionTable)
    std::vector<int> exits;                 // every status it can end with
    FirstArgument first = FirstArgument::None;
    int (*run)(Invocation&) = nullptr;
    bool hidden = false;  // started by keyfold-cli itself, not by a person
};

// What a command's function is given.
struct Invocation {
    const CommandSpec& command;
    QCommandLineParser& parser;
    Context& context;
    bool inShell;  // a line of `shell`
};

// Every option: those that every command takes first.
const std::vector<OptionSpec>& optionTable();
// The options every command takes (also `shell`, which passes them on to its lines).
const std::vector<std::string_view>& commonOptions();
const std::vector<CommandSpec>& commandTable();
const CommandSpec* findCommand(const QString& name);
const OptionSpec& option(std::string_view name);
// The option as the parser knows it.
QCommandLineOption parserOption(std::string_view name);

// A name or text of the tables as a QString.
QString text(std::string_view s);

// --help: the overview of every command and the exit statuses.
QString overviewHelp();
// `keyfold-cli COMMAND --help`: the command's synopsis, summary, options and statuses.
QString commandHelp(const CommandSpec& command);

}  // namespace cli
