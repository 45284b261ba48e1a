// keyfold-cli on real data files in the test's own folders: every command, the exit
// statuses, the imports of each known export format, and one file shared with the
// window program.
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <functional>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "platform/messages.h"
#include "tests/gui/support.h"
#include "tests/support/vault_files.h"
#include "vault/settings.h"
#include "windows/MainWindow.h"
#include "platform/windows1252lineedit.h"
#include "tests/support/controls.h"
#include "tests/support/memory_search.h"

using testsupport::SiteList;

using namespace gui_test;

namespace {

struct Run {
    int status;
    QString out;
    QString err;
};

QString program() { return qEnvironmentVariable("KEYFOLD_BINARY_DIR") + QStringLiteral("/app/keyfold-cli"); }

// Starts `clip mail --wait` under the phrase "k" in clip (set up by the caller) and
// collects in said what it says; whether it came to hold the copy for seconds.
bool startHeldClip(QProcess& clip, int seconds, QString& said) {
    clip.setProgram(program());
    clip.setArguments({"--phrase-stdin", "clip", "mail", "--wait"});
    clip.start();
    clip.write("k\n");
    clip.closeWriteChannel();
    const QString held = QStringLiteral("cleared in %1 s").arg(seconds);
    return QTest::qWaitFor([&] { return (said += QString::fromUtf8(clip.readAllStandardError())).contains(held); },
                           10000);
}

// The program with the key phrase (and any further secrets) as lines of standard input;
// prepare sets up the process further (environment, output).
Run cli(const QStringList& args, const QString& input = QStringLiteral("k\n"),
        const std::function<void(QProcess&)>& prepare = {}) {
    QProcess p;
    p.setProgram(program());
    p.setArguments(QStringList{QStringLiteral("--phrase-stdin")} + args);
    if (prepare) prepare(p);
    p.start();
    p.write(input.toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(30000)) return {-1, {}, QStringLiteral("did not finish")};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// The program on the data file `file`.
Run cliOn(const QString& file, const QStringList& args, const QString& input = QStringLiteral("k\n"),
          const std::function<void(QProcess&)>& prepare = {}) {
    return cli(QStringList{QStringLiteral("--file"), file} + args, input, prepare);
}

void writeText(const QString& path, const QByteArray& text) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

#define EXPECT_RUN(run, wanted)                              \
    do {                                                     \
        const Run r_ = (run);                                \
        QVERIFY2(r_.status == (wanted), qPrintable(r_.err)); \
    } while (0)

// The run ends with status `wanted` and its error output holds `said`.
#define EXPECT_SAID(run, wanted, said)                                                \
    do {                                                                              \
        const Run r_ = (run);                                                         \
        QVERIFY2(r_.status == (wanted) && r_.err.contains(said), qPrintable(r_.err)); \
    } while (0)

}  // namespace

class CliTest : public QObject {
    Q_OBJECT
private slots:
    void init() { freshStart(); }

    void commandsKeepTheEntryRules() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("list.dat"));
        const auto bytes = [&] { return testsupport::readBytes(QFile::encodeName(file).toStdString()); };
        const auto slotIn = [&](int n) { return testsupport::slotOf(bytes(), n, "k"); };
        // No file yet: reading says so; an add whose password is refused makes none; an
        // add makes one (--plain: the plain file, whose slots are read here as stored).
        QCOMPARE(cliOn(file, {"ls"}).status, 3);
        QCOMPARE(cliOn(file, {"add", "mail", "--url", "m"}, "k\na b\n").status, 6);
        QVERIFY(!QFileInfo::exists(file));
        EXPECT_RUN(cliOn(file,
                         {"--plain", "add", "mail", "--url", " mail.example ", "--user", "ann", "--comment",
                          "na\u00efve \u20ac"},
                         "k\nm1\n"),
                   0);
        QCOMPARE(QFileInfo(file).size(), 1000 * 1104);
        EXPECT_RUN(
            cliOn(file, {"add", "bank", "--url", "https://bank", "--generate", "--length", "12", "--no-symbols"}), 0);
        EXPECT_RUN(cliOn(file, {"add", "amazon", "--url", "x.example/?next=https://y"}, "k\na1\n"), 0);
        // Stored byte for byte as the window stores it: upper-case name, completed
        // address, Windows-1252 comment.
        const vault::SiteRecord mail = slotIn(0);
        QCOMPARE(mail.name.str(), std::string("MAIL"));
        QCOMPARE(mail.website.str(), std::string("http://mail.example"));
        QCOMPARE(mail.comments.str(), std::string("na\xEFve \x80"));
        QCOMPARE(slotIn(2).website.str(), std::string("x.example/?next=https://y"));
        const std::string generated = slotIn(1).password.str();
        QCOMPARE(generated.size(), std::size_t(12));
        for (char c : generated) QVERIFY(std::isalnum(static_cast<unsigned char>(c)));

        // The rules refuse: the name in any case, a space in the password, no address.
        EXPECT_SAID(cliOn(file, {"add", "Mail ", "--url", "m"}, "k\nx\n"), 6, "MAIL");
        QCOMPARE(cliOn(file, {"add", "zed", "--url", "z"}, "k\na b\n").status, 6);
        QCOMPARE(cliOn(file, {"add", "zed", "--url", "  "}, "k\nab\n").status, 6);
        QCOMPARE(cliOn(file, {"add", "zed", "--url", "z"}, "k\n" + QString(26, 'p') + "\n").status, 6);
        QCOMPARE(cliOn(file, {"add", "zed"}).status, 2);
        QCOMPARE(cliOn(file, {"add", "zed", "--url", "z", "--length", "9"}).status, 2);
        QCOMPARE(cliOn(file, {"frobnicate"}).status, 2);

        // ls in the list's order, with the window's filter (a to z upper, blanks only: all).
        QCOMPARE(cliOn(file, {"ls"}).out, QStringLiteral("AMAZON\nBANK\nMAIL\n"));
        QCOMPARE(cliOn(file, {"ls", "a"}).out, QStringLiteral("AMAZON\nBANK\nMAIL\n"));
        QCOMPARE(cliOn(file, {"ls", "ma"}).out, QStringLiteral("AMAZON\nMAIL\n"));
        QCOMPARE(cliOn(file, {"ls", "  "}).out, QStringLiteral("AMAZON\nBANK\nMAIL\n"));
        QCOMPARE(cliOn(file, {"ls", " m"}).out, QString());
        // A wrong key phrase is refused before anything is shown or written, for a
        // command that reads and one that would write.
        const std::string beforeWrong = bytes();
        for (const QStringList& command : {QStringList{"ls"}, QStringList{"add", "late", "--url", "l.example"}}) {
            const Run r = cliOn(file, command, "wrong\npw\n");
            QCOMPARE(r.status, 12);
            QVERIFY(r.out.isEmpty());
            QVERIFY(r.err.contains("does not open the data file"));
        }
        // A control character inside the phrase is refused, never cut off; a carriage
        // return before the line feed only ends the line.
        for (const char* phrase : {"k\tx\n", "k\rx\n", "k\x7f\n", "k\x1b[0m\n"})
            EXPECT_SAID(cliOn(file, {"add", "late", "--url", "l.example"}, QString::fromLatin1(phrase) + "pw\n"), 6,
                        "the key phrase holds a line break, a tab or another control character");
        QCOMPARE(cliOn(file, {"ls"}, "k\r\n").out, QStringLiteral("AMAZON\nBANK\nMAIL\n"));
        QVERIFY(bytes() == beforeWrong);

