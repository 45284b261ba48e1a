// `keyfold-cli shell`: the key phrase asked once and the data file opened once (a sealed
// file's key derived once), then the commands read from standard input, one a line,
// each run as on the command line, until `exit` or the end of input.
#include <cstdio>
#include <string>
#include <unistd.h>

#include "cli/cli.h"
#include "cli/commandtable.h"
#include "vault/secret.h"

namespace cli {

std::optional<QStringList> splitWords(const QString& line) {
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inWord) words << word;
            word.clear();
            inWord = false;
            continue;
        }
        if (c == QLatin1Char('#') && !inWord) break;
        inWord = true;
        if (c == QLatin1Char('\\')) {
            if (++i < line.size()) word += line[i];
        } else if (c == QLatin1Char('\'')) {
            const qsizetype end = line.indexOf(QLatin1Char('\''), i + 1);
            if (end < 0) return std::nullopt;
            word += line.mid(i + 1, end - i - 1);
            i = end;
        } else if (c == QLatin1Char('"')) {
            for (++i;; ++i) {
                if (i >= line.size()) return std::nullopt;
                if (line[i] == QLatin1Char('"')) break;
                if (line[i] == QLatin1Char('\\') && i + 1 < line.size() &&
                    QStringLiteral("\\\"$`").contains(line[i + 1]))
                    ++i;
                word += line[i];
            }
        } else {
            word += c;
        }
    }
    if (inWord) words << word;
    return words;
}

int runShell(Invocation& invocation) {
    Context& c = invocation.context;
    if (!c.args.isEmpty()) fail(kUsage, "shell takes no arguments: it reads its commands from standard input");
    vault::Session& session = c.session();
    session.refuseUnreachableLink();
    vault::SecretText phrase = c.input.dataFilePhrase();
    Context shell = c;
    shell.input.givenPhrase = &phrase;
    // A wrong phrase ends the shell before it reads a command; a file that is not there
    // yet is made by the first add or import, under this phrase.
    if (session.dataFileExists())
        openSession(shell, false);
    else
        std::fprintf(stderr, "No data file at %s yet: add or import makes it.\n", session.paths().dataFile.c_str());

    const bool prompt = !c.input.fromStdin && ::isatty(STDIN_FILENO);
    int status = kOk;
    for (;;) {
        if (c.sessions->opened && shell.input.givenPhrase) {
            // The session holds the phrase from here on.
            vault::wipeSecret(phrase);
            shell.input.givenPhrase = nullptr;
        }
        if (prompt) std::fputs("keyfold> ", stderr);
        const std::optional<vault::SecretText> line = Input::stdinLine();
        if (!line) break;
        const std::optional<QStringList> words = splitWords(QString::fromUtf8(line->data(), qsizetype(line->size())));
        if (!words) {
            std::fprintf(stderr, "keyfold-cli: a quote is not closed; the line was not run\n");
            status = kUsage;
            continue;
        }
        if (words->isEmpty()) continue;
        const QString& first = words->first();
        if (first == QLatin1String("exit") || first == QLatin1String("quit")) {
            if (words->size() == 1) break;
            bool ok = false;
            const int n = words->at(1).toInt(&ok);
            if (words->size() == 2 && ok && n >= 0 && n <= 255) return n;
            std::fprintf(stderr, "keyfold-cli: exit takes at most a status from 0 to 255\n");
            status = kUsage;
            continue;
        }
        if (first == QLatin1String("help"))
            status = runCommandLine(words->mid(1) + QStringList{QStringLiteral("--help")}, &shell);
        else
            status = runCommandLine(*words, &shell);
        wipeOutputBuffer();
    }
    return status;
}

}  // namespace cli
