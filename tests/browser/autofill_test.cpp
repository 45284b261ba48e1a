// "Auto Fill Pwd " against the real engine on local pages: which controls of which
// forms receive the user ID and the password.
#include "autofill_test.h"

#include <unistd.h>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>

#include "platform/browser_host.h"
#include "platform/channel.h"
#include "platform/clipboard.h"
#include "platform/samesite.h"
#include "windows/BrowserChild.h"

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
    page()->fillValues().user = QStringLiteral("alice@example.org");
    page()->fillValues().password = QStringLiteral("s3cret");
    page()->fillValues().website = serverFor(pages).address(QStringLiteral("/login.html"));
}

void AutoFillTest::cleanupTestCase() { window.reset(); }

QJsonObject AutoFillTest::fillAt(const QString& address) {
    if (!loadAndWait(page(), address)) return {{QStringLiteral("load"), QStringLiteral("failed")}};
    window->autoFillButton()->click();
    return fieldValues(page());
}

QJsonObject AutoFillTest::fillPage(const QString& name, const QString& body) {
    return fillAt(writePage(pages, name, body));
}

// Which inputs of which forms the keyword walks write, page by page.
void AutoFillTest::loginFormsAreFilledByTheFirstMatchingKeyword() {
    const QString u = QStringLiteral("alice@example.org"), p = QStringLiteral("s3cret");
    // Edits in the window's own boxes do not change what is written.
    window->userIdEdit()->setText(QStringLiteral("typed"));
    window->passwordEdit()->setText(QStringLiteral("typed"));
    const struct {
        const char *name, *html;
        std::vector<std::pair<const char*, QString>> wanted;  // id, value after the fill
        QString user = QStringLiteral("alice@example.org");
    } cases[] = {
        // "USER" and "PASS" match: the later keywords (ACC, PIN) are never tried.
        {"plain",
         R"(<form><input id=u type=text name=username><input id=p type=password name=password>
            <input id=a name=account><input id=n name=pincode><input id=s type=submit value=Go></form>)",
         {{"u", u}, {"p", p}, {"a", ""}, {"n", ""}, {"s", "Go"}}},
        // Only "MAIL" and "PWD" match, in any letter case.
        {"mailpwd", R"(<form><input id=e name=Email><input id=p type=password name=pwd></form>)", {{"e", u}, {"p", p}}},
        // Every match in every form is written.
        {"twoforms",
         R"(<form><input id=a name=user></form><p>
            <form><input id=b name=USER><input id=c name=user></form>)",
         {{"a", u}, {"b", u}, {"c", u}}},
        // A name holding both kinds ends with the password, written last.
        {"both", R"(<form><input id=x name=userpassword></form>)", {{"x", p}}},
        // "ID" inside form_id wins although uname looks like the better field.
        {"formid",
         R"(<form><input id=h type=hidden name=form_id value=f1>
            <input id=n name=uname><input id=p type=password name=pass></form>)",
         {{"h", u}, {"n", ""}, {"p", p}}},
        {"captured", R"(<form><input id=u name=user><input id=p name=pass></form>)", {{"u", u}, {"p", p}}},
        // Forms without a matching control: nothing written, nothing said.
        {"nomatch", R"(<form><input id=q name=q value=x><input id=c name=color></form>)", {{"q", "x"}, {"c", ""}}},
        // An empty user ID empties the first matches.
        {"empty",
         R"(<form><input id=u name=user value=old>
            <input id=l name=login value=keep><input id=p name=pass></form>)",
         {{"u", ""}, {"l", "keep"}, {"p", p}},
         ""},
        // The file input refuses a text: "USER" stops there, keeping user_a, and since it
        // wrote something the other user keywords are not tried.
        {"file1",
         R"(<form><input id=a name=user_a><input id=f type=file name=user_file>
            <input id=b name=user_b><input id=l name=login></form><form><input id=c name=user_c>
            <input id=p type=password name=password></form>)",
         {{"a", u}, {"b", ""}, {"c", ""}, {"l", ""}, {"p", p}}},
        // Failing before anything was written: the search goes on with "ACC", "LOGIN".
        {"file2",
         R"(<form><input id=f type=file name=userfile><input id=u name=username>
            <input id=l name=login></form>)",
         {{"u", ""}, {"l", u}}},
        // Only named inputs of forms: not one outside a form, a select, a text area, a
        // button. Upper-casing touches a to z only: a long s does not turn "uſer" into
        // "USER". A control outside the form's markup that names the form with form= is
        // one of its own: "LOGIN" writes it, so "MAIL" is never tried.
        {"others",
         R"(<input id=outside name=username>
            <form><select id=sel name=username><option value=a>a</option><option value=alice@example.org>b</option></select>
            <textarea id=ta name=username></textarea><input id=noname type=text>
            <button id=btn name=userbutton value=keep>b</button>
            <input id=email name=email><input id=longs name="u&#383;er"></form>
            <form id=f2></form><input id=owned form=f2 name=login>)",
         {{"outside", ""}, {"sel", "a"}, {"ta", ""}, {"noname", ""}, {"longs", ""}, {"email", ""}, {"owned", u}}},
    };
    for (const auto& c : cases) {
        page()->fillValues().user = c.user;
        const QJsonObject v = fillPage(QString::fromLatin1(c.name), QString::fromLatin1(c.html));
        for (const auto& [id, value] : c.wanted)
            QVERIFY2(v[id].toString() == value,
                     qPrintable(QStringLiteral("%1 #%2: %3").arg(c.name, id, v[id].toString())));
        QVERIFY2(boxesAsExpected(), c.name);
    }
    QCOMPARE(runInPage(page(), "document.getElementById('btn').value").toString(), "keep");
}

