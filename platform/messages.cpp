#include "platform/messages.h"

#include <deque>
#include <exception>
#include <memory>
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>

#include "platform/secret.h"
#include "vault/ioerror.h"

namespace platform {

namespace {

const char* const kCaption = "Keyfold";

struct Expected {
    BoxKind kind;
    QString text;
    bool answer;
    QString typed;
};

struct TestState {
    bool active = false;
    std::deque<Expected> queue;
    QStringList failures;
};

TestState& state() {
    static TestState s;
    return s;
}

QString kindName(BoxKind kind) {
    switch (kind) {
    case BoxKind::Plain: return QStringLiteral("Plain");
    case BoxKind::Information: return QStringLiteral("Information");
    case BoxKind::Warning: return QStringLiteral("Warning");
    case BoxKind::Confirm: return QStringLiteral("Confirm");
    case BoxKind::ConfirmNo: return QStringLiteral("ConfirmNo");
    case BoxKind::ConfirmOk: return QStringLiteral("ConfirmOk");
    case BoxKind::OpenAnyway: return QStringLiteral("OpenAnyway");
    case BoxKind::PhrasePrompt: return QStringLiteral("PhrasePrompt");
    case BoxKind::Error: return QStringLiteral("Error");
    }
    return QStringLiteral("?");
}

// Under test, a box is compared with the next expected one instead of being shown.
// Returns the answer (true = Yes/OK); typed gets what a phrase prompt is answered with.
bool answerUnderTest(BoxKind kind, const QString& text, QString* typed = nullptr) {
    TestState& s = state();
    if (s.queue.empty()) {
        s.failures << QStringLiteral("unexpected %1 box: \"%2\"").arg(kindName(kind), text);
        return false;
    }
    Expected e = s.queue.front();
    s.queue.pop_front();
    if (e.kind != kind || e.text != text) {
        s.failures << QStringLiteral("expected %1 box \"%2\", got %3 box \"%4\"")
                          .arg(kindName(e.kind), e.text, kindName(kind), text);
        return false;
    }
    if (typed) *typed = e.typed;
    return e.answer;
}

QWidget* ownerWindow() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) w = QApplication::activeWindow();
    return w;
}

std::unique_ptr<QMessageBox> buildBox(BoxKind kind, const QString& text) {
    auto box = std::make_unique<QMessageBox>(ownerWindow());
    box->setWindowTitle(QString::fromLatin1(kCaption));
    // Texts carry names, addresses and paths: shown as they are, never read as markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    switch (kind) {
    case BoxKind::Plain: box->setIcon(QMessageBox::NoIcon); break;
    case BoxKind::Information: box->setIcon(QMessageBox::Information); break;
    case BoxKind::Warning:
    case BoxKind::OpenAnyway: box->setIcon(QMessageBox::Warning); break;
    case BoxKind::Confirm:
    case BoxKind::ConfirmNo:
    case BoxKind::ConfirmOk:
    case BoxKind::PhrasePrompt: box->setIcon(QMessageBox::Question); break;
    case BoxKind::Error: box->setIcon(QMessageBox::Critical); break;
    }
    if (kind == BoxKind::Confirm || kind == BoxKind::ConfirmNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(kind == BoxKind::Confirm ? QMessageBox::Yes : QMessageBox::No);
    } else if (kind == BoxKind::OpenAnyway) {
        // Going back is the default: opening under a phrase that may be wrong is the
        // user's deliberate choice.
        box->addButton(QCoreApplication::translate("Keyfold", "Open anyway"), QMessageBox::AcceptRole);
        box->setDefaultButton(box->addButton(QMessageBox::Cancel));
    } else {
        box->setStandardButtons(QMessageBox::Ok);
    }
    return box;
}

bool present(BoxKind kind, const QString& text) {
    if (state().active) return answerUnderTest(kind, text);
    const std::unique_ptr<QMessageBox> box = buildBox(kind, text);
    const int answer = box->exec();
    if (kind == BoxKind::OpenAnyway) return box->buttonRole(box->clickedButton()) == QMessageBox::AcceptRole;
    return (kind != BoxKind::Confirm && kind != BoxKind::ConfirmNo) || answer == QMessageBox::Yes;
}

}  // namespace

