#include "windows/BrowserWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWebEnginePage>

#include "platform/appdata.h"
#include "platform/clipboard.h"
#include "platform/messages.h"
#include "platform/secret.h"
#include "platform/sizes.h"
#include "ui_BrowserWindow.h"
#include "vault/locations.h"
#include "vault/settings.h"
#include "windows/AutoFill.h"
#include "windows/BrowserView.h"
#include "windows/FormSupport.h"

namespace {

const char* const kNoUrlMessage =
    QT_TRANSLATE_NOOP("BrowserWindow", "There is no website address listed in the URL box");
const char* const kBackMessage =
    QT_TRANSLATE_NOOP("BrowserWindow",
                      "There are no more previous pages for display. To return to your password list, either click "
                      "the \"Close\" button or simply swap over to the password window without closing this "
                      "browser screen.");
const char* const kForwardMessage =
    QT_TRANSLATE_NOOP("BrowserWindow",
                      "There are no more forward pages for display. To return to your password list, either click "
                      "the \"Close\" button or simply swap over to the password window without closing this "
                      "browser screen.");
const char* const kHomeMessage =
    QT_TRANSLATE_NOOP("BrowserWindow", "An error occurred while trying to access your homepage.");
const char* const kSearchMessage =
    QT_TRANSLATE_NOOP("BrowserWindow", "An error occurred while trying to access internet search.");
const char* const kStopMessage =
    QT_TRANSLATE_NOOP("BrowserWindow", "An error occurred while trying to stop this page load.");
const char* const kRefreshMessage =
    QT_TRANSLATE_NOOP("BrowserWindow", "An error occurred while trying to refresh this page.");

// The progress label when auto-fill left the page alone; the hint says why.
const char* const kOtherSiteLabel = QT_TRANSLATE_NOOP("BrowserWindow", "Not filled");
const char* const kOtherSiteHint =
    QT_TRANSLATE_NOOP("BrowserWindow",
                      "Not filled: this page is on another site than the entry's website address "
                      "(or on plain http where the entry's address is https).");

// The progress label when the scan of the visible login boxes filled the page.
const char* const kScanFilledLabel = QT_TRANSLATE_NOOP("BrowserWindow", "Filled by scan");
const char* const kScanFilledHint =
    QT_TRANSLATE_NOOP("BrowserWindow",
                      "Filled by scan: no form box of this page is named for a user ID or password, so the "
                      "visible login boxes were filled.");

// The progress label when the scan filled the user ID on a page that asks for the
// password on its next page.
const char* const kUserIdFilledLabel = QT_TRANSLATE_NOOP("BrowserWindow", "User ID filled");
const char* const kUserIdFilledHint =
    QT_TRANSLATE_NOOP("BrowserWindow", "User ID filled; the password follows on the next page.");

const char* const kHide = QT_TRANSLATE_NOOP("BrowserWindow", "Hide");
const char* const kShow = QT_TRANSLATE_NOOP("BrowserWindow", "Show");

const char* const kFormSection = "FrmBrowse";
const char* const kBrowserSection = "Webbrowser1";

constexpr int kSizeStep = 20;

// The same settings file as the main window's: the one of this user's data folder.
std::string settingsFile() { return vault::settingsFileFor(platform::appDataFolder()); }

QSize screenSize() { return QGuiApplication::primaryScreen()->size(); }

}  // namespace

const QColor BrowserWindow::backgroundColour = QColor(232, 232, 232);

