#include "windows/uabout.h"

#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <qdrawutil.h>

#include "platform/messages.h"

namespace keyfold {

QString aboutString(AboutText which) {
    // The program's string table for the about box.
    switch (which) {
    case AboutText::Ownership:
        return QStringLiteral("Keyfold is a product of Quorvel Software.");
    case AboutText::Version:
        return QStringLiteral("Version 2.41");
    case AboutText::Rights:
        return QStringLiteral("Copyright \u00A9 Quorvel Software. All rights reserved.");
    case AboutText::Disclaimer1:
        return QStringLiteral("Keyfold is provided as is, without warranty of any kind.");
    case AboutText::Disclaimer2:
        return QStringLiteral(
            "Quorvel Software is not liable for any loss or damage that comes from using "
            "Keyfold, including lost or forgotten key phrases, lost or damaged data files, "
            "or access that others gain to your accounts.");
    case AboutText::Disclaimer3:
        return QStringLiteral(
            "Keep a copy of your data file in a safe place, and remember your key phrase: "
            "it is never stored and cannot be recovered.");
    }
    return {};
}

}  // namespace keyfold

namespace {

// A panel drawn with two lowered bevels, each two pixels wide.
class BevelPanel : public QFrame {
public:
    explicit BevelPanel(QWidget* parent) : QFrame(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QRect r = rect();
        qDrawShadePanel(&p, r, palette(), true, 2);
        qDrawShadePanel(&p, r.adjusted(2, 2, -2, -2), palette(), true, 2);
    }
};

QLabel* makeLabel(QWidget* parent, const char* name, int top, int width, int height,
                  bool wrap) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(12);
    label->setFont(font);
    label->setWordWrap(wrap);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(9, top, width, height);
    return label;
}

}  // namespace

TFrmabout::TFrmabout(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Frmabout"));
    setWindowTitle(QStringLiteral("About Keyfold"));
    setModal(true);
    setFixedSize(496, 274);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(224, 224, 224));
    setPalette(pal);

    Panel2 = new BevelPanel(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(8, 8, 481, 223);
    Panel2->setAutoFillBackground(true);
    QPalette panelPal = Panel2->palette();
    panelPal.setColor(QPalette::Window, QColor(204, 208, 244));
    Panel2->setPalette(panelPal);

    // Designed captions are placeholders; FormCreate puts the real texts in.
    LblCopy1 = makeLabel(Panel2, "LblCopy1", 10, 400, 15, false);
    LblCopy2 = makeLabel(Panel2, "LblCopy2", 26, 400, 15, false);
    LblCopy3 = makeLabel(Panel2, "LblCopy3", 42, 408, 15, false);
    Label2 = makeLabel(Panel2, "Label2", 77, 80, 15, false);
    QFont underlined = Label2->font();
    underlined.setUnderline(true);
    Label2->setFont(underlined);
    Label2->setText(QStringLiteral("Disclaimer :"));
    Label2->adjustSize();
    LblInfo1 = makeLabel(Panel2, "LblInfo1", 94, 440, 15, false);
    LblInfo2 = makeLabel(Panel2, "LblInfo2", 109, 440, 57, true);
    LblInfo3 = makeLabel(Panel2, "LblInfo3", 165, 448, 37, true);

    Button1 = new QPushButton(QStringLiteral("Ok"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(414, 237, 75, 22);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, platform::guarded([this] { Button1Click(); }));

    FormCreate();
}

void TFrmabout::FormCreate() {
    using keyfold::AboutText;
    LblCopy1->setText(keyfold::aboutString(AboutText::Ownership));
    LblCopy2->setText(keyfold::aboutString(AboutText::Version));
    LblCopy3->setText(keyfold::aboutString(AboutText::Rights));
    LblInfo1->setText(keyfold::aboutString(AboutText::Disclaimer1));
    LblInfo2->setText(keyfold::aboutString(AboutText::Disclaimer2));
    LblInfo3->setText(keyfold::aboutString(AboutText::Disclaimer3));
}

void TFrmabout::Button1Click() { accept(); }

void TFrmabout::showEvent(QShowEvent* event) {
    // Centred on the screen the box appears on.
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}

void TFrmabout::keyPressEvent(QKeyEvent* event) {
    // The box has no cancel button: only "Ok" closes it, and Escape does nothing.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
