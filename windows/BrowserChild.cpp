#include "windows/BrowserChild.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include "platform/browser_process.h"
#include "platform/channel.h"
#include "platform/messages.h"
#include "platform/secret.h"
#include "windows/AutoFill.h"
#include "windows/BrowserView.h"
#include "windows/BrowserWindow.h"

namespace {

namespace message = platform::browsermessage;

QString textOf(const QByteArray& field) { return QString::fromUtf8(field); }

// The window's request, taken from the opening message; false for anything else.
bool readOpening(const platform::Message& opening, platform::BrowseRequest& request) {
    if (opening.size() != 6 || opening.first() != message::kOpen) return false;
    request.name = textOf(opening.at(1));
    request.website = textOf(opening.at(2));
    request.user = textOf(opening.at(3));
    request.password = textOf(opening.at(4));
    request.masked = opening.at(5) == "1";
    return true;
}

QString failureText(const char* english) { return QCoreApplication::translate("BrowserWindow", english); }

// Asks the program for the values for this page and waits for its answer.
bool askForValues(platform::Channel* channel, const QUrl& page, QString& user, QString& password) {
    if (!channel->send({message::kFill, page.toString(QUrl::FullyEncoded).toUtf8()}))
        throw std::runtime_error(
            failureText(QT_TRANSLATE_NOOP("BrowserWindow", "Keyfold did not answer.")).toStdString());
    std::optional<platform::Message> answer = channel->next(kFillAnswerMs);
    if (!answer)
        throw std::runtime_error(
            failureText(QT_TRANSLATE_NOOP("BrowserWindow", "Keyfold did not answer.")).toStdString());
    bool given = false;
    if (answer->size() == 3 && answer->first() == message::kValues) {
        user = textOf(answer->at(1));
        password = textOf(answer->at(2));
        given = true;
    }
    platform::wipe(*answer);
    return given;
}

}  // namespace

int runBrowserProcess(platform::Channel& program) {
    platform::Channel* channel = &program;
    // Made while the person heads for the page: the window, its engine and a first page
    // process; the opening then only fills it in and shows it.
    auto window = std::make_unique<BrowserWindow>();
    window->warmUp();
    std::optional<platform::Message> opening = channel->next(-1);
    if (!opening) return 0;  // the program went without opening a window
    platform::BrowseRequest request;
    const bool readable = readOpening(*opening, request);
    platform::wipe(*opening);
    if (!readable) return 2;

    window->setFillSource([channel](const QUrl& page, QString& user, QString& password) {
        return askForValues(channel, page, user, password);
    });
    window->setCopyTarget([channel](const QString& text) {
        QByteArray bytes = text.toUtf8();
        channel->send({message::kCopy, bytes});
        platform::wipe(bytes);
    });
    platform::runGuarded([&] {
        // The window's own boxes show them; the fill values stay with the program.
        const bool opened = window->openFor(request);
        platform::wipe(request.user);
        platform::wipe(request.password);
        window->forgetFillValues();
        if (!opened) return;
        const QPointer<BrowserWindow> shown(window.get());
        const auto closeWindow = [shown] {
            if (shown) shown->close();
        };
        QObject::connect(channel, &platform::Channel::closed, window.get(), closeWindow);
        QObject::connect(channel, &platform::Channel::received, window.get(),
                         [closeWindow](const platform::Message& m) {
                             if (!m.isEmpty() && m.first() == message::kClose) closeWindow();
                         });
        if (!channel->isOpen()) return;
        // The program keeps its main window from input until the window has gone.
        QTimer::singleShot(0, window.get(), [channel] { channel->send({message::kShown}); });
        window->exec();
    });
    return 0;
}
