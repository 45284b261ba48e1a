#include "windows/KeyPhraseDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include "platform/windows1252lineedit.h"
#include "platform/appdata.h"
#include "platform/messages.h"
#include "platform/userkey.h"
#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/keyphrase.h"
#include "vault/locations.h"
#include "vault/secret.h"
#include "vault/session.h"
#include "vault/text.h"
#include "ui_KeyPhraseDialog.h"
#include "windows/FormSupport.h"

using platform::fromWindows1252;
using platform::guarded;

namespace {

const char* const kFirstRunText =
    QT_TRANSLATE_NOOP("KeyPhraseDialog",
                      "This is your first time running. An empty file will now be generated and you can then "
                      "begin entering your website information on the next screen.  Click the ADD button to add "
                      "to your list.");
const char* const kChangeSectionText =
    QT_TRANSLATE_NOOP("KeyPhraseDialog",
                      "This section is to change your password encryption phrase. Enter your old and new phrase, "
                      "make sure you type is correctly.");
const char* const kNoFileText = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog", "File does not exist. If storing file remotely, then make sure it is currently accessible.");
const char* const kVerifyQuestion =
    QT_TRANSLATE_NOOP("KeyPhraseDialog",
                      "Verify the line below to make sure it is readable. This is to make sure you have entered "
                      "your old password phrase successfully. It is recommended you print or save your old "
                      "password list temporarily before changing your password encryption phrase in case a "
                      "mistake is made. Click YES to continue, or NO to cancel this");
// An empty or cut-off old data file is left alone rather than half converted.
const char* const kLegacyNotConvertedText =
    QT_TRANSLATE_NOOP("KeyPhraseDialog", "The old data file %1 could not be converted and was left as it was.");
const char* const kCancelledText = QT_TRANSLATE_NOOP("KeyPhraseDialog", "Nothing changed, you have chosen cancel");
const char* const kCompletedText =
    QT_TRANSLATE_NOOP("KeyPhraseDialog", "Conversion complete. Enter your new password phrase and click \"Continue\"");

// A phrase that does not open the data file: nothing is shown or written under it.
const char* const kSealedRefusesText =
    QT_TRANSLATE_NOOP("KeyPhraseDialog",
                      "This key phrase does not open the sealed data file %1.\n\nCheck the phrase (letter case "
                      "counts) and try again.");
// A file of the first sealed format cannot tell a wrong phrase from damage.
const char* const kSealedRefusesOrDamagedText =
    QT_TRANSLATE_NOOP("KeyPhraseDialog",
                      "The sealed data file %1 does not open under this key phrase: either the phrase is not the "
                      "file's, or the file has been damaged or altered (a file sealed by an earlier version of "
                      "Keyfold cannot tell which).\n\nCheck the phrase (letter case counts) and try again. If you "
                      "are sure of it, keep the file as it is and use a backup copy.");
const char* const kNoAddressReadsText = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog",
    "This key phrase does not seem to open the data file %1: under it, no entry's website "
    "address holds http:// or https://, as every address Keyfold stores does. Check the phrase (letter case "
    "counts) and try again.\n\nOnly if the entries were stored without http:// or https:// (a file converted "
    "from an old version), open the file anyway under this phrase.");
const char* const kMistypedText = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog",
    "This key phrase does not seem to open the data file %1: under it, the entries read as if a character of "
    "the phrase were mistyped. Check the phrase (letter case counts) and try again.\n\nOnly if you are sure "
    "that this is the phrase the file was stored under, open the file anyway under it.");
const char* const kOldPhraseWrongText =
    QT_TRANSLATE_NOOP("KeyPhraseDialog",
                      "The old key phrase does not open the data file, so nothing was changed. Check the old "
                      "phrase and try again.");
const char* const kBothFilesText =
    QT_TRANSLATE_NOOP("KeyPhraseDialog",
                      "Keyfold uses the sealed data file %1.\n\nThe plain data file %2 lies beside it. Keyfold "
                      "leaves it as it is; delete it yourself once you are sure you no longer need it.");
