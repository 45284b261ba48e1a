// Every message box of the program goes through here, so tests can answer them.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <QString>
#include <QStringList>

#include "vault/secret.h"

class QMessageBox;
class QWidget;
namespace vault {
class DataFileProblem;
}

namespace platform {

enum class BoxKind {
    Plain,         // caption "Keyfold", one OK
    Information,   // information icon, one OK
    Warning,       // warning icon, one OK
    Confirm,       // question icon, Yes and No; anything but Yes is No
    ConfirmNo,     // as Confirm, with No the default button (a question whose Yes loses work)
    ConfirmOk,     // question icon, one OK (the confirmation style with a single button)
    OpenAnyway,    // warning icon, "Open anyway" and Cancel (the default); true only for "Open anyway"
    PhrasePrompt,  // a masked one-line box for the key phrase, OK and Cancel
    Error          // the general error report: error icon, the failure's own text
};

void showPlain(const QString& text);
void showInformation(const QString& text);
void showWarning(const QString& text);
bool askYesNo(const QString& text);           // true only for Yes
bool askYesNoDefaultNo(const QString& text);  // true only for Yes; Enter answers No
bool askOpenAnyway(const QString& text);      // true only for "Open anyway"
void showConfirmOk(const QString& text);
void showError(const QString& text);
// The key phrase typed once more, masked, as UTF-8 (a secret: the caller wipes it);
// nothing when the user cancels.
std::optional<vault::SecretText> askKeyPhrase(const QString& text);

// The user's words for a data-file command that was refused (another copy of the
// program changed or replaced the file, or is writing it; a file far too large; a link
// whose target is absent).
QString dataFileProblemText(const vault::DataFileProblem& problem);

// Runs a handler; a refused data-file command is shown as a warning (another copy) or
// an error box in the words above; any other exception that leaves it is shown as an error box with its own
// text and the program waits for the next event. Every signal connection of the
// windows goes through this.
void runGuarded(const std::function<void()>& handler);
template <typename F>
auto guarded(F f) {
    return [f](auto&&...) { runGuarded(f); };
}

// Test hook: queue the box a test expects (kind and exact text) and the answer to give
// (for Confirm: true = Yes; for PhrasePrompt: false = Cancel, else typed is typed in).
// A box that nobody expected, or of another kind or text, is recorded as a failure and
// answered No/OK (a phrase prompt: Cancel).
namespace testing {
void expectBox(BoxKind kind, const QString& text, bool answer = true, const QString& typed = {});
// The failures recorded so far (empty when every box was expected), and clears them.
QStringList takeFailures();
// Boxes still queued that never appeared.
int pendingCount();
void reset();
bool active();
// The box as it would be shown (not shown); the caller owns it.
QMessageBox* makeBox(BoxKind kind, const QString& text);
}  // namespace testing

}  // namespace platform
