#include "platform/samesite.h"

#include <QHostAddress>
#include <libpsl.h>

namespace platform {
namespace {

const psl_ctx_t* suffixList() {
    // The list the system keeps up to date, or the one built into the library when it
    // is older or missing. Kept for the whole run.
    static const psl_ctx_t* const list = [] {
        const psl_ctx_t* latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    return list;
}

// The host in lower case, without the dot that may end a fully qualified name.
QString hostOf(const QUrl& url) {
    QString host = url.host(QUrl::FullyDecoded).toLower();
    if (host.endsWith(QLatin1Char('.'))) host.chop(1);
    return host;
}

// The registrable domain of a name, empty when the name is itself a public suffix.
QByteArray registrableDomain(const QString& host) {
    const psl_ctx_t* list = suffixList();
    if (!list) return {};
    const QByteArray name = host.toUtf8();
    const char* domain = psl_registrable_domain(list, name.constData());
    return domain ? QByteArray(domain) : QByteArray();
}

// The port the address names, or its scheme's own when it names none.
int effectivePort(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    int fallback = -1;
    if (scheme == QLatin1String("http") || scheme == QLatin1String("ws")) fallback = 80;
    if (scheme == QLatin1String("https") || scheme == QLatin1String("wss")) fallback = 443;
    if (scheme == QLatin1String("ftp")) fallback = 21;
    return url.port(fallback);
}

}  // namespace

bool sameSite(const QUrl& entry, const QUrl& page) {
    const QString entryScheme = entry.scheme().toLower();
    const QString pageScheme = page.scheme().toLower();
    if (entryScheme == QLatin1String("https") && pageScheme != QLatin1String("https")) return false;

    const QString entryHost = hostOf(entry);
    const QString pageHost = hostOf(page);
    if (entryHost.isEmpty() || pageHost.isEmpty())
        return entryHost.isEmpty() && pageHost.isEmpty() && entryScheme == pageScheme;

    const QHostAddress entryAddress(entryHost);
    const QHostAddress pageAddress(pageHost);
    if (!entryAddress.isNull() || !pageAddress.isNull())
        return !entryAddress.isNull() && !pageAddress.isNull() && entryAddress.isEqual(pageAddress) &&
               effectivePort(entry) == effectivePort(page);

    if (entryHost == pageHost) return true;
    const QByteArray entryDomain = registrableDomain(entryHost);
    return !entryDomain.isEmpty() && entryDomain == registrableDomain(pageHost);
}

QUrl addressToUrl(const QString& address) {
    const bool full = address.contains(QStringLiteral("://")) || address.startsWith(QStringLiteral("about:"));
    return full ? QUrl(address) : QUrl::fromUserInput(address);
}

}  // namespace platform
