#include "windows/AutoFill.h"

#include <algorithm>
#include <utility>
#include <stdexcept>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QUrl>

#include "platform/messages.h"
#include "platform/secret.h"
#include "platform/samesite.h"
#include "windows/BrowserView.h"

namespace autofill {

namespace {

// The window's texts (auto-fill speaks as the browser window).
QString text(const char* english) { return QCoreApplication::translate("BrowserWindow", english); }
std::runtime_error failure(const char* english) { return std::runtime_error(text(english).toStdString()); }

const QStringList kUserKeywords = {"USER", "ACC", "LOGIN", "MAIL", "USR", "ID"};
const QStringList kPasswordKeywords = {"PASS", "PIN", "WORD", "PWD"};

const QString& clickScript() {
    static const QString script = [] {
        QFile file(QStringLiteral(":/keyfold/autofill.js"));
        if (!file.open(QIODevice::ReadOnly))
            throw failure(QT_TRANSLATE_NOOP("BrowserWindow", "The auto-fill script is missing."));
        return QString::fromUtf8(file.readAll());
    }();
    return script;
}

// The base64 form of the text's UTF-8 bytes; the bytes are wiped.
QByteArray encodedSecret(const QString& text) {
    QByteArray bytes = text.toUtf8();
    QByteArray encoded = bytes.toBase64();
    platform::wipe(bytes);
    return encoded;
}

struct Click {
    QStringList userKeywords;
    QStringList passwordKeywords;
    bool scan = false;
    const QString& user;
    const QString& password;
};

// Runs the click script on the page the control shows, when that page is on the
// entry's site; the script checks the page's address again before it writes, so a page
// that has changed meanwhile receives nothing either. Answers the script's answer, or
// { otherPage } for a page on another site.
QVariantMap runClick(BrowserView* view, const Click& click) {
    const QUrl page = view->url();
    if (!platform::sameSite(BrowserView::addressToUrl(view->fillValues().website), page))
        return {{QStringLiteral("otherPage"), true}};

    // The request reaches the page as JSON data and the values as the base64 form of
    // their UTF-8 bytes; the only text added to the script is base64, which cannot
    // close a string or start a statement. Every copy of a value made here is wiped.
    QString host = page.host(QUrl::FullyEncoded).toLower();
    if (host.contains(QLatin1Char(':'))) host = QLatin1Char('[') + host + QLatin1Char(']');
    // The script gives up a little before the program stops waiting, so that its
    // answer, with the page put back as it was, still arrives.
    const int timeout = view->scriptTimeoutMs();
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + timeout - std::min(250, timeout / 4);
    const QJsonObject request{{QStringLiteral("userKeywords"), QJsonArray::fromStringList(click.userKeywords)},
                              {QStringLiteral("passwordKeywords"), QJsonArray::fromStringList(click.passwordKeywords)},
                              {QStringLiteral("scan"), click.scan},
                              {QStringLiteral("protocol"), page.scheme().toLower() + QLatin1Char(':')},
                              {QStringLiteral("hostname"), host},
                              {QStringLiteral("port"), page.port(-1)},
                              {QStringLiteral("deadline"), double(deadline)}};
    const QByteArray encoded = QJsonDocument(request).toJson(QJsonDocument::Compact).toBase64();
    QByteArray user = encodedSecret(click.user);
    QByteArray password = encodedSecret(click.password);
    // Built in one buffer of the final size, so no partial copy is left behind.
    QString source;
    source.reserve(clickScript().size() + encoded.size() + user.size() + password.size() + 16);
    source += clickScript();
    source += QLatin1String("(\"");
    source += QLatin1String(encoded);
    source += QLatin1String("\", \"");
    source += QLatin1String(user);
    source += QLatin1String("\", \"");
    source += QLatin1String(password);
    source += QLatin1String("\")");
    platform::wipe(user);
    platform::wipe(password);

    bool answered = false;
    QVariantMap answer = view->runScript(source, &answered).toMap();
    platform::wipe(source);
    if (!answered) answer = {{QStringLiteral("late"), true}};
    if (answer.contains(QStringLiteral("failure")))
        throw std::runtime_error(answer.value(QStringLiteral("failure")).toString().toStdString());
    if (!answer.contains(QStringLiteral("late")) && !answer.contains(QStringLiteral("otherPage")) &&
        !answer.contains(QStringLiteral("formElements")))
        throw failure(QT_TRANSLATE_NOOP("BrowserWindow", "The page cannot be read."));
    return answer;
}

}  // namespace

QString noFormsMessage() {
    return text(
        QT_TRANSLATE_NOOP("BrowserWindow",
                          "There are no password boxes found on this webpage to fill. The most likely cause of this is "
                          "due to the webpage being setup in a way where the password box cannot be identified. You "
                          "can use the \"Copy for Pasting\" buttons at the top of this page, to easily copy and paste "
                          "your password on the website. (To paste into any website box, simply \"Right Click\" in the "
                          "box and choose paste)."));
}

QString timedOutMessage() { return text(QT_TRANSLATE_NOOP("BrowserWindow", "The page did not answer in time.")); }

// The values held here, or those the value source answers for this page; the latter
// are overwritten once the click has used them.
static QVariantMap runFullClick(BrowserView* view) {
    const Values& values = view->fillValues();
    if (!view->fillSource())
        return runClick(view, {kUserKeywords, kPasswordKeywords, true, values.user, values.password});
    const QUrl page = view->url();
    if (!platform::sameSite(BrowserView::addressToUrl(values.website), page))
        return {{QStringLiteral("otherPage"), true}};
    QString user, password;
    const auto wipeBoth = [&] {
        platform::wipe(user);
        platform::wipe(password);
    };
    try {
        if (!view->fillSource()(page, user, password)) {
            wipeBoth();
            return {{QStringLiteral("otherPage"), true}};
        }
        // The page may have moved on while the values were on their way.
        QVariantMap answer = view->url() == page
                                 ? runClick(view, {kUserKeywords, kPasswordKeywords, true, user, password})
                                 : QVariantMap{{QStringLiteral("otherPage"), true}};
        wipeBoth();
        return answer;
    } catch (...) {
        wipeBoth();
        throw;
    }
}

Outcome fillPage(BrowserView* view) {
    const QVariantMap answer = runFullClick(view);
    if (answer.contains(QStringLiteral("otherPage"))) return Outcome::OtherSite;
    if (answer.contains(QStringLiteral("late"))) return Outcome::TimedOut;
    switch (answer.value(QStringLiteral("pass")).toInt()) {
    case 1: return Outcome::FilledByForms;
    case 2: return Outcome::FilledByScan;
    case 3: return Outcome::UserIdFilled;
    default:
        return answer.value(QStringLiteral("formElements")).toInt() == 0 ? Outcome::NoForms : Outcome::NothingFilled;
    }
}

bool fillFormInputs(BrowserView* view, const QString& keyword, const QString& value) {
    const QVariantMap answer = runClick(view, {{keyword}, {}, false, value, QString()});
    if (answer.contains(QStringLiteral("late"))) throw std::runtime_error(timedOutMessage().toStdString());
    if (answer.contains(QStringLiteral("otherPage"))) return false;
    if (answer.value(QStringLiteral("formElements")).toInt() == 0) platform::showPlain(noFormsMessage());
    return answer.value(QStringLiteral("user")).toBool();
}

}  // namespace autofill
