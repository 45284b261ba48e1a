#include "platform/sizes.h"

#include <algorithm>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include "vault/settings.h"

namespace platform {

namespace {
// The screen comes first: a size larger than it cannot be used either.
int clampToScreen(int value, int low, int high) { return std::max(std::min(value, high), std::min(low, high)); }

QRect availableArea(QWidget* w) {
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}
}  // namespace

void saveFormSize(QWidget* w, const std::string& section, const std::string& iniPath) {
    const QRect outer = w->frameGeometry();
    vault::saveSize(section, iniPath, outer.width(), outer.height());
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
    if (const QRect area = availableArea(w); area.isValid()) {
        const int frameW = w->frameGeometry().width() - w->width();
        const int frameH = w->frameGeometry().height() - w->height();
        // Every control shows: the window reaches past the farthest one by its margin.
        const QRect controls = w->childrenRect();
        const int minW = controls.isEmpty() ? 0 : controls.right() + 1 + std::max(0, controls.left()) + frameW;
        const int minH = controls.isEmpty() ? 0 : controls.bottom() + 1 + std::max(0, controls.top()) + frameH;
        if (outerWidth != 0) outerWidth = clampToScreen(outerWidth, minW, area.width());
        if (outerHeight != 0) outerHeight = clampToScreen(outerHeight, minH, area.height());
    }
    applyOuterSize(w, outerWidth, outerHeight);
}

QSize storedAreaSize(QWidget* w, int width, int height) {
    if (const QRect area = availableArea(w); area.isValid()) {
        if (width != 0) width = clampToScreen(width, 1, area.width());
        if (height != 0) height = clampToScreen(height, 1, area.height());
    }
    return QSize(width, height);
}

}  // namespace platform
