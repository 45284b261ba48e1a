#include "platform/browser_process.h"

#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>
#include <utility>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "platform/browser_host.h"
#include "platform/messages.h"
#include "vault/text.h"

#ifndef KEYFOLD_INSTALL_LIBDIR
#define KEYFOLD_INSTALL_LIBDIR "lib"
#endif

namespace platform {
namespace {

const char* const kEndedMessage = QT_TRANSLATE_NOOP(
    "BrowserWindow",
    "The browser window ended unexpectedly. Your password list is unchanged; use \"Open Within\" to open "
    "the site again.");
const char* const kNotStartedMessage = QT_TRANSLATE_NOOP("BrowserWindow", "The browser window could not be started.");

QString text(const char* english) { return QCoreApplication::translate("BrowserWindow", english); }

// Where the browser window's program may be: beside the program (the build folder, the
// installed package), then the installed library folder relative to the program's.
QString programPath() {
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString file = QString::fromLatin1(kBrowserProgram);
    const QStringList candidates = {
        QDir(appDir).filePath(file),
        QDir::cleanPath(appDir + QStringLiteral("/../") + QStringLiteral(KEYFOLD_INSTALL_LIBDIR) +
                        QStringLiteral("/keyfold/") + file),
    };
    for (const QString& path : candidates)
        if (QFile::exists(path)) return path;
    return candidates.first();
}

// A started browser process and the program's end of its channel.
struct Child {
    QProcess* process = nullptr;  // owned by the application object
    int socket = -1;
};

Child startChild() {
    int sockets[2];
    if (!makeSocketPair(sockets)) throw std::runtime_error(text(kNotStartedMessage).toStdString());
    const int theirs = sockets[1];
    auto* process = new QProcess(qApp);
    process->setProgram(programPath());
    process->setArguments({QStringLiteral("--channel"), QString::number(theirs)});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setInputChannelMode(QProcess::ForwardedInputChannel);
    // Only the started program keeps its end open: every other program this one
    // starts (the default browser, a printer dialog's helpers) never sees it.
    process->setChildProcessModifier([theirs] { ::fcntl(theirs, F_SETFD, 0); });
    process->start();
    ::close(theirs);
    if (!process->waitForStarted(10000)) {
        const QString problem = process->errorString();
        ::close(sockets[0]);
        delete process;
        throw std::runtime_error((text(kNotStartedMessage) + QLatin1Char(' ') + problem).toStdString());
    }
    return {process, sockets[0]};
}

// The window open now, for the test hooks.
struct Open {
    BrowserHost* host = nullptr;
    QProcess* process = nullptr;
};

// The program's browser window processes: the one waiting for a window, and the one
// whose window is open. The application object holds them, under their name.
struct BrowserProcesses : QObject {
    Child waiting;
    Open open;
    QTimer quiet;  // runs while a process waits; when it fires, the process goes
    int quietMs = kBrowserQuietWhileMs;
};
constexpr const char* kProcessesName = "keyfold-browser-processes";

void dropStandby();

BrowserProcesses& processes() {
    QObject* app = QCoreApplication::instance();
    auto* found = app->findChild<BrowserProcesses*>(QLatin1String(kProcessesName), Qt::FindDirectChildrenOnly);
    if (!found) {
        found = new BrowserProcesses;
        found->setObjectName(QLatin1String(kProcessesName));
        found->setParent(app);
        found->quiet.setSingleShot(true);
        QObject::connect(&found->quiet, &QTimer::timeout, found, [] { dropStandby(); });
    }
    return *found;
}

// The waiting process is let go of: it ends by itself once its channel closes, and is
// ended if it has not gone a moment later.
void dropStandby() {
    Child& standby = processes().waiting;
    processes().quiet.stop();
    if (standby.socket >= 0) ::close(standby.socket);
    if (QProcess* process = standby.process) {
        if (process->state() == QProcess::NotRunning) {
            process->deleteLater();
        } else {
            QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
            QTimer::singleShot(5000, process, &QProcess::kill);
        }
    }
    standby = {};
}

// The waiting process when it still runs, or a new one.
Child takeChild() {
    processes().quiet.stop();
    Child child = std::exchange(processes().waiting, {});
    if (child.process && child.process->state() == QProcess::Running) return child;
    if (child.socket >= 0) ::close(child.socket);
    if (child.process) child.process->deleteLater();
    return startChild();
}

// While the browser window is open the main window takes no input, as under a modal
// window; it keeps painting, and the window's requests are answered meanwhile.
class InputBlock : public QObject {
public:
    explicit InputBlock(QWidget* owner) : owner_(owner) {
        if (owner_) qApp->installEventFilter(this);
    }
    ~InputBlock() override {
        if (owner_) qApp->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!owner_ || !watched->isWidgetType()) return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() != owner_.data()) return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd: return true;
        case QEvent::Close:
            if (widget != owner_.data()) return false;
            event->ignore();
            return true;
        default: return false;
        }
    }

