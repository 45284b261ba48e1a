// "Auto Fill Pwd " against the real engine on local pages: which controls of which
// forms receive the user ID and the password.
#include "autofill_test.h"

#include <QTcpServer>
#include <QTcpSocket>

#include "windows/samesite.h"

using namespace browsertest;

namespace {
const QString kNoForms = QStringLiteral(
    "There are no password boxes found on this webpage to fill. The most likely cause of this is "
    "due to the webpage being setup in a way where the password box cannot be identified. You "
    "can use the \"Copy for Pasting\" buttons at the top of this page, to easily copy and paste "
    "your password on the website. (To paste into any website box, simply \"Right Click\" in the "
    "box and choose paste).");
}  // namespace

void AutoFillTest::initTestCase() {
    QVERIFY(pages.isValid());
    window = std::make_unique<BrowserWindow>();
    window->show();
}

void AutoFillTest::init() {
    platform::testing::reset();
    autofill::values().user = QStringLiteral("alice@example.org");
    autofill::values().password = QStringLiteral("s3cret");
    autofill::values().website = QUrl::fromLocalFile(pages.filePath(QStringLiteral("login.html"))).toString();
}

void AutoFillTest::cleanupTestCase() { window.reset(); }

QJsonObject AutoFillTest::fillPage(const QString& name, const QString& body) {
    const QString address = writePage(pages, name, body);
    if (!loadAndWait(view(window.get()), address)) return {{QStringLiteral("load"), QStringLiteral("failed")}};
    button(window.get(), "BitBtn2")->click();
    return fieldValues(view(window.get()));
}

void AutoFillTest::loginFormsAreFilledByTheFirstMatchingKeyword() {
    // "USER" and "PASS" match: the later keywords (ACC, PIN) are never tried.
    QJsonObject v = fillPage("plain", R"(<form>
        <input id=u type=text name=username><input id=p type=password name=password>
        <input id=a name=account><input id=n name=pincode><input id=s type=submit value=Go></form>)");
    QCOMPARE(v["u"].toString(), "alice@example.org");
    QCOMPARE(v["p"].toString(), "s3cret");
    QCOMPARE(v["a"].toString(), "");
    QCOMPARE(v["n"].toString(), "");
    QCOMPARE(v["s"].toString(), "Go");

    // Only "MAIL" and "PWD" match, in any letter case.
    v = fillPage("mailpwd", R"(<form><input id=e name=Email><input id=p type=password name=pwd></form>)");
    QCOMPARE(v["e"].toString(), "alice@example.org");
    QCOMPARE(v["p"].toString(), "s3cret");

    // Every match in every form is written.
    v = fillPage("twoforms", R"(<form><input id=a name=user></form><p>
        <form><input id=b name=USER><input id=c name=user></form>)");
    QCOMPARE(v["a"].toString(), "alice@example.org");
    QCOMPARE(v["b"].toString(), "alice@example.org");
    QCOMPARE(v["c"].toString(), "alice@example.org");

    // A name holding both kinds ends with the password, written last.
    v = fillPage("both", R"(<form><input id=x name=userpassword></form>)");
    QCOMPARE(v["x"].toString(), "s3cret");

    // "ID" inside form_id wins although uname looks like the better field.
    v = fillPage("formid", R"(<form><input id=h type=hidden name=form_id value=f1>
        <input id=n name=uname><input id=p type=password name=pass></form>)");
    QCOMPARE(v["h"].toString(), "alice@example.org");
    QCOMPARE(v["n"].toString(), "");
    QCOMPARE(v["p"].toString(), "s3cret");
    QVERIFY(boxesAsExpected());
}

