#include "platform/shell.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <QApplication>
#include <QWidget>
#include "platform/windows1252text.h"
#else
#include <memory>
#include <QDesktopServices>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QStandardPaths>
#include <QUrl>
#include <QVariant>
#include "platform/messages.h"
#endif

namespace platform {

#ifdef _WIN32

namespace testing {
int setOpenerWatchMs(QObject*, int ms) { return ms; }  // the shell answers at once; nothing is watched
}  // namespace testing

void shellOpen(const QString& target, QObject*, std::function<void()> onFailure, ShellShow show) {
    HWND owner = nullptr;
    if (QWidget* w = QApplication::activeWindow()) owner = reinterpret_cast<HWND>(w->winId());
    std::string file = toWindows1252(target);
    HINSTANCE r = ShellExecuteA(owner, "open", file.c_str(), nullptr, nullptr,
                                show == ShellShow::Maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(r) <= 32 && onFailure) onFailure();
}

#else

namespace {
constexpr int kOpenerWatchMs = 30000;
// A window may carry a watch of its own (tests shorten it); the others use the usual one.
constexpr char kOpenerWatchProperty[] = "keyfoldOpenerWatchMs";

int openerWatchMsFor(const QObject* context) {
    const QVariant own = context ? context->property(kOpenerWatchProperty) : QVariant();
    return own.isValid() ? own.toInt() : kOpenerWatchMs;
}
}  // namespace

namespace testing {
int setOpenerWatchMs(QObject* context, int ms) {
    const int before = openerWatchMsFor(context);
    context->setProperty(kOpenerWatchProperty, ms);
    return before;
}
}  // namespace testing

void shellOpen(const QString& target, QObject* context, std::function<void()> onFailure, ShellShow) {
    // Said only while the window that asked is there to say it.
    const QPointer<QObject> owner(context);
    auto fail = [owner, onFailure] {
        if (owner && onFailure) runGuarded(onFailure);
    };
    if (target.isEmpty()) return fail();
    // xdg-open is the desktop's own opener: it finds the default browser or the
    // program set up for the file's type. Qt's own route depends on the platform
    // plugin (some have no opener at all), so the opener is started directly.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        if (!QDesktopServices::openUrl(QUrl::fromUserInput(target))) fail();
        return;
    }

    // Owned by nobody: it deletes itself once the opener ends. An opener still running
    // when the program exits is left running, with the program it started.
    auto* process = new QProcess;
    process->setProgram(opener);
    process->setArguments({target});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    // An opener that hands the target to a program and returns does so within seconds,
    // on a cold desktop too; one still running after the watch has started a program
    // that stays open (a browser in the foreground): a success, left alone.
    auto watching = std::make_shared<bool>(true);
    QTimer::singleShot(openerWatchMsFor(context), process, [watching] { *watching = false; });
    // Exit status 0 is a success; 1 to 4 are xdg-open's failures (bad arguments, file
    // not found, no program for it, the program failed), and a crash is one too.
    QObject::connect(process, &QProcess::finished, process,
                     [process, watching, fail](int code, QProcess::ExitStatus status) {
                         process->deleteLater();
                         if (*watching && (status != QProcess::NormalExit || code != 0)) fail();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, fail](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        process->deleteLater();
        fail();
    });
    process->start();
}

#endif

}  // namespace platform