void AutoFillTest::noFormsTellsOncePerClick() {
    platform::testing::expectBox(platform::BoxKind::Plain, kNoForms);
    fillPage("noforms", R"(<input id=u name=username><input id=p name=password>)");
    QVERIFY(boxesAsExpected());
    CLICK_WITH_BOXES(window->autoFillButton(), {platform::BoxKind::Plain, kNoForms});
    const QJsonObject v = fieldValues(page());
    QCOMPARE(v["u"].toString(), "");
    QCOMPARE(v["p"].toString(), "");
}

void AutoFillTest::valuesAreWrittenAsDataNeverRun() {
    page()->fillValues().user = QStringLiteral("\u00e9\u20ac\u2028 \"');window.pwned=1;//");
    page()->fillValues().password =
        QStringLiteral("\"'\\\"\\\\</script><script>window.pwned=2</script>${window.pwned=3}`");
    // A page that hides the document's and form's own properties behind names.
    const QJsonObject v = fillPage("hostile", R"(<img name=getElementsByTagName><form name=forms>
        <input id=len name=length><input id=el name=elements>
        <input id=u name=username><input id=p type=password name=password></form>)");
    QCOMPARE(v["u"].toString(), page()->fillValues().user);
    QCOMPARE(v["p"].toString(), page()->fillValues().password);
    QCOMPARE(v["len"].toString(), "");
    QCOMPARE(runInPage(page(), "typeof window.pwned").toString(), "undefined");
    bool answered = false;
    QCOMPARE(page()->runScript("typeof window.pwned", &answered).toString(), "undefined");
    QVERIFY(answered);
    QVERIFY(boxesAsExpected());
}