void AutoFillTest::onlyNamedInputsOfFormsAreWritten() {
    const QJsonObject v = fillPage("others", R"(<input id=outside name=username>
        <form><select id=sel name=username><option value=a>a</option><option value=alice@example.org>b</option></select>
        <textarea id=ta name=username></textarea><input id=noname type=text>
        <button id=btn name=userbutton value=keep>b</button>
        <input id=email name=email><input id=longs name="u&#383;er"></form>
        <form id=f2></form><input id=owned form=f2 name=login>)");
    QCOMPARE(v["outside"].toString(), "");
    QCOMPARE(v["sel"].toString(), "a");
    QCOMPARE(v["ta"].toString(), "");
    QCOMPARE(v["noname"].toString(), "");
    // Upper-casing touches a to z only: a long s does not turn "uſer" into "USER".
    QCOMPARE(v["longs"].toString(), "");
    QCOMPARE(v["email"].toString(), "");
    // A control outside the form's markup that names the form with form= is one of its
    // own: "LOGIN" writes it, so "MAIL" is never tried.
    QCOMPARE(v["owned"].toString(), "alice@example.org");
    QCOMPARE(runInPage(view(window.get()), "document.getElementById('btn').value").toString(), "keep");
    QVERIFY(boxesAsExpected());
}

void AutoFillTest::noFormsTellsOncePerClick() {
    platform::testing::expectBox(platform::BoxKind::Plain, kNoForms);
    fillPage("noforms", R"(<input id=u name=username><input id=p name=password>)");
    QVERIFY(boxesAsExpected());
    platform::testing::expectBox(platform::BoxKind::Plain, kNoForms);
    button(window.get(), "BitBtn2")->click();
    QVERIFY(boxesAsExpected());
    const QJsonObject v = fieldValues(view(window.get()));
    QCOMPARE(v["u"].toString(), "");
    QCOMPARE(v["p"].toString(), "");

    // Forms without a matching control: nothing written, nothing said.
    const QJsonObject w = fillPage("nomatch", R"(<form><input id=q name=q value=x><input id=c name=color></form>)");
    QCOMPARE(w["q"].toString(), "x");
    QCOMPARE(w["c"].toString(), "");
    QVERIFY(boxesAsExpected());
}

void AutoFillTest::emptyUserIdEmptiesTheFirstMatches() {
    autofill::values().user.clear();
    const QJsonObject v = fillPage("empty", R"(<form><input id=u name=user value=old>
        <input id=l name=login value=keep><input id=p name=pass></form>)");
    QCOMPARE(v["u"].toString(), "");
    QCOMPARE(v["l"].toString(), "keep");
    QCOMPARE(v["p"].toString(), "s3cret");
    QVERIFY(boxesAsExpected());
}

void AutoFillTest::failingControlEndsOnlyThatKeywordsWalk() {
    // The file input refuses a text: "USER" stops there, keeping user_a, and since it
    // wrote something the other user keywords are not tried.
    QJsonObject v = fillPage("file1", R"(<form><input id=a name=user_a><input id=f type=file name=user_file>
        <input id=b name=user_b><input id=l name=login></form><form><input id=c name=user_c>
        <input id=p type=password name=password></form>)");
    QCOMPARE(v["a"].toString(), "alice@example.org");
    QCOMPARE(v["b"].toString(), "");
    QCOMPARE(v["c"].toString(), "");
    QCOMPARE(v["l"].toString(), "");
    QCOMPARE(v["p"].toString(), "s3cret");
    QVERIFY(boxesAsExpected());

    // Failing before anything was written: the search goes on with "ACC", "LOGIN".
    v = fillPage("file2", R"(<form><input id=f type=file name=userfile><input id=u name=username>
        <input id=l name=login></form>)");
    QCOMPARE(v["u"].toString(), "");
    QCOMPARE(v["l"].toString(), "alice@example.org");
    QVERIFY(boxesAsExpected());
}

