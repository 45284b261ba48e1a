#include "windows/Ukey.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "platform/ansi.h"
#include "platform/appdata.h"
#include "platform/controls.h"
#include "platform/messages.h"
#include "platform/userkey.h"
#include "vault/cipher.h"
#include "vault/datafile.h"
#include "vault/locations.h"
#include "vault/secret.h"
#include "vault/session.h"
#include "vault/text.h"
#include "windows/MainWindow.h"

using platform::AnsiLineEdit;
using platform::placeButton;
using platform::placeControl;
using platform::placeEdit;
using platform::fromAnsi;
using platform::guarded;
using platform::toAnsi;

namespace {

const char* const kFirstRunText =
    "This is your first time running. An empty file will now be generated and you can then "
    "begin entering your website information on the next screen.  Click the ADD button to add "
    "to your list.";
const char* const kChangeSectionText =
    "This section is to change your password encryption phrase. Enter your old and new phrase, "
    "make sure you type is correctly.";
const char* const kNoFileText =
    "File does not exist. If storing file remotely, then make sure it is currently accessible.";
const char* const kVerifyQuestion =
    "Verify the line below to make sure it is readable. This is to make sure you have entered "
    "your old password phrase successfully. It is recommended you print or save your old "
    "password list temporarily before changing your password encryption phrase in case a "
    "mistake is made. Click YES to continue, or NO to cancel this";
// An empty or cut-off old data file is left alone rather than half converted.
const char* const kLegacyNotConvertedText =
    "The old data file %1 could not be converted and was left as it was.";
const char* const kCancelledText = "Nothing changed, you have chosen cancel";
const char* const kCompletedText =
    "Conversion complete. Enter your new password phrase and click \"Continue\"";

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int x, int y) {
    QLabel* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    l->move(x, y);
    l->adjustSize();
    return l;
}

std::string trimmedBox(AnsiLineEdit* box) {
    std::string text = toAnsi(box->text());
    vault::WipeAtScopeEnd wipe(text);
    return vault::Trim(text);
}

}  // namespace

TFrmKey::TFrmKey(MainWindow* mainWindow, QWidget* parent) : QDialog(parent), main_(mainWindow) {
    if (!main_) ownSession_ = std::make_unique<vault::Session>(vault::LocateFiles(platform::appDataFolder()));
    setObjectName(QStringLiteral("FrmKey"));
    setWindowTitle(QStringLiteral("Encryption Key Phrase"));
    QFont f;
    f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"),
                   QStringLiteral("Arial")});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(11);
    setFont(f);
    setFixedSize(416, 396);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(18, 9, 377, 43);
    Label1->setWordWrap(true);
    Label1->setTextFormat(Qt::PlainText);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setText(QStringLiteral(
        "Enter a password phrase.  (This will encrypt your data).  You must use the same "
        "password everytime you use this software.  Leave it blank if you do not wish to use "
        "a password."));
    EdKeyContinue =
        placeEdit(this, "EdKeyContinue", Label1, 18, 61, 377, 21, kMaxPhraseLength);
    EdKeyContinue->setAccessibleName(QStringLiteral("Enter a password phrase."));
    // The password character is "*".
    EdKeyContinue->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    EdKeyContinue->setEchoMode(QLineEdit::Password);
    Button1 = placeButton(this, "Button1", QStringLiteral("Continue"), {}, 301, 86, 94, 25);
    CheckBox1 = placeControl<QCheckBox>(this, "CheckBox1", 34, 88, 183, 17);
    CheckBox1->setText(QStringLiteral("Show typed characters"));
    ChkChange = placeControl<QCheckBox>(this, "ChkChange", 18, 152, 221, 17);
    ChkChange->setText(QStringLiteral("Click here to change your key phrase"));

    PanelChange = placeControl<QFrame>(this, "PanelChange", 18, 177, 377, 200);
    PanelChange->setFrameShape(QFrame::Panel);
    PanelChange->setFrameShadow(QFrame::Raised);
    PanelChange->setAutoFillBackground(true);
    {
        QPalette pal = PanelChange->palette();
        pal.setColor(QPalette::Window, QColor(205, 205, 205));
        PanelChange->setPalette(pal);
    }
    QWidget* p = PanelChange;
    Label2 = makeLabel(p, "Label2", QStringLiteral("Enter old password phrase"), 16, 11);
    EdOld = placeEdit(p, "EdOld", Label2, 16, 27, 329, 21, kMaxPhraseLength);
    Label4 = makeLabel(p, "Label4", QStringLiteral("Enter new password phrase"), 16, 57);
    EdNew = placeEdit(p, "EdNew", Label4, 16, 75, 329, 21, kMaxPhraseLength);
    Cmdverify = placeButton(p, "Cmdverify", QStringLiteral("Verify"), {}, 270, 112, 75, 25);
    Label3 = makeLabel(p, "Label3", QStringLiteral("For verification only:"), 16, 130);
    EdVerify = placeEdit(p, "EdVerify", Label3, 16, 149, 329, 21, kMaxPhraseLength);

    // Texts keep readable where the font is wider than the designed one.
    for (QCheckBox* box : {CheckBox1, ChkChange}) {
        const int wanted = box->sizeHint().width();
        if (wanted > box->width()) box->resize(wanted, box->height());
    }

    setTabOrder(EdKeyContinue, Button1);
    setTabOrder(Button1, CheckBox1);
    setTabOrder(CheckBox1, ChkChange);
    setTabOrder(ChkChange, EdVerify);
    setTabOrder(EdVerify, EdOld);
    setTabOrder(EdOld, EdNew);
    setTabOrder(EdNew, Cmdverify);

    connect(CheckBox1, &QCheckBox::toggled, this, guarded([this] { CheckBox1Click(); }));
    connect(ChkChange, &QCheckBox::toggled, this, guarded([this] { ChkChangeClick(); }));
    connect(Button1, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
    connect(Cmdverify, &QPushButton::clicked, this, guarded([this] { CmdverifyClick(); }));
}