private:
    QPointer<QWidget> owner_;
};

void runWindow(const BrowseRequest& request) {
    Child child = takeChild();
    auto host = std::make_unique<BrowserHost>(child.socket, request);
    if (!host->open()) {
        // The waiting process ended meanwhile: a new one.
        child.process->deleteLater();
        child = startChild();
        host = std::make_unique<BrowserHost>(child.socket, request);
        if (!host->open()) {
            child.process->kill();
            child.process->deleteLater();
            throw std::runtime_error(text(kNotStartedMessage).toStdString());
        }
    }
    QProcess* process = child.process;
    processes().open = {host.get(), process};
    bool crashed = false;
    {
        InputBlock block(request.owner);
        QEventLoop loop;
        QObject::connect(process, &QProcess::finished, &loop, [&](int status, QProcess::ExitStatus how) {
            crashed = how == QProcess::CrashExit || status != 0;
            loop.quit();
        });
        // A process that has let go of its channel has closed its window: it gets a
        // moment to end before it is ended.
        QTimer stuck;
        stuck.setSingleShot(true);
        QObject::connect(&stuck, &QTimer::timeout, process, &QProcess::kill);
        QObject::connect(host.get(), &BrowserHost::ended, &stuck, [&stuck] { stuck.start(5000); });
        if (process->state() != QProcess::NotRunning) loop.exec();
        if (process->state() == QProcess::NotRunning && !crashed)
            crashed = process->exitStatus() == QProcess::CrashExit || process->exitCode() != 0;
    }
    processes().open = {};
    process->deleteLater();
    if (crashed) {
        showWarning(text(kEndedMessage));
        return;
    }
    // A next window is often wanted soon (the next entry's site): one waits for it,
    // for the quiet while.
    warmBrowserProcess();
}

}  // namespace

QString trimControls(const QString& text) {
    // In UTF-8 the codes 0 to 32 are single bytes that no other character contains, so
    // the vault's trim of 8-bit text trims the same characters here.
    return QString::fromStdString(vault::trim(text.toStdString()));
}

QString noWebsiteMessage() {
    return text(QT_TRANSLATE_NOOP("BrowserWindow", "There is no website address listed in the website box"));
}

void openBrowserWindow(const BrowseRequest& request) {
    runGuarded([&] {
        if (trimControls(request.website).isEmpty()) {
            showPlain(noWebsiteMessage());
            return;
        }
        runWindow(request);
    });
}

// At the program's end a process still waiting is let go of: it ends by itself when
// its channel closes (rather than being killed with a warning).
static void endStandby() {
    QProcess* process = processes().waiting.process;
    processes().quiet.stop();
    Child& standby = processes().waiting;
    if (standby.socket >= 0) ::close(standby.socket);
    standby = {};
    if (process && process->state() != QProcess::NotRunning && !process->waitForFinished(3000)) process->kill();
}

void warmBrowserProcess() {
    BrowserProcesses& held = processes();
    // While a window is open, its close starts the next one.
    if (held.open.process) return;
    held.quiet.start(held.quietMs);
    if (held.waiting.process && held.waiting.process->state() == QProcess::Running) return;
    dropStandby();
    held.quiet.start(held.quietMs);
    // Once: taken out before it is put in.
    qRemovePostRoutine(endStandby);
    qAddPostRoutine(endStandby);
    try {
        held.waiting = startChild();
    } catch (const std::exception&) {
        // Nothing is said now: the opening tries again and reports it.
    }
}

namespace testing {
qint64 browserProcessId() {
    const Open& open = processes().open;
    return open.process ? open.process->processId() : 0;
}
qint64 waitingProcessId() {
    const Child& waiting = processes().waiting;
    return waiting.process && waiting.process->state() != QProcess::NotRunning ? waiting.process->processId() : 0;
}
void setQuietWhile(int ms) { processes().quietMs = ms; }
bool browserWindowShown() {
    const Open& open = processes().open;
    return open.host && open.host->shown();
}
void closeBrowserWindow() {
    if (BrowserHost* host = processes().open.host) host->requestClose();
}
}  // namespace testing

}  // namespace platform
