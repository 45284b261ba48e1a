#include "windows/UBrowse.h"

#include <limits>
#include <stdexcept>
#include <unistd.h>
#include <QApplication>
#include <QDateTime>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QOpenGLContext>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include "platform/appdata.h"
#include "platform/clipboard.h"
#include "platform/messages.h"
#include "platform/secret.h"
#include "platform/sizes.h"
#include "vault/locations.h"
#include "vault/settings.h"
#include "windows/samesite.h"

// Qt's global shared OpenGL context, which Qt WebEngine renders through. Qt creates it
// at start when Qt::AA_ShareOpenGLContexts is set; the program does not set it, since
// that loads the OpenGL driver at every start (tens of megabytes and a tenth of a
// second here) for a window most runs never open. The browser library makes the
// context itself, once, before the first web view exists.
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

QString AutoFillUser;
QString AutoFillPwd;
QString AutoFillWebsite;
bool NoFormsMessageShown = false;

namespace {

const QString kNoWebsiteMessage = QStringLiteral("There is no website address listed in the website box");
const QString kNoUrlMessage = QStringLiteral("There is no website address listed in the URL box");
const QString kBackMessage = QStringLiteral(
    "There are no more previous pages for display. To return to your password list, either click "
    "the \"Close\" button or simply swap over to the password window without closing this "
    "browser screen.");
const QString kForwardMessage = QStringLiteral(
    "There are no more forward pages for display. To return to your password list, either click "
    "the \"Close\" button or simply swap over to the password window without closing this "
    "browser screen.");
const QString kHomeMessage = QStringLiteral("An error occurred while trying to access your homepage.");
const QString kSearchMessage = QStringLiteral("An error occurred while trying to access internet search.");
const QString kStopMessage = QStringLiteral("An error occurred while trying to stop this page load.");
const QString kRefreshMessage = QStringLiteral("An error occurred while trying to refresh this page.");
const QString kNoFormsMessage = QStringLiteral(
    "There are no password boxes found on this webpage to fill. The most likely cause of this is "
    "due to the webpage being setup in a way where the password box cannot be identified. You "
    "can use the \"Copy for Pasting\" buttons at the top of this page, to easily copy and paste "
    "your password on the website. (To paste into any website box, simply \"Right Click\" in the "
    "box and choose paste).");

// The progress label when auto-fill left the page alone; the hint says why.
const QString kOtherSiteLabel = QStringLiteral("Not filled");
const QString kOtherSiteHint = QStringLiteral(
    "Not filled: this page is on another site than the entry's website address "
    "(or on plain http where the entry's address is https).");

const QString kHide = QStringLiteral("Hide");
const QString kShow = QStringLiteral("Show");

const char* const kFormSection = "FrmBrowse";
const char* const kBrowserSection = "Webbrowser1";

const QStringList kUserKeywords = {"USER", "ACC", "LOGIN", "MAIL", "USR", "ID"};
const QStringList kPasswordKeywords = {"PASS", "PIN", "WORD", "PWD"};

constexpr int kSizeStep = 20;

// Removes spaces and control characters (codes 0 to 32) at both ends.
QString trimControls(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32) ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32) --end;
    return text.mid(begin, end - begin);
}