const char* const kOldPhraseAgainText = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog", "Type your old key phrase once more, to make sure the data file is changed from the right one.");
const char* const kOldPhraseDiffersText =
    QT_TRANSLATE_NOOP("KeyPhraseDialog",
                      "The old key phrase typed again is not the one in the box, so nothing was changed. Check "
                      "the old phrase and try again.");
// A phrase that cannot be used: what is wrong with it, then what to do where the
// dialog stays open, or, when the title bar's button took it, that Keyfold ends.
const char* const kPhraseCharactersReason =
    QT_TRANSLATE_NOOP("KeyPhraseDialog", "The key phrase holds characters that Keyfold's data file cannot hold: %1.");
const char* const kPhraseCharactersRetry = QT_TRANSLATE_NOOP("KeyPhraseDialog", "Please type the phrase without them.");
const char* const kPhraseZeroReason = QT_TRANSLATE_NOOP("KeyPhraseDialog", "The key phrase holds a zero character.");
const char* const kPhraseZeroRetry = QT_TRANSLATE_NOOP("KeyPhraseDialog", "Please type it again.");
const char* const kPhraseControlReason = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog",
    "The key phrase holds a line break, a tab or another control character, which a key phrase cannot hold "
    "(a pasted text of more than one line brings one).");
const char* const kPhraseControlRetry =
    QT_TRANSLATE_NOOP("KeyPhraseDialog", "Please type the phrase on one line, without them.");
const char* const kPhraseTooLongReason =
    QT_TRANSLATE_NOOP("KeyPhraseDialog", "The key phrase is longer than 255 characters.");
const char* const kPhraseTooLongRetry = QT_TRANSLATE_NOOP("KeyPhraseDialog", "Please type a shorter one.");
const char* const kProgramEndsText =
    QT_TRANSLATE_NOOP("KeyPhraseDialog", "Keyfold ends now, and nothing was shown or written.");
// The file's refusals, when the dialog was closed with the title bar's button.
const char* const kSealedRefusesEndingText =
    QT_TRANSLATE_NOOP("KeyPhraseDialog",
                      "This key phrase does not open the sealed data file %1.\n\nKeyfold ends now, and nothing was "
                      "shown or written. At the next start, check the phrase (letter case counts).");
const char* const kNoAddressReadsEndingText = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog",
    "This key phrase does not seem to open the data file %1: under it, no entry's website address holds http:// or "
    "https://, as every address Keyfold stores does. Unless you open the file anyway, Keyfold ends now, and nothing "
    "was shown or written; at the next start, check the phrase (letter case counts).\n\nOnly if the entries were "
    "stored without http:// or https:// (a file converted from an old version), open the file anyway under this "
    "phrase.");
const char* const kMistypedEndingText = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog",
    "This key phrase does not seem to open the data file %1: under it, the entries read as if a character of the "
    "phrase were mistyped. Unless you open the file anyway, Keyfold ends now, and nothing was shown or written; at "
    "the next start, check the phrase (letter case counts).\n\nOnly if you are sure that this is the phrase the "
    "file was stored under, open the file anyway under it.");

// The box's phrase as every part of Keyfold takes it (trimmed, Windows-1252), or
// nothing after saying why it cannot be used (programEnds: Keyfold then ends, so the
// message asks for no new try).
std::optional<vault::SecretText> phraseOf(QLineEdit* box, bool programEnds = false) {
    QByteArray typed = box->text().toUtf8();
    vault::KeyPhraseText phrase = vault::keyPhraseFromUtf8(std::string_view(typed.constData(), typed.size()));
    vault::wipeBytes(typed.data(), static_cast<std::size_t>(typed.size()));
    auto refuse = [programEnds](const char* reason, const char* retry) {
        return QCoreApplication::translate("KeyPhraseDialog", reason) + QLatin1Char(' ') +
               QCoreApplication::translate("KeyPhraseDialog", programEnds ? kProgramEndsText : retry);
    };
    switch (phrase.problem) {
    case vault::PhraseProblem::None: return std::move(phrase.text);
    case vault::PhraseProblem::NotWindows1252:
        platform::showWarning(refuse(kPhraseCharactersReason, kPhraseCharactersRetry)
                                  .arg(QString::fromStdString(vault::describeCharacters(phrase.missing))));
        break;
    case vault::PhraseProblem::ZeroByte: platform::showWarning(refuse(kPhraseZeroReason, kPhraseZeroRetry)); break;
    case vault::PhraseProblem::ControlCharacter:
        platform::showWarning(refuse(kPhraseControlReason, kPhraseControlRetry));
        break;
    case vault::PhraseProblem::TooLong: platform::showWarning(refuse(kPhraseTooLongReason, kPhraseTooLongRetry)); break;
    }
    return std::nullopt;
}