BrowserWindow::BrowserWindow(QWidget* owner) : QDialog(owner), ui(std::make_unique<Ui::BrowserWindow>()) {
    BrowserView::prepareEngine();  // before the form makes the view
    forms::buildForm(this, [this] { ui->setupUi(this); });
    forms::applyStandardIcons(this);
    // The window has no cancel button: Escape does nothing.
    forms::setKeyRules(this, {.escapeDoesNothing = true});

    sizingTimer_ = new QTimer(this);
    sizingTimer_->setObjectName(QStringLiteral("Timer1"));
    sizingTimer_->setInterval(750);

    auto on = [this](QPushButton* button, void (BrowserWindow::*handler)()) {
        connect(button, &QPushButton::clicked, this, platform::guarded([this, handler] { (this->*handler)(); }));
    };
    on(backButton(), &BrowserWindow::goBack);
    on(forwardButton(), &BrowserWindow::goForward);
    on(homeButton(), &BrowserWindow::goHome);
    on(searchButton(), &BrowserWindow::openSearch);
    on(stopButton(), &BrowserWindow::stopLoading);
    on(reloadButton(), &BrowserWindow::reloadPage);
    on(autoFillButton(), &BrowserWindow::autoFill);
    on(closeButton(), &BrowserWindow::closeWindow);
    on(goButton(), &BrowserWindow::navigateToAddress);
    on(copyUserIdButton(), &BrowserWindow::copyUserId);
    on(copyPasswordButton(), &BrowserWindow::copyPassword);
    on(maskingButton(), &BrowserWindow::toggleUserAndPassword);
    on(widenButton(), &BrowserWindow::widenBrowser);
    on(narrowButton(), &BrowserWindow::narrowBrowser);
    on(lengthenButton(), &BrowserWindow::lengthenBrowser);
    on(shortenButton(), &BrowserWindow::shortenBrowser);
    connect(sizingTimer_, &QTimer::timeout, this, platform::guarded([this] { applyStoredBrowserSize(); }));
    connect(pageView(), &BrowserView::progressChanged, this, [this](int progress, int progressMax) {
        platform::runGuarded([&] { showProgress(progress, progressMax); });
    });
    connect(pageView(), &BrowserView::navigationCompleted, this,
            [this](const QUrl& url) { platform::runGuarded([&] { showAddress(url); }); });

    platform::runGuarded([this] { restoreWindowSize(); });
}

BrowserWindow::~BrowserWindow() = default;

// The controls, named for what they hold.
QPushButton* BrowserWindow::backButton() const { return ui->CmdBack; }
QPushButton* BrowserWindow::forwardButton() const { return ui->CmdForward; }
QPushButton* BrowserWindow::homeButton() const { return ui->CmdHome; }
QPushButton* BrowserWindow::searchButton() const { return ui->CmdSearch; }
QPushButton* BrowserWindow::stopButton() const { return ui->BitBtn7; }
QPushButton* BrowserWindow::reloadButton() const { return ui->BitBtn8; }
QPushButton* BrowserWindow::autoFillButton() const { return ui->BitBtn2; }
QPushButton* BrowserWindow::closeButton() const { return ui->BitBtn1; }
QPushButton* BrowserWindow::goButton() const { return ui->Button1; }
QPushButton* BrowserWindow::copyUserIdButton() const { return ui->Button2; }
QPushButton* BrowserWindow::copyPasswordButton() const { return ui->Button3; }
QPushButton* BrowserWindow::maskingButton() const { return ui->CmdHide; }
QPushButton* BrowserWindow::widenButton() const { return ui->BitBtn3; }
QPushButton* BrowserWindow::narrowButton() const { return ui->BitBtn4; }
QPushButton* BrowserWindow::lengthenButton() const { return ui->BitBtn5; }
QPushButton* BrowserWindow::shortenButton() const { return ui->BitBtn6; }
BrowserView* BrowserWindow::pageView() const { return ui->WebBrowser1; }
QLabel* BrowserWindow::progressLabel() const { return ui->Label1; }
QLabel* BrowserWindow::siteNameLabel() const { return ui->LblName; }
QLabel* BrowserWindow::hiddenValuesLabel() const { return ui->Label2; }
QLineEdit* BrowserWindow::addressEdit() const { return ui->EdURL; }
QLineEdit* BrowserWindow::userIdEdit() const { return ui->EdUser; }
QLineEdit* BrowserWindow::passwordEdit() const { return ui->EdPwd; }

void BrowserWindow::restoreWindowSize() {
    const std::string ini = settingsFile();
    platform::applyStoredOuterSize(this, vault::readWidth(kFormSection, ini), vault::readHeight(kFormSection, ini));
}

void BrowserWindow::saveSizes() {
    const std::string ini = settingsFile();
    platform::saveFormSize(this, kFormSection, ini);
    vault::saveSize(kBrowserSection, ini, pageView()->width(), pageView()->height());
}