        Run r = cliOn(file, {"show", "mail"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains("Password: ********\n"));
        QVERIFY(r.out.contains("Comments: na\u00efve \u20ac\n"));
        QVERIFY(!r.out.contains("m1"));
        QVERIFY(cliOn(file, {"show", "MAIL", "--show-password"}).out.contains("Password: m1\n"));

        // edit changes only what is given; a new password is typed.
        EXPECT_RUN(cliOn(file, {"edit", "mail", "--url", "https://mail2", "--password"}, "k\nm2\n"), 0);
        QCOMPARE(slotIn(0).website.str(), std::string("https://mail2"));
        QCOMPARE(slotIn(0).password.str(), std::string("m2"));
        QCOMPARE(slotIn(0).userId.str(), std::string("ann"));
        QCOMPARE(cliOn(file, {"edit", "mail", "--password"}, "k\nm 2\n").status, 6);
        QCOMPARE(cliOn(file, {"edit", "nobody", "--url", "x"}).status, 5);

        // rm: no terminal to ask on cancels; --yes deletes; the slot is reused.
        QCOMPARE(cliOn(file, {"rm", "bank"}).status, 9);
        EXPECT_RUN(cliOn(file, {"rm", "bank", "--yes"}), 0);
        QCOMPARE(slotIn(1).status.str(), std::string("D"));
        QCOMPARE(cliOn(file, {"rm", "bank", "--yes"}).status, 5);
        EXPECT_RUN(cliOn(file, {"add", "cafe", "--url", "c"}, "k\nc1\n"), 0);
        QCOMPARE(slotIn(1).name.str(), std::string("CAFE"));

        // rekey of a plain file: the old phrase twice, then the new one twice; typings that
        // differ, or a new phrase holding a control character, change nothing.
        const std::string beforeRekey = bytes();
        const struct {
            const char* input;
            int status;
            const char* said;
        } refusedRekeys[] = {
            {"k\nk\nn1\nn2\n", 9, "the two new key phrases differ"},
            {"k\nK\nnew\nnew\n", 9, "the two old key phrases differ"},
            {"k\n k \nnew\nn\x01w\n", 6, "new key phrase again holds a line break, a tab or another control character"},
            {"k\nk\nn\tw\nn\tw\n", 6, "new key phrase holds a line break"},
            {"k\nk\nnew\n", 9, "standard input ended before the new key phrase again"},
        };
        for (const auto& t : refusedRekeys)
            EXPECT_SAID(cliOn(file, {"rekey", "--yes"}, QString::fromLatin1(t.input)), t.status, t.said);
        QVERIFY(bytes() == beforeRekey);
        EXPECT_RUN(cliOn(file, {"rekey", "--yes"}, "k\r\nk\r\nnew\r\nnew\r\n"), 0);  // lines ended as on Windows
        QCOMPARE(cliOn(file, {"ls"}, "new\n").out, QStringLiteral("AMAZON\nCAFE\nMAIL\n"));

        // export: owner-only file, or standard output only when asked for by "-".
        QCOMPARE(cliOn(file, {"export"}, "new\n").status, 2);
        const QString csv = dir.filePath(QStringLiteral("out.csv"));
        writeText(csv, "old");
        QFile(csv).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        EXPECT_RUN(cliOn(file, {"export", "--csv", csv}, "new\n"), 0);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(csv).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
        r = cliOn(file, {"export", "--csv", "-"}, "new\n");
        QCOMPARE(r.out, QStringLiteral("name,url,username,password,note\nAMAZON,x.example/?next=https://y,,a1,\n"
                                       "CAFE,http://c,,c1,\nMAIL,https://mail2,ann,m2,na\u00efve \u20ac\n"));
        QFile exported(csv);
        QVERIFY(exported.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(exported.readAll()), r.out);

        // generate: the length asked for, strength in bits.
        r = cli({"generate", "--length", "25"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.trimmed().size(), 25);
        QVERIFY(r.err.contains("Strength: 163 bits"));
        QVERIFY(cli({"generate", "--no-symbols"}).err.contains("Strength: 119 bits"));
        QCOMPARE(cli({"generate", "--length", "0"}).status, 2);
    }

    void scriptsReadFieldsJsonAndSearch() {
        // A comment with a quote, a letter beyond ASCII and a control character.
        writeDataFile("k", {{0, "A", "MAIL", "http://mail.example", "ann", "na\xEFve \x01\"q\"", "m1"},
                            {1, "A", "BANK", "https://bank.example", "bob", "", "b2"},
                            {2, "A", "ODD", "http://odd.example", "o\x7F\x81", "tab\there", "o1"}});
        QTemporaryDir dir;
        const QString csv = dir.filePath(QStringLiteral("in.csv"));
        writeText(csv,
                  "name,url,username,password,note\n a,https://a.example,u,p,\nmail,https://m.example,u,p,\n"
                  "b,ftp://b.example,u,p,\n");
        const QString mail = QString::fromUtf8(
            "{\"name\":\"MAIL\",\"url\":\"http://mail.example\",\"user\":\"ann\",\"comment\":\"na\u00efve "
            "\\u0001\\\"q\\\"\"}");
        // DEL and the C1 controls are escaped as well, a tab by its short form.
        const QString odd =
            "{\"name\":\"ODD\",\"url\":\"http://odd.example\",\"user\":\"o\\u007F\\u0081\","
            "\"comment\":\"tab\\there\"}";
        const QString bank = "{\"name\":\"BANK\",\"url\":\"https://bank.example\",\"user\":\"bob\",\"comment\":\"\"}";
        struct Case {
            QStringList args;
            int status;
            QString out;  // standard output, exactly
            QString input = QStringLiteral("k\n");
        };
        const QList<Case> cases = {
            // One field's raw value; the password only when it is the field asked for.
            {{"show", "mail", "--field", "password"}, 0, "m1\n"},
            {{"show", "mail", "--field", "user"}, 0, "ann\n"},
            {{"show", "mail", "--field", "comment"}, 0, QString::fromUtf8("na\u00efve \x01\"q\"\n")},
            {{"show", "mail", "--field", "secret"}, 2, {}},
            {{"show", "mail", "--field", "url", "--json"}, 2, {}},
            {{"show", "mail", "--field", "url", "--field", "user"}, 2, {}},
            {{"show", "nobody", "--field", "url"}, 5, {}},
            // JSON: escaped, passwords only when asked for.
            {{"show", "mail", "--json"}, 0, mail + "\n"},
            {{"show", "bank", "--json", "--show-password"},
             0,
             "{\"name\":\"BANK\",\"url\":\"https://"
             "bank.example\",\"user\":\"bob\",\"password\":\"b2\",\"comment\":\"\"}"
             "\n"},
            {{"ls", "--json"}, 0, "[\n" + bank + ",\n" + mail + ",\n" + odd + "\n]\n"},
            {{"show", "odd", "--field", "user"}, 0, QString::fromUtf8("o\x7F\u0081\n")},
            {{"ls", "--json", "ma"}, 0, "[\n" + mail + "\n]\n"},
            {{"ls", "--json", "zz"}, 1, "[]\n"},
            {{"ls", "zz"}, 1, {}},
            {{"ls", " "}, 0, "BANK\nMAIL\nODD\n"},
            {{"ls", "--json"}, 12, {}, "wrong\n"},
            // search: every field but the password, in any case, also beyond ASCII.
            {{"search", "ANN"}, 0, "MAIL\n"},
            {{"search", "EXAMPLE"}, 0, "BANK\nMAIL\nODD\n"},
            {{"search", QString::fromUtf8("NA\u00cfVE")}, 0, "MAIL\n"},
            {{"search", "b2"}, 1, {}},
            {{"search", "b2", "--in-password"}, 0, "BANK\n"},
            {{"search", "bank", "--json"},
             0,
             "[\n" + bank.chopped(1) +
                 ",\"matched\":[\"name\",\"url\"]}"
                 "\n]\n"},
            {{"search", "zz", "--json"}, 1, "[]\n"},
            {{"search"}, 2, {}},
            {{"search", "a", "b"}, 2, {}},
            {{"search", "a", "--show-password"}, 2, {}},
            {{"ls", "--in-password"}, 2, {}},
            {{"clip", "mail", "--timeout", "-1"}, 2, {}},
            {{"clip", "mail", "--timeout", "86401"}, 2, {}},
            {{"clip", "mail", "--json"}, 2, {}},
            // What an import would do, row by row, without a password.
            {{"import", csv, "--dry-run", "--json"},
             0,
             "{\"format\":\"Chromium family\",\"encoding\":\"UTF-8\",\"dry_run\":true,\"rows\":["
             "\n"
             "{\"row\":2,\"name\":\"A\",\"outcome\":\"added\",\"changes\":[\"name trimmed\"]},"
             "\n"
             "{\"row\":3,\"name\":\"MAIL\",\"outcome\":\"skipped\",\"reason\":\"the name MAIL is already in the list "
             "(use edit)\",\"changes\":[]},"
             "\n"
             "{\"row\":4,\"name\":\"b\",\"outcome\":\"skipped\",\"reason\":\"the address is no web address "
             "(ftp:)\",\"changes\":[]}"
             "\n"
             "],\"added\":1,\"with_changes\":1,\"skipped\":2,\"not_imported\":0}"
             "\n"},
        };
        for (const Case& c : cases) {
            const Run r = cli(c.args, c.input);
            const QString what = c.args.join(' ') + ": " + r.err;
            QVERIFY2(r.status == c.status, qPrintable(what));
            QVERIFY2(r.out == c.out, qPrintable(what + "\n" + r.out));
        }
        QVERIFY(!cli({"ls"}).out.contains("A\n"));  // the dry run wrote nothing
    }

    void completionOffersCommandsOptionsAndNames() {
        writeDataFile("k",
                      {{0, "A", "MAIL", "http://m", "ann", "", "m1"}, {1, "A", "MY BANK", "http://b", "", "", "b1"}});
        QTemporaryDir dir;
        const QString tilde = QDir::homePath() + QStringLiteral("/tilde.dat");
        EXPECT_RUN(cliOn(tilde, {"--plain", "add", "tilde", "--url", "t"}, "k\nt1\n"), 0);
        const auto removeTilde = qScopeGuard([&] { QFile::remove(tilde); });
        // Without a phrase at hand, completion must not even start the program.
        const QString asked = dir.filePath(QStringLiteral("asked"));
        const QString stand = dir.filePath(QStringLiteral("keyfold-cli"));
        writeText(stand, "#!/bin/sh\ntouch '" + asked.toUtf8() + "'\n");
        QFile(stand).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        struct Case {
            QStringList words;  // after the program, the last one being completed
            QString phraseCommand;
            QStringList offered;
        };
        const QList<Case> cases = {
            {{""},
             {},
             {"ls", "show", "search", "clip", "add", "edit", "rm", "rekey", "seal", "unseal", "export", "import",
              "generate", "shell"}},
            {{"s"}, {}, {"show", "search", "seal", "shell"}},
            {{"show", "--f"}, {}, {"--file", "--field"}},
            {{"show", "--field", "p"}, {}, {"password"}},
            {{"search", "--"},
             {},
             {"--file", "--phrase-stdin", "--phrase-fd", "--phrase-command", "--open-anyway", "--help", "--version",
              "--in-password", "--json"}},
            {{"--phrase-command", "--t"}, {}, {}},           // its value
            {{"clip", "--user", "--t"}, {}, {"--timeout"}},  // clip's --user takes no value
            {{"add", "--user", "--t"}, {}, {}},              // add's does
            {{"--file", "x.dat", "cl"}, {}, {"clip"}},
            {{"show", "m"}, {}, {}},
            {{"show", "m"}, "printf 'k\\n'", {"MAIL", "MY\\ BANK"}},
            {{"--file", dir.filePath("none.dat"), "show", "m"}, "printf 'k\\n'", {}},
            {{"rm", "my"}, "printf 'k\\n'", {"MY\\ BANK"}},
            {{"clip", ""}, "printf 'wrong\\n'", {}},
            {{"ls", ""}, "printf 'k\\n'", {}},  // a filter, not a name
            // The name after options that stand before it, and not after another argument.
            {{"show", "--json", "m"}, "printf 'k\\n'", {"MAIL", "MY\\ BANK"}},
            {{"clip", "--user", "--timeout", "5", "my"}, "printf 'k\\n'", {"MY\\ BANK"}},
            {{"show", "MAIL", "--json", "m"}, "printf 'k\\n'", {}},
            // The file named with a leading ~, and as --file=PATH (which bash splits at "=").
            {{"--file", "~/tilde.dat", "show", "t"}, "printf 'k\\n'", {"TILDE"}},
            {{"--file", "=", "~/tilde.dat", "rm", ""}, "printf 'k\\n'", {"TILDE"}},
            {{"--file=~/tilde.dat", "edit", ""}, "printf 'k\\n'", {"TILDE"}},
        };
        // What the shell's completion function offers for the case: one a line, with the
        // program as completed (the stand-in without a phrase command).
        const auto complete = [&](const QString& shell, const QString& code, const QString& script, const Case& c) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove("KEYFOLD_PHRASE_COMMAND");
            if (!c.phraseCommand.isEmpty()) env.insert("KEYFOLD_PHRASE_COMMAND", c.phraseCommand);
            p.setProcessEnvironment(env);
            p.start(shell,
                    QStringList{"-fc", code, shell, script, c.phraseCommand.isEmpty() ? stand : program()} + c.words);
            p.closeWriteChannel();
            if (!p.waitForFinished(30000)) return QStringList{"did not finish"};
            return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())
                .split('\n', Qt::SkipEmptyParts);
        };
        const QString source = qEnvironmentVariable("KEYFOLD_SOURCE_DIR") + "/cli/completion/";
        for (const Case& c : cases) {
            const QStringList offered = complete("bash",
                                                 "source \"$1\"; shift; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); "
                                                 "_keyfold_cli; printf '%s\\n' \"${COMPREPLY[@]}\"",
                                                 source + "keyfold-cli.bash", c);
            QVERIFY2(offered == c.offered, qPrintable(c.words.join(' ') + ": " + offered.join(' ')));
        }
        QVERIFY(!QFile::exists(asked));

