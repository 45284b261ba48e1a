// Whether a page belongs to the web site of an entry, for the login auto-fill.
#pragma once
#include <QUrl>

namespace platform {

// True when the page may receive the entry's user ID and password: its host has the
// same registrable domain as the entry's (from the Public Suffix List, so
// "login.bank.co.uk" is on "bank.co.uk" but "other.co.uk" is not), an IP address only
// matches itself on the same port (the scheme's own when none is given: two ports of
// one address are usually two services), a host that is itself a public suffix only
// matches itself, and an entry on https never fills a page that is not on https.
// Addresses without a host (local files) match only each other, under the same scheme.
bool sameSite(const QUrl& entry, const QUrl& page);

// The address of an entry's website box as the browser window reads it: a full address
// as it stands, anything else ("www.example.com") the way an address bar reads it.
QUrl addressToUrl(const QString& address);

}  // namespace platform
