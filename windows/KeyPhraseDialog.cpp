#include "windows/KeyPhraseDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "platform/ansi.h"
#include "platform/appdata.h"
#include "platform/messages.h"
#include "platform/userkey.h"
#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/locations.h"
#include "vault/secret.h"
#include "vault/session.h"
#include "vault/text.h"
#include "ui_KeyPhraseDialog.h"
#include "windows/FormSupport.h"

using platform::AnsiLineEdit;
using platform::fromAnsi;
using platform::guarded;
using platform::toAnsi;

namespace {

const char* const kFirstRunText = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog", "This is your first time running. An empty file will now be generated and you can then "
    "begin entering your website information on the next screen.  Click the ADD button to add "
    "to your list.");
const char* const kChangeSectionText = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog", "This section is to change your password encryption phrase. Enter your old and new phrase, "
    "make sure you type is correctly.");
const char* const kNoFileText = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog", "File does not exist. If storing file remotely, then make sure it is currently accessible.");
const char* const kVerifyQuestion = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog", "Verify the line below to make sure it is readable. This is to make sure you have entered "
    "your old password phrase successfully. It is recommended you print or save your old "
    "password list temporarily before changing your password encryption phrase in case a "
    "mistake is made. Click YES to continue, or NO to cancel this");
// An empty or cut-off old data file is left alone rather than half converted.
const char* const kLegacyNotConvertedText = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog", "The old data file %1 could not be converted and was left as it was.");
const char* const kCancelledText = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog", "Nothing changed, you have chosen cancel");
const char* const kCompletedText = QT_TRANSLATE_NOOP(
    "KeyPhraseDialog", "Conversion complete. Enter your new password phrase and click \"Continue\"");

std::string trimmedBox(AnsiLineEdit* box) {
    std::string text = toAnsi(box->text());
    vault::WipeAtScopeEnd wipe(text);
    return vault::Trim(text);
}

}  // namespace

KeyPhraseDialog::KeyPhraseDialog(vault::Session* session, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::KeyPhraseDialog>()), session_(session) {
    if (!session_) {
        ownSession_ = std::make_unique<vault::Session>(vault::LocateFiles(platform::appDataFolder()));
        session_ = ownSession_.get();
    }
    forms::buildForm(this, [this] { ui->setupUi(this); });
    // The panel's labels take the width of their texts.
    for (QLabel* label : {ui->Label2, ui->Label4, ui->Label3}) label->adjustSize();
    // Texts keep readable where the font is wider than the designed one.
    for (QCheckBox* box : {ui->CheckBox1, ui->ChkChange}) {
        const int wanted = box->sizeHint().width();
        if (wanted > box->width()) box->resize(wanted, box->height());
    }
    // No default and no cancel button: Enter presses only a button that has the focus,
    // Escape does nothing.
    forms::setKeyRules(this, {.enter = forms::KeyRules::Enter::FocusedButton, .escapeDoesNothing = true});

    connect(ui->CheckBox1, &QCheckBox::toggled, this, guarded([this] { showTypedCharacters(); }));
    connect(ui->ChkChange, &QCheckBox::toggled, this, guarded([this] { toggleChangePanel(); }));
    connect(ui->Button1, &QPushButton::clicked, this, guarded([this] { continueWithPhrase(); }));
    connect(ui->Cmdverify, &QPushButton::clicked, this, guarded([this] { changeKeyPhrase(); }));
}

void KeyPhraseDialog::prepare() {
    // A legacy file that cannot be converted is reported; the dialog still opens, so a
    // phrase is taken and the list loads.
    platform::runGuarded([this] {
        if (session().convertLegacyFile() == vault::LegacyResult::NotConverted)
            platform::showWarning(tr(kLegacyNotConvertedText)
                                      .arg(QString::fromLocal8Bit(session().paths().legacyFile)));
    });
    ui->ChkChange->setChecked(false);
    ui->PanelChange->setEnabled(false);
    ui->CheckBox1->setChecked(false);
    if (const std::optional<bool> shown = platform::readUserKeyBool(QStringLiteral("CheckFirstScreen")))
        ui->CheckBox1->setChecked(*shown);
    showTypedCharacters();
    if (QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    ui->EdKeyContinue->setFocus();
}

KeyPhraseDialog::~KeyPhraseDialog() = default;

vault::Session& KeyPhraseDialog::session() { return *session_; }

void KeyPhraseDialog::run() {
    prepare();
    exec();
}

void KeyPhraseDialog::showTypedCharacters() {
    ui->EdKeyContinue->setEchoMode(ui->CheckBox1->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void KeyPhraseDialog::toggleChangePanel() { ui->PanelChange->setEnabled(ui->ChkChange->isChecked()); }

void KeyPhraseDialog::continueWithPhrase() {
    if (!session().dataFileExists()) {
        session().refuseUnreachableLink();
        platform::showPlain(tr(kFirstRunText));
        session().createDataFile();
    }
    std::string phrase = trimmedBox(ui->EdKeyContinue);
    vault::WipeAtScopeEnd wipe(phrase);
    // The box shows the trimmed phrase once the file has been found readable.
    session().openWithPhrase(phrase, [&] { ui->EdKeyContinue->setText(fromAnsi(phrase)); });
    close();
}

void KeyPhraseDialog::takePhraseOnClose() {
    // The box's text as it stands: after the close button it is not trimmed.
    {
        std::string phrase = toAnsi(ui->EdKeyContinue->text());
        vault::WipeAtScopeEnd wipe(phrase);
        session().setKeyPhrase(phrase);
    }
    if (!phraseSetEmitted_) {
        phraseSetEmitted_ = true;
        platform::runGuarded([this] { emit phraseSet(); });
    }
    platform::writeUserKeyBool(QStringLiteral("CheckFirstScreen"), ui->CheckBox1->isChecked());
}

void KeyPhraseDialog::changeKeyPhrase() {
    std::string oldPhrase = trimmedBox(ui->EdOld);
    std::string newPhrase = trimmedBox(ui->EdNew);
    vault::WipeAtScopeEnd wipe(oldPhrase, newPhrase);
    ui->EdOld->setText(fromAnsi(oldPhrase));
    ui->EdNew->setText(fromAnsi(newPhrase));
    ui->EdVerify->clear();
    const vault::RekeyOutcome result =
        session().rekey(oldPhrase, newPhrase, [this](const std::string& verifyLine) {
            ui->EdVerify->setText(fromAnsi(verifyLine));
            return platform::askYesNo(tr(kVerifyQuestion));
        });
    switch (result) {
    case vault::RekeyOutcome::NewPhraseMissing:
        platform::showPlain(tr(kChangeSectionText));
        return;
    case vault::RekeyOutcome::NoDataFile:
        platform::showPlain(tr(kNoFileText));
        return;
    case vault::RekeyOutcome::Cancelled:
        platform::showPlain(tr(kCancelledText));
        return;
    case vault::RekeyOutcome::Completed:
        platform::showPlain(tr(kCompletedText));
        return;
    }
}

void KeyPhraseDialog::closeEvent(QCloseEvent* e) {
    platform::runGuarded([this] { takePhraseOnClose(); });
    e->accept();
}