        // The completion files and the manual page say what the program's own help says,
        // command by command: the words after the command, its options (those taking a
        // value marked), whether its first argument is an entry's name, its summary.
        const auto fileText = [&](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        const QString bash = fileText(source + "keyfold-cli.bash"), zsh = fileText(source + "_keyfold-cli");
        const QString manual = fileText(source + "../keyfold-cli.1");
        const auto listed = [](const QString& text, const QString& pattern) {
            const QRegularExpressionMatch m =
                QRegularExpression(pattern, QRegularExpression::MultilineOption).match(text);
            QStringList words = m.captured(1).split(QRegularExpression("[\\s|]+"), Qt::SkipEmptyParts);
            words.sort();
            return words;
        };
        // A roff request's words as the reader sees them: fonts gone, "\-" a dash.
        const auto roffText = [](const QString& line) {
            QString words;
            QRegularExpressionMatchIterator it =
                QRegularExpression("\"([^\"]*)\"|(\\S+)").globalMatch(line.section(' ', 1));
            while (it.hasNext()) {
                const QRegularExpressionMatch m = it.next();
                words += m.captured(1) + m.captured(2);
            }
            return words.remove(QRegularExpression("\\\\f[BIRP]")).replace("\\-", "-").toLower();
        };
        const Run overview = cli({"--help"});
        QStringList commands, withValue, nameFirst;
        for (const QString& line : overview.out.section("Commands:\n", 1).section("\n\n", 0, 0).split('\n'))
            if (!line.startsWith("   ")) commands << line.section(' ', 2, 2);
        QVERIFY(commands.size() > 10);
        QStringList sortedCommands = commands;
        sortedCommands.sort();
        QCOMPARE(listed(bash, "^_keyfold_cli_commands=\"([^\"]*)\""), sortedCommands);
        for (const QString& command : commands) {
            const Run help = cli({command, "--help"});
            const QString usage = help.out.section('\n', 0, 0).section(command + ' ', 1);
            const QString summary = help.out.section('\n', 2, 2).chopped(1);
            QStringList options;
            for (const QString& line : help.out.section("Options:\n", 1).section("\n\n", 0, 0).split('\n')) {
                const QString option = line.section(' ', 2, 2);
                if (!option.startsWith("--") || option == "--help") continue;
                if (line.section(' ', 3, 3).contains(QRegularExpression("^[A-Z]"))) withValue << option;
                options << option;
            }
            if (help.out.contains("NAME is the name of an entry in the list")) nameFirst << command;
            const QString what = command + ": " + usage;
            QVERIFY2(zsh.contains("'" + command + ":" +
                                  QString(summary).replace(0, 1, summary[0].toLower()).replace("'", "'\"'\"'") + "'"),
                     qPrintable(what));
            bool inManual = false;
            QRegularExpressionMatchIterator it = QRegularExpression("\n\\.TP\n(\\.BR? [^\n]*)\n").globalMatch(manual);
            while (it.hasNext() && !inManual)
                inManual =
                    roffText(it.next().captured(1)).simplified() == (command + ' ' + usage).toLower().simplified();
            QVERIFY2(inManual, qPrintable("manual page: " + what));
            options.sort();
            for (const QString& file : {bash, zsh}) {
                QStringList own = listed(file, "^\\s*" + command + "\\) (?:echo \"\\$common|options=\\() ?([^\"\\)]*)");
                own = listed(file, file == bash ? "^_keyfold_cli_options[^\n]*\n\\s*local common=\"([^\"]*)\""
                                                : "^\\s*common=\\(([^)]*)\\)") +
                      own;
                own.removeAll("--version");
                own.removeAll("--help");
                own.sort();
                QVERIFY2(own == options, qPrintable(what + ": " + own.join(' ') + " / " + options.join(' ')));
            }
        }
        withValue.removeDuplicates();
        withValue.sort();
        nameFirst.sort();
        for (const QString& file : {bash, zsh}) {
            // Options whose value is skipped: --file and --user (clip's takes none) have lines of their own.
            QStringList skipped = listed(file, "^\\s*(--url[^)]*)\\)\\s*$") + QStringList{"--file", "--user"};
            skipped.sort();
            QCOMPARE(skipped, withValue);
            QCOMPARE(listed(file, "^\\s*(show[a-z |]*)\\)\\s*$"), nameFirst);
        }

        // zsh's completion on the same reading of the line, with zsh's own adding
        // functions standing in for those of its completion system.
        if (QStandardPaths::findExecutable("zsh").isEmpty()) QSKIP("needs zsh");
        const QList<Case> zshCases = {
            {{"s"}, {}, {"show", "search", "seal", "shell"}},
            {{"clip", "--user", "--t"}, {}, {"--timeout"}},
            {{"show", "--field", "u"}, {}, {"url", "user"}},
            {{"show", "m"}, {}, {}},
            {{"show", "m"}, "printf 'k\\n'", {"MAIL", "MY BANK"}},
            {{"show", "--json", "m"}, "printf 'k\\n'", {"MAIL", "MY BANK"}},
            {{"--file", "~/tilde.dat", "show", "t"}, "printf 'k\\n'", {"TILDE"}},
            {{"--file=~/tilde.dat", "clip", "--user", ""}, "printf 'k\\n'", {"TILDE"}},
            {{"--file=" + dir.filePath("none.dat"), "show", "m"}, "printf 'k\\n'", {}},
        };
        for (const Case& c : zshCases) {
            const QStringList offered =
                complete("zsh",
                         "compadd() { while [[ $1 == -* && $1 != -- ]]; do [[ $1 == -M ]] && shift; shift; done; "
                         "[[ $1 == -- ]] && shift; local a; for a in \"$@\"; do "
                         "[[ ${(U)a} == ${(U)PREFIX}* ]] && print -r -- $a; done; }; "
                         "_describe() { local -a c; c=(${(P)4}); compadd -- ${c%%:*}; }; "
                         "source \"$1\" >/dev/null; shift; words=(\"$@\"); CURRENT=$#; "
                         "PREFIX=${words[CURRENT]}; _keyfold-cli",
                         source + "_keyfold-cli", c);
            QVERIFY2(offered == c.offered, qPrintable("zsh " + c.words.join(' ') + ": " + offered.join(' ')));
        }
        QVERIFY(!QFile::exists(asked));
    }

