// keyfold-cli at the terminal: text converted between the terminal's UTF-8 and the data
// file's Windows-1252, and secrets and questions asked without echo or read from
// standard input.
#include <cctype>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

#include <QRegularExpression>

#include "cli/cli.h"
#include "vault/ansi.h"
#include "vault/keyphrase.h"
#include "vault/secret.h"

namespace cli {

void fail(int status, const std::string& text) { throw Failure{status, text}; }

// ---- Text at the edge: arguments and output in UTF-8, the file in Windows-1252 ----

std::string ansi(const QString& text) { return vault::AnsiFromUtf8(text.toUtf8().toStdString()); }
std::string utf8(const std::string& bytes) { return vault::Utf8FromAnsi(bytes); }

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

namespace {
termios savedTerminal{};
volatile std::sig_atomic_t terminalFd = -1;
void restoreTerminalAndExit(int sig) {
    if (terminalFd >= 0) tcsetattr(terminalFd, TCSANOW, &savedTerminal);
    const char newline = '\n';
    [[maybe_unused]] auto w = ::write(STDERR_FILENO, &newline, 1);
    _exit(128 + sig);
}
}  // namespace


std::optional<std::string> Input::stdinLine() {
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

std::string Input::secret(const char* prompt) const {
    std::string text = secretText(prompt);
    std::string bytes = vault::AnsiFromUtf8(text);
    vault::Wipe(text);
    return bytes;
}

std::string Input::keyPhrase(const char* prompt) const {
    std::string text = secretText(prompt);
    vault::WipeAtScopeEnd wipe(text);
    vault::KeyPhraseText phrase = vault::keyPhraseFromUtf8(text);
    switch (phrase.problem) {
    case vault::PhraseProblem::None: return std::move(phrase.text);
    case vault::PhraseProblem::NotWindows1252:
        fail(kRefused, "the " + std::string(prompt) + " holds characters the data file cannot hold: " +
                           vault::describeCharacters(phrase.missing));
    case vault::PhraseProblem::ZeroByte: fail(kRefused, "the " + std::string(prompt) + " holds a zero byte");
    case vault::PhraseProblem::TooLong:
        fail(kRefused, "the " + std::string(prompt) + " is longer than " + std::to_string(vault::kMaxKeyPhraseLength) +
                           " characters");
    }
    fail(kRefused, "the " + std::string(prompt) + " cannot be used");
}

std::string Input::secretText(const char* prompt) const {
    std::string text;
    if (fromStdin) {
        std::optional<std::string> line = stdinLine();
        if (!line) fail(kCancelled, std::string("standard input ended before the ") + prompt);
        text = std::move(*line);
        vault::Wipe(*line);
        return text;
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
    return text;
}

bool Input::confirm(const std::string& question) {
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

}  // namespace cli
