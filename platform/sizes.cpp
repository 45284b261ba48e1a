#include "platform/sizes.h"

#include <algorithm>
#include <QGuiApplication>
#include <QScreen>
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

namespace platform {

void applyStoredOuterSize(QWidget* w, int outerWidth, int outerHeight) {
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        const int frameW = w->frameGeometry().width() - w->width();
        const int frameH = w->frameGeometry().height() - w->height();
        // Every control shows: the window reaches past the farthest one by its margin.
        const QRect controls = w->childrenRect();
        const int minW = controls.isEmpty() ? 0 : controls.right() + 1 + std::max(0, controls.left()) + frameW;
        const int minH = controls.isEmpty() ? 0 : controls.bottom() + 1 + std::max(0, controls.top()) + frameH;
        // The screen comes first: a window larger than it cannot be used either.
        auto clamp = [](int value, int low, int high) { return std::max(std::min(value, high), std::min(low, high)); };
        if (outerWidth != 0) outerWidth = clamp(std::max(outerWidth, minW), minW, area.width());
        if (outerHeight != 0) outerHeight = clamp(std::max(outerHeight, minH), minH, area.height());
    }
    applyOuterSize(w, outerWidth, outerHeight);
}

}  // namespace platform
