#include "platform/browser_host.h"

#include <QUrl>

#include "platform/clipboard.h"
#include "platform/samesite.h"
#include "platform/secret.h"

namespace platform {

namespace {

// The text's UTF-8 bytes; the caller wipes them.
QByteArray bytesOf(const QString& text) { return text.toUtf8(); }

}  // namespace

BrowserHost::BrowserHost(int socket, const BrowseRequest& request, QObject* parent)
    : QObject(parent),
      channel_(socket),
      name_(request.name),
      website_(trimControls(request.website)),
      user_(ownCopy(request.user)),
      password_(ownCopy(request.password)),
      masked_(request.masked) {
    connect(&channel_, &Channel::received, this, [this](const Message& message) { handle(message); });
    connect(&channel_, &Channel::closed, this, &BrowserHost::ended);
}

BrowserHost::~BrowserHost() {
    wipe(user_);
    wipe(password_);
}

bool BrowserHost::open() {
    Message message{browsermessage::kOpen, bytesOf(name_),
                    bytesOf(website_),     bytesOf(user_),
                    bytesOf(password_),    masked_ ? QByteArrayLiteral("1") : QByteArrayLiteral("0")};
    const bool sent = channel_.send(message);
    wipe(message);
    return sent;
}

void BrowserHost::requestClose() { channel_.send({browsermessage::kClose}); }

void BrowserHost::handle(const Message& message) {
    if (message.isEmpty()) return;
    const QByteArray& kind = message.first();
    if (kind == browsermessage::kShown) {
        shown_ = true;
    } else if (kind == browsermessage::kFill && message.size() == 2) {
        answerFill(message.at(1));
    } else if (kind == browsermessage::kCopy && message.size() == 2) {
        QString text = QString::fromUtf8(message.at(1));
        copySecret(text);
        wipe(text);
    }
}

// The window checked the page against the entry's site before it asked; the check is
// made here again on the address it reports, so a window that is wrong about the page
// (or no longer ours to trust) gets nothing for another site.
void BrowserHost::answerFill(const QByteArray& page) {
    const QUrl pageUrl(QString::fromUtf8(page), QUrl::StrictMode);
    if (!pageUrl.isValid() || !sameSite(addressToUrl(website_), pageUrl)) {
        ++fillsRefused_;
        channel_.send({browsermessage::kRefused});
        return;
    }
    ++fillsAnswered_;
    Message message{browsermessage::kValues, bytesOf(user_), bytesOf(password_)};
    channel_.send(message);
    wipe(message);
}

}  // namespace platform