void showPlain(const QString& text) { present(BoxKind::Plain, text); }
void showInformation(const QString& text) { present(BoxKind::Information, text); }
void showWarning(const QString& text) { present(BoxKind::Warning, text); }
bool askYesNo(const QString& text) { return present(BoxKind::Confirm, text); }
bool askYesNoDefaultNo(const QString& text) { return present(BoxKind::ConfirmNo, text); }
bool askOpenAnyway(const QString& text) { return present(BoxKind::OpenAnyway, text); }
void showConfirmOk(const QString& text) { present(BoxKind::ConfirmOk, text); }
void showError(const QString& text) { present(BoxKind::Error, text); }

std::optional<vault::SecretText> askKeyPhrase(const QString& text) {
    QString typed;
    bool ok = false;
    if (state().active) {
        ok = answerUnderTest(BoxKind::PhrasePrompt, text, &typed);
    } else {
        QInputDialog dialog(ownerWindow());
        dialog.setWindowTitle(QString::fromLatin1(kCaption));
        dialog.setInputMode(QInputDialog::TextInput);
        dialog.setTextEchoMode(QLineEdit::Password);
        dialog.setLabelText(text);
        if (QLabel* label = dialog.findChild<QLabel*>()) label->setTextFormat(Qt::PlainText);
        ok = dialog.exec() == QDialog::Accepted;
        if (ok) typed = dialog.textValue();
    }
    QByteArray bytes = typed.toUtf8();
    wipe(typed);
    std::optional<vault::SecretText> phrase;
    if (ok) phrase.emplace(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    wipe(bytes);
    return phrase;
}

QString dataFileProblemText(const vault::DataFileProblem& problem) {
    const QString path = QString::fromLocal8Bit(problem.path());
    auto tr = [](const char* text) { return QCoreApplication::translate("Keyfold", text); };
    switch (problem.kind()) {
    case vault::DataFileProblem::Kind::ChangedByOtherCopy:
        return tr(
            "Another copy of Keyfold has changed your data file since this list was read, so "
            "nothing was saved. Click Refresh to read the list again, then make your change "
            "once more.");
    case vault::DataFileProblem::Kind::ReplacedByOtherCopy:
        return tr(
            "Another copy of Keyfold has replaced your data file since this list was read (it may "
            "have been sealed, unsealed or written anew, under the same key phrase or another), so "
            "nothing was saved. Close Keyfold and start it again to read the file as it is now.");
    case vault::DataFileProblem::Kind::Busy:
        return tr(
            "Another copy of Keyfold is writing your data file right now, so nothing was "
            "saved. Please try again in a moment.");
    case vault::DataFileProblem::Kind::TooLarge:
        return tr("This file is far larger than any Keyfold data file and was not read: %1").arg(path);
    case vault::DataFileProblem::Kind::LinkUnreachable:
        return tr("Your data file is a link to %1, which cannot be reached (is its drive attached?). "
                  "No new data file was created.")
            .arg(path);
    case vault::DataFileProblem::Kind::Damaged:
        return tr("The sealed data file %1 has been damaged or altered, so Keyfold does not read it and "
                  "nothing was saved. Keep the file as it is and use a backup copy.")
            .arg(path);
    case vault::DataFileProblem::Kind::NewerVersion:
        return tr("The sealed data file %1 was made by a newer version of Keyfold, so this version does not "
                  "read it and nothing was saved. The file was left as it is: open it with the newer version.")
            .arg(path);
    }
    return QString::fromLocal8Bit(problem.what());
}

void runGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const vault::DataFileProblem& problem) {
        const bool otherCopy = problem.kind() == vault::DataFileProblem::Kind::ChangedByOtherCopy ||
                               problem.kind() == vault::DataFileProblem::Kind::ReplacedByOtherCopy ||
                               problem.kind() == vault::DataFileProblem::Kind::Busy;
        if (otherCopy)
            showWarning(dataFileProblemText(problem));
        else
            showError(dataFileProblemText(problem));
    } catch (const std::exception& e) {
        showError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showError(QStringLiteral("An unexpected error occurred."));
    }
}

namespace testing {

void expectBox(BoxKind kind, const QString& text, bool answer, const QString& typed) {
    state().active = true;
    state().queue.push_back({kind, text, answer, typed});
}

QStringList takeFailures() {
    QStringList f = state().failures;
    state().failures.clear();
    return f;
}

int pendingCount() { return static_cast<int>(state().queue.size()); }

void reset() {
    TestState& s = state();
    s.active = true;
    s.queue.clear();
    s.failures.clear();
}

bool active() { return state().active; }

QMessageBox* makeBox(BoxKind kind, const QString& text) { return buildBox(kind, text).release(); }

}  // namespace testing

}  // namespace platform