// The old phrase typed once more before a plain file is re-keyed (a sealed file's tag
// proves its phrase): false, after saying why, when it differs or the user cancels.
bool oldPhraseConfirmed(std::string_view oldPhrase) {
    switch (forms::askPhraseAgain(QCoreApplication::translate("KeyPhraseDialog", kOldPhraseAgainText), oldPhrase)) {
    case forms::PhraseAgain::Same: return true;
    case forms::PhraseAgain::Differs:
        platform::showWarning(QCoreApplication::translate("KeyPhraseDialog", kOldPhraseDiffersText));
        return false;
    case forms::PhraseAgain::Cancelled:
        platform::showPlain(QCoreApplication::translate("KeyPhraseDialog", kCancelledText));
        return false;
    }
    return false;
}

}  // namespace

KeyPhraseDialog::KeyPhraseDialog(vault::Session* session, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::KeyPhraseDialog>()), session_(session) {
    if (!session_) {
        ownSession_ = std::make_unique<vault::Session>(vault::locateFiles(platform::appDataFolder()));
        session_ = ownSession_.get();
    }
    forms::buildForm(this, [this] { ui->setupUi(this); });
    // The panel's labels take the width of their texts.
    for (QLabel* label : {oldPhraseLabel(), newPhraseLabel(), verifyLabel()}) label->adjustSize();
    // Texts keep readable where the font is wider than the designed one.
    for (QCheckBox* box : {showTypedBox(), changePhraseBox()}) {
        const int wanted = box->sizeHint().width();
        if (wanted > box->width()) box->resize(wanted, box->height());
    }
    // No default and no cancel button: Enter presses only a button that has the focus,
    // Escape does nothing.
    forms::setKeyRules(this, {.enter = forms::KeyRules::Enter::FocusedButton, .escapeDoesNothing = true});

    connect(showTypedBox(), &QCheckBox::toggled, this, guarded([this] { showTypedCharacters(); }));
    connect(changePhraseBox(), &QCheckBox::toggled, this, guarded([this] { toggleChangePanel(); }));
    connect(continueButton(), &QPushButton::clicked, this, guarded([this] { continueWithPhrase(); }));
    connect(verifyButton(), &QPushButton::clicked, this, guarded([this] { changeKeyPhrase(); }));
    // The session may outlive the dialog (the main window's): then its keys are still
    // derived off the window's thread.
    session_->setKeyWork([dialog = QPointer<KeyPhraseDialog>(this)](const std::function<void()>& work) {
        if (dialog)
            dialog->deriveKey(work);
        else
            forms::runOffWindowThread(work);
    });
}

void KeyPhraseDialog::deriveKey(const std::function<void()>& work) {
    struct Busy {
        KeyPhraseDialog* dialog;
        bool continueOn;
        bool verifyOn;
        ~Busy() {
            dialog->derivingKey_ = false;
            dialog->continueButton()->setEnabled(continueOn);
            dialog->verifyButton()->setEnabled(verifyOn);
        }
    } busy{this, continueButton()->isEnabled(), verifyButton()->isEnabled()};
    derivingKey_ = true;
    continueButton()->setEnabled(false);
    verifyButton()->setEnabled(false);
    forms::runOffWindowThread(work);
}

