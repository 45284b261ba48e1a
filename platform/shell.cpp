#include "platform/shell.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <QApplication>
#include <QWidget>
#include "platform/ansitext.h"
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

namespace {
// How long the opener may take to report a failure. An opener that hands the target
// to a program and returns does so well within it; one that is still running then has
// started a program that stays open (a browser in the foreground), which is a success.
constexpr int kOpenerWaitMs = 1000;
}  // namespace

bool shellOpen(const QString& target, ShellShow) {
    if (target.isEmpty()) return false;
    // xdg-open is the desktop's own opener: it finds the default browser or the
    // program set up for the file's type. Qt's own route depends on the platform
    // plugin (some have no opener at all), so the opener is started directly.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return QDesktopServices::openUrl(QUrl::fromUserInput(target));

    // Owned by nobody: it deletes itself once the opener ends. An opener still running
    // when the program exits is left running, with the program it started.
    auto* process = new QProcess;
    process->setProgram(opener);
    process->setArguments({target});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) process->deleteLater();
    });
    process->start();
    if (!process->waitForStarted(kOpenerWaitMs)) return false;
    // Exit status 0 is a success; 1 to 4 are xdg-open's failures (bad arguments, file
    // not found, no program for it, the program failed).
    if (process->waitForFinished(kOpenerWaitMs))
        return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    return true;
}

#endif

}  // namespace platform