    void phraseIsTakenOncePerShellOrFromItsSource() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("list.dat"));
        EXPECT_RUN(cliOn(file, {"--plain", "add", "mail", "--url", "m"}, "k\nm1\n"), 0);
        const QString fdFile = dir.filePath(QStringLiteral("fd3")), count = dir.filePath(QStringLiteral("count"));
        // The program without --phrase-stdin, file descriptor 3 reading fd (when given).
        const auto run = [&](const QStringList& args, const QString& input, const QByteArray& fd = {},
                             const QString& envCommand = {}) {
            writeText(fdFile, fd);
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.remove("KEYFOLD_PHRASE_COMMAND");
            if (!envCommand.isEmpty()) env.insert("KEYFOLD_PHRASE_COMMAND", envCommand);
            p.setProcessEnvironment(env);
            p.start("sh", QStringList{"-c", "exec \"$0\" \"$@\" 3<\"$KF_FD\"", program(), "--file", file} + args);
            p.write(input.toUtf8());
            p.closeWriteChannel();
            if (!p.waitForFinished(30000)) return Run{-1, {}, "did not finish"};
            return Run{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                       QString::fromUtf8(p.readAllStandardError())};
        };
        qputenv("KF_FD", QFile::encodeName(fdFile));

        // A shell session: the phrase first, then command lines (a password a line asks
        // for on the line after it); each line runs as the command would, a failing one
        // says why and the shell goes on; the shell ends with the last line's status.
        struct Line {
            QString input;  // after the phrase
            QString out;
            int status;
            QString said;
        };
        const QList<Line> session = {
            {"ls\nshow mail --field url\n", "MAIL\nhttp://m\n", 0, {}},
            {"add 'my bank' --url b.example\nb1\nls\n", "MAIL\nMY BANK\n", 0, "Added MY BANK"},
            {"show \"my bank\" --field password\n", "b1\n", 0, {}},
            {"show nobody\nls  M # a comment\n", "MAIL\nMY BANK\n", 0, "no entry named NOBODY"},
            {"ls\nshow nobody\n", "MAIL\nMY BANK\n", 5, {}},
            {"\n# nothing\nexit 7\nls\n", "", 7, {}},
            {"ls \"mail\n", "", 2, "a quote is not closed"},
            {"ls --file other.dat\n", "", 2, "--file goes before shell, not on its lines"},
            {"shell\n", "", 2, "unknown command shell in a shell"},
            {"clip mail --wait\n", "", 2, "clip --wait would hold the shell"},
            {"search b --json\nrm \"MY BANK\" --yes\nls\n",
             "[\n{\"name\":\"MY BANK\",\"url\":\"http://b.example\",\"user\":\"\",\"comment\":\"\","
             "\"matched\":[\"name\",\"url\"]}\n]\nMAIL\n",
             0, "MY BANK has been deleted."},
        };
        for (const Line& l : session) {
            const Run r = run({"--phrase-stdin", "shell"}, "k\n" + l.input);
            QVERIFY2(r.status == l.status && r.out == l.out && r.err.contains(l.said),
                     qPrintable(l.input + ": " + QString::number(r.status) + "\n" + r.out + "\n" + r.err));
        }
        // A wrong phrase ends the shell before a line runs.
        EXPECT_SAID(run({"--phrase-stdin", "shell"}, "wrong\nls\n"), 12, "does not open the data file");

        // The phrase from a descriptor, from a command (also named by the environment),
        // once per shell; a command that fails, or prints nothing, is refused.
        const QString counted = "echo run >> '" + count + "'; printf 'k\\n'";
        const struct {
            QStringList args;
            QByteArray fd;
            QString envCommand;
            int status;
            QString out;
            QString said;
        } sources[] = {
            {{"--phrase-fd", "3", "ls"}, "k\n", {}, 0, "MAIL\n", {}},
            {{"--phrase-fd", "3", "add", "cafe", "--url", "c"}, "k\nc1\n", {}, 0, {}, "Added CAFE"},
            {{"--phrase-fd", "3", "show", "cafe", "--field", "password"}, "k\n", {}, 0, "c1\n", {}},
            {{"--phrase-fd", "3", "ls"}, "wrong\n", {}, 12, {}, "does not open the data file"},
            {{"--phrase-fd", "3", "ls"}, "", {}, 9, {}, "file descriptor 3 ended before the key phrase"},
            {{"--phrase-fd", "9", "ls"}, "k\n", {}, 2, {}, "no file descriptor of that number is open"},
            {{"--phrase-command", "printf 'k\\n'", "ls"}, {}, {}, 0, "CAFE\nMAIL\n", {}},
            {{"ls"}, {}, "printf 'k\\n'", 0, "CAFE\nMAIL\n", {}},
            {{"--phrase-command", "exit 3", "ls"}, {}, {}, 9, {}, "(exit 3) failed with exit status 3"},
            {{"ls"}, {}, "kill -9 $$", 9, {}, "was ended by signal 9"},
            {{"--phrase-command", "true", "ls"}, {}, {}, 9, {}, "printed no key phrase"},
            {{"--phrase-stdin", "--phrase-command", "true", "ls"}, {}, {}, 2, {}, "do not go together"},
            {{"--phrase-fd", "3", "shell"}, "k\n", counted, 0, "CAFE\nMAIL\nCAFE\nMAIL\n", {}},  // fd first
            {{"--phrase-command", counted, "shell"}, {}, {}, 0, "CAFE\nMAIL\nCAFE\nMAIL\n", {}},
        };
        for (const auto& t : sources) {
            const Run r = run(t.args, t.args.last() == "shell" ? "ls\nls\n" : "ls\n", t.fd, t.envCommand);
            QVERIFY2(r.status == t.status && r.out == t.out && r.err.contains(t.said),
                     qPrintable(t.args.join(' ') + ": " + QString::number(r.status) + "\n" + r.out + "\n" + r.err));
        }
        // The command ran once for the whole shell, and never for the descriptor's.
        QCOMPARE(QFile(count).size(), qint64(4));
        qunsetenv("KF_FD");
    }

    void typedTextIsStoredAsGivenOrRefused() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("list.dat"));
        const QString esc = QStringLiteral("\x1b[31m");
        struct Case {
            QStringList args;
            QString input;
            const char* said;
        };
        const QList<Case> refused = {
            {{"add", "mail", "--url", "m"},
             QString::fromUtf8("k\nza\u017c\u00f3\u0142\u01071\n"),
             "the password holds characters the data file cannot hold: \"\u017c\" (U+017C), \"\u0142\" (U+0142), "
             "\"\u0107\" (U+0107); nothing was written"},
            {{"add", "caf\u00e9\U0001F600", "--url", "m"},
             "k\np\n",
             "the name holds characters the data file cannot hold: \"\U0001F600\" (U+1F600)"},
            {{"add", "mail", "--url", "m"},
             QString::fromLatin1("k\na\0b\n", 7),
             "the password holds a control character (U+0000)"},
            {{"add", "mail", "--url", "m" + esc}, "k\np\n", "the address holds a control character (U+001B)"},
            {{"add", "mail", "--url", "m", "--user", "a\tb"}, "k\np\n", "the user ID holds a control character"},
            {{"add", "ma\x7fil", "--url", "m"}, "k\np\n", "the name holds a control character (U+007F)"},
            {{"add", "mail", "--url", QString(250, 'w')}, "k\np\n", "the address as stored is longer than the 255"},
            {{"add", "mail", "--url", "m"},
             "k\n" + QString(26, 'p') + "\n",
             "the password as stored is longer than the 25"},
        };
        for (const Case& c : refused) {
            EXPECT_SAID(cliOn(file, c.args, c.input), 6, QString::fromUtf8(c.said));
        }
        QCOMPARE(cliOn(file, {"ls"}).out, QString());
        // A tab in the comment is kept; the name is upper-cased as the window does (é to É).
        EXPECT_RUN(cliOn(file, {"add", "caf\u00e9", "--url", "c", "--comment", "a\tb"}, "k\np\n"), 0);
        QVERIFY(cliOn(file, {"show", "CAF\u00c9"}).out.contains("Comments: a\tb\n"));
        QCOMPARE(cliOn(file, {"ls", "\u00e9"}).out, QStringLiteral("CAF\u00c9\n"));
        // A generated password is announced only for an entry that is then added.
        Run r = cliOn(file, {"add", "Caf\u00e9", "--url", "c", "--generate"});
        QCOMPARE(r.status, 6);
        QVERIFY2(!r.err.contains("Password generated"), qPrintable(r.err));
        r = cliOn(file, {"edit", "caf\u00e9", "--comment", "x" + esc});
        QCOMPARE(r.status, 6);
        QVERIFY(cliOn(file, {"show", "CAF\u00c9"}).out.contains("Comments: a\tb\n"));
    }

    void controlCharactersReachNoTerminal() {
        // Such texts come from files written elsewhere; they are shown escaped.
        writeDataFile("k", {{0, "A", "AB\x1b[31mCD", "http://x",
                             "u\x1b]0;title\x07"
                             "u",
                             "c\x9d", "p"}});
        QCOMPARE(cli({"ls"}).out, QStringLiteral("AB\\x1B[31mCD\n"));
        const Run r = cli({"show", "AB\x1b[31mCD"});
        QVERIFY2(r.out.contains("User ID:  u\\x1B]0;title\\x07u\nPassword: ********\nComments: c\\x9D\n"),
                 qPrintable(r.out));
        QVERIFY(!r.out.contains(QChar(0x1b)));
        // The name as ls shows it finds the entry.
        EXPECT_RUN(cli({"rm", "AB\\x1B[31mCD", "--yes"}), 0);
        QCOMPARE(cli({"ls"}).out, QString());
    }

    void phrasePromptStaysQuietAfterAStop() {
        writeDataFile("k", {{0, "A", "MAIL", "http://m", "u", "", "p"}});
        int terminal = -1;
        const QByteArray program = (qEnvironmentVariable("KEYFOLD_BINARY_DIR") + "/app/keyfold-cli").toLocal8Bit();
        const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
        QVERIFY(child >= 0);
        if (child == 0) {
            execl(program.constData(), "keyfold-cli", "ls", static_cast<char*>(nullptr));
            _exit(127);
        }
        auto readUntil = [&](const QByteArray& wanted) {
            QByteArray seen;
            for (int i = 0; i < 100 && !seen.contains(wanted); ++i) {
                pollfd p{terminal, POLLIN, 0};
                char buffer[256];
                if (poll(&p, 1, 100) > 0) {
                    const ssize_t n = ::read(terminal, buffer, sizeof buffer);
                    if (n > 0) seen.append(buffer, n);
                }
            }
            return seen;
        };
        auto echoing = [&] {
            termios t{};
            tcgetattr(terminal, &t);
            return (t.c_lflag & ECHO) != 0;
        };
        QVERIFY(readUntil("Key phrase: ").contains("Key phrase: "));
        QVERIFY(!echoing());
        // Stopped (Ctrl+Z), the shell turns echo on while it has the terminal; fg continues.
        kill(child, SIGSTOP);
        int status = 0;
        QCOMPARE(waitpid(child, &status, WUNTRACED), child);
        QVERIFY(WIFSTOPPED(status));
        termios shell{};
        tcgetattr(terminal, &shell);
        shell.c_lflag |= ECHO;
        tcsetattr(terminal, TCSANOW, &shell);
        kill(child, SIGCONT);
        for (int i = 0; i < 50 && echoing(); ++i) QTest::qWait(20);
        QVERIFY(!echoing());
        QVERIFY(::write(terminal, "k\n", 2) == 2);
        const QByteArray rest = readUntil("MAIL");
        QVERIFY2(rest.contains("MAIL") && !rest.contains("k\r\n"), rest.constData());
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ::close(terminal);
    }

    void windowAndCliChangeOneFile() {
        // Through the default location, as both programs find it.
        writeDataFile("k", {{0, "A", "WINDOW", "http://w", "wu", "", "wp"}});
        EXPECT_RUN(cli({"add", "terminal", "--url", "t.example", "--user", "tu"}, "k\ntp\n"), 0);
        auto w = startProgram(QStringLiteral("k"));
        QCOMPARE(listLines(w.get()), QStringList({"TERMINAL", "WINDOW"}));
        // The window adds while it still shows its list; the command line sees it.
        typeEntry(w.get(), "second", "s.example", "su", "sp");
        platform::testing::expectBox(platform::BoxKind::Plain, kAdded);
        w->addButton()->click();
        QCOMPARE(cli({"ls"}).out, QStringLiteral("SECOND\nTERMINAL\nWINDOW\n"));
        // The command line changes the entry the window shows: the window's update of
        // it is refused instead of overwriting it.
        SiteList(w).setCurrentRow(1);
        w->showSelectedEntry();
        QCOMPARE(w->nameEdit()->text(), QStringLiteral("TERMINAL"));
        EXPECT_RUN(cli({"edit", "terminal", "--user", "changed"}), 0);
        w->passwordEdit()->setText(QStringLiteral("windowpw"));
        platform::testing::reset();
        platform::testing::expectBox(platform::BoxKind::Plain, QString());
        w->updateButton()->click();
        platform::testing::takeFailures();
        platform::testing::reset();
        QCOMPARE(readSlot(1, "k").userId.str(), std::string("changed"));
        QCOMPARE(readSlot(1, "k").password.str(), std::string("tp"));
        QVERIFY(cli({"show", "second", "--show-password"}).out.contains("Password: sp\n"));
    }

    // A file sealed in the window opens in keyfold-cli and the other way round; a wrong
    // phrase is refused on it, --open-anyway included.
    void sealedFileIsSharedByWindowAndCli() {
        writeDataFile("k", {{0, "A", "MAIL", "http://mail.example", "ann", "", "pw"}});
        const QString plain = QString::fromStdString(dataFilePath());
        const QString sealed = plain + QStringLiteral(".sealed");
        const std::string plainBytes = testsupport::readBytes(dataFilePath());
        {
            auto w = startProgram(QStringLiteral("k"));
            const QString& question = kSealQuestion;
            using platform::BoxKind;
            QCheckBox* box = w->sealCheckBox();
            QCOMPARE(box->accessibleName(), QStringLiteral("Seal the data file"));
            QCOMPARE(w->notSealedLabel()->text(), kNotSealed);
            QVERIFY(!w->notSealedLabel()->isHidden());
            // The phrase typed once more must be the one the file was opened with: another
            // (or the prompt cancelled) seals nothing and leaves the plain file as it was.
            CLICK_WITH_BOXES(box, {BoxKind::Confirm, question},
                             {BoxKind::PhrasePrompt, kSealPhraseAgain, true, QStringLiteral("K")},
                             {BoxKind::Warning, kSealPhraseDiffers});
            CLICK_WITH_BOXES(box, {BoxKind::Confirm, question}, {BoxKind::PhrasePrompt, kSealPhraseAgain, false});
            QVERIFY(!box->isChecked());
            QVERIFY(!QFile::exists(sealed));
            QVERIFY(testsupport::readBytes(dataFilePath()) == plainBytes);
            CLICK_WITH_BOXES(box, {BoxKind::Confirm, question},
                             {BoxKind::PhrasePrompt, kSealPhraseAgain, true, QStringLiteral(" k ")},
                             {BoxKind::Information, QStringLiteral("The data file is sealed:\n") + sealed});
            QVERIFY(box->isChecked());
            QVERIFY(w->notSealedLabel()->isHidden());
            QCOMPARE(w->locationLabel()->text(), sealed);
        }
        QVERIFY(!QFile::exists(plain) && QFile::exists(sealed));
        QCOMPARE(cli({"ls"}).out, QStringLiteral("MAIL\n"));
        for (const QStringList& wrong : {QStringList{"ls"}, QStringList{"--open-anyway", "ls"}}) {
            const Run r = cli(wrong, QStringLiteral("K\n"));
            QCOMPARE(r.status, 12);
            QVERIFY(r.out.isEmpty());
        }
        // A damaged file and one from a newer version are said apart from a wrong phrase,
        // and left as they were.
        {
            QFile f(sealed);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray good = f.readAll();
            QByteArray damaged = good;
            damaged[damaged.size() - 20] = static_cast<char>(damaged[damaged.size() - 20] ^ 1);
            QByteArray newer = good;
            newer[8] = 3;
            const struct {
                QByteArray bytes;
                QString phrase;
                int status;
                QString said;
            } cases[] = {
                {good, "K\n", 12, "does not open the sealed data file " + sealed + "; nothing was shown or written"},
                {damaged, "k\n", 4,
                 "the sealed data file " + sealed +
                     " has been damaged or altered, so it was not read and nothing was written. Keep the file as "
                     "it is and use a backup copy."},
                {damaged, "K\n", 12, "does not open the sealed data file"},
                {newer, "k\n", 4,
                 "the sealed data file " + sealed +
                     " was made by a newer version of Keyfold, so this version does not read it and nothing was "
                     "written. The file was left as it is: open it with the newer version."},
            };
            for (const auto& c : cases) {
                writeText(sealed, c.bytes);
                EXPECT_SAID(cli({"ls"}, c.phrase), c.status, c.said);
                QFile after(sealed);
                QVERIFY(after.open(QIODevice::ReadOnly));
                QCOMPARE(after.readAll(), c.bytes);
            }
            writeText(sealed, good);
        }
        EXPECT_RUN(cli({"add", "bank", "--url", "bank.example"}, "k\npw2\n"), 0);
        // A sealed file's re-key asks for the old phrase once only.
        EXPECT_RUN(cli({"rekey", "--yes"}, "k\nk2\nk2\n"), 0);
        EXPECT_RUN(cli({"rekey", "--yes"}, "k2\nk\nk\n"), 0);
        EXPECT_RUN(cli({"unseal", "--yes"}), 0);
        QVERIFY(QFile::exists(plain) && !QFile::exists(sealed));
        // seal asks for the phrase again, --yes or not: another one, a control character
        // in it, or none seals nothing.
        const std::string unsealed = testsupport::readBytes(dataFilePath());
        EXPECT_SAID(cli({"seal", "--yes"}, "k\nK\n"), 9, "not the one typed first");
        EXPECT_SAID(cli({"seal", "--yes"},
                        "k\nk\x01"
                        "k\n"),
                    6, "key phrase again holds a line break");
        EXPECT_SAID(cli({"seal", "--yes"}, "k\n"), 9, "standard input ended before the key phrase again");
        QVERIFY(!QFile::exists(sealed));
        QVERIFY(testsupport::readBytes(dataFilePath()) == unsealed);
        EXPECT_RUN(cliOn(sealed, {"seal", "--yes"}, "k\nk\n"), 0);  // either file's name will do
        QVERIFY(!QFile::exists(plain) && QFile::exists(sealed));
        // A plain file beside the sealed one is never replaced: unseal names the file that
        // stays and writes nothing; seal of the plain file in use likewise.
        {
            auto bytesOf = [](const QString& path) {
                QFile f(path);
                return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            };
            writeDataFile("k", {{0, "A", "OLDER", "http://older.example", "ann", "", "pw"}});
            const QByteArray plainBytes = bytesOf(plain), sealedBytes = bytesOf(sealed);
            const Run r = cli({"unseal", "--yes"});
            QCOMPARE(r.status, 6);
            QVERIFY2(r.err.contains(QStringLiteral("the sealed data file ") + sealed +
                                    QStringLiteral(" is in use and stays")),
                     qPrintable(r.err));
            QVERIFY(r.err.contains(QStringLiteral("Move or delete it")));
            QCOMPARE(bytesOf(plain), plainBytes);
            QCOMPARE(bytesOf(sealed), sealedBytes);
            QCOMPARE(cli({"seal", "--yes"}).status, 0);  // the sealed file in use: sealed already
            QCOMPARE(bytesOf(plain), plainBytes);
            QVERIFY(QFile::remove(plain));
        }
        auto w = startProgram(QStringLiteral("k"));
        QCOMPARE(listLines(w.get()), QStringList({"BANK", "MAIL"}));
        QVERIFY(w->sealCheckBox()->isChecked());
    }

    // add and import on a new path make the sealed file under the phrase given; --plain,
    // the settings file's SealNewFile=0 and the empty phrase make the plain one. A file
    // that is there keeps its kind.
    void newFileIsSealedUnlessAPlainOneIsAskedFor() {
        QTemporaryDir dir;
        writeText(dir.filePath("in.csv"), "name,url,username,password\nmail,https://mail.example,ann,pw\n");
        const struct {
            QStringList args;
            QString phrase;
            bool plainInSettings;
            bool sealed;
            QString said;
        } cases[] = {
            {{"add", "mail", "--url", "m"}, "k", false, true, "New sealed data file "},
            {{"import", dir.filePath("in.csv")}, "k", false, true, "New sealed data file "},
            {{"--plain", "add", "mail", "--url", "m"}, "k", false, false, "(plain, not sealed)"},
            {{"import", "--plain", dir.filePath("in.csv")}, "k", false, false, "(plain, not sealed)"},
            {{"add", "mail", "--url", "m"}, "k", true, false, "(plain, not sealed)"},
            {{"add", "mail", "--url", "m"}, "", false, false, "the empty key phrase cannot seal it"},
        };
        int n = 0;
        for (const auto& c : cases) {
            freshStart();
            setupPaths();
            if (c.plainInSettings) vault::writeIniString(paths().settingsFile, "DataFile", "SealNewFile", "0");
            const QString file = dir.filePath(QStringLiteral("list%1.dat").arg(++n));
            EXPECT_SAID(cliOn(file, c.args, c.phrase + "\npw\n"), 0, c.said);
            QCOMPARE(QFile::exists(file + ".sealed"), c.sealed);
            QCOMPARE(QFile::exists(file), !c.sealed);
            QCOMPARE(cliOn(file, {"ls"}, c.phrase + "\n").out, QStringLiteral("MAIL\n"));
            // Another add (--plain or not) keeps the file as it is.
            EXPECT_RUN(cliOn(file, {"--plain", "add", "bank", "--url", "b"}, c.phrase + "\npw\n"), 0);
            QCOMPARE(QFile::exists(file + ".sealed"), c.sealed);
            QCOMPARE(QFile::exists(file), !c.sealed);
        }
        QCOMPARE(cliOn(dir.filePath("list1.dat"), {"ls"}, "K\n").status, 12);
    }

    void importsEachKnownExport() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("list.dat"));
        struct Sample {
            const char* format;
            QByteArray text;
            const char* name;
        };
        const QList<Sample> samples = {
            {"Chromium family",
             "name,url,username,password,note\nchrome.example,https://chrome.example/,cu,cp1,\"a, \"\"b\"\"\"\n",
             "CHROME.EXAMPLE"},
            {"Firefox",
             "\"url\",\"username\",\"password\",\"httpRealm\",\"formActionOrigin\",\"guid\",\"timeCreated\","
             "\"timeLastUsed\",\"timePasswordChanged\"\r\n\"https://fox.example:8443\",\"fu\",\"fp\",,"
             "\"https://fox.example\",\"{1}\",\"1\",\"1\",\"1\"\r\n",
             "FOX.EXAMPLE"},
            {"Bitwarden",
             "folder,favorite,type,name,notes,fields,reprompt,login_uri,login_username,login_password,login_totp\n"
             ",,login,Warden,\"two\nlines\",,0,https://bw.example,bu,bp,\n,,note,Secret note,text,,0,,,,\n",
             "WARDEN"},
            {"KeePassXC",
             "\"Group\",\"Title\",\"Username\",\"Password\",\"URL\",\"Notes\",\"TOTP\",\"Icon\","
             "\"Last Modified\",\"Created\"\n\"Root\",\"Kee\",\"ku\",\"kp\",\"https://kee.example\",\"\",\"\","
             "\"0\",\"2024-01-01T00:00:00Z\",\"2024-01-01T00:00:00Z\"\n",
             "KEE"},
            {"KeePass",
             "\"Account\",\"Login Name\",\"Password\",\"Web Site\",\"Comments\"\n"
             "\"Pass2\",\"pu\",\"pp\",\"https://kp2.example\",\"c\"\n",
             "PASS2"},
            {"1Password",
             "Title,Url,Username,Password,OTPAuth,Favorite,Archived,Tags,Notes\n"
             "One,https://one.example,ou,op,,false,false,,n\n",
             "ONE"},
            {"LastPass", "url,username,password,totp,extra,name,grouping,fav\nhttps://lp.example,lu,lpw,,x,Last,,0\n",
             "LAST"},
            {"Safari", "Title,URL,Username,Password,Notes,OTPAuth\nSafe,https://safe.example,su,sp,,\n", "SAFE"},
            {"Dashlane",
             "username,username2,username3,title,password,note,url,category,otpSecret\n"
             "du,,,Dash,dp,,https://dash.example,,\n",
             "DASH"},
        };
        QStringList names;
        for (const Sample& s : samples) {
            const QString path = dir.filePath(QString::fromLatin1(s.format) + ".csv");
            writeText(path, s.text);
            const Run dry = cliOn(file, {"import", path, "--dry-run"});
            const Run run = cliOn(file, {"import", path});
            QVERIFY2(run.status == 0, qPrintable(run.err));
            QVERIFY2(run.err.contains(QString::fromLatin1(s.format) + " export"), qPrintable(run.err));
            QVERIFY2(run.err.contains("1 added"), qPrintable(run.err));
            QVERIFY2(dry.err.contains("1 would be added") || dry.status == 3, qPrintable(dry.err));
            names << QString::fromLatin1(s.name);
            // Imported again, the name is in the list: skipped and reported.
            QVERIFY(cliOn(file, {"import", path}).err.contains("already in the list"));
        }
        names.sort();
        QCOMPARE(cliOn(file, {"ls"}).out, names.join('\n') + '\n');
        QVERIFY(cliOn(file, {"show", "fox.example", "--show-password"}).out.contains("Password: fp\n"));
        QVERIFY(cliOn(file, {"show", "warden"}).out.contains("Comments: two lines\n"));
        QVERIFY(cliOn(file, {"show", "chrome.example"}).out.contains("Comments: a, \"b\"\n"));

        // Unknown headers are refused; rows the file cannot hold are skipped and named.
        const QString odd = dir.filePath("odd.csv");
        writeText(odd, "a,b,c\n1,2,3\n");
        QCOMPARE(cliOn(file, {"import", odd}).status, 10);
        writeText(odd, "name,url,username,password\nsp,https://sp,u,a b\nlong,https://l,u," + QByteArray(26, 'x') +
                           "\nnourl,,u,p\nsnow,https://s,u,\xe2\x98\x83\n");
        EXPECT_SAID(cliOn(file, {"import", odd}), 0, "0 added (0 with changes), 4 skipped");
    }

    void importSaysWhatItChangesOrSkips() {
        QTemporaryDir dir;
        const QByteArray chrome = "name,url,username,password,note\n";
        struct Case {
            const char* what;
            QByteArray csv;
            int status;
            QStringList said;          // in what the import reports
            QString stored = {};       // show's output holds this, when given
            QStringList options = {};  // import's and show's further options
        };
        const QList<Case> cases = {
            {"name in another script",
             chrome + "\xd0\x9f\xd0\xbe\xd1\x87\xd1\x82\xd0\xb0,https://m.example,u,p,\n",
             0,
             {"skipped, the name holds \"\u041f\" (U+041F), which the data file cannot hold", "0 added"}},
            {"international address",
             chrome + "mail,https://\xd0\xbf\xd0\xbe\xd1\x87\xd1\x82\xd0\xb0.\xd1\x80\xd1\x84/login,u,p,\n",
             0,
             {"address written as https://xn--80a1acny.xn--p1ai/login", "1 added (1 with changes)"},
             "Website:  https://xn--80a1acny.xn--p1ai/login\n"},
            {"emoji in password",
             chrome + "e,https://e.example,u,p\xf0\x9f\x98\x80,\n",
             0,
             {"skipped, the password holds \"\U0001F600\" (U+1F600), which the data file cannot hold"}},
            {"emoji in note",
             chrome + "e,https://e.example,u,p,hi \xf0\x9f\x98\x80\n",
             0,
             {"note: \"\U0001F600\" (U+1F600) written as \"?\""},
             "Comments: hi ?\n"},
            {"Windows-1252 file",
             "name,url,username,password\nCaf\xe9,https://c.example,u,Pw\xe9"
             "2\n",
             0,
             {"Chromium family export, read as Windows-1252", "1 row\n", "1 added (0 with changes)"},
             "Name:     CAF\u00c9\n"},
            {"UTF-8 and Windows-1252 rows",
             chrome + "Caf\xe9,https://c.example,u,p,\nmail,https://m.example,u,p,\xc3\xa9\n",
             10,
             {"the file mixes UTF-8 with other 8-bit text"}},
            {"android app", chrome + "a,android://abc@com.example/,u,p,\n", 0, {"no web address (android:)"}},
            {"ftp", chrome + "f,ftp://files.example/,u,p,\n", 0, {"no web address (ftp:)"}},
            {"script", chrome + "j,javascript:alert(1),u,p,\n", 0, {"no web address (javascript:)"}},
            {"upper-case scheme",
             chrome + "up,HTTPS://UP.EXAMPLE/,u,p,\n",
             0,
             {"scheme written in lower case"},
             "Website:  https://UP.EXAMPLE/\n"},
            {"host and port",
             chrome + "port,localhost:8080,u,p,\n",
             0,
             {"address completed as http://localhost:8080"},
             "Website:  http://localhost:8080\n"},
            {"trimmed user", chrome + "t,https://t.example, ann ,p,\n", 0, {"user ID trimmed"}, "User ID:  ann\n"},
            {"Bitwarden extras, secrets left out",
             "folder,favorite,type,name,notes,fields,reprompt,login_uri,login_username,login_password,"
             "login_totp\nWork,1,login,W,n,\"pin: 1234\nhint: blue\nRecovery codes: abcd\nseed: otpauth://y\"\"\",0,"
             "https://w.example,u,p,otpauth://x\n",
             0,
             {"folder kept in the comment", "hint kept in the comment",
              "left out, as the comment is shown in the clear: pin, Recovery codes, seed, login totp"},
             "Comments: n; folder: Work; hint: blue\n"},
            {"no room for extras",
             "folder,type,name,notes,login_uri,login_username,login_password\nWork,login,W," + QByteArray(250, 'n') +
                 ",https://w.example,u,p\n",
             0,
             {"folder left out (no room in the comment)"}},
            {"notes column",
             "name,url,username,password,notes\nn,https://n.example,u,p,kept\n",
             0,
             {"1 added"},
             "Comments: kept\n"},
            {"long address",
             chrome + "l,https://l.example/" + QByteArray(250, 'x') + ",u,p,\n",
             0,
             {"skipped, the address is longer than 255 characters"}},
            {"long name",
             chrome + QByteArray(300, 'n') + ",https://l.example,u,p,\n",
             0,
             {"name cut to 255 characters"}},
            {"tab after password",
             chrome + "t,https://t.example,u,\"p\t\",\n",
             0,
             {"the password holds a tab (U+0009)"}},
            {"two-line name",
             chrome + "\"a\nb\",https://t.example,u,p,\n",
             0,
             {"the name holds a line break (U+000A)"}},
            {"zero byte",
             chrome + QByteArray("z,https://z.example,u,p") + QByteArray(1, '\0') + "q,\n",
             0,
             {"the password holds a control character (U+0000)"}},
            {"DEL", chrome + "d,https://d.example,u,p\x7fq,\n", 0, {"the password holds a control character (U+007F)"}},
            {"unclosed quote",
             chrome + "a,https://a.example,u,p,\nb,\"https://b.example,u,p,\n",
             10,
             {"the quoted field that begins on line 3 is never closed"}},
            {"Buttercup",
             "!group_id,!group_name,title,username,password,URL,id\n1,G,B,u,p,https://b.example,9\n",
             0,
             {"Buttercup export"},
             "Comments: folder: G\n"},
            {"Buttercup groups",
             "!type,!group_id,!group_name,!group_parent,id,title,username,password,URL\ngroup,1,General,0,,,,,\n"
             "group,2,Mail,1,,,,,\nentry,2,,,9,B,u,p,https://b.example\n",
             0,
             {"row 2: skipped, not a login (a group)\nrow 3: skipped, not a login (a group)\n", "1 added"},
             "Comments: folder: General/Mail\n"},
            {"unquoted comma in the password",
             "name,url,username,password\nbank,http://bank.example,alice,pa,ss,word\nok,https://ok.example,u,p,,\n",
             0,
             {"row 2 BANK: skipped, the row has 6 cells and the header only 4 (cells 5 and 6 under no column)",
              "1 added (0 with changes), 1 skipped"},
             "Password: p\n",
             {"--show-password"}},
            {"byte-order mark in a note and a password",
             chrome + "b,https://b.example,u,p,\xef\xbb\xbfhello\nc,https://c.example,u,\xef\xbb\xbfp,\n",
             0,
             {"row 2 B: added, with changes: note: a byte-order mark (U+FEFF) left out",
              "row 3 C: skipped, the password holds a byte-order mark (U+FEFF)"},
             "Comments: hello\n"},
            {"name from a host with a blank",
             "name,url,username,password\n,http://sp.example :8080/x,u,p\n",
             0,
             {"{\"row\":2,\"name\":\"SP.EXAMPLE\",\"outcome\":\"added\""},
             "Name:     SP.EXAMPLE\n",
             {"--json"}},
            {"bookkeeping columns",
             "title,url,username,password,notes,ainfo,autosubmit\nO,https://o.example,u,p,n,x,Default\n",
             0,
             {"1 added (0 with changes)"},
             "Comments: n\n"},
            {"only a scheme",
             chrome + "h,http:,u,p,\n",
             0,
             {"row 2 h: skipped, the address holds nothing but its scheme (http:)"}},
            {"control characters in the report",
             chrome + "\"ctl\x01\x1b[31mred\",https://c.example,u,p,\n" +
                 QByteArray("AB\0CD,https://d.example,u,p,\n", 29),
             0,
             {"row 2 ctl\\x01\\x1B[31mred: skipped, the name holds a control character (U+0001)",
              "row 3 AB\\x00CD: skipped"}},
            {"rows after a field of two lines",
             chrome + "a,https://a.example,u,p,\"two\nlines\"\nb,ftp://b.example,u,p,\n",
             0,
             {"row 2 A: added, with changes: note put on one line", "row 4 b: skipped, the address is no web address"}},
            {"1Password 4/7",
             "title,url,username,password,notes\nO,https://o.example,u,p,\n",
             0,
             {"1Password 4/7 export"}},
            {"SaferPass",
             "url,username,password,notes\nhttps://s.example,u,p,\n",
             0,
             {"SaferPass export"},
             "Name:     S.EXAMPLE\n"},
        };
        for (const Case& c : cases) {
            const QString file = dir.filePath(QStringLiteral("case%1.dat").arg(&c - cases.data()));
            const QString csv = dir.filePath(QStringLiteral("in.csv"));
            writeText(csv, c.csv);
            const Run r = cliOn(file, QStringList{"import", csv} + c.options.filter("json"));
            QVERIFY2(r.status == c.status, qPrintable(QString::fromLatin1(c.what) + ": " + r.err));
            for (const QString& said : c.said)
                QVERIFY2((r.err + r.out).contains(said), qPrintable(QString::fromLatin1(c.what) + ": " + r.err));
            // Nothing read from the file steers the terminal.
            QVERIFY2(!r.err.contains(QChar(0x1b)) && !r.err.contains(QChar(0)), qPrintable(c.what));
            if (!c.stored.isEmpty()) {
                const QString name = cliOn(file, {"ls"}).out.section('\n', 0, 0);
                const Run shown = cliOn(file, QStringList{"show", name} + c.options.filter("password"));
                QVERIFY2(shown.out.contains(c.stored), qPrintable(QString::fromLatin1(c.what) + ": " + shown.out));
            }
        }

        // A first import can be tried before there is a data file; nothing is made.
        const QString none = dir.filePath(QStringLiteral("none.dat"));
        writeText(dir.filePath("in.csv"), chrome + "a,https://a.example,u,p,\na,https://b.example,u,p,\n");
        EXPECT_SAID(cliOn(none, {"import", dir.filePath("in.csv"), "--dry-run"}), 0,
                    "1 would be added (0 with changes), 1 skipped");
        QVERIFY(!QFile::exists(none));
        // Endless or huge input is refused, not read without end.
        EXPECT_SAID(cliOn(none, {"import", "/dev/zero"}), 10, "larger than 64 MiB");
    }

    void exportLeavesNothingBehindOnFailure() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("list.dat"));
        QByteArray rows = "name,url,username,password\n";
        for (int i = 0; i < 40; ++i)
            rows += "site" + QByteArray::number(i) + ",https://site.example,user,secret" + QByteArray::number(i) + "\n";
        writeText(dir.filePath("in.csv"), rows);
        EXPECT_RUN(cliOn(file, {"import", dir.filePath("in.csv")}), 0);

        // A write cut short by the file size limit keeps the old file and leaves nothing beside it.
        const QString out = dir.filePath(QStringLiteral("out.csv"));
        writeText(out, "old");
        EXPECT_SAID(cli({}, "k\n",
                        [&](QProcess& p) {
                            p.setProgram(QStringLiteral("/bin/sh"));
                            p.setArguments({"-c", "ulimit -f 1; exec \"$0\" \"$@\"", program(), "--phrase-stdin",
                                            "--file", file, "export", "--csv", out});
                        }),
                    4, "nothing was written");
        QCOMPARE(QDir(dir.path()).entryList({"out.csv*"}, QDir::Files | QDir::System), QStringList{"out.csv"});
        QFile old(out);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));

        // Only a regular file (or -): a pipe, a device, a link are refused and left as they were.
        const QString fifo = dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        const QString link = dir.filePath(QStringLiteral("link.csv"));
        QVERIFY(QFile::link(out, link));
        for (const QString& target : {fifo, QStringLiteral("/dev/full"), link}) {
            struct stat before {
            }, after{};
            ::lstat(QFile::encodeName(target).constData(), &before);
            EXPECT_SAID(cliOn(file, {"export", "--csv", target}), 4, "no regular file");
            ::lstat(QFile::encodeName(target).constData(), &after);
            QCOMPARE(after.st_mode, before.st_mode);
        }
        // Standard output that cannot take it is a failure, not a success.
        const Run full = cliOn(file, {"export", "--csv", "-"}, "k\n",
                               [](QProcess& p) { p.setStandardOutputFile(QStringLiteral("/dev/full")); });
        QCOMPARE(full.status, 4);
    }

    void writingCommandsLeaveNoStrayFiles() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("list.dat"));
        // The plain file: a re-key's temporary file lies beside it.
        EXPECT_RUN(cliOn(file, {"--plain", "add", "a", "--url", "a.example"}, "k\np\n"), 0);
        // A file that is no data file, and one that is not there, get no lock file.
        const QString text = dir.filePath(QStringLiteral("notes.txt"));
        writeText(text, "not a data file\n");
        const QString missing = dir.filePath(QStringLiteral("missing.dat"));
        QVERIFY(cliOn(text, {"rm", "x", "--yes"}).status != 0);
        QVERIFY(cliOn(text, {"add", "x", "--url", "x"}, "k\np\n").status != 0);
        QCOMPARE(cliOn(missing, {"edit", "x", "--url", "y"}).status, 3);
        QVERIFY(!QFile::exists(text + ".lock"));
        QVERIFY(!QFile::exists(missing + ".lock"));
        // A temporary file left by a stopped re-key goes with the next writing command.
        const QList<QStringList> writers = {
            {"edit", "a", "--user", "u"}, {"rm", "a", "--yes"}, {"add", "b", "--url", "b.example"}, {"rekey", "--yes"}};
        for (const QStringList& command : writers) {
            writeText(file + ".tmp", "left by a killed re-key");
            EXPECT_RUN(cliOn(file, command, command.first() == "rekey" ? "k\nk\np\np\n" : "k\np\n"), 0);
            QVERIFY2(!QFile::exists(file + ".tmp"), qPrintable(command.join(' ')));
        }
    }

    void clipHoldsTheCopyForOtherPrograms() {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty() || QStandardPaths::findExecutable("xclip").isEmpty())
            QSKIP("needs Xvfb and xclip");
        QProcess xvfb;
        xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp"});
        QVERIFY(xvfb.waitForReadyRead(10000));
        const QString display = ':' + QString::fromLatin1(xvfb.readLine().trimmed());
        auto onDisplay = [&](QProcess& p) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("DISPLAY", display);
            env.insert("QT_QPA_PLATFORM", "xcb");
            p.setProcessEnvironment(env);
        };
        auto paste = [&](const QString& target) {
            QProcess x;
            onDisplay(x);
            x.start(QStringLiteral("xclip"), {"-o", "-selection", "clipboard", "-t", target});
            x.waitForFinished(5000);
            return x.exitCode() == 0 ? QString::fromUtf8(x.readAllStandardOutput()) : QString();
        };
        writeDataFile("k", {{0, "A", "MAIL", "http://m", "ann", "", "s3cret"}});
        writeText(QString::fromStdString(paths().settingsFile), "[Clipboard]\nClearAfter=3\n");

        // Without a display that answers, clip (holding the copy itself or through its
        // keeper) ends with one line saying why, and copies nothing; Qt says nothing.
        // A stopped display gets a few seconds to answer.
        ::kill(xvfb.processId(), SIGSTOP);
        const QByteArray stopped = display.toLatin1();
        const struct {
            const char* display;
            const char* wayland;
            QString said;
        } unreachable[] = {
            {nullptr, nullptr, "keyfold-cli: no display to reach the clipboard through\n"},
            {":97", nullptr, "keyfold-cli: the display :97 does not answer\n"},
            {"nowhere:5", nullptr, "keyfold-cli: the display nowhere:5 does not answer\n"},
            {nullptr, "/nonexistent/wayland-9",
             "keyfold-cli: the Wayland display /nonexistent/wayland-9 does not answer\n"},
            {stopped.constData(), nullptr, "keyfold-cli: the display " + display + " does not answer\n"},
        };
        for (const auto& row : unreachable) {
            for (const bool wait : {false, true}) {
                QStringList args{"clip", "mail"};
                if (wait) args << "--wait";
                const Run r = cli(args, "k\n", [&](QProcess& p) {
                    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
                    if (row.display) env.insert("DISPLAY", row.display);
                    if (row.wayland) env.insert("WAYLAND_DISPLAY", row.wayland);
                    p.setProcessEnvironment(env);
                });
                QVERIFY2(r.status == 11 && r.err == row.said, qPrintable(QString::number(r.status) + ' ' + r.err));
            }
        }
        ::kill(xvfb.processId(), SIGCONT);

        QProcess clip;
        onDisplay(clip);
        QString said;
        QVERIFY2(startHeldClip(clip, 3, said), qPrintable(said));
        // While held, another program pastes it, marked as a secret.
        QCOMPARE(paste(QStringLiteral("UTF8_STRING")), QStringLiteral("s3cret"));
        QVERIFY(paste(QStringLiteral("TARGETS")).contains("x-kde-passwordManagerHint"));
        QVERIFY(clip.waitForFinished(10000));
        QCOMPARE(clip.exitCode(), 0);
        QVERIFY((said + QString::fromUtf8(clip.readAllStandardError())).contains("Clipboard cleared."));
        QCOMPARE(paste(QStringLiteral("UTF8_STRING")), QString());

        // By default clip returns before the copy is cleared; a keeper it started holds
        // the copy, which never shows in the keeper's arguments or environment, and
        // clears it after the delay or when ended, but only while it is still the copy
        // it put there.
        enum class Then {
            Expires,
            Replaced,
            Killed
        };
        for (const Then then : {Then::Expires, Then::Replaced, Then::Killed}) {
            const bool replaced = then == Then::Replaced;
            const Run r = cli({"clip", "mail", "--timeout", then == Then::Killed ? "0" : "2"}, "k\n", onDisplay);
            QVERIFY2(r.status == 0, qPrintable(r.err));
            QCOMPARE(paste(QStringLiteral("UTF8_STRING")), QStringLiteral("s3cret"));
            const QString keeper = r.err.section(QStringLiteral("(kill "), 1).section(' ', 0, 0);
            for (const char* part : {"cmdline", "environ"}) {
                QFile f("/proc/" + keeper + "/" + part);
                QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(r.err));
                QVERIFY(!f.readAll().contains("s3cret"));
            }
            if (replaced) {
                QProcess x;
                onDisplay(x);
                x.start(QStringLiteral("xclip"), {"-i", "-selection", "clipboard"});
                x.write("mine");
                x.closeWriteChannel();
                QVERIFY(x.waitForFinished(5000));
            }
            if (then == Then::Killed) QCOMPARE(::kill(keeper.toInt(), SIGTERM), 0);  // as the message offers
            QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists("/proc/" + keeper), 10000);
            QCOMPARE(paste(QStringLiteral("UTF8_STRING")), replaced ? QStringLiteral("mine") : QString());
        }
        xvfb.terminate();
        xvfb.waitForFinished(5000);
    }

