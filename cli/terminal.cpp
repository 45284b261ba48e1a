// keyfold-cli at the terminal: text converted between the terminal's UTF-8 and the data
// file's Windows-1252, and secrets and questions asked without echo or read from
// standard input.
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <stdio_ext.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QRegularExpression>

#include "cli/cli.h"
#include "vault/entry.h"
#include "vault/windows1252.h"
#include "vault/keyphrase.h"
#include "vault/secret.h"
#include "vault/text.h"

namespace cli {

void fail(int status, const std::string& text) { throw Failure{status, text}; }

// ---- Text at the edge: arguments and output in UTF-8, the file in Windows-1252 ----

std::string windows1252(const QString& text) { return vault::windows1252FromUtf8(text.toUtf8().toStdString()); }
std::string utf8(const std::string& bytes) { return vault::utf8FromWindows1252(bytes); }
vault::SecretText secretUtf8(std::string_view bytes) { return vault::utf8FromWindows1252(bytes); }

std::string typed(std::string_view text, const char* what) {
    std::u32string missing;
    std::string bytes = vault::windows1252FromUtf8(text, &missing);
    if (missing.empty()) return bytes;
    vault::wipeSecret(bytes);
    std::u32string once;
    for (char32_t c : missing)
        if (once.find(c) == std::u32string::npos) once.push_back(c);
    fail(kRefused, std::string("the ") + what + " holds characters the data file cannot hold: " +
                       escapeControls(vault::describeCharacters(once), {}) + "; nothing was written");
}

std::string typed(const QString& text, const char* what) { return typed(text.toUtf8().toStdString(), what); }

std::string nameText(const QString& typed) {
    // U+2028 and U+2029 end a line as well; Windows-1252 has no byte for them.
    const auto cut = typed.indexOf(QRegularExpression(QStringLiteral("[\u2028\u2029]")));
    return vault::nameAsTheBoxTakesIt(windows1252(cut < 0 ? typed : typed.left(cut)));
}

namespace {

template <class Text>
Text escaped(std::string_view text, std::string_view keep) {
    Text escaped;
    escaped.reserve(text.size());
    auto code = [&](unsigned char c) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        escaped += hex;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if ((c < 32 || c == 127) && keep.find(static_cast<char>(c)) == std::string_view::npos) {
            code(c);
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080 to U+009F
            code(next);
            ++i;
        } else {
            escaped.push_back(static_cast<char>(c));
        }
    }
    return escaped;
}

// Standard output's buffer, the program's own (see ownOutputBuffer).
char outputBuffer[BUFSIZ];

}  // namespace

std::string escapeControls(std::string_view text, std::string_view keep) { return escaped<std::string>(text, keep); }

std::string shown(const std::string& bytes) { return escapeControls(utf8(bytes), "\t"); }
vault::SecretText shownSecret(std::string_view bytes) { return escaped<vault::SecretText>(secretUtf8(bytes), "\t"); }

void out(std::string_view text) {
    if (!::isatty(STDOUT_FILENO)) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return;
    }
    const vault::SecretText shownText = escaped<vault::SecretText>(text, "\t\n");
    std::fwrite(shownText.data(), 1, shownText.size(), stdout);
}

void ownOutputBuffer() {
    std::setvbuf(stdout, outputBuffer, ::isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, sizeof outputBuffer);
}

void wipeOutputBuffer() {
    std::fflush(stdout);
    // What could not be written is dropped rather than written later as zeros.
    __fpurge(stdout);
    vault::wipeBytes(outputBuffer, sizeof outputBuffer);
}

// ---- Secrets and questions ----

namespace {
termios savedTerminal{};
termios quietTerminal{};
volatile std::sig_atomic_t terminalFd = -1;

void setHandler(int sig, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(sig, &action, nullptr);
}

void restoreTerminalAndExit(int sig) {
    if (terminalFd >= 0) tcsetattr(terminalFd, TCSANOW, &savedTerminal);
    const char newline = '\n';
    [[maybe_unused]] auto w = ::write(STDERR_FILENO, &newline, 1);
    _exit(128 + sig);
}

// Back from a stop (fg after Ctrl+Z): the shell had the terminal meanwhile and turned
// echo on again; the prompt turns it off before anything more is typed.
void quietAgain(int) {
    const int saved = errno;
    if (terminalFd >= 0) tcsetattr(terminalFd, TCSANOW, &quietTerminal);
    errno = saved;
}

// Ctrl+Z: the terminal as it was, while the program is stopped.
void stopWithTerminalRestored(int) {
    const int saved = errno;
    if (terminalFd >= 0) tcsetattr(terminalFd, TCSANOW, &savedTerminal);
    setHandler(SIGTSTP, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    raise(SIGTSTP);  // stops here until continued
    setHandler(SIGTSTP, stopWithTerminalRestored);
    quietAgain(0);
    errno = saved;
}

void handleTerminalSignals(bool on) {
    // Ctrl+C while echo is off gives the terminal back as it was.
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) setHandler(sig, on ? restoreTerminalAndExit : SIG_DFL);
    setHandler(SIGTSTP, on ? stopWithTerminalRestored : SIG_DFL);
    setHandler(SIGCONT, on ? quietAgain : SIG_DFL);
}
}  // namespace