void TFrmKey::PrepareDialog() {
    // A legacy file that cannot be converted is reported; the dialog still opens, so a
    // phrase is taken and the list loads.
    platform::runGuarded([this] {
        if (session().convertLegacyFile() == vault::LegacyResult::NotConverted)
            platform::showWarning(QString::fromLatin1(kLegacyNotConvertedText)
                                      .arg(QString::fromLocal8Bit(session().paths().legacyFile)));
    });
    ChkChange->setChecked(false);
    PanelChange->setEnabled(false);
    CheckBox1->setChecked(false);
    if (const std::optional<bool> shown = platform::readUserKeyBool(QStringLiteral("CheckFirstScreen")))
        CheckBox1->setChecked(*shown);
    CheckBox1Click();
    if (QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    EdKeyContinue->setFocus();
}

TFrmKey::~TFrmKey() = default;

vault::Session& TFrmKey::session() { return main_ ? main_->session() : *ownSession_; }

void TFrmKey::FormCreate() {
    PrepareDialog();
    exec();
}

void TFrmKey::CheckBox1Click() {
    EdKeyContinue->setEchoMode(CheckBox1->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void TFrmKey::ChkChangeClick() { PanelChange->setEnabled(ChkChange->isChecked()); }

void TFrmKey::Button1Click() {
    if (!session().dataFileExists()) {
        session().refuseUnreachableLink();
        platform::showPlain(QString::fromLatin1(kFirstRunText));
        session().createDataFile();
    }
    std::string phrase = trimmedBox(EdKeyContinue);
    vault::WipeAtScopeEnd wipe(phrase);
    // The box shows the trimmed phrase once the file has been found readable.
    session().openWithPhrase(phrase, [&] { EdKeyContinue->setText(fromAnsi(phrase)); });
    close();
}

void TFrmKey::FormCloseQuery() {
    // The box's text as it stands: after the close button it is not trimmed.
    {
        std::string phrase = toAnsi(EdKeyContinue->text());
        vault::WipeAtScopeEnd wipe(phrase);
        session().setKeyPhrase(phrase);
    }
    if (!loaded_) {
        loaded_ = true;
        if (main_) platform::runGuarded([this] { main_->loadAtStart(); });
    }
    platform::writeUserKeyBool(QStringLiteral("CheckFirstScreen"), CheckBox1->isChecked());
}

void TFrmKey::CmdverifyClick() {
    std::string oldPhrase = trimmedBox(EdOld);
    std::string newPhrase = trimmedBox(EdNew);
    vault::WipeAtScopeEnd wipe(oldPhrase, newPhrase);
    EdOld->setText(fromAnsi(oldPhrase));
    EdNew->setText(fromAnsi(newPhrase));
    EdVerify->clear();
    const vault::RekeyOutcome result =
        session().rekey(oldPhrase, newPhrase, [this](const std::string& verifyLine) {
            EdVerify->setText(fromAnsi(verifyLine));
            return platform::askYesNo(QString::fromLatin1(kVerifyQuestion));
        });
    switch (result) {
    case vault::RekeyOutcome::NewPhraseMissing:
        platform::showPlain(QString::fromLatin1(kChangeSectionText));
        return;
    case vault::RekeyOutcome::NoDataFile:
        platform::showPlain(QString::fromLatin1(kNoFileText));
        return;
    case vault::RekeyOutcome::Cancelled:
        platform::showPlain(QString::fromLatin1(kCancelledText));
        return;
    case vault::RekeyOutcome::Completed:
        platform::showPlain(QString::fromLatin1(kCompletedText));
        return;
    }
}

void TFrmKey::closeEvent(QCloseEvent* e) {
    platform::runGuarded([this] { FormCloseQuery(); });
    e->accept();
}

void TFrmKey::keyPressEvent(QKeyEvent* e) {
    // No default and no cancel button: Enter presses only a button that has the focus,
    // Escape does nothing.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        if (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget());
            button && isAncestorOf(button))
            button->click();
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}
