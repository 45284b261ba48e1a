#include "platform/sizes.h"

#include <QWidget>
#include "vault/settings.h"

namespace platform {

void SaveFormSize(QWidget* w, const std::string& section, const std::string& iniPath) {
    const QRect outer = w->frameGeometry();
    vault::SaveSize(section, iniPath, outer.width(), outer.height());
}

void applyOuterSize(QWidget* w, int outerWidth, int outerHeight) {
    // The frame (title bar, borders) is known once the window manager has framed the
    // window; before that the outer size is the client size.
    const int frameW = w->frameGeometry().width() - w->width();
    const int frameH = w->frameGeometry().height() - w->height();
    int width = w->width();
    int height = w->height();
    if (outerWidth != 0) width = outerWidth - frameW;
    if (outerHeight != 0) height = outerHeight - frameH;
    w->resize(width, height);
}

}  // namespace platform
