#include "platform/clipboard.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QTimer>

#include "platform/appdata.h"
#include "platform/secret.h"
#include "vault/locations.h"
#include "vault/settings.h"

namespace platform {
namespace {

const QString kHintFormat = QStringLiteral("x-kde-passwordManagerHint");

// What the program last put on the clipboard. Lives as long as the application.
struct CopiedSecret : QObject {
    QPointer<QMimeData> data;  // Qt deletes it when something else takes the clipboard
    QString text;              // a buffer of its own, wiped when cleared
    QTimer timer;

    CopiedSecret() : QObject(QCoreApplication::instance()) {
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, [] { clearCopiedSecret(); });
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [] { clearCopiedSecret(); });
    }
    ~CopiedSecret() override { wipe(text); }
};

// The application object holds it, under its name.
constexpr const char* kCopiedSecretName = "keyfold-copied-secret";
CopiedSecret* current() {
    QObject* app = QCoreApplication::instance();
    return app ? app->findChild<CopiedSecret*>(QLatin1String(kCopiedSecretName), Qt::FindDirectChildrenOnly) : nullptr;
}

}  // namespace

int clipboardClearSeconds() { return vault::clipboardClearSeconds(vault::settingsFileFor(appDataFolder())); }

void copySecret(const QString& text) {
    CopiedSecret* secret = current();
    if (!secret) {
        secret = new CopiedSecret;
        secret->setObjectName(QLatin1String(kCopiedSecretName));
    }
    wipe(secret->text);
    secret->text = ownCopy(text);

    auto* data = new QMimeData;
    data->setText(secret->text);
    data->setData(kHintFormat, QByteArrayLiteral("secret"));
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    secret->data = data;

    const int seconds = clipboardClearSeconds();
    if (seconds > 0)
        secret->timer.start(seconds * 1000);
    else
        secret->timer.stop();
}

void clearCopiedSecret() {
    CopiedSecret* secret = current();
    if (!secret) return;
    secret->timer.stop();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (secret->data && clipboard->mimeData(QClipboard::Clipboard) == secret->data.data())
        clipboard->clear(QClipboard::Clipboard);
    // A clipboard manager may have copied it into the selection, or the user selected
    // it in a box: the same text there goes too.
    if (clipboard->supportsSelection() && !secret->text.isEmpty() &&
        clipboard->text(QClipboard::Selection) == secret->text)
        clipboard->clear(QClipboard::Selection);
    secret->data = nullptr;
    wipe(secret->text);
}

}  // namespace platform
