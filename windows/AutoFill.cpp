#include "windows/AutoFill.h"

#include <stdexcept>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QUrl>

#include "platform/messages.h"
#include "platform/secret.h"
#include "windows/BrowserView.h"
#include "windows/samesite.h"

namespace autofill {

namespace {

// The window's texts (auto-fill speaks as the browser window).
QString text(const char* english) { return QCoreApplication::translate("BrowserWindow", english); }
std::runtime_error failure(const char* english) { return std::runtime_error(text(english).toStdString()); }

QString noFormsMessage() {
    return text(QT_TRANSLATE_NOOP(
        "BrowserWindow",
        "There are no password boxes found on this webpage to fill. The most likely cause of this is "
        "due to the webpage being setup in a way where the password box cannot be identified. You "
        "can use the \"Copy for Pasting\" buttons at the top of this page, to easily copy and paste "
        "your password on the website. (To paste into any website box, simply \"Right Click\" in the "
        "box and choose paste)."));
}

const QStringList kUserKeywords = {"USER", "ACC", "LOGIN", "MAIL", "USR", "ID"};
const QStringList kPasswordKeywords = {"PASS", "PIN", "WORD", "PWD"};

// The no-forms message has been shown during the current click.
bool noFormsMessageShown = false;

const QString& walkScript() {
    static const QString script = [] {
        QFile file(QStringLiteral(":/keyfold/autofill.js"));
        if (!file.open(QIODevice::ReadOnly)) throw failure(QT_TRANSLATE_NOOP("BrowserWindow", "The auto-fill script is missing."));
        return QString::fromUtf8(file.readAll());
    }();
    return script;
}

enum class Walk { NothingWritten, Written, OtherSite };

// One walk for one keyword, on the page the control shows, when that page is on the
// entry's site. The script checks the page's address again before it writes, so a
// page that has changed meanwhile receives nothing either.
Walk walkForms(BrowserView* view, const QString& keyword, const QString& value) {
    const QUrl page = view->url();
    if (!SameSite(BrowserView::addressToUrl(values().website), page)) return Walk::OtherSite;

    // The keyword reaches the page as JSON data and the value as the base64 form of its
    // UTF-8 bytes; the only text added to the script is base64, which cannot close a
    // string or start a statement. Every copy of the value made here is wiped.
    QString host = page.host(QUrl::FullyEncoded).toLower();
    if (host.contains(QLatin1Char(':'))) host = QLatin1Char('[') + host + QLatin1Char(']');
    const QJsonObject request{
        {QStringLiteral("keyword"), keyword},
        {QStringLiteral("protocol"), page.scheme().toLower() + QLatin1Char(':')},
        {QStringLiteral("hostname"), host},
        {QStringLiteral("deadline"), double(QDateTime::currentMSecsSinceEpoch() + BrowserView::scriptTimeoutMs)}};
    const QByteArray encoded = QJsonDocument(request).toJson(QJsonDocument::Compact).toBase64();
    QByteArray valueBytes = value.toUtf8();
    QByteArray encodedValue = valueBytes.toBase64();
    platform::wipe(valueBytes);
    // Built in one buffer of the final size, so no partial copy is left behind.
    QString source;
    source.reserve(walkScript().size() + encoded.size() + encodedValue.size() + 8);
    source += walkScript();
    source += QLatin1String("(\"");
    source += QLatin1String(encoded);
    source += QLatin1String("\", \"");
    source += QLatin1String(encodedValue);
    source += QLatin1String("\")");
    platform::wipe(encodedValue);

    bool answered = false;
    const QVariantMap answer = view->runScript(source, &answered).toMap();
    platform::wipe(source);
    if (!answered || answer.contains(QStringLiteral("late")))
        throw failure(QT_TRANSLATE_NOOP("BrowserWindow", "The page did not answer in time."));
    if (answer.contains(QStringLiteral("otherPage"))) return Walk::OtherSite;
    if (answer.contains(QStringLiteral("failure")))
        throw std::runtime_error(answer.value(QStringLiteral("failure")).toString().toStdString());
    if (!answer.contains(QStringLiteral("formElements"))) throw failure(QT_TRANSLATE_NOOP("BrowserWindow", "The page cannot be read."));

    if (answer.value(QStringLiteral("formElements")).toInt() == 0) {
        if (!noFormsMessageShown) {
            platform::showPlain(noFormsMessage());
            noFormsMessageShown = true;
        }
        return Walk::NothingWritten;
    }
    return answer.value(QStringLiteral("written")).toBool() ? Walk::Written : Walk::NothingWritten;
}

}  // namespace

Values& values() {
    static Values captured;
    return captured;
}

void forgetValues() {
    platform::wipe(values().user);
    platform::wipe(values().password);
}

bool fillPage(BrowserView* view) {
    noFormsMessageShown = false;
    auto walk = [view](const QStringList& keywords, const QString& value) {
        for (const QString& keyword : keywords) {
            const Walk result = walkForms(view, keyword, value);
            if (result == Walk::OtherSite) return false;
            if (result == Walk::Written) break;
        }
        return true;
    };
    return walk(kUserKeywords, values().user) && walk(kPasswordKeywords, values().password);
}

bool fillFormInputs(BrowserView* view, const QString& keyword, const QString& value) {
    return walkForms(view, keyword, value) == Walk::Written;
}

}  // namespace autofill
