// Controls built at their design places. Each gets its objectName, the window's own
// name for it, so tests and accessibility tools can find it.
#pragma once
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include "platform/windows1252lineedit.h"

namespace platform {

template <typename W>
W* placeControl(QWidget* parent, const char* name, int x, int y, int w, int h) {
    W* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

// An edit box; maxLength 0 sets no limit. The label describing it, when given, becomes
// its buddy and gives it its accessible name.
inline Windows1252LineEdit* placeEdit(QWidget* parent, const char* name, QLabel* label, int x, int y, int w, int h,
                                      int maxLength) {
    Windows1252LineEdit* e = placeControl<Windows1252LineEdit>(parent, name, x, y, w, h);
    if (maxLength > 0) e->setMaxLength(maxLength);
    if (label) {
        label->setBuddy(e);
        e->setAccessibleName(label->text().trimmed());
    }
    return e;
}

// A push button that Enter does not press unless it is made the window's default.
inline QPushButton* placeButton(QWidget* parent, const char* name, const QString& caption, const QString& hint, int x,
                                int y, int w, int h) {
    QPushButton* b = placeControl<QPushButton>(parent, name, x, y, w, h);
    b->setText(caption);
    if (!hint.isEmpty()) b->setToolTip(hint);
    b->setAutoDefault(false);
    return b;
}

// A label used as a link, for everyone: a click with the left button, or Space or
// Enter while it has the focus (it is in the Tab order), emits activated; accessibility
// tools see a link named by its text, whose press action emits activated too.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(QWidget* parent = nullptr);
    void activate() { emit activated(); }

signals:
    void activated();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
};

}  // namespace platform