void AutoFillTest::pageThatDoesNotAnswerIsReported() {
    // The page keeps its thread busy: the walk cannot run, the click ends with the
    // error report, and a late answer does no harm.
    const int usual = page()->scriptTimeoutMs();
    page()->setScriptTimeoutMs(200);
    const QString busy = writePage(pages, "busy", R"(<form><input id=u name=user></form><script>
        addEventListener('load', () => setTimeout(() => { const t = Date.now(); while (Date.now() - t < 1500); }, 0));
        </script>)");
    QVERIFY(loadAndWait(page(), busy));
    QTest::qWait(100);
    const QString late = QStringLiteral("The page did not answer in time.");
    CLICK_WITH_BOXES(window->autoFillButton(), {platform::BoxKind::Error, late});
    QCOMPARE(fieldValues(page())["u"].toString(), "");

    // So many matching boxes that the walk outlasts its time: it stops, says so at
    // once, and the page keeps none of its values, neither user IDs nor password.
    QVERIFY(loadAndWait(page(), writePage(pages, "many", R"(<form id=f><input id=first name=user value=old>
        <input id=p type=password name=password></form><script>
        f.insertAdjacentHTML('beforeend', '<input name=user>'.repeat(10000));</script>)")));
    page()->setScriptTimeoutMs(300);
    QElapsedTimer held;
    held.start();
    platform::testing::expectBox(platform::BoxKind::Error, late);
    window->autoFillButton()->click();
    QVERIFY2(held.elapsed() < 2000, qPrintable(QString::number(held.elapsed())));
    QVERIFY(boxesAsExpected());
    QCOMPARE(runInPage(page(), "[...f.elements].filter(e => e.value).map(e => e.value).join()").toString(), "old");

    // The window is closed while the click waits for a busy page: nothing is said
    // afterwards, over whatever window is left.
    QVERIFY(loadAndWait(page(), busy));
    QTest::qWait(100);
    QTimer::singleShot(100, window.get(), [this] { window->close(); });
    window->autoFillButton()->click();
    page()->setScriptTimeoutMs(usual);
    QVERIFY(!window->isVisible());
    QVERIFY(boxesAsExpected());
    window->show();
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
        {"https://bank.co.uk", "https://other.co.uk", false},  // co.uk is a public suffix
        {"https://alice.github.io", "https://mallory.github.io", false},
        {"https://co.uk", "https://bank.co.uk", false},          // a suffix only matches itself
        {"https://bank.example", "http://bank.example", false},  // never from https to http
        {"http://bank.example", "https://www.bank.example", true},
        // An address is a site together with its port, the scheme's own when none is given.
        {"http://192.168.1.10/login", "http://192.168.1.10:8080/", false},
        {"http://192.168.1.10/login", "http://192.168.1.10:80/x", true},
        {"https://192.168.1.10/", "https://192.168.1.10:443/", true},
        {"http://127.0.0.1:18001/", "http://127.0.0.1:18002/", false},
        {"http://192.168.1.10", "http://192.168.1.11", false},
        {"http://127.0.0.1", "http://localhost", false},
        {"http://[::1]/", "http://[0:0::1]:81/", false},
        {"http://[::1]:81/", "http://[0:0::1]:81/", true},
        // A host name keeps its site whatever the port.
        {"http://bank.example:8080/", "http://www.bank.example:9090/", true},
        {"file:///srv/login.html", "file:///srv/other.html", true},
        {"file:///srv/login.html", "http://bank.example/", false},
        {"https://bank.example", "about:blank", false},
    };
    for (const Case& c : cases)
        QVERIFY2(platform::sameSite(QUrl(QString::fromLatin1(c.entry)), QUrl(QString::fromLatin1(c.page))) == c.same,
                 qPrintable(QStringLiteral("%1 / %2").arg(c.entry, c.page)));
}

void AutoFillTest::pagesOnAnotherSiteReceiveNothing() {
    testsupport::PageServer& sites = serverFor(pages);
    writePage(pages, "login", R"(<form><input id=u name=username><input id=p type=password name=password>
        <input id=h type=hidden name=user_id></form>)");
    writePage(pages, "plain", "<p>no form here</p>");
    sites.redirects["/to-other"] = sites.address(QStringLiteral("/login.html"), QStringLiteral("other.localhost"));
    sites.redirects["/to-other-plain"] =
        sites.address(QStringLiteral("/plain.html"), QStringLiteral("other.localhost"));
    const QString bank = QStringLiteral("bank.localhost");
    auto address = [&](const QString& host, const char* path) { return sites.address(QLatin1String(path), host); };

    // The entry's own page, and a page on a subdomain of the same site.
    page()->fillValues().website = address(bank, "/login.html");
    for (const QString& host : {bank, QStringLiteral("www.bank.localhost")}) {
        QCOMPARE(fillAt(address(host, "/login.html")),
                 (QJsonObject{{"u", "alice@example.org"}, {"p", "s3cret"}, {"h", "alice@example.org"}}));
        QCOMPARE(window->progressLabel()->text(), "Done Loading.");
    }

    // The entry's address redirects to another site: not even the hidden input is
    // written; the progress label says why, without a box.
    const QJsonObject nothing{{"u", ""}, {"p", ""}, {"h", ""}};
    QCOMPARE(fillAt(address(bank, "/to-other")), nothing);
    QCOMPARE(page()->url().host(), "other.localhost");
    QCOMPARE(window->progressLabel()->text(), "Not filled");
    QVERIFY(window->progressLabel()->toolTip().contains(QStringLiteral("another site")));
    QVERIFY(!autofill::fillFormInputs(page(), QStringLiteral("USER"), page()->fillValues().user));
    QCOMPARE(fieldValues(page())["u"].toString(), "");

    // No "no forms" message for a page that is skipped.
    fillAt(address(bank, "/to-other-plain"));
    QCOMPARE(window->progressLabel()->text(), "Not filled");
    QVERIFY(boxesAsExpected());

    // An entry on https never fills a plain http page of its own host.
    page()->fillValues().website = QStringLiteral("https://") + bank + QStringLiteral("/login.html");
    QCOMPARE(fillAt(address(bank, "/login.html")), nothing);
    QCOMPARE(window->progressLabel()->text(), "Not filled");
    QVERIFY(boxesAsExpected());
}

void AutoFillTest::scanFillsVisibleLoginBoxes() {
    // The page records the events its own script would see.
    const QString listen = QStringLiteral(
        "<script>window.seen = []; for (const t of ['input', 'change']) document.addEventListener(t, "
        "(e) => seen.push(t + ':' + e.target.id), true);</script>");
    struct Case {
        const char* name;
        const char* body;
        const char* filledUser;      // id of the box that gets the user ID ("" none)
        const char* filledPassword;  // id of the box that gets the password
    };
    const Case cases[] = {
        // No FORM element: the nearest text input before the password box.
        {"noform", "<div><input id=q type=search><input id=u><input id=p type=password></div>", "u", "p"},
        // Marked boxes win over the nearest text input.
        {"marked", "<input id=e type=email><input id=x type=text><input id=p type=password>", "e", "p"},
        {"username", "<input id=x><input id=u autocomplete='section-a username'><input id=p type=password>", "u", "p"},
        // Decoys nobody can see are never written.
        {"decoys", R"(<input id=u><input id=h1 type=hidden><input id=h2 style="display:none">
            <input id=h3 style="visibility:hidden"><input id=h4 style="width:0;height:0;border:0;padding:0">
            <input id=h5 style="position:absolute;left:-9999px"><div style="display:none"><input id=h6 type=password></div>
            <input id=h7 type=password style="position:absolute;top:-500px"><input id=p type=password>)",
         "u", "p"},
        // A password-change form whose names hold no keyword: the current password only.
        {"change", R"(<form><input id=n1 type=password name=fresh autocomplete=new-password>
            <input id=c type=password name=current autocomplete=current-password>
            <input id=n2 type=password name=again autocomplete=new-password></form>)",
         "", "c"},
        // Boxes drawn too small to see or type into, clipped away, transparent, covered,
        // off to the side or read-only, placed before the box a person sees.
        {"zeroborder", R"~(<input id=d1 style="width:0;height:0;border:2px solid">
            <input id=d2 type=password style="width:0;height:0;border:2px solid"><input id=u><input id=p type=password>)~",
         "u", "p"},
        {"onepixel", R"~(<input id=u><input id=d type=password style="width:1px;height:1px;padding:0;border:0">
            <input id=p type=password>)~",
         "u", "p"},
        {"threepixels", R"~(<input id=d1 style="width:3px;height:3px;padding:0;border:0"><input id=u>
            <input id=d2 type=password style="width:3px;height:3px;padding:0;border:0"><input id=p type=password>)~",
         "u", "p"},
        {"clip", R"~(<input id=d1 style="position:absolute;clip:rect(0 0 0 0)">
            <input id=d2 type=password style="position:absolute;clip:rect(0px,0px,0px,0px)">
            <div style="overflow:hidden;height:2px"><input id=d3 type=password></div><input id=u><input id=p type=password>)~",
         "u", "p"},
        {"clippath",
         R"~(<input id=d1 style="clip-path:inset(50%)"><input id=d2 type=password style="clip-path:inset(50%)">
            <input id=d3 type=password style="clip-path:circle(0)"><input id=u><input id=p type=password>)~",
         "u", "p"},
        {"opacity", R"~(<input id=d1 style="opacity:0"><input id=d2 type=password style="opacity:0">
            <input id=u><input id=p type=password>)~",
         "u", "p"},
        {"opaqueparent", R"~(<div style="opacity:0.05"><input id=d1><input id=d2 type=password></div>
            <div style="opacity:0.5"><input id=u><input id=p type=password></div>)~",
         "u", "p"},
        {"covered", R"~(<div style="position:relative"><input id=d1><input id=d2 type=password>
            <div style="position:absolute;left:0;top:0;right:0;bottom:0;background:white"></div></div>
            <input id=u><input id=p type=password>)~",
         "u", "p"},
        {"offright", R"~(<input id=d1 style="position:absolute;left:3000px">
            <input id=d2 type=password style="position:absolute;left:3000px"><input id=u><input id=p type=password>)~",
         "u", "p"},
        {"readonly", R"~(<input id=d1 readonly><input id=d2 type=password readonly>
            <fieldset disabled><input id=d3><input id=d4 type=password></fieldset><input id=u><input id=p type=password>)~",
         "u", "p"},
        // A label drawn over its box is part of the box; a login below the fold counts.
        {"labelover", R"~(<input id=u><div style="position:relative;display:inline-block"><input id=p type=password>
            <label for=p style="position:absolute;left:0;top:0;right:0;bottom:0">Password</label></div>)~",
         "u", "p"},
        {"belowfold", R"~(<div style="height:3000px"></div><input id=u><input id=p type=password>)~", "u", "p"},
        // The user box of the password box's own form, not the newsletter's in the header.
        {"nearest", R"~(<div><input id=n type=email></div><form><div><input id=u></div>
            <div><input id=p type=password></div></form>)~",
         "u", "p"},
        // Without a password box a person can use, no password is written.
        {"onlydecoypass", R"~(<input id=u placeholder="E-mail"><input id=d type=password style="opacity:0">)~", "u",
         ""},
        // The first step of a sign-in in two steps: the one box that asks for the user ID.
        {"firststep", "<form><input id=u name=handle autocomplete=username></form>", "u", ""},
        {"lonetext", "<form><input id=x name=q><input id=e type=email name=news></form>", "e", ""},
        {"labelstep", R"~(<form><label for=u>User name</label><input id=u name=f2><input id=s type=search name=q>
            </form>)~",
         "u", ""},
        {"notalone", R"~(<form><label for=c>Company</label><input id=c name=f1>
            <label for=u>User name</label><input id=u name=f2></form>)~",
         "", ""},
        {"twosteps",
         R"~(<form><input id=a name=f1 placeholder="User name"><input id=b name=f2 placeholder="Account number">
            </form>)~",
         "", ""},
        {"stepdecoy", R"~(<input id=d type=email style="opacity:0"><input id=e type=email>)~", "e", ""},
        {"german", R"~(<div lang=de-DE><label for=u>Benutzerkennung</label><input id=u name=f1></div>)~", "u", ""},
        {"germanunsaid", R"~(<form><label for=u>Benutzerkennung</label><input id=u name=f1></form>)~", "", ""},
    };
    for (const Case& c : cases) {
        const QJsonObject v = fillPage(QString::fromLatin1(c.name), listen + QString::fromLatin1(c.body));
        QString events;
        for (const QString& id : v.keys()) {
            const bool user = id == QLatin1String(c.filledUser), password = id == QLatin1String(c.filledPassword);
            const QString expected = user ? page()->fillValues().user : password ? page()->fillValues().password : "";
            QVERIFY2(v[id].toString() == expected, qPrintable(QStringLiteral("%1: %2").arg(c.name, id)));
        }
        for (const char* id : {c.filledUser, c.filledPassword})
            if (*id) events += QStringLiteral(",input:%1,change:%1").arg(QLatin1String(id));
        QCOMPARE(runInPage(page(), "seen.join()").toString(), events.mid(1));
        const bool userAlone = *c.filledUser && !*c.filledPassword;
        QLabel* progress = window->progressLabel();
        QCOMPARE(progress->text(), events.isEmpty() ? "Done Loading."
                                   : userAlone      ? "User ID filled"
                                                    : "Filled by scan");
        if (userAlone) QCOMPARE(progress->toolTip(), "User ID filled; the password follows on the next page.");
        QVERIFY(progress->fontMetrics().horizontalAdvance(progress->text()) <= progress->width());
        QVERIFY2(boxesAsExpected(), c.name);
    }

    // Boxes a script puts in after loading, and a frame of the same site.
    QVERIFY(loadAndWait(page(), writePage(pages, "late", R"(<div id=root></div><script>
        setTimeout(() => { root.innerHTML = '<input id=u autocomplete=email><input id=p type=password>'; }, 200);
        </script>)")));
    QTRY_VERIFY(runInPage(page(), "!!document.getElementById('p')").toBool());
    window->autoFillButton()->click();
    QJsonObject v = fieldValues(page());
    QCOMPARE(v["u"].toString(), page()->fillValues().user);
    QCOMPARE(v["p"].toString(), page()->fillValues().password);
    writePage(pages, "inner", "<input id=u><input id=p type=password>");
    fillPage("framed", "<iframe src=inner.html></iframe>");
    QCOMPARE(runInPage(page(), "frames[0].document.getElementById('p').value").toString(),
             page()->fillValues().password);
    QLabel* progress = window->progressLabel();
    QCOMPARE(progress->text(), "Filled by scan");
    QVERIFY(progress->fontMetrics().horizontalAdvance(progress->text()) <= progress->width());

    // Where the keyword walks write, the scan does not run: the e-mail box and the
    // password box they did not find stay empty, and no event is sent.
    v = fillPage("firstpass", listen + R"(<form><input id=l name=login><input id=e type=email>
        <input id=p type=password name=secret></form>)");
    QCOMPARE(v["l"].toString(), page()->fillValues().user);
    QCOMPARE(v["e"].toString(), "");
    QCOMPARE(v["p"].toString(), "");
    QCOMPARE(runInPage(page(), "seen.join()").toString(), "");
    QCOMPARE(window->progressLabel()->text(), "Done Loading.");
    QVERIFY(boxesAsExpected());
}

void AutoFillTest::programAnswersOnlyForTheEntrysSite() {
    // The program's side alone, with the test as the window's process: the values go
    // only to a page the program itself finds on the entry's site, whatever the window
    // says; copies land on the program's clipboard and are cleared after the delay, also
    // when the window's process has gone.
    QFile ini(QString::fromStdString(testsupport::programFiles().settingsFile));
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[Clipboard]\r\nClearAfter=1\r\n");
    ini.close();
    int sockets[2];
    QVERIFY(platform::makeSocketPair(sockets));
    platform::BrowseRequest request;
    request.name = QStringLiteral("BANK");
    request.website = QStringLiteral(" https://bank.example/login ");
    request.user = QStringLiteral("ann");
    request.password = QStringLiteral("pa\u00df");
    auto host = std::make_unique<platform::BrowserHost>(sockets[0], request);
    platform::Channel window(sockets[1]);
    QVERIFY(host->open());
    std::optional<platform::Message> opening = window.next(2000);
    QVERIFY(opening);
    QCOMPARE(*opening, (platform::Message{"open", "BANK", "https://bank.example/login", "ann", "pa\xc3\x9f", "0"}));

    const struct {
        const char* page;
        bool given;
    } cases[] = {
        {"https://bank.example/login", true},
        {"https://www.bank.example/sso?x=1", true},
        {"https://other.example/login", false},
        {"http://bank.example/login", false},
        {"https://bank.example.evil.test/", false},
        {"not an address", false},
        {"", false},
    };
    for (const auto& c : cases) {
        QVERIFY(window.send({"fill", c.page}));
        const std::optional<platform::Message> answer = window.next(2000);
        QVERIFY2(answer, c.page);
        const platform::Message expected =
            c.given ? platform::Message{"values", "ann", "pa\xc3\x9f"} : platform::Message{"refused"};
        QVERIFY2(*answer == expected, c.page);
    }
    QCOMPARE(host->fillsAnswered(), 2);
    QCOMPARE(host->fillsRefused(), 5);

    QVERIFY(window.send({"copy", "pa\xc3\x9f"}));
    QTRY_COMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("pa\u00df"));
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->data("x-kde-passwordManagerHint"), "secret");
    QSignalSpy ended(host.get(), &platform::BrowserHost::ended);
    window.close();
    QVERIFY(ended.wait(2000));
    host.reset();
    QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), QString(), 3000);
    QFile::remove(ini.fileName());
}

