#include "platform/controls.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>

namespace platform {

namespace {

class LinkAccessible : public QAccessibleWidget {
public:
    explicit LinkAccessible(LinkLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<LinkLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString& name) override {
        if (name == pressAction())
            static_cast<LinkLabel*>(widget())->activate();
        else
            QAccessibleWidget::doAction(name);
    }
};

// Asked before Qt's own interfaces for a class of this name, so a link is a link.
QAccessibleInterface* linkFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(LinkLabel::staticMetaObject.className()))
        if (auto* label = qobject_cast<LinkLabel*>(object)) return new LinkAccessible(label);
    return nullptr;
}

}  // namespace

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(linkFactory);
        return true;
    }();
    (void)installed;
    setTextFormat(Qt::PlainText);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) {
        e->accept();
        emit activated();
        return;
    }
    QLabel::mouseReleaseEvent(e);
}

void LinkLabel::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
        e->accept();
        emit activated();
        return;
    }
    QLabel::keyPressEvent(e);
}

// A light highlight behind the text shows where the keyboard focus is.
void LinkLabel::focusInEvent(QFocusEvent* e) {
    QPalette pal = palette();
    QColor mark = pal.color(QPalette::Highlight);
    mark.setAlpha(60);
    pal.setColor(QPalette::Window, mark);
    setPalette(pal);
    setAutoFillBackground(true);
    QLabel::focusInEvent(e);
}

void LinkLabel::focusOutEvent(QFocusEvent* e) {
    setAutoFillBackground(false);
    QLabel::focusOutEvent(e);
}

}  // namespace platform
