#include "cli/clip.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QTimer>

namespace {
volatile std::sig_atomic_t stopRequested = 0;
void onSignal(int) { stopRequested = 1; }
}  // namespace

extern "C" __attribute__((visibility("default"))) QCoreApplication* keyfold_cli_clip_application(int* argc,
                                                                                                 char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) return nullptr;
    return new QGuiApplication(*argc, argv);
}

extern "C" __attribute__((visibility("default"))) int keyfold_cli_clip(const char* programName, const char* utf8Text,
                                                                       int seconds, const char* what, void (*held)()) {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app) {
        std::fprintf(stderr, "%s: no display to reach the clipboard through\n", programName);
        return 1;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    QObject scope;  // the connections below end with this call

    QString text = QString::fromUtf8(utf8Text);
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    QPointer<QMimeData> ours = data;
    clipboard->setMimeData(data, QClipboard::Clipboard);

    if (held) held();
    if (what && seconds > 0)
        std::fprintf(stderr, "%s copied to the clipboard; cleared in %d s (Ctrl+C clears it now).\n", what, seconds);
    else if (what)
        std::fprintf(stderr,
                     "%s copied to the clipboard; it stays until something else is copied (Ctrl+C clears it).\n", what);

    // Another program's copy ends the wait: there is nothing of ours left to clear.
    QObject::connect(clipboard, &QClipboard::dataChanged, &scope, [&] {
        if (clipboard->mimeData(QClipboard::Clipboard) != ours.data()) app->quit();
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &scope, [&] {
        if (stopRequested) app->quit();
    });
    poll.start(100);
    QTimer delay;
    delay.setSingleShot(true);
    QObject::connect(&delay, &QTimer::timeout, &scope, [&] { app->quit(); });
    if (seconds > 0) delay.start(seconds * 1000);
    app->exec();

    // Only our own copy goes: anything copied since stays.
    if (ours && clipboard->mimeData(QClipboard::Clipboard) == ours.data()) {
        clipboard->clear(QClipboard::Clipboard);
        if (what) std::fprintf(stderr, "Clipboard cleared.\n");
    }
    if (clipboard->supportsSelection() && !text.isEmpty() && clipboard->text(QClipboard::Selection) == text)
        clipboard->clear(QClipboard::Selection);
    text.fill(QChar(0));
    return 0;
}
