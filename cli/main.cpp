// keyfold-cli: the list of logins from a terminal, on the same data file as the window
// program. This file reads the command line, picks the command and turns its failure
// into an exit status; the commands are in commands.cpp, keycommands.cpp and transfer.cpp.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibrary>

#include <fcntl.h>
#include <functional>
#include <unistd.h>

#include "cli/cli.h"
#include "cli/clip.h"
#include "cli/commandtable.h"
#include "cli/keeper.h"
#include "cli/listing.h"
#include "vault/ioerror.h"

using namespace cli;

namespace {

// Where the command word is: the first argument that is neither an option nor an
// option's value; -1 when there is none.
qsizetype commandIndex(const QStringList& arguments) {
    QStringList withValue;
    for (const OptionSpec& o : optionTable())
        if (!o.value.empty()) withValue << QStringLiteral("--") + text(o.name);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--")) return i + 1 < arguments.size() ? i + 1 : -1;
        if (!a.startsWith(QLatin1Char('-'))) return i;
        if (withValue.contains(a)) ++i;
    }
    return -1;
}

// The one application object, of the kind the command needs: `clip` reaches the
// clipboard through QtGui, whose module is loaded for it alone.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const qsizetype at = commandIndex(arguments);
    // clip hands the copy to a keeper (clip-keeper) unless it holds it itself (--wait).
    if (at >= 0 && ((arguments[at] == QLatin1String("clip") && arguments.contains(QLatin1String("--wait"))) ||
                    arguments[at] == QLatin1String("clip-keeper"))) {
        QLibrary module(clipModulePath());
        if (auto make =
                reinterpret_cast<KeyfoldCliClipApplicationFunction>(module.resolve("keyfold_cli_clip_application")))
            if (QCoreApplication* app = make(&argc, argv)) return std::unique_ptr<QCoreApplication>(app);
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

// The secrets' source the command line names; KEYFOLD_PHRASE_COMMAND when it names none.
Input inputFrom(const QCommandLineParser& p) {
    Input input;
    input.fromStdin = p.isSet(QStringLiteral("phrase-stdin"));
    const bool fromFd = p.isSet(QStringLiteral("phrase-fd"));
    const bool fromCommand = p.isSet(QStringLiteral("phrase-command"));
    if (int(input.fromStdin) + int(fromFd) + int(fromCommand) > 1)
        fail(kUsage, "--phrase-stdin, --phrase-fd and --phrase-command do not go together");
    if (fromFd) {
        bool ok = false;
        const int fd = p.value(QStringLiteral("phrase-fd")).toInt(&ok);
        if (!ok || fd < 0) fail(kUsage, "--phrase-fd takes the number of an open file descriptor");
        if (::fcntl(fd, F_GETFD) < 0)
            fail(kUsage, "--phrase-fd " + std::to_string(fd) + ": no file descriptor of that number is open");
        // Standard input is one source, also for a shell reading its lines from it.
        if (fd == STDIN_FILENO)
            input.fromStdin = true;
        else
            input.fromFd = fd;
    }
    if (fromCommand) {
        input.phraseCommand = p.value(QStringLiteral("phrase-command"));
        if (input.phraseCommand.trimmed().isEmpty()) fail(kUsage, "--phrase-command needs a command");
    } else if (!input.readsLines()) {
        input.phraseCommand = qEnvironmentVariable("KEYFOLD_PHRASE_COMMAND");
    }
    return input;
}

int reportFailure(const std::function<int()>& run) {
    try {
        return run();
    } catch (const Failure& f) {
        std::fprintf(stderr, "keyfold-cli: %s\n", f.text.c_str());
        return f.status;
    } catch (const vault::DataFileProblem& e) {
        // A file that cannot be read by any retry is left as it is, and said so.
        if (e.kind() == vault::DataFileProblem::Kind::Damaged) {
            std::fprintf(stderr,
                         "keyfold-cli: the sealed data file %s has been damaged or altered, so it was not read and "
                         "nothing was written. Keep the file as it is and use a backup copy.\n",
                         e.path().c_str());
            return kFileError;
        }
        if (e.kind() == vault::DataFileProblem::Kind::NewerVersion) {
            std::fprintf(stderr,
                         "keyfold-cli: the sealed data file %s was made by a newer version of Keyfold, so this "
                         "version does not read it and nothing was written. The file was left as it is: open it "
                         "with the newer version.\n",
                         e.path().c_str());
            return kFileError;
        }
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

void print(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

}  // namespace

int cli::runCommandLine(const QStringList& arguments, const Context* shell) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Keyfold's list of logins from a terminal.\n\n") + overviewHelp());
    p.addHelpOption();
    p.addVersionOption();
    p.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    QStringList names;
    for (const OptionSpec& o : optionTable()) p.addOption(parserOption(o.name));
    for (const CommandSpec& c : commandTable())
        if (!c.hidden) names << text(c.name);
    p.addPositionalArgument(QStringLiteral("command"), names.join(QStringLiteral(", ")));

    QStringList line = QStringList{QStringLiteral("keyfold-cli")} + arguments;
    // `clip NAME --user` takes no value, where add's and edit's --user does.
    if (const qsizetype at = commandIndex(line); at >= 0 && line[at] == QLatin1String("clip"))
        for (QString& b : line)
            if (b == QLatin1String("--user")) b = QStringLiteral("--clip-user");
    if (!p.parse(line)) {
        std::fprintf(stderr, "keyfold-cli: %s\n", p.errorText().toLocal8Bit().constData());
        return kUsage;
    }
    QStringList args = p.positionalArguments();
    const CommandSpec* command = args.isEmpty() ? nullptr : findCommand(args.first());
    if (command && (command->hidden || (shell && command->name == "shell"))) command = nullptr;
    if (p.isSet(QStringLiteral("help"))) {
        print(command ? commandHelp(*command) : p.helpText());
        return kOk;
    }
    if (p.isSet(QStringLiteral("version"))) {
        print(QStringLiteral("keyfold-cli %1\n").arg(QStringLiteral(KEYFOLD_VERSION)));
        return kOk;
    }
    return reportFailure([&] {
        if (args.isEmpty()) fail(kUsage, "no command (see --help)");
        const QString word = args.takeFirst();
        if (word == QLatin1String("clip-keeper") && !shell) command = findCommand(word);
        if (!command)
            fail(kUsage, "unknown command " + word.toStdString() + (shell ? " in a shell" : "") + " (see --help)");
        // Each option goes with the commands the table gives it to; in a shell the file,
        // the phrase and --plain were given to the shell itself.
        std::vector<std::string_view> allowed = command->options;
        if (!shell) allowed.insert(allowed.end(), commonOptions().begin(), commonOptions().end());
        for (const OptionSpec& o : optionTable()) {
            if (!p.isSet(text(o.name)) || std::find(allowed.begin(), allowed.end(), o.name) != allowed.end()) continue;
            const std::string name(o.shownAs.empty() ? o.name : o.shownAs);
            if (shell && (o.name == "plain" ||
                          std::find(commonOptions().begin(), commonOptions().end(), o.name) != commonOptions().end()))
                fail(kUsage, "--" + name + " goes before shell, not on its lines");
            fail(kUsage, "--" + name + " does not go with " + word.toStdString());
        }
        SessionHolder own;
        Context c{p,
                  args,
                  shell ? shell->input : inputFrom(p),
                  shell ? shell->file : p.value(QStringLiteral("file")),
                  p.isSet(QStringLiteral("yes")),
                  shell                                    ? shell->phraseCheck
                  : p.isSet(QStringLiteral("open-anyway")) ? vault::PhraseCheck::Skipped
                                                           : vault::PhraseCheck::Required,
                  p.isSet(QStringLiteral("json")),
                  p.value(QStringLiteral("field")),
                  shell ? shell->plain : p.isSet(QStringLiteral("plain")),
                  shell ? shell->sessions : &own};
        Invocation invocation{*command, p, c, shell != nullptr};
        return command->run(invocation);
    });
}

int main(int argc, char** argv) {
    ownOutputBuffer();
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("keyfold-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KEYFOLD_VERSION));
    const int status = runCommandLine(QCoreApplication::arguments().mid(1));
    wipeOutputBuffer();
    return status;
}