#ifdef __linux__
    // A shell that added, showed, exported, imported and copied passwords holds no copy
    // of them while it waits for its next line: every block they passed through (the
    // rows read, the lines written, the output buffer) was wiped. The clip keeper, which
    // holds its copy by design, is gone once it has cleared it.
    void shellKeepsNoCopyOfAPasswordBetweenCommands() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the memory search runs in the ordinary build");
#endif
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("list.dat"));
        writeText(dir.filePath("in.csv"),
                  "name,url,username,password\nbank,https://bank.example,bob,Pw3&Hn7*Cx4!Yd8#Qs2^Lv6%T\n");
        QProcess xvfb;
        const bool withClip =
            !QStandardPaths::findExecutable("Xvfb").isEmpty() && !QStandardPaths::findExecutable("xclip").isEmpty();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (withClip) {
            xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp"});
            QVERIFY(xvfb.waitForReadyRead(10000));
            env.insert("DISPLAY", ':' + QString::fromLatin1(xvfb.readLine().trimmed()));
            env.insert("QT_QPA_PLATFORM", "xcb");
        }
        // Passwords of 25 characters (see MemorySearch::copies); every block the shell
        // gives back is searched for them as it goes (freed_blocks.h).
        constexpr unsigned char kMask = 0x3C;
        const std::string hidden[] = {keyfoldtest::MemorySearch::masked("Vq8#Lm2$Rt5^Zk1@Fb9!Wn4&J", kMask),
                                      keyfoldtest::MemorySearch::masked("Pw3&Hn7*Cx4!Yd8#Qs2^Lv6%T", kMask)};
        const QString freedReport = dir.filePath(QStringLiteral("freed"));
        env.insert("LD_PRELOAD", QStringLiteral(KEYFOLD_FREED_BLOCKS_PRELOAD_PATH));
        env.insert("KEYFOLD_WATCH_FREED", QStringLiteral("%1:%2,%3")
                                              .arg(uint(kMask), 2, 16, QLatin1Char('0'))
                                              .arg(QString::fromLatin1(QByteArray::fromStdString(hidden[0]).toHex()),
                                                   QString::fromLatin1(QByteArray::fromStdString(hidden[1]).toHex())));
        env.insert("KEYFOLD_WATCH_REPORT", freedReport);
        QProcess shell;
        shell.setProcessEnvironment(env);
        shell.setWorkingDirectory(dir.path());
        shell.start(program(), {"--file", file, "--phrase-stdin", "shell"});
        QByteArray lines =
            "k\nadd mail --url m.example\nVq8#Lm2$Rt5^Zk1@Fb9!Wn4&J\n"
            "show mail --show-password\nshow mail --field password\nshow mail --json --show-password\n"
            "export --csv out.csv\nexport --csv -\nimport in.csv\nshow bank --show-password\n";
        if (withClip) lines += "clip mail --timeout 1\nclip bank --timeout 1\n";
        shell.write(lines + "ls\n");
        QByteArray out, err;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         out += shell.readAllStandardOutput();
                         err += shell.readAllStandardError();
                         return out.endsWith("\nBANK\nMAIL\n");
                     },
                     30000),
                 (out + err).constData());
        QVERIFY2(out.count("Vq8#Lm2$Rt5^Zk1@Fb9!Wn4&J") == 4 && out.count("Pw3&Hn7*Cx4!Yd8#Qs2^Lv6%T") == 1,
                 out.constData());
        // The shell now waits for its next line.
        keyfoldtest::MemorySearch search(static_cast<pid_t>(shell.processId()));
        search.keep();
        const int copies[] = {search.copies(hidden[0], kMask), search.copies(hidden[1], kMask)};
        QVERIFY2(copies[0] == 0 && copies[1] == 0,
                 qPrintable(QStringLiteral("copies: %1 typed, %2 imported").arg(copies[0]).arg(copies[1])));
        QCOMPARE(QFileInfo(freedReport).size(), 0);  // no block given back held either
        if (withClip) {
            // Each keeper ends once it has cleared its copy.
            QCOMPARE(err.count("copied to the clipboard; cleared in 1 s"), 2);
            for (const QByteArray& part : err.split('('))
                if (part.startsWith("kill ")) {
                    const QString keeper = "/proc/" + QString::fromLatin1(part.split(' ').value(1));
                    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(keeper), 10000);
                }
        }
        shell.closeWriteChannel();
        QVERIFY(shell.waitForFinished(10000));
        QCOMPARE(shell.exitCode(), 0);
        if (withClip) {
            xvfb.terminate();
            xvfb.waitForFinished(5000);
        }
    }
