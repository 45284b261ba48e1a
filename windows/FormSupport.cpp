#include "windows/FormSupport.h"

#include <QPainter>
#include <QVariant>
#include <qdrawutil.h>

namespace forms {

void applyPixelFontSizes(QWidget* form) {
    QList<QWidget*> widgets = form->findChildren<QWidget*>();
    widgets.prepend(form);
    for (QWidget* widget : widgets) {
        bool ok = false;
        const int pixels = widget->property("pixelFontSize").toInt(&ok);
        if (!ok || pixels <= 0) continue;
        QFont font = widget->font();
        font.setPixelSize(pixels);
        widget->setFont(font);
    }
}

}  // namespace forms

void BevelPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    qDrawShadePanel(&p, r, palette(), true, 2);
    qDrawShadePanel(&p, r.adjusted(2, 2, -2, -2), palette(), true, 2);
}
