#include "platform/browser_module.h"

#include <stdexcept>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QStringList>

#include "platform/messages.h"

#ifndef KEYFOLD_INSTALL_LIBDIR
#define KEYFOLD_INSTALL_LIBDIR "lib"
#endif

namespace platform {
namespace {

// Where the browser library may be: beside the program (the build folder), then the
// installed library folder relative to the program's bin folder.
QStringList moduleCandidates() {
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString file = QStringLiteral("libkeyfold_browser.so");
    return {
        QDir(appDir).filePath(file),
        QDir::cleanPath(appDir + QStringLiteral("/../") + QStringLiteral(KEYFOLD_INSTALL_LIBDIR) +
                        QStringLiteral("/keyfold/") + file),
    };
}

// Qt WebEngine warns on loading that it should have been set up before the
// application object; the browser library does that set-up itself (the shared OpenGL
// context), so the warning says nothing true here and is left out.
QtMessageHandler previousHandler = nullptr;
void withoutPluginWarning(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QLatin1String("Qt WebEngine seems to be initialized from a plugin"))) return;
    previousHandler(type, context, text);
}

bool loadQuietly(QLibrary& library) {
    previousHandler = qInstallMessageHandler(withoutPluginWarning);
    const bool loaded = library.load();
    qInstallMessageHandler(previousHandler);
    return loaded;
}

BrowserEntry loadEntry() {
    static BrowserEntry entry = nullptr;
    if (entry) return entry;
    QStringList problems;
    for (const QString& path : moduleCandidates()) {
        if (!QFile::exists(path)) continue;
        // The library stays loaded for the rest of the run (QLibrary never unloads
        // on destruction).
        QLibrary library(path);
        if (!loadQuietly(library)) {
            problems << library.errorString();
            continue;
        }
        entry = reinterpret_cast<BrowserEntry>(library.resolve(kBrowserEntryName));
        if (entry) return entry;
        problems << library.errorString();
    }
    QString text = QStringLiteral("The browser window could not be loaded.");
    if (!problems.isEmpty()) text += QLatin1Char(' ') + problems.join(QLatin1Char(' '));
    throw std::runtime_error(text.toStdString());
}

}  // namespace

void openBrowserWindow(const BrowseRequest& request) {
    runGuarded([&] { loadEntry()(&request); });
}

}  // namespace platform