// Chromium refuses to start its sandbox for the root user and ends the whole process.
// The program run as root (a container, a rescue system) gets its browser window
// without the sandbox instead of vanishing with everything on screen.
void allowRootWithoutSandbox() {
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

void ensureSharedGlContext() {
    if (qt_gl_global_share_context()) return;
    // As Qt itself does: the context is installed even when it cannot be created (no
    // OpenGL, as offscreen); the engine then draws in software.
    auto* context = new QOpenGLContext;  // kept to the end of the run, as Qt keeps its own
    context->create();
    qt_gl_set_global_share_context(context);
}

// The same settings file as the main window's: the one of this user's data folder.
std::string settingsFile() { return vault::SettingsFileFor(platform::appDataFolder()); }

QSize screenSize() { return QGuiApplication::primaryScreen()->size(); }

const QString& walkScript() {
    static const QString script = [] {
        QFile file(QStringLiteral(":/keyfold/autofill.js"));
        if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("The auto-fill script is missing.");
        return QString::fromUtf8(file.readAll());
    }();
    return script;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QRect& place, const QString& hint,
                        QStyle::StandardPixmap picture, const QString& caption = QString(),
                        bool handCursor = true) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setToolTip(hint);
    button->setIcon(parent->style()->standardIcon(picture));
    if (!caption.isEmpty()) button->setIconSize(QSize(12, 12));
    button->setFocusPolicy(Qt::TabFocus);
    if (handCursor) button->setCursor(Qt::PointingHandCursor);
    return button;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// BrowserControl

const QString BrowserControl::HomePage = QStringLiteral("https://start.duckduckgo.com/");
const QString BrowserControl::SearchPage = QStringLiteral("https://duckduckgo.com/");

BrowserControl::BrowserControl(QWidget* parent) : QWebEngineView(parent) {
    connect(this, &QWebEngineView::loadStarted, this, [this] { emit ProgressChange(0, 100); });
    connect(this, &QWebEngineView::loadProgress, this,
            [this](int percent) { emit ProgressChange(percent, 100); });
    connect(this, &QWebEngineView::loadFinished, this, [this](bool) { emit ProgressChange(-1, 100); });
    connect(this, &QWebEngineView::urlChanged, this, [this](const QUrl& url) { emit NavigateComplete2(url); });
}

QUrl BrowserControl::AddressToUrl(const QString& address) {
    // A full address is taken as it stands; anything else ("www.example.com", a file
    // path) is read the way an address bar reads it.
    const bool full = address.contains(QStringLiteral("://")) || address.startsWith(QStringLiteral("about:"));
    return full ? QUrl(address) : QUrl::fromUserInput(address);
}

void BrowserControl::Navigate(const QString& address) {
    const QUrl url = AddressToUrl(address);
    if (address.isEmpty() || !url.isValid())
        throw std::runtime_error(QStringLiteral("The address \"%1\" cannot be opened.").arg(address).toStdString());
    load(url);
}

bool BrowserControl::GoBack() {
    if (!history()->canGoBack()) return false;
    back();
    return true;
}

bool BrowserControl::GoForward() {
    if (!history()->canGoForward()) return false;
    forward();
    return true;
}

bool BrowserControl::GoHome() {
    const QUrl url(HomePage);
    if (!url.isValid()) return false;
    load(url);
    return true;
}

bool BrowserControl::GoSearch() {
    const QUrl url(SearchPage);
    if (!url.isValid()) return false;
    load(url);
    return true;
}

bool BrowserControl::Stop() {
    stop();
    return true;
}

bool BrowserControl::Refresh() {
    if (url().isEmpty()) return false;
    reload();
    return true;
}

void BrowserControl::SetBusyCursor(bool busy) {
    setCursor(busy ? Qt::WaitCursor : Qt::ArrowCursor);
    // The page itself is drawn by a child that takes the cursors the page asks for;
    // while loading it shows the hourglass, afterwards the page's own cursor again.
    if (QWidget* surface = focusProxy()) {
        if (busy)
            surface->setCursor(Qt::WaitCursor);
        else
            surface->unsetCursor();
    }
}

int BrowserControl::ScriptTimeoutMs = 5000;

QVariant BrowserControl::RunScript(const QString& source, bool* answered) {
    // The answer may come after the time-out, when this call has returned; the state it
    // writes to is shared, not on this stack.
    struct Waiter {
        QVariant result;
        bool done = false;
        QPointer<QEventLoop> loop;
    };
    auto waiter = std::make_shared<Waiter>();
    QEventLoop loop;
    waiter->loop = &loop;
    page()->runJavaScript(source, QWebEngineScript::ApplicationWorld, [waiter](const QVariant& result) {
        waiter->result = result;
        waiter->done = true;
        if (waiter->loop) waiter->loop->quit();
    });
    if (!waiter->done) {
        QTimer limit;
        limit.setSingleShot(true);
        connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(ScriptTimeoutMs);
        // No clicks or keys meanwhile: the window must not start a second walk.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    waiter->loop = nullptr;
    if (answered) *answered = waiter->done;
    return waiter->result;
}

// ---------------------------------------------------------------------------------------
// TFrmBrowse

const QColor TFrmBrowse::BackgroundColour = QColor(232, 232, 232);

TFrmBrowse::TFrmBrowse(QWidget* owner) : QDialog(owner) {
    allowRootWithoutSandbox();
    ensureSharedGlContext();
    setObjectName(QStringLiteral("FrmBrowse"));
    setWindowTitle(QStringLiteral("Keyfold Auto Viewer - Password Filler"));
    setModal(true);
    // The design font of the windows: MS Sans Serif, 11 pixels (a metric-compatible
    // sans serif where it is missing).
    QFont designFont(QStringLiteral("MS Sans Serif"));
    designFont.setStyleHint(QFont::SansSerif);
    designFont.setPixelSize(11);
    setFont(designFont);
    setAutoFillBackground(true);
    setBackground(BackgroundColour);
    resize(1151, 524);

    const QColor boxColour(236, 233, 216);
    const QColor panelColour(202, 208, 205);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(1, 1, 532, 35);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setAutoFillBackground(true);
    {
        QPalette p = Panel1->palette();
        p.setColor(QPalette::Window, panelColour);
        Panel1->setPalette(p);
    }

    CmdBack = makeButton(Panel1, "CmdBack", {7, 6, 32, 24}, QStringLiteral("Back 1 Page"), QStyle::SP_ArrowBack);
    CmdForward = makeButton(Panel1, "CmdForward", {43, 6, 32, 24}, QStringLiteral("Forward 1 Page"),
                            QStyle::SP_ArrowForward);
    CmdHome = makeButton(Panel1, "CmdHome", {90, 6, 32, 24}, QStringLiteral("Open My Homepage"),
                         QStyle::SP_DirHomeIcon);
    CmdSearch = makeButton(Panel1, "CmdSearch", {128, 6, 32, 24}, QStringLiteral("Open Search Engine"),
                           QStyle::SP_FileDialogContentsView);
    BitBtn7 = makeButton(Panel1, "BitBtn7", {167, 6, 32, 24}, QStringLiteral("Stop Page From Loading"),
                         QStyle::SP_BrowserStop);

    Label1 = new QLabel(Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(204, 10, 91, 17);
    Label1->setTextFormat(Qt::PlainText);
    {
        QFont f = Label1->font();
        f.setBold(true);
        f.setUnderline(true);
        Label1->setFont(f);
        QPalette p = Label1->palette();
        p.setColor(QPalette::WindowText, QColor(0, 0, 128));
        Label1->setPalette(p);
    }

    BitBtn8 = makeButton(Panel1, "BitBtn8", {304, 6, 49, 24}, QStringLiteral("Reload Page"),
                         QStyle::SP_BrowserReload);
    BitBtn2 = makeButton(Panel1, "BitBtn2", {357, 6, 85, 24}, QStringLiteral("Enter User and Password Automatically"),
                         QStyle::SP_DialogApplyButton, QStringLiteral("Auto Fill Pwd "));
    BitBtn1 = makeButton(Panel1, "BitBtn1", {446, 6, 81, 24}, QStringLiteral("Close and View Password List"),
                         QStyle::SP_DialogCloseButton, QStringLiteral("Close"));

    auto makeBox = [&](const char* name, const QRect& place) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setGeometry(place);
        QPalette p = box->palette();
        p.setColor(QPalette::Base, boxColour);
        box->setPalette(p);
        return box;
    };

    EdURL = makeBox("EdURL", {2, 39, 499, 22});
    EdURL->setMaxLength(std::numeric_limits<int>::max());  // no length limit
    Button1 = new QPushButton(QStringLiteral("Go"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(504, 39, 27, 22);
    Button1->setToolTip(QStringLiteral("Load New Webpage Entered"));
    Button1->setCursor(Qt::PointingHandCursor);

    // Lies beneath the two boxes and is seen only while they are hidden.
    Label2 = new QLabel(QStringLiteral("User Hidden Password Hidden"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setTextFormat(Qt::PlainText);
    Label2->setGeometry(538, 7, 95, 42);
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    EdUser = makeBox("EdUser", {537, 3, 95, 22});
    EdPwd = makeBox("EdPwd", {537, 25, 95, 22});
    EdUser->hide();
    EdPwd->hide();

    auto makeTextButton = [&](const char* name, const QRect& place, const QString& caption, const QString& hint) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(place);
        button->setToolTip(hint);
        button->setCursor(Qt::PointingHandCursor);
        return button;
    };
    Button2 = makeTextButton("Button2", {635, 6, 44, 18}, QStringLiteral("Copy"),
                             QStringLiteral("Copy user id so it can be pasted"));
    Button3 = makeTextButton("Button3", {635, 26, 44, 18}, QStringLiteral("Copy"),
                             QStringLiteral("Copy password so it can be pasted"));
    CmdHide = makeTextButton("CmdHide", {684, 6, 44, 18}, kShow,
                             QStringLiteral("Show or hide the user id and password"));

    const QString sizeHint = QStringLiteral("Adjust Browser Size");
    BitBtn6 = makeButton(this, "BitBtn6", {780, 3, 25, 25}, sizeHint, QStyle::SP_ArrowUp, {}, false);
    BitBtn4 = makeButton(this, "BitBtn4", {751, 19, 25, 25}, sizeHint, QStyle::SP_ArrowLeft, {}, false);
    BitBtn3 = makeButton(this, "BitBtn3", {811, 19, 25, 25}, sizeHint, QStyle::SP_ArrowRight, {}, false);
    BitBtn5 = makeButton(this, "BitBtn5", {780, 35, 25, 25}, sizeHint, QStyle::SP_ArrowDown, {}, false);

    LblName = new QLabel(this);
    LblName->setObjectName(QStringLiteral("LblName"));
    LblName->setGeometry(890, 7, 294, 21);
    LblName->setTextFormat(Qt::PlainText);  // the entry's name, never markup
    {
        QFont f = LblName->font();
        f.setBold(true);
        LblName->setFont(f);
    }

    WebBrowser1 = new BrowserControl(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setGeometry(2, 67, 951, 454);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(750);

    auto on = [this](QPushButton* button, void (TFrmBrowse::*handler)()) {
        connect(button, &QPushButton::clicked, this, platform::guarded([this, handler] { (this->*handler)(); }));
    };
    on(CmdBack, &TFrmBrowse::CmdBackClick);
    on(CmdForward, &TFrmBrowse::CmdForwardClick);
    on(CmdHome, &TFrmBrowse::CmdHomeClick);
    on(CmdSearch, &TFrmBrowse::CmdSearchClick);
    on(BitBtn7, &TFrmBrowse::BitBtn7Click);
    on(BitBtn8, &TFrmBrowse::BitBtn8Click);
    on(BitBtn2, &TFrmBrowse::BitBtn2Click);
    on(BitBtn1, &TFrmBrowse::BitBtn1Click);
    on(Button1, &TFrmBrowse::Button1Click);
    on(Button2, &TFrmBrowse::Button2Click);
    on(Button3, &TFrmBrowse::Button3Click);
    on(CmdHide, &TFrmBrowse::CmdHideClick);
    on(BitBtn3, &TFrmBrowse::BitBtn3Click);
    on(BitBtn4, &TFrmBrowse::BitBtn4Click);
    on(BitBtn5, &TFrmBrowse::BitBtn5Click);
    on(BitBtn6, &TFrmBrowse::BitBtn6Click);
    connect(Timer1, &QTimer::timeout, this, platform::guarded([this] { Timer1Timer(); }));
    connect(WebBrowser1, &BrowserControl::ProgressChange, this, [this](int progress, int progressMax) {
        platform::runGuarded([&] { WebBrowser1ProgressChange(progress, progressMax); });
    });
    connect(WebBrowser1, &BrowserControl::NavigateComplete2, this, [this](const QUrl& url) {
        platform::runGuarded([&] { WebBrowser1NavigateComplete2(url); });
    });

    platform::runGuarded([this] { FormCreate(); });
}

TFrmBrowse::~TFrmBrowse() = default;

void TFrmBrowse::forgetAutoFillValues() {
    platform::wipe(AutoFillUser);
    platform::wipe(AutoFillPwd);
}

void TFrmBrowse::FormCreate() {
    const std::string ini = settingsFile();
    platform::applyStoredOuterSize(this, vault::ReadWidth(kFormSection, ini), vault::ReadHeight(kFormSection, ini));
}

void TFrmBrowse::FormCloseQuery() {
    const std::string ini = settingsFile();
    platform::SaveFormSize(this, kFormSection, ini);
    vault::SaveSize(kBrowserSection, ini, WebBrowser1->width(), WebBrowser1->height());
}

void TFrmBrowse::closeEvent(QCloseEvent* event) {
    // Closing is never refused; a size that cannot be written is reported and the
    // window closes all the same.
    platform::runGuarded([this] { FormCloseQuery(); });
    forgetAutoFillValues();
    QDialog::reject();
    event->accept();
}

void TFrmBrowse::reject() {
    // The window has no cancel button: the Escape key does nothing. Anything else that
    // rejects the dialog closes it like its close box.
    close();
}

void TFrmBrowse::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFrmBrowse::Timer1Timer() {
    const std::string ini = settingsFile();
    int width = vault::ReadWidth(kBrowserSection, ini);
    if (width == 0) width = screenSize().width();
    WebBrowser1->resize(width, WebBrowser1->height());
    int height = vault::ReadHeight(kBrowserSection, ini);
    if (height == 0) height = screenSize().height() - 50;
    WebBrowser1->resize(WebBrowser1->width(), height);
    Timer1->stop();
}

void TFrmBrowse::WebBrowser1ProgressChange(int progress, int progressMax) {
    Label1->setToolTip(QString());  // the reason a page was not filled, if it was shown
    if (progressMax == 0 || progress == -1 || progressMax < progress) {
        Label1->setText(QStringLiteral("Done Loading."));
        WebBrowser1->SetBusyCursor(false);
    } else {
        const qint64 percent = qint64(progress) * 100 / progressMax;
        Label1->setText(QString::number(percent) + QStringLiteral("% Loaded"));
        WebBrowser1->SetBusyCursor(true);
    }
    QCoreApplication::processEvents();
}

void TFrmBrowse::WebBrowser1NavigateComplete2(const QUrl& url) {
    EdURL->setText(url.toString());
}

void TFrmBrowse::CmdBackClick() {
    if (!WebBrowser1->GoBack()) platform::showPlain(kBackMessage);
}

void TFrmBrowse::CmdForwardClick() {
    if (!WebBrowser1->GoForward()) platform::showPlain(kForwardMessage);
}

void TFrmBrowse::CmdHomeClick() {
    if (!WebBrowser1->GoHome()) platform::showPlain(kHomeMessage);
}

void TFrmBrowse::CmdSearchClick() {
    if (!WebBrowser1->GoSearch()) platform::showPlain(kSearchMessage);
}

void TFrmBrowse::BitBtn7Click() {
    if (!WebBrowser1->Stop()) platform::showPlain(kStopMessage);
}

void TFrmBrowse::BitBtn8Click() {
    if (!WebBrowser1->Refresh()) platform::showPlain(kRefreshMessage);
}

void TFrmBrowse::BitBtn1Click() { close(); }

void TFrmBrowse::Button1Click() {
    const QString address = trimControls(EdURL->text());
    if (address.isEmpty()) {
        platform::showPlain(kNoUrlMessage);
        return;
    }
    WebBrowser1->Navigate(address);
}

void TFrmBrowse::setBackground(const QColor& colour) {
    QPalette p = palette();
    p.setColor(QPalette::Window, colour);
    setPalette(p);
}

void TFrmBrowse::copyToClipboard(const QLineEdit* box) {
    setBackground(Qt::black);
    repaint();
    QCoreApplication::processEvents();
    platform::copySecret(box->text());
    setBackground(BackgroundColour);
}

void TFrmBrowse::Button2Click() { copyToClipboard(EdUser); }

void TFrmBrowse::Button3Click() { copyToClipboard(EdPwd); }

void TFrmBrowse::CmdHideClick() {
    const bool hide = CmdHide->text() == kHide;
    EdUser->setHidden(hide);
    EdPwd->setHidden(hide);
    CmdHide->setText(hide ? kShow : kHide);
}

void TFrmBrowse::BitBtn3Click() { WebBrowser1->resize(WebBrowser1->width() + kSizeStep, WebBrowser1->height()); }
void TFrmBrowse::BitBtn4Click() { WebBrowser1->resize(WebBrowser1->width() - kSizeStep, WebBrowser1->height()); }
void TFrmBrowse::BitBtn5Click() { WebBrowser1->resize(WebBrowser1->width(), WebBrowser1->height() + kSizeStep); }
void TFrmBrowse::BitBtn6Click() { WebBrowser1->resize(WebBrowser1->width(), WebBrowser1->height() - kSizeStep); }

// ---------------------------------------------------------------------------------------
// Auto-fill

namespace {

enum class Walk { NothingWritten, Written, OtherSite };

// One walk for one keyword, on the page the control shows, when that page is on the
// entry's site. The script checks the page's address again before it writes, so a
// page that has changed meanwhile receives nothing either.
Walk walkForms(BrowserControl* browser, const QString& keyword, const QString& value) {
    const QUrl page = browser->url();
    if (!SameSite(BrowserControl::AddressToUrl(AutoFillWebsite), page)) return Walk::OtherSite;

    // The keyword reaches the page as JSON data and the value as the base64 form of its
    // UTF-8 bytes; the only text added to the script is base64, which cannot close a
    // string or start a statement. Every copy of the value made here is wiped.
    QString host = page.host(QUrl::FullyEncoded).toLower();
    if (host.contains(QLatin1Char(':'))) host = QLatin1Char('[') + host + QLatin1Char(']');
    const QJsonObject request{
        {QStringLiteral("keyword"), keyword},
        {QStringLiteral("protocol"), page.scheme().toLower() + QLatin1Char(':')},
        {QStringLiteral("hostname"), host},
        {QStringLiteral("deadline"), double(QDateTime::currentMSecsSinceEpoch() + BrowserControl::ScriptTimeoutMs)}};
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
    const QVariantMap answer = browser->RunScript(source, &answered).toMap();
    platform::wipe(source);
    if (!answered || answer.contains(QStringLiteral("late")))
        throw std::runtime_error("The page did not answer in time.");
    if (answer.contains(QStringLiteral("otherPage"))) return Walk::OtherSite;
    if (answer.contains(QStringLiteral("failure")))
        throw std::runtime_error(answer.value(QStringLiteral("failure")).toString().toStdString());
    if (!answer.contains(QStringLiteral("formElements"))) throw std::runtime_error("The page cannot be read.");

    if (answer.value(QStringLiteral("formElements")).toInt() == 0) {
        if (!NoFormsMessageShown) {
            platform::showPlain(kNoFormsMessage);
            NoFormsMessageShown = true;
        }
        return Walk::NothingWritten;
    }
    return answer.value(QStringLiteral("written")).toBool() ? Walk::Written : Walk::NothingWritten;
}

}  // namespace

void TFrmBrowse::BitBtn2Click() {
    NoFormsMessageShown = false;
    // A page on another site (a redirect, a single sign-on page) receives nothing: the
    // progress label says so, without a message box.
    auto walk = [this](const QStringList& keywords, const QString& value) {
        for (const QString& keyword : keywords) {
            const Walk result = walkForms(WebBrowser1, keyword, value);
            if (result == Walk::OtherSite) {
                Label1->setText(kOtherSiteLabel);
                Label1->setToolTip(kOtherSiteHint);
                return false;
            }
            if (result == Walk::Written) break;
        }
        return true;
    };
    if (walk(kUserKeywords, AutoFillUser)) walk(kPasswordKeywords, AutoFillPwd);
}

bool FillFormInputs(BrowserControl* browser, const QString& keyword, const QString& value) {
    return walkForms(browser, keyword, value) == Walk::Written;
}

// ---------------------------------------------------------------------------------------
// Opening

std::unique_ptr<TFrmBrowse> PrepareBrowseWindow(const platform::BrowseRequest& request) {
    auto window = std::make_unique<TFrmBrowse>(request.owner);
    // Sizes from "FrmBrowse" were applied at creation; the window opens covering the
    // screen all the same.
    const QSize screen = screenSize();
    platform::applyOuterSize(window.get(), screen.width(), screen.height());
    window->move(QGuiApplication::primaryScreen()->geometry().topLeft());
    window->WebBrowser1->resize(screen);
    window->LblName->setText(QStringLiteral("Site: ") + request.name);
    window->EdUser->setHidden(request.masked);
    window->EdPwd->setHidden(request.masked);
    window->CmdHide->setText(request.masked ? kShow : kHide);

    const QString website = trimControls(request.website);
    if (website.isEmpty()) {
        platform::showPlain(kNoWebsiteMessage);
        return nullptr;
    }
    // Copies of their own, so that closing the window can overwrite them.
    TFrmBrowse::forgetAutoFillValues();
    AutoFillUser = platform::ownCopy(request.user);
    AutoFillPwd = platform::ownCopy(request.password);
    AutoFillWebsite = website;
    window->EdUser->setText(request.user);
    window->EdPwd->setText(request.password);
    window->Timer1->start();
    window->WebBrowser1->Navigate(website);
    return window;
}

extern "C" void keyfold_open_browser(const platform::BrowseRequest* request) {
    // Nothing thrown here crosses back into the program: failures go to the general
    // error report, and the window is destroyed when it has closed.
    platform::runGuarded([request] {
        std::unique_ptr<TFrmBrowse> window = PrepareBrowseWindow(*request);
        if (window) window->exec();
        TFrmBrowse::forgetAutoFillValues();  // also when the window did not close itself
    });
}