namespace {

// One line of the descriptor, read a byte at a time so that nothing after it is taken.
std::optional<vault::SecretText> fdLine(int fd) {
    vault::SecretText line;
    bool any = false;
    char c;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n != 1) break;
        any = true;
        if (c == '\n') break;
        line.push_back(c);
    }
    if (!any) return std::nullopt;
    if (!line.empty() && line.view().back() == '\r') line.resize(line.size() - 1);
    return line;
}

extern "C" char** environ;

// The first line that the phrase command prints. It runs with sh, its input empty and
// its error output this program's; the phrase comes back through a pipe only.
vault::SecretText commandPhrase(const QString& command) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) fail(kFileError, "cannot run the phrase command: no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    const std::string commandText = command.toLocal8Bit().toStdString();
    char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(commandText.c_str()),
                          nullptr};
    pid_t child = -1;
    const int spawned = posix_spawn(&child, "/bin/sh", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    vault::SecretText output;  // grows as it is read: each block it leaves is wiped
    if (spawned == 0) {
        char buffer[256];
        for (;;) {
            const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            if (output.size() < 65536) output.append(std::string_view(buffer, static_cast<std::size_t>(n)));
        }
        vault::wipeBytes(buffer, sizeof buffer);
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (spawned == 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    const std::string what = "the phrase command (" + escapeControls(commandText, {}) + ")";
    if (spawned != 0) fail(kCancelled, "cannot run " + what + "; nothing was shown or written");
    if (WIFSIGNALED(status))
        fail(kCancelled,
             what + " was ended by signal " + std::to_string(WTERMSIG(status)) + "; nothing was shown or written");
    if (WEXITSTATUS(status) != 0)
        fail(kCancelled, what + " failed with exit status " + std::to_string(WEXITSTATUS(status)) +
                             "; nothing was shown or written");
    if (output.empty()) fail(kCancelled, what + " printed no key phrase; nothing was shown or written");
    std::string_view phrase = output.view().substr(0, output.view().find('\n'));
    if (!phrase.empty() && phrase.back() == '\r') phrase.remove_suffix(1);
    return vault::SecretText(phrase);
}

}  // namespace

std::optional<vault::SecretText> Input::stdinLine() { return fdLine(STDIN_FILENO); }

vault::SecretText Input::dataFilePhrase() const {
    if (givenPhrase) return *givenPhrase;
    return keyPhrase("key phrase");
}

vault::SecretText Input::keyPhrase(const char* prompt, Phrase which) const {
    const vault::SecretText text =
        which == Phrase::InForce && !phraseCommand.isEmpty() ? commandPhrase(phraseCommand) : secretText(prompt);
    vault::KeyPhraseText phrase = vault::keyPhraseFromUtf8(text);
    switch (phrase.problem) {
    case vault::PhraseProblem::None: return std::move(phrase.text);
    case vault::PhraseProblem::NotWindows1252:
        fail(kRefused, "the " + std::string(prompt) +
                           " holds characters the data file cannot hold: " + vault::describeCharacters(phrase.missing));
    case vault::PhraseProblem::ZeroByte: fail(kRefused, "the " + std::string(prompt) + " holds a zero byte");
    case vault::PhraseProblem::ControlCharacter:
        fail(kRefused, "the " + std::string(prompt) +
                           " holds a line break, a tab or another control character, which a key phrase cannot hold");
    case vault::PhraseProblem::TooLong:
        fail(kRefused, "the " + std::string(prompt) + " is longer than " + std::to_string(vault::kMaxKeyPhraseLength) +
                           " characters");
    }
    fail(kRefused, "the " + std::string(prompt) + " cannot be used");
}

vault::SecretText Input::secretText(const char* prompt) const {
    vault::SecretText text;
    if (fromStdin) {
        std::optional<vault::SecretText> line = stdinLine();
        if (!line) fail(kCancelled, std::string("standard input ended before the ") + prompt);
        return std::move(*line);
    }
    if (fromFd >= 0) {
        std::optional<vault::SecretText> line = fdLine(fromFd);
        if (!line)
            fail(kCancelled, "file descriptor " + std::to_string(fromFd) + " ended before the " + std::string(prompt));
        return std::move(*line);
    }
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) fail(kCancelled, "no terminal to ask for the " + std::string(prompt) + " (use --phrase-stdin)");
    const bool isTerminal = tcgetattr(tty, &savedTerminal) == 0;
    if (isTerminal) {
        quietTerminal = savedTerminal;
        quietTerminal.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quietTerminal.c_lflag |= ECHONL;
        terminalFd = tty;
        handleTerminalSignals(true);
        tcsetattr(tty, TCSANOW, &quietTerminal);
    }
    const std::string ask = std::string(1, static_cast<char>(std::toupper(prompt[0]))) + (prompt + 1) + ": ";
    [[maybe_unused]] auto w = ::write(tty, ask.data(), ask.size());
    char c;
    bool ended = false;
    for (;;) {
        const ssize_t n = ::read(tty, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n != 1) break;
        if (c == '\n') {
            ended = true;
            break;
        }
        text.push_back(c);
    }
    if (isTerminal) {
        terminalFd = -1;
        handleTerminalSignals(false);
        tcsetattr(tty, TCSANOW, &savedTerminal);
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

// A password typed twice (once from standard input), taken as typed or refused.
vault::SecretText typedPassword(const Input& input) {
    const vault::SecretText password = input.secretText("password");
    if (!input.readsLines()) {
        const vault::SecretText again = input.secretText("password again");
        if (again != password) fail(kCancelled, "the two passwords differ; nothing was written");
    }
    return typed(password, "password");
}

}  // namespace cli