void AutoFillTest::windowProcessAsksTheProgramOnTheClick() {
    // The window's process (run here, on the other end of a socket pair) holds no fill
    // values until the click; the program answers for its own entry's site only.
    writePage(pages, "login", R"(<form><input id=u name=username><input id=p type=password name=password></form>)");
    const QString page = serverFor(pages).address(QStringLiteral("/login.html"));
    const struct {
        const char* programSite;  // the entry's website as the program holds it
        const char* label;        // the progress label after the click
        bool filled;
    } cases[] = {
        {nullptr, "Done Loading.", true},
        {"http://other.localhost/", "Not filled", false},
    };
    for (const auto& c : cases) {
        int sockets[2];
        QVERIFY(platform::makeSocketPair(sockets));
        platform::BrowseRequest request;
        request.name = QStringLiteral("BANK");
        request.website = c.programSite ? QString::fromLatin1(c.programSite) : page;
        request.user = QStringLiteral("carol");
        request.password = QStringLiteral("p\"w");
        platform::BrowserHost host(sockets[0], request);
        platform::Channel channel(sockets[1]);
        // What the window opens with: the page's own address, whatever the program holds.
        platform::Channel(::dup(sockets[0])).send({"open", "BANK", page.toUtf8(), "carol", "p\"w", "1"});

        QJsonObject values;
        QString progress, held;
        bool came = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            // The window made ahead showed "Done Loading." for its empty page already:
            // the entry's page must be the one loaded.
            auto* w = qobject_cast<BrowserWindow*>(QApplication::activeModalWidget());
            if (!w || w->progressLabel()->text() != "Done Loading." || w->pageView()->url() != QUrl(page)) return;
            poll.stop();
            came = true;
            held = w->pageView()->fillValues().password;
            w->autoFillButton()->click();
            progress = w->progressLabel()->text();
            values = fieldValues(w->pageView());
            w->copyPasswordButton()->click();  // the password box, hidden: copied through the program
            w->closeButton()->click();
        });
        poll.start(20);
        // A window that never shows the page is closed: the test then fails, not hangs.
        QTimer giveUp;
        giveUp.setSingleShot(true);
        connect(&giveUp, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w != window.get() && qobject_cast<BrowserWindow*>(w) && w->isVisible()) w->close();
        });
        giveUp.start(60000);
        QCOMPARE(runBrowserProcess(channel), 0);
        QVERIFY(came);
        QCOMPARE(held, "");
        QCOMPARE(progress, QString::fromLatin1(c.label));
        QCOMPARE(values["u"].toString(), c.filled ? "carol" : "");
        QCOMPARE(values["p"].toString(), c.filled ? "p\"w" : "");
        QCOMPARE(host.fillsAnswered(), c.filled ? 1 : 0);
        QTRY_COMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("p\"w"));
        QVERIFY(boxesAsExpected());
    }
    platform::clearCopiedSecret();
}