void BrowserWindow::closeEvent(QCloseEvent* event) {
    // Closing is never refused; a size that cannot be written is reported and the
    // window closes all the same.
    platform::runGuarded([this] { saveSizes(); });
    pageView()->forgetFillValues();
    QDialog::reject();
    event->accept();
}

void BrowserWindow::reject() {
    // Escape does nothing (the key rules); anything else that rejects the dialog closes
    // it like its close box.
    close();
}

// Once the window has settled, the browser area takes its stored size.
void BrowserWindow::applyStoredBrowserSize() {
    const std::string ini = settingsFile();
    BrowserView* view = pageView();
    // Kept within the screen as the windows' own sizes are: a huge stored value would
    // make the page area take the memory of a page that size.
    const QSize stored =
        platform::storedAreaSize(this, vault::readWidth(kBrowserSection, ini), vault::readHeight(kBrowserSection, ini));
    int width = stored.width();
    if (width == 0) width = screenSize().width();
    view->resize(width, view->height());
    int height = stored.height();
    if (height == 0) height = screenSize().height() - 50;
    view->resize(view->width(), height);
    sizingTimer_->stop();
}

void BrowserWindow::showProgress(int progress, int progressMax) {
    progressLabel()->setToolTip(QString());  // the reason a page was not filled, if it was shown
    if (progressMax == 0 || progress == -1 || progressMax < progress) {
        progressLabel()->setText(tr("Done Loading."));
        pageView()->setBusyCursor(false);
    } else {
        const qint64 percent = qint64(progress) * 100 / progressMax;
        progressLabel()->setText(tr("%1% Loaded").arg(percent));
        pageView()->setBusyCursor(true);
    }
    QCoreApplication::processEvents();
}

void BrowserWindow::showAddress(const QUrl& url) { addressEdit()->setText(url.toString()); }

void BrowserWindow::goBack() {
    if (!pageView()->goBack()) platform::showPlain(tr(kBackMessage));
}

void BrowserWindow::goForward() {
    if (!pageView()->goForward()) platform::showPlain(tr(kForwardMessage));
}

void BrowserWindow::goHome() {
    if (!pageView()->goHome()) platform::showPlain(tr(kHomeMessage));
}

void BrowserWindow::openSearch() {
    if (!pageView()->goSearch()) platform::showPlain(tr(kSearchMessage));
}

void BrowserWindow::stopLoading() {
    if (!pageView()->stopLoading()) platform::showPlain(tr(kStopMessage));
}

void BrowserWindow::reloadPage() {
    if (!pageView()->refresh()) platform::showPlain(tr(kRefreshMessage));
}

void BrowserWindow::navigateToAddress() {
    const QString address = platform::trimControls(addressEdit()->text());
    if (address.isEmpty()) {
        platform::showPlain(tr(kNoUrlMessage));
        return;
    }
    pageView()->navigate(address);
}

// A page on another site (a redirect, a single sign-on page) receives nothing: the
// progress label says so, without a message box. A fill by the scan says so there too.
// The page may keep the click waiting; a window closed meanwhile says nothing more.
void BrowserWindow::autoFill() {
    const QPointer<BrowserWindow> self(this);
    const auto closed = [&self] { return !self || !self->isVisible(); };
    autofill::Outcome outcome;
    try {
        outcome = autofill::fillPage(pageView());
    } catch (...) {
        if (closed()) return;
        throw;
    }
    if (closed()) return;
    const auto label = [this](const char* text, const char* hint) {
        progressLabel()->setText(tr(text));
        progressLabel()->setToolTip(tr(hint));
    };
    switch (outcome) {
    case autofill::Outcome::FilledByForms:
    case autofill::Outcome::NothingFilled: break;
    case autofill::Outcome::FilledByScan: label(kScanFilledLabel, kScanFilledHint); break;
    case autofill::Outcome::UserIdFilled: label(kUserIdFilledLabel, kUserIdFilledHint); break;
    case autofill::Outcome::NoForms: platform::showPlain(autofill::noFormsMessage()); break;
    case autofill::Outcome::OtherSite: label(kOtherSiteLabel, kOtherSiteHint); break;
    case autofill::Outcome::TimedOut:
        platform::showError(autofill::timedOutMessage());  // the page keeps nothing of the click
        break;
    }
}