void AutoFillTest::valuesAreWrittenAsDataNeverRun() {
    autofill::values().user = QStringLiteral("\u00e9\u20ac\u2028 \"');window.pwned=1;//");
    autofill::values().password = QStringLiteral("\"'\\\"\\\\</script><script>window.pwned=2</script>${window.pwned=3}`");
    // A page that hides the document's and form's own properties behind names.
    const QJsonObject v = fillPage("hostile", R"(<img name=getElementsByTagName><form name=forms>
        <input id=len name=length><input id=el name=elements>
        <input id=u name=username><input id=p type=password name=password></form>)");
    QCOMPARE(v["u"].toString(), autofill::values().user);
    QCOMPARE(v["p"].toString(), autofill::values().password);
    QCOMPARE(v["len"].toString(), "");
    QCOMPARE(runInPage(view(window.get()), "typeof window.pwned").toString(), "undefined");
    bool answered = false;
    QCOMPARE(view(window.get())->runScript("typeof window.pwned", &answered).toString(), "undefined");
    QVERIFY(answered);
    QVERIFY(boxesAsExpected());
}

void AutoFillTest::valuesWereCapturedAtOpening() {
    // Edits in the window's own boxes do not change what is written.
    edit(window.get(), "EdUser")->setText(QStringLiteral("typed"));
    edit(window.get(), "EdPwd")->setText(QStringLiteral("typed"));
    const QJsonObject v = fillPage("captured", R"(<form><input id=u name=user><input id=p name=pass></form>)");
    QCOMPARE(v["u"].toString(), "alice@example.org");
    QCOMPARE(v["p"].toString(), "s3cret");
    QVERIFY(boxesAsExpected());
}
void AutoFillTest::pageThatDoesNotAnswerIsReported() {
    // The page keeps its thread busy: the walk cannot run, the click ends with the
    // error report, and a late answer does no harm.
    const int usual = BrowserView::scriptTimeoutMs;
    BrowserView::scriptTimeoutMs = 200;
    const QString address = writePage(pages, "busy", R"(<form><input id=u name=user></form><script>
        addEventListener('load', () => setTimeout(() => { const t = Date.now(); while (Date.now() - t < 1500); }, 0));
        </script>)");
    QVERIFY(loadAndWait(view(window.get()), address));
    QTest::qWait(100);
    platform::testing::expectBox(platform::BoxKind::Error, QStringLiteral("The page did not answer in time."));
    button(window.get(), "BitBtn2")->click();
    BrowserView::scriptTimeoutMs = usual;
    QVERIFY(boxesAsExpected());
    QCOMPARE(fieldValues(view(window.get()))["u"].toString(), "");
}

void AutoFillTest::sameSiteRule() {
    struct Case {
        const char* entry;
        const char* page;
        bool same;
    };
    const Case cases[] = {
        {"https://bank.co.uk/login", "https://login.bank.co.uk/sso", true},
        {"https://BANK.co.uk.", "https://www.bank.CO.UK/", true},
        {"https://bank.co.uk", "https://other.co.uk", false},      // co.uk is a public suffix
        {"https://alice.github.io", "https://mallory.github.io", false},
        {"https://co.uk", "https://bank.co.uk", false},            // a suffix only matches itself
        {"https://bank.example", "http://bank.example", false},    // never from https to http
        {"http://bank.example", "https://www.bank.example", true},
        {"http://192.168.1.10/login", "http://192.168.1.10:8080/", true},
        {"http://192.168.1.10", "http://192.168.1.11", false},
        {"http://127.0.0.1", "http://localhost", false},
        {"http://[::1]/", "http://[0:0::1]:81/", true},
        {"file:///srv/login.html", "file:///srv/other.html", true},
        {"file:///srv/login.html", "http://bank.example/", false},
        {"https://bank.example", "about:blank", false},
    };
    for (const Case& c : cases)
        QVERIFY2(SameSite(QUrl(QString::fromLatin1(c.entry)), QUrl(QString::fromLatin1(c.page))) == c.same,
                 qPrintable(QStringLiteral("%1 / %2").arg(c.entry, c.page)));
}

