// The login auto-fill of the browser window ("Auto Fill Pwd "): writes the entry's
// user ID and password into the login forms of the page the view shows, when that
// page is on the entry's site.
#pragma once
#include <functional>
#include <QString>

class QUrl;

class BrowserView;

namespace autofill {

// The texts auto-fill writes into a view's pages, captured when the window opens and
// overwritten when it closes, and the entry's website address captured with them:
// auto-fill writes only into pages of that site (sameSite). The view holds them
// (BrowserView::fillValues).
struct Values {
    QString user;
    QString password;
    QString website;
};

// Where a click takes the user ID and password from, when the view does not hold them:
// it is asked with the page's address, after the page has been found on the entry's
// site, and answers true with the values, or false when it refuses the page. It may
// throw std::runtime_error when it cannot answer. Without one, the click writes the
// view's values (BrowserView::setFillSource).
using ValueSource = std::function<bool(const QUrl& page, QString& user, QString& password)>;

// How a click ended.
enum class Outcome {
    FilledByForms,  // the keyword walks over the page's forms wrote something
    FilledByScan,   // they wrote nothing; the scan of the visible login boxes did
    UserIdFilled,   // the scan wrote the user ID alone: the page asks for the password later
    NothingFilled,  // neither found anything to write
    NoForms,        // nothing written, and the page has no FORM element at all
    OtherSite,      // the page is on another site and received nothing
    TimedOut        // the page did not answer in time; it keeps nothing of this click
};

// One click, in one script run: the user ID under the first user keyword whose walk
// writes something, then the password likewise; only when the walks write nothing at
// all, the scan. A page that does not answer in time gets both values or neither.
// Throws std::runtime_error when the page cannot be read.
Outcome fillPage(BrowserView* view);

// The message for a page without any form, when nothing was filled.
QString noFormsMessage();
// The message for a page that did not answer in time.
QString timedOutMessage();

// Walks the forms of the page the view shows and writes value into every INPUT of a
// form whose name holds the keyword; true when at least one control was written.
// A page that is not on the site of the view's website is not walked: false.
bool fillFormInputs(BrowserView* view, const QString& keyword, const QString& value);

}  // namespace autofill