void BrowserWindow::closeWindow() { close(); }

void BrowserWindow::setBackground(const QColor& colour) {
    QPalette p = palette();
    p.setColor(QPalette::Window, colour);
    setPalette(p);
}

// The window flashes black while the box's text goes to the clipboard.
void BrowserWindow::copyToClipboard(const QLineEdit* box) {
    setBackground(Qt::black);
    repaint();
    QCoreApplication::processEvents();
    if (copyTarget_)
        copyTarget_(box->text());
    else
        platform::copySecret(box->text());
    setBackground(backgroundColour);
}

void BrowserWindow::setCopyTarget(std::function<void(const QString&)> target) { copyTarget_ = std::move(target); }

void BrowserWindow::setFillSource(autofill::ValueSource source) { pageView()->setFillSource(std::move(source)); }

void BrowserWindow::forgetFillValues() { pageView()->forgetFillValues(); }

void BrowserWindow::copyUserId() { copyToClipboard(userIdEdit()); }

void BrowserWindow::copyPassword() { copyToClipboard(passwordEdit()); }

void BrowserWindow::toggleUserAndPassword() {
    const bool hide = maskingButton()->text() == tr(kHide);
    userIdEdit()->setHidden(hide);
    passwordEdit()->setHidden(hide);
    maskingButton()->setText(hide ? tr(kShow) : tr(kHide));
}

void BrowserWindow::resizeBrowser(int widthChange, int heightChange) {
    BrowserView* view = pageView();
    view->resize(view->width() + widthChange, view->height() + heightChange);
}

void BrowserWindow::widenBrowser() { resizeBrowser(kSizeStep, 0); }
void BrowserWindow::narrowBrowser() { resizeBrowser(-kSizeStep, 0); }
void BrowserWindow::lengthenBrowser() { resizeBrowser(0, kSizeStep); }
void BrowserWindow::shortenBrowser() { resizeBrowser(0, -kSizeStep); }

std::unique_ptr<BrowserWindow> BrowserWindow::prepare(const platform::BrowseRequest& request) {
    auto window = std::make_unique<BrowserWindow>(request.owner);
    if (!window->openFor(request)) return nullptr;
    return window;
}

// The engine starts its page processes with the first page; an empty page of its own
// (never the view's, whose history and address stay the opening's) makes that happen
// before the window is asked for.
void BrowserWindow::warmUp() {
    pageView()->page();
    warmPage_ = new QWebEnginePage(this);
    warmPage_->load(QUrl(QStringLiteral("about:blank")));
}

bool BrowserWindow::openFor(const platform::BrowseRequest& request) {
    BrowserWindow* window = this;
    // The stored sizes were applied at creation; the window opens covering the screen
    // all the same.
    const QSize screen = screenSize();
    platform::applyOuterSize(window, screen.width(), screen.height());
    window->move(QGuiApplication::primaryScreen()->geometry().topLeft());
    pageView()->resize(screen);
    siteNameLabel()->setText(tr("Site: ") + request.name);
    userIdEdit()->setHidden(request.masked);
    passwordEdit()->setHidden(request.masked);
    maskingButton()->setText(request.masked ? tr(kShow) : tr(kHide));

    const QString website = platform::trimControls(request.website);
    if (website.isEmpty()) {
        platform::showPlain(platform::noWebsiteMessage());
        return false;
    }
    // Copies of their own, so that closing the window can overwrite them.
    pageView()->forgetFillValues();
    pageView()->fillValues() = {platform::ownCopy(request.user), platform::ownCopy(request.password), website};
    userIdEdit()->setText(request.user);
    passwordEdit()->setText(request.password);
    window->sizingTimer_->start();
    pageView()->navigate(website);
    // The empty page made ahead kept a page process ready for this one; once the
    // entry's page has loaded it only holds memory.
    if (warmPage_) connect(pageView(), &QWebEngineView::loadFinished, warmPage_.data(), &QObject::deleteLater);
    return true;
}
