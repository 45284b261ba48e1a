#include "platform/shell.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <QApplication>
#include <QWidget>
#include "platform/ansi.h"
#else
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#endif

namespace platform {

#ifdef _WIN32

bool shellOpen(const QString& target, ShellShow show) {
    HWND owner = nullptr;
    if (QWidget* w = QApplication::activeWindow()) owner = reinterpret_cast<HWND>(w->winId());
    std::string file = toAnsi(target);
    HINSTANCE r = ShellExecuteA(owner, "open", file.c_str(), nullptr, nullptr,
                                show == ShellShow::Maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(r) > 32;
}

#else

bool shellOpen(const QString& target, ShellShow) {
    if (target.isEmpty()) return false;
    // xdg-open is the desktop's own opener: it finds the default browser or the
    // program set up for the file's type. Qt's own route depends on the platform
    // plugin (some have no opener at all), so the opener is started directly.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty()) return QProcess::startDetached(opener, {target});
    return QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

#endif

}  // namespace platform