#endif  // __linux__

    // Under a Wayland compositor (CTest runs this on one) clip copies through wl-copy:
    // another program pastes it, and it goes after the delay only while it is still
    // clip's own. Where wl-copy cannot set the clipboard, or is missing, clip says so.
    void clipUnderWayland() {
        if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) QSKIP("needs a Wayland compositor");
        auto paste = [] {
            QProcess p;
            p.start(QStringLiteral("wl-paste"), {"--no-newline"});
            p.waitForFinished(5000);
            return p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
        };
        writeDataFile("k", {{0, "A", "MAIL", "http://m", "ann", "", "s3cret"}});
        writeText(QString::fromStdString(paths().settingsFile), "[Clipboard]\nClearAfter=2\n");

        QProcess clip;
        QString said;
        QVERIFY2(startHeldClip(clip, 2, said), qPrintable(said));
        QCOMPARE(paste(), QStringLiteral("s3cret"));
        QVERIFY(clip.waitForFinished(10000));
        QCOMPARE(clip.exitCode(), 0);
        QVERIFY((said + QString::fromUtf8(clip.readAllStandardError())).contains("Clipboard cleared."));
        QCOMPARE(paste(), QString());

        enum class Then {
            Expires,
            Replaced,
            Killed
        };
        for (const Then then : {Then::Expires, Then::Replaced, Then::Killed}) {
            const Run r = cli({"clip", "mail", "--user", "--timeout", then == Then::Killed ? "0" : "2"});
            QVERIFY2(r.status == 0, qPrintable(r.err));
            QCOMPARE(paste(), QStringLiteral("ann"));
            const QString keeper = r.err.section(QStringLiteral("(kill "), 1).section(' ', 0, 0);
            if (then == Then::Replaced) {
                QProcess x;
                x.start(QStringLiteral("wl-copy"), {"mine"});
                QVERIFY(x.waitForFinished(5000));
            }
            if (then == Then::Killed) QCOMPARE(::kill(keeper.toInt(), SIGTERM), 0);
            QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists("/proc/" + keeper), 10000);
            QCOMPARE(paste(), then == Then::Replaced ? QStringLiteral("mine") : QString());
        }
        // wl-copy keeps its copy in a file in /tmp and leaves it there when ended:
        // none of those holding a secret is left.
        QStringList leftBehind;
        for (const QFileInfo& buffer : QDir("/tmp").entryInfoList({"wl-copy-buffer-*"}, QDir::Dirs)) {
            QFile f(buffer.filePath() + "/stdin");
            if (f.open(QIODevice::ReadOnly) && QList<QByteArray>{"s3cret", "ann"}.contains(f.readAll()))
                leftBehind << buffer.filePath();
        }
        QVERIFY2(leftBehind.isEmpty(), qPrintable(leftBehind.join(' ')));

        // A wl-copy that cannot set the clipboard (a compositor without the protocols it
        // uses), one that fails, and none at all: nothing is reported copied.
        QTemporaryDir bin;
        QVERIFY(QFile::link(QStandardPaths::findExecutable("wl-paste"), bin.filePath("wl-paste")));
        const struct {
            QByteArray wlCopy;  // the script standing in for wl-copy; none when empty
            const char* said;
        } broken[] = {
            {"#!/bin/sh\ncat >/dev/null\nexec sleep 60\n", "the Wayland clipboard did not take the copy"},
            {"#!/bin/sh\necho 'Failed to connect' >&2\nexit 1\n", "the Wayland clipboard did not take the copy"},
            {{}, "wl-copy and wl-paste (package wl-clipboard), which are not installed"},
        };
        for (const auto& row : broken) {
            QFile::remove(bin.filePath("wl-copy"));
            if (!row.wlCopy.isEmpty()) {
                writeText(bin.filePath("wl-copy"), row.wlCopy);
                QFile::setPermissions(bin.filePath("wl-copy"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            }
            for (const bool wait : {false, true}) {
                QStringList args{"clip", "mail"};
                if (wait) args << "--wait";
                const Run r = cli(args, "k\n", [&](QProcess& p) {
                    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                    env.insert("PATH", bin.path());
                    p.setProcessEnvironment(env);
                });
                QVERIFY2(r.status == 11 && r.err.startsWith("keyfold-cli: ") && r.err.count('\n') == 1 &&
                             r.err.contains(row.said),
                         qPrintable(r.err));
                QVERIFY(!r.err.contains("copied"));
            }
        }
        QCOMPARE(paste(), QString());
    }

    void browserExportGoesInAndComesOutUnchanged() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("list.dat"));
        const QByteArray in =
            "name,url,username,password,note\n"
            "accounts.example.com,https://accounts.example.com/signin,ann@example.com,Xy9$k!2,\n"
            "bank.example,https://bank.example/,\"Doe, John\",\"p\"\"q\",\"Notes, with \"\"quotes\"\"\"\n"
            "caf\xc3\xa9.example,https://xn--caf-dma.example/,ren\xc3\xa9,\xe2\x82\xac"
            "uro,caf\xc3\xa9\n";
        const QString path = dir.filePath("chrome.csv");
        writeText(path, in);
        // The plain file: a full one is made below by cutting its slots.
        EXPECT_RUN(cliOn(file, {"--plain", "import", path}), 0);
        const Run out = cliOn(file, {"export", "--csv", "-"});
        QCOMPARE(out.status, 0);
        QStringList expected = QString::fromUtf8(in).split('\n');
        for (int i = 1; i < expected.size(); ++i) {
            const qsizetype comma = expected[i].indexOf(',');
            expected[i] = expected[i].left(comma).toUpper() + expected[i].mid(comma);
        }
        QCOMPARE(out.out, expected.join('\n'));

        // A full file stops the import with a count of what went in.
        const QString small = dir.filePath("small.dat");
        QFile(file).copy(small);
        QVERIFY(QFile::resize(small, 5 * 1104));
        writeText(path, "name,url,username,password\na,https://a,u,p\nb,https://b,u,p\nc,https://c,u,p\n");
        // The dry run fills the free slots as the real run does, and says the same counts.
        EXPECT_SAID(cliOn(small, {"import", path, "--dry-run"}), 7,
                    "1 would be added (0 with changes), 0 skipped; the data file would be full: 2 would not be "
                    "imported");
        EXPECT_SAID(cliOn(small, {"import", path}), 7,
                    "1 added (0 with changes), 0 skipped; the data file is full: 2 not imported");
        QFile(file).copy(small + "2");
        QVERIFY(QFile::resize(small + "2", 5 * 1104));
        const Run fullJson = cliOn(small + "2", {"import", path, "--json"});
        QCOMPARE(fullJson.status, 7);
        QVERIFY2(fullJson.out.contains("\"dry_run\":false,") &&
                     fullJson.out.endsWith("\"added\":1,\"with_changes\":0,\"skipped\":0,\"not_imported\":2}\n"),
                 qPrintable(fullJson.out));
        // More rows than a new file holds: 999 go in, dry run or not.
        QByteArray many = "name,url,username,password\n";
        for (int i = 0; i < 1005; ++i) many += "s" + QByteArray::number(i) + ",https://s.example,u,p\n";
        writeText(path, many);
        const QString fresh = dir.filePath("fresh.dat");
        EXPECT_SAID(cliOn(fresh, {"import", path, "--dry-run"}), 7,
                    "999 would be added (0 with changes), 0 skipped; the data file would be full: 6 would not be "
                    "imported");
        QVERIFY(!QFile::exists(fresh));
        EXPECT_SAID(cliOn(fresh, {"--plain", "import", path}), 7,
                    "999 added (0 with changes), 0 skipped; the data file is full: 6 not imported");
    }
};

QTEST_MAIN(CliTest)
#include "test_cli.moc"
