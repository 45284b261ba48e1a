// The login auto-fill of the browser window ("Auto Fill Pwd "): writes the entry's
// user ID and password into the login forms of the page the view shows, when that
// page is on the entry's site.
#pragma once
#include <QString>

class BrowserView;

namespace autofill {

// The texts auto-fill writes into the page, captured when the window opens and
// overwritten when it closes, and the entry's website address captured with them:
// auto-fill writes only into pages of that site (sameSite).
struct Values {
    QString user;
    QString password;
    QString website;
};
Values& values();
// Overwrites the user ID and the password.
void forgetValues();

// One click: the user ID under the first user keyword whose walk writes something,
// then the password likewise. Returns false when the page is on another site and
// received nothing. The no-forms message shows at most once per click.
bool fillPage(BrowserView* view);

// Walks the forms of the page the view shows and writes value into every INPUT of a
// form whose name holds the keyword; true when at least one control was written.
// A page that is not on the site of values().website is not walked: false.
bool fillFormInputs(BrowserView* view, const QString& keyword, const QString& value);

}  // namespace autofill
