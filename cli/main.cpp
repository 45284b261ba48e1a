// keyfold-cli: the list of logins from a terminal, on the same data file as the window
// program. This file reads the command line, picks the command and turns its failure
// into an exit status; the commands are in commands.cpp and transfer.cpp.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibrary>

#include "cli/cli.h"
#include "cli/clip.h"
#include "cli/keeper.h"
#include "cli/listing.h"
#include "vault/ioerror.h"

using namespace cli;

namespace {

const char* const kExitHelp =
    "Exit status:\n"
    "  0   success\n"
    "  1   nothing matches (search, or ls with a filter)\n"
    "  2   wrong command line\n"
    "  3   no data file at the path used\n"
    "  4   a file could not be read or written (also a sealed data file that was damaged or\n"
    "      altered, or made by a newer version of Keyfold)\n"
    "  5   no entry of that name\n"
    "  6   the entry or the key phrase breaks a rule (space in the password, name or\n"
    "      address missing, name already in the list, a character the file cannot hold,\n"
    "      a control character, a text too long; a phrase the data file cannot hold;\n"
    "      seal or unseal with both the plain and the sealed file there)\n"
    "  7   the data file is full\n"
    "  8   another copy of Keyfold changed or holds the data file; nothing was written\n"
    "  9   cancelled: not confirmed, no terminal to ask on, or the two typings differ\n"
    "  10  the file to import is in no known export format, or cannot be read as one\n"
    "  11  the clipboard cannot be reached\n"
    "  12  the key phrase does not open the data file; nothing was shown or written (a file\n"
    "      sealed by an earlier version cannot tell a wrong phrase from damage)\n";

const char* const kCommandHelp =
    "Commands:\n"
    "  ls [FILTER] [--json]          the names, in the order of the main window's list\n"
    "  show NAME [--show-password] [--field F | --json]\n"
    "                                the entry's fields; F one of name, url, user, password, comment\n"
    "  search TEXT [--in-password] [--json]\n"
    "                                the entries whose name, address, user ID or comment hold TEXT\n"
    "  clip NAME [--user] [--timeout N] [--wait]\n"
    "                                the password (or user ID) to the clipboard, cleared after a delay\n"
    "  add NAME --url URL [--user U] [--comment C] [--generate [--length N] [--no-symbols]]\n"
    "  edit NAME [--url URL] [--user U] [--comment C] [--password]\n"
    "  rm NAME [--yes]\n"
    "  rekey                         change the key phrase (the old one, again for a plain file, then the new\n"
    "                                one twice)\n"
    "  seal [--yes]                  protect the data file with a sealed file (older versions cannot open it);\n"
    "                                the key phrase is typed once more, --yes or not\n"
    "  unseal [--yes]                turn the sealed file back into the plain data file\n"
    "  export --csv FILE|-           every entry as CSV: name,url,username,password,note\n"
    "  import FILE [--dry-run] [--json]  a browser's or password manager's CSV export\n"
    "  generate [--length N] [--no-symbols]\n"
    "\n"
    "The key phrase is asked on the terminal without echo; with --phrase-stdin it is the\n"
    "first line of standard input, and what is asked after it the following lines, in order\n"
    "(seal: the phrase again; rekey: the old phrase again for a plain file, the new one twice).\n"
    "A phrase holding a tab or another control character is refused.\n"
    "A phrase that does not open the data file is refused before anything is shown or written.\n"
    "A data file a command makes (add, import on a new path) is sealed under the key phrase\n"
    "unless --plain is given or SG_2.ini says [DataFile] SealNewFile=0; an existing file stays\n"
    "as it is.\n"
    "--open-anyway opens a plain data file whose entries all lack http:// or https:// (one\n"
    "converted from an old version), or that reads as if the phrase were mistyped, under the\n"
    "phrase given; it never opens a sealed file.\n"
    "--json prints JSON on standard output: entries as objects with the keys name, url,\n"
    "user, comment (and password when asked for); see keyfold-cli(1).\n";

// Where the command word is: the first argument that is neither an option nor an
// option's value; -1 when there is none.
qsizetype commandIndex(const QStringList& arguments) {
    static const QStringList withValue = {
        QStringLiteral("--file"), QStringLiteral("--url"),    QStringLiteral("--user"),  QStringLiteral("--comment"),
        QStringLiteral("--csv"),  QStringLiteral("--length"), QStringLiteral("--field"), QStringLiteral("--timeout")};
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

}  // namespace

int main(int argc, char** argv) {
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("keyfold-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KEYFOLD_VERSION));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Keyfold's list of logins from a terminal.\n\n") +
                                QString::fromUtf8(kCommandHelp) + QLatin1Char('\n') + QString::fromUtf8(kExitHelp));
    p.addHelpOption();
    p.addVersionOption();
    p.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption file(QStringLiteral("file"), QStringLiteral("Work on the data file at <path>."),
                                  QStringLiteral("path"));
    const QCommandLineOption phraseStdin(QStringLiteral("phrase-stdin"),
                                         QStringLiteral("Read the key phrase (and passwords) from standard input."));
    const QCommandLineOption showPassword(QStringLiteral("show-password"), QStringLiteral("show: print the password."));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("add, edit: the user ID."),
                                  QStringLiteral("id"));
    const QCommandLineOption url(QStringLiteral("url"), QStringLiteral("add, edit: the website address."),
                                 QStringLiteral("url"));
    const QCommandLineOption comment(QStringLiteral("comment"), QStringLiteral("add, edit: the comment."),
                                     QStringLiteral("text"));
    const QCommandLineOption generate(QStringLiteral("generate"), QStringLiteral("add: make a random password."));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("edit: type a new password."));
    const QCommandLineOption yes(
        QStringLiteral("yes"),
        QStringLiteral("rm, rekey, seal, unseal: do not ask yes or no (a phrase is still typed again)."));
    const QCommandLineOption openAnyway(
        QStringLiteral("open-anyway"),
        QStringLiteral("Open a plain data file whose addresses do not show the phrase is right."));
    const QCommandLineOption plain(QStringLiteral("plain"),
                                   QStringLiteral("Make a new data file plain, not sealed (add, import)."));
    const QCommandLineOption csv(QStringLiteral("csv"),
                                 QStringLiteral("export: the CSV file, or - for standard output."),
                                 QStringLiteral("file"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"), QStringLiteral("import: show what would happen."));
    const QCommandLineOption length(
        QStringLiteral("length"), QStringLiteral("generate, add: password length (default 20)."), QStringLiteral("n"));
    QCommandLineOption clipUser(QStringLiteral("clip-user"), QStringLiteral("clip: the user ID."));
    clipUser.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption noSymbols(QStringLiteral("no-symbols"),
                                       QStringLiteral("generate, add: letters and digits only."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("ls, show, search, import: JSON on standard output."));
    const QCommandLineOption field(
        QStringLiteral("field"),
        QStringLiteral("show: print this field's value alone (name, url, user, password, comment)."),
        QStringLiteral("field"));
    const QCommandLineOption inPassword(QStringLiteral("in-password"),
                                        QStringLiteral("search: look in the passwords too."));
    const QCommandLineOption timeout(
        QStringLiteral("timeout"), QStringLiteral("clip: clear after <n> seconds (0: when something else is copied)."),
        QStringLiteral("n"));
    const QCommandLineOption wait(QStringLiteral("wait"), QStringLiteral("clip: stay until the clipboard is cleared."));
    p.addOptions({file,      phraseStdin, openAnyway, plain, showPassword, url,     user,
                  comment,   generate,    password,   yes,   csv,          dryRun,  length,
                  noSymbols, clipUser,    json,       field, inPassword,   timeout, wait});
    p.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("ls, show, search, clip, add, edit, rm, rekey, seal, unseal, export, import, generate"));

    // `clip NAME --user` takes no value, where add's and edit's --user does.
    QStringList arguments = QCoreApplication::arguments();
    if (const qsizetype at = commandIndex(arguments); at >= 0 && arguments[at] == QLatin1String("clip"))
        for (QString& b : arguments)
            if (b == QLatin1String("--user")) b = QStringLiteral("--clip-user");
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
        Context c{p,
                  args,
                  Input{p.isSet(phraseStdin)},
                  p.value(file),
                  p.isSet(yes),
                  p.isSet(openAnyway) ? vault::PhraseCheck::Skipped : vault::PhraseCheck::Required,
                  p.isSet(json),
                  p.value(field),
                  p.isSet(plain)};
        // clip --user takes no value: `--user` is also add's and edit's option with a value.
        auto allowOnly = [&](std::initializer_list<const QCommandLineOption*> allowed) {
            for (const QCommandLineOption* o :
                 {&showPassword, &url, &user, &comment, &generate, &password, &yes, &csv, &dryRun, &length, &noSymbols,
                  &json, &field, &inPassword, &timeout, &wait})
                if (p.isSet(*o) && std::find(allowed.begin(), allowed.end(), o) == allowed.end())
                    fail(kUsage,
                         "--" + o->names().first().toStdString() + " does not go with " + command.toStdString());
        };
        if (command == QLatin1String("ls")) {
            allowOnly({&json});
            return cmdLs(c);
        }
        if (command == QLatin1String("clip")) {
            allowOnly({&timeout, &wait});
            return cmdClip(c, p.isSet(clipUser), timeoutOption(p, timeout), p.isSet(wait));
        }
        if (command == QLatin1String("clip-keeper")) {
            allowOnly({});
            return cmdClipKeeper(c);
        }
        if (command == QLatin1String("show")) {
            allowOnly({&showPassword, &field, &json});
            if (p.isSet(field) && p.isSet(json)) fail(kUsage, "--field and --json do not go together");
            if (p.values(field).size() > 1) fail(kUsage, "show takes one --field");
            if (p.isSet(field)) checkFieldName(p.value(field));
            return cmdShow(c, p.isSet(showPassword));
        }
        if (command == QLatin1String("search")) {
            allowOnly({&json, &inPassword});
            return cmdSearch(c, p.isSet(inPassword));
        }
        if (command == QLatin1String("add")) {
            allowOnly({&url, &user, &comment, &generate, &length, &noSymbols});
            if ((p.isSet(length) || p.isSet(noSymbols)) && !p.isSet(generate))
                fail(kUsage, "--length and --no-symbols go with --generate");
            return cmdAdd(c, url, user, comment, p.isSet(generate), lengthOption(p, length), !p.isSet(noSymbols));
        }
        if (command == QLatin1String("edit")) {
            allowOnly({&url, &user, &comment, &password});
            return cmdEdit(c, url, user, comment, p.isSet(password));
        }
        if (command == QLatin1String("rm")) {
            allowOnly({&yes});
            return cmdRm(c);
        }
        if (command == QLatin1String("rekey")) {
            allowOnly({&yes});
            return cmdRekey(c);
        }
        if (command == QLatin1String("seal")) {
            allowOnly({&yes});
            return cmdSeal(c, true);
        }
        if (command == QLatin1String("unseal")) {
            allowOnly({&yes});
            return cmdSeal(c, false);
        }
        if (command == QLatin1String("export")) {
            allowOnly({&csv});
            return cmdExport(c, csv);
        }
        if (command == QLatin1String("import")) {
            allowOnly({&dryRun, &json});
            return cmdImport(c, p.isSet(dryRun));
        }
        if (command == QLatin1String("generate")) {
            allowOnly({&length, &noSymbols});
            return cmdGenerate(c, lengthOption(p, length), !p.isSet(noSymbols));
        }
        fail(kUsage, "unknown command " + command.toStdString() + " (see --help)");
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