void KeyPhraseDialog::prepare() {
    // A legacy file that cannot be converted is reported; the dialog still opens, so a
    // phrase is taken and the list loads.
    platform::runGuarded([this] {
        if (session().convertLegacyFile() == vault::LegacyResult::NotConverted)
            platform::showWarning(tr(kLegacyNotConvertedText).arg(platform::displayPath(session().paths().legacyFile)));
    });
    changePhraseBox()->setChecked(false);
    changePanel()->setEnabled(false);
    showTypedBox()->setChecked(false);
    if (const std::optional<bool> shown = platform::readUserKeyBool(QStringLiteral("CheckFirstScreen")))
        showTypedBox()->setChecked(*shown);
    showTypedCharacters();
    if (QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    phraseEdit()->setFocus();
}

KeyPhraseDialog::~KeyPhraseDialog() = default;

QLineEdit* KeyPhraseDialog::phraseEdit() const { return ui->EdKeyContinue; }
QPushButton* KeyPhraseDialog::continueButton() const { return ui->Button1; }
QCheckBox* KeyPhraseDialog::showTypedBox() const { return ui->CheckBox1; }
QCheckBox* KeyPhraseDialog::changePhraseBox() const { return ui->ChkChange; }
QFrame* KeyPhraseDialog::changePanel() const { return ui->PanelChange; }
QLineEdit* KeyPhraseDialog::oldPhraseEdit() const { return ui->EdOld; }
QLineEdit* KeyPhraseDialog::newPhraseEdit() const { return ui->EdNew; }
QPushButton* KeyPhraseDialog::verifyButton() const { return ui->Cmdverify; }
platform::Windows1252LineEdit* KeyPhraseDialog::verifyLineEdit() const { return ui->EdVerify; }
QLabel* KeyPhraseDialog::oldPhraseLabel() const { return ui->Label2; }
QLabel* KeyPhraseDialog::newPhraseLabel() const { return ui->Label4; }
QLabel* KeyPhraseDialog::verifyLabel() const { return ui->Label3; }

vault::Session& KeyPhraseDialog::session() { return *session_; }

void KeyPhraseDialog::run() {
    prepare();
    exec();
}

void KeyPhraseDialog::showTypedCharacters() {
    phraseEdit()->setEchoMode(showTypedBox()->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void KeyPhraseDialog::toggleChangePanel() { changePanel()->setEnabled(changePhraseBox()->isChecked()); }

void KeyPhraseDialog::continueWithPhrase() {
    if (!session().dataFileExists()) {
        if (createWithBoxPhrase()) {
            close();
            return;
        }
        if (!session().dataFileExists()) return;  // the phrase was refused, and said so
    }
    if (openWithBoxPhrase()) close();
}

bool KeyPhraseDialog::createWithBoxPhrase() {
    vault::Session& s = session();
    s.refuseUnreachableLink();
    // The phrase first: one that cannot be used leaves no file behind.
    std::optional<vault::SecretText> phrase = phraseOf(phraseEdit());
    if (!phrase) return false;
    platform::showPlain(tr(kFirstRunText));
    s.setKeyPhrase(*phrase);
    // A sealed file's key is derived off the window's thread, as for opening.
    // Another copy made the file meanwhile: the phrase must open that one.
    if (s.createDataFile(s.newFileKind()) == vault::CreateOutcome::AlreadyThere) return false;
    phraseEdit()->setText(fromWindows1252(*phrase));
    phraseOpened_ = true;
    return true;
}

bool KeyPhraseDialog::openWithBoxPhrase(bool programEnds) {
    std::optional<vault::SecretText> phrase = phraseOf(phraseEdit(), programEnds);
    if (!phrase) return false;
    // The box shows the trimmed phrase once the file has been found readable.
    auto showTrimmed = [&] { phraseEdit()->setText(fromWindows1252(*phrase)); };
    vault::Session& s = session();
    // A sealed file's key takes about half a second, derived off the window's thread.
    const vault::PhraseOutcome outcome = s.openWithPhrase(*phrase, showTrimmed);
    switch (outcome) {
    case vault::PhraseOutcome::Opened: break;
    case vault::PhraseOutcome::SealedFileRefuses:
        platform::showWarning(
            tr(programEnds ? kSealedRefusesEndingText : kSealedRefusesText).arg(platform::displayPath(s.sealedFile())));
        return false;
    case vault::PhraseOutcome::SealedFileRefusesOrDamaged:
        platform::showWarning(tr(kSealedRefusesOrDamagedText).arg(platform::displayPath(s.sealedFile())));
        return false;
    case vault::PhraseOutcome::NoAddressReads:
    case vault::PhraseOutcome::Mistyped: {
        const bool mistyped = outcome == vault::PhraseOutcome::Mistyped;
        const char* text = mistyped ? (programEnds ? kMistypedEndingText : kMistypedText)
                                    : (programEnds ? kNoAddressReadsEndingText : kNoAddressReadsText);
        if (!platform::askOpenAnyway(tr(text).arg(platform::displayPath(s.paths().dataFile)))) return false;
        if (s.openWithPhrase(*phrase, showTrimmed, vault::PhraseCheck::Skipped) != vault::PhraseOutcome::Opened)
            return false;
        break;
    }
    }
    phraseOpened_ = true;
    if (s.isSealed() && s.plainFileExists())
        platform::showInformation(
            tr(kBothFilesText).arg(platform::displayPath(s.sealedFile()), platform::displayPath(s.paths().dataFile)));
    return true;
}

void KeyPhraseDialog::takePhraseOnClose() {
    // The close button takes the phrase as Continue does. Without a data file there is
    // nothing to open yet: the list's load offers to create one.
    if (!phraseOpened_) {
        // A phrase that fails here ends Keyfold: what is said about it asks for no new try.
        if (session().dataFileExists()) {
            if (!openWithBoxPhrase(true)) return;
        } else if (std::optional<vault::SecretText> phrase = phraseOf(phraseEdit(), true)) {
            session().setKeyPhrase(*phrase);
            phraseOpened_ = true;
        } else {
            return;
        }
    }
    if (!phraseSetEmitted_) {
        phraseSetEmitted_ = true;
        platform::runGuarded([this] { emit phraseSet(); });
    }
    platform::writeUserKeyBool(QStringLiteral("CheckFirstScreen"), showTypedBox()->isChecked());
}

void KeyPhraseDialog::changeKeyPhrase() {
    std::optional<vault::SecretText> oldText = phraseOf(oldPhraseEdit());
    if (!oldText) return;
    std::optional<vault::SecretText> newText = phraseOf(newPhraseEdit());
    if (!newText) return;
    const vault::SecretText oldPhrase = std::move(*oldText);
    const vault::SecretText newPhrase = std::move(*newText);
    oldPhraseEdit()->setText(fromWindows1252(oldPhrase));
    newPhraseEdit()->setText(fromWindows1252(newPhrase));
    verifyLineEdit()->clear();
    vault::Session& s = session();
    if (!newPhrase.empty() && s.plainFileExists() && !s.sealedFileExists() && !oldPhraseConfirmed(oldPhrase)) return;
    const vault::RekeyOutcome result = session().rekey(oldPhrase, newPhrase, [this](const std::string& verifyLine) {
        verifyLineEdit()->setText(fromWindows1252(verifyLine));
        return platform::askYesNo(tr(kVerifyQuestion));
    });
    switch (result) {
    case vault::RekeyOutcome::NewPhraseMissing: platform::showPlain(tr(kChangeSectionText)); return;
    case vault::RekeyOutcome::NoDataFile: platform::showPlain(tr(kNoFileText)); return;
    case vault::RekeyOutcome::Cancelled: platform::showPlain(tr(kCancelledText)); return;
    case vault::RekeyOutcome::Completed: platform::showPlain(tr(kCompletedText)); return;
    case vault::RekeyOutcome::OldPhraseWrong: platform::showWarning(tr(kOldPhraseWrongText)); return;
    }
}

void KeyPhraseDialog::closeEvent(QCloseEvent* e) {
    // Closing waits while a key is being derived: the phrase is still being tried.
    if (derivingKey_) {
        e->ignore();
        return;
    }
    // A phrase that does not open the data file ends the dialog without a list: Keyfold
    // then ends, and nothing was shown or written.
    platform::runGuarded([this] { takePhraseOnClose(); });
    e->accept();
}