namespace {
// One local web server for every *.localhost name: the engine takes each such name to
// the loopback address, so bank.localhost and other.localhost are two sites here.
class LocalSites : public QTcpServer {
public:
    QMap<QByteArray, QByteArray> pages;      // path -> body
    QMap<QByteArray, QString> redirects;     // path -> address
    LocalSites() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
            }
        });
    }
    QString address(const QString& host, const char* path) const {
        return QStringLiteral("http://%1:%2%3").arg(host).arg(serverPort()).arg(QLatin1String(path));
    }

private:
    void answer(QTcpSocket* socket) {
        if (!socket->peek(socket->bytesAvailable()).contains("\r\n\r\n")) return;
        const QList<QByteArray> request = socket->readAll().split(' ');
        const QByteArray path = request.value(1);
        QByteArray head = "HTTP/1.1 404 Not Found\r\n", body;
        if (redirects.contains(path)) {
            head = "HTTP/1.1 302 Found\r\nLocation: " + redirects[path].toUtf8() + "\r\n";
        } else if (pages.contains(path)) {
            head = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n";
            body = "<!DOCTYPE html><html><body>" + pages[path] + "</body></html>";
        }
        socket->write(head + "Content-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }
};
}  // namespace

void AutoFillTest::pagesOnAnotherSiteReceiveNothing() {
    LocalSites sites;
    QVERIFY(sites.listen(QHostAddress::LocalHost));
    sites.pages["/login"] = R"(<form><input id=u name=username><input id=p type=password name=password>
        <input id=h type=hidden name=user_id></form>)";
    sites.pages["/plain"] = "<p>no form here</p>";
    sites.redirects["/to-other"] = sites.address(QStringLiteral("other.localhost"), "/login");
    sites.redirects["/to-other-plain"] = sites.address(QStringLiteral("other.localhost"), "/plain");
    const QString bank = QStringLiteral("bank.localhost");

    auto fill = [&](const QString& address) {
        if (!loadAndWait(view(window.get()), address)) return QJsonObject{{QStringLiteral("load"), "failed"}};
        button(window.get(), "BitBtn2")->click();
        return fieldValues(view(window.get()));
    };

    // The entry's own page, and a page on a subdomain of the same site.
    autofill::values().website = sites.address(bank, "/login");
    for (const QString& host : {bank, QStringLiteral("www.bank.localhost")}) {
        const QJsonObject v = fill(sites.address(host, "/login"));
        QCOMPARE(v["u"].toString(), "alice@example.org");
        QCOMPARE(v["p"].toString(), "s3cret");
        QCOMPARE(v["h"].toString(), "alice@example.org");
        QCOMPARE(label(window.get(), "Label1")->text(), "Done Loading.");
    }

    // The entry's address redirects to another site: not even the hidden input is
    // written; the progress label says why, without a box.
    QJsonObject v = fill(sites.address(bank, "/to-other"));
    QCOMPARE(view(window.get())->url().host(), "other.localhost");
    QCOMPARE(v["u"].toString(), "");
    QCOMPARE(v["p"].toString(), "");
    QCOMPARE(v["h"].toString(), "");
    QCOMPARE(label(window.get(), "Label1")->text(), "Not filled");
    QVERIFY(label(window.get(), "Label1")->toolTip().contains(QStringLiteral("another site")));
    QVERIFY(!autofill::fillFormInputs(view(window.get()), QStringLiteral("USER"), autofill::values().user));
    QCOMPARE(fieldValues(view(window.get()))["u"].toString(), "");

    // No "no forms" message for a page that is skipped.
    fill(sites.address(bank, "/to-other-plain"));
    QCOMPARE(label(window.get(), "Label1")->text(), "Not filled");
    QVERIFY(boxesAsExpected());

    // An entry on https never fills a plain http page of its own host.
    autofill::values().website = QStringLiteral("https://") + bank + QStringLiteral("/login");
    v = fill(sites.address(bank, "/login"));
    QCOMPARE(v["u"].toString(), "");
    QCOMPARE(v["p"].toString(), "");
    QCOMPARE(label(window.get(), "Label1")->text(), "Not filled");
    QVERIFY(boxesAsExpected());
}
