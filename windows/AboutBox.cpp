#include "windows/AboutBox.h"

#include <QGuiApplication>
#include <QScreen>

#include "platform/messages.h"
#include "ui_AboutBox.h"
#include "windows/FormSupport.h"

namespace keyfold {

QString aboutString(AboutText which) {
    // The program's string table for the about box.
    switch (which) {
    case AboutText::Ownership: return AboutBox::tr("Keyfold is a product of Quorvel Software.");
    case AboutText::Version:
        // KEYFOLD_VERSION is the project's version, set in the top CMakeLists.txt.
        return AboutBox::tr("Version %1").arg(QStringLiteral(KEYFOLD_VERSION));
    case AboutText::Rights: return AboutBox::tr("Copyright \u00A9 Quorvel Software. All rights reserved.");
    case AboutText::Disclaimer1: return AboutBox::tr("Keyfold is provided as is, without warranty of any kind.");
    case AboutText::Disclaimer2:
        return AboutBox::tr(
            "Quorvel Software is not liable for any loss or damage that comes from using "
            "Keyfold, including lost or forgotten key phrases, lost or damaged data files, "
            "or access that others gain to your accounts.");
    case AboutText::Disclaimer3:
        return AboutBox::tr(
            "Keep a copy of your data file in a safe place, and remember your key phrase: "
            "it is never stored and cannot be recovered.");
    }
    return {};
}

}  // namespace keyfold

AboutBox::AboutBox(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), ui(std::make_unique<Ui::AboutBox>()) {
    forms::buildForm(this, [this] { ui->setupUi(this); });
    // The heading takes the width of its text.
    disclaimerHeading()->adjustSize();
    // The box has no cancel button: only "Ok" closes it, and Escape does nothing.
    forms::setKeyRules(this, {.escapeDoesNothing = true});
    connect(okButton(), &QPushButton::clicked, this, platform::guarded([this] { closeBox(); }));
    showTexts();
}

AboutBox::~AboutBox() = default;

// The labels' designed captions are placeholders; the texts come from the string table.
void AboutBox::showTexts() {
    using keyfold::AboutText;
    const AboutText texts[] = {AboutText::Ownership,   AboutText::Version,     AboutText::Rights,
                               AboutText::Disclaimer1, AboutText::Disclaimer2, AboutText::Disclaimer3};
    const std::array<QLabel*, 6> labels = textLabels();
    for (std::size_t i = 0; i < labels.size(); ++i) labels[i]->setText(keyfold::aboutString(texts[i]));
}

QLabel* AboutBox::disclaimerHeading() const { return ui->Label2; }
QPushButton* AboutBox::okButton() const { return ui->Button1; }
std::array<QLabel*, 6> AboutBox::textLabels() const {
    return {ui->LblCopy1, ui->LblCopy2, ui->LblCopy3, ui->LblInfo1, ui->LblInfo2, ui->LblInfo3};
}

void AboutBox::closeBox() { accept(); }

void AboutBox::showEvent(QShowEvent* event) {
    // Centred on the screen the box appears on.
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}
