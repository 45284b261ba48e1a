// The built-in browser window TFrmBrowse: the entry's web site inside the program,
// with the login auto-fill ("Auto Fill Pwd ").
#pragma once
#include <memory>
#include <QDialog>
#include <QString>
#include <QVariant>
#include <QWebEngineView>

#include "platform/browser_module.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QFrame;

// The browser control: the web engine view behind the small set of operations and
// events the window uses.
class BrowserControl : public QWebEngineView {
    Q_OBJECT
public:
    explicit BrowserControl(QWidget* parent = nullptr);

    // The address as Navigate reads it: a full address as it stands, anything else the
    // way an address bar reads it.
    static QUrl AddressToUrl(const QString& address);
    // Starts loading the address; throws std::runtime_error when it is no address.
    void Navigate(const QString& address);
    // Each returns false when there is no such page or it cannot be loaded.
    bool GoBack();
    bool GoForward();
    bool GoHome();
    bool GoSearch();
    bool Stop();
    bool Refresh();
    void SetBusyCursor(bool busy);

    // Runs a script in the page's top-level document, in a script world of its own
    // (the page's scripts cannot see or change it), and waits for its result.
    // `answered` tells whether a result came within the time allowed.
    QVariant RunScript(const QString& source, bool* answered);
    // How long RunScript waits for a page that keeps its thread busy.
    static int ScriptTimeoutMs;

    static const QString HomePage;
    static const QString SearchPage;

signals:
    // Progress of 100 while loading; Progress -1 at the end.
    void ProgressChange(int progress, int progressMax);
    // A navigation has completed and reached this address.
    void NavigateComplete2(const QUrl& url);
};

class TFrmBrowse : public QDialog {
    Q_OBJECT
public:
    explicit TFrmBrowse(QWidget* owner = nullptr);
    ~TFrmBrowse() override;

    QFrame* Panel1;
    QPushButton* CmdBack;
    QPushButton* CmdForward;
    QPushButton* CmdHome;
    QPushButton* CmdSearch;
    QPushButton* BitBtn7;
    QLabel* Label1;
    QPushButton* BitBtn8;
    QPushButton* BitBtn2;
    QPushButton* BitBtn1;
    QLineEdit* EdURL;
    QPushButton* Button1;
    QLabel* Label2;
    QLineEdit* EdUser;
    QLineEdit* EdPwd;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* CmdHide;
    QPushButton* BitBtn6;
    QPushButton* BitBtn4;
    QPushButton* BitBtn3;
    QPushButton* BitBtn5;
    QLabel* LblName;
    BrowserControl* WebBrowser1;
    QTimer* Timer1;

    void FormCreate();
    void FormCloseQuery();
    void Timer1Timer();
    void WebBrowser1ProgressChange(int progress, int progressMax);
    void WebBrowser1NavigateComplete2(const QUrl& url);

    void CmdBackClick();
    void CmdForwardClick();
    void CmdHomeClick();
    void CmdSearchClick();
    void BitBtn7Click();
    void BitBtn8Click();
    void BitBtn2Click();
    void BitBtn1Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void CmdHideClick();
    void BitBtn3Click();
    void BitBtn4Click();
    void BitBtn5Click();
    void BitBtn6Click();

    // Overwrites AutoFillUser and AutoFillPwd; done when the window closes.
    static void forgetAutoFillValues();

    // The window's background colour (232, 232, 232) and the edit boxes' colour.
    static const QColor BackgroundColour;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

public slots:
    void reject() override;

private:
    void setBackground(const QColor& colour);
    void copyToClipboard(const QLineEdit* box);
};

// The two texts that auto-fill writes into the page, captured when the window opens
// and overwritten when it closes.
extern QString AutoFillUser;
extern QString AutoFillPwd;
// The entry's website address, captured with them: auto-fill writes only into pages
// of that site (SameSite).
extern QString AutoFillWebsite;
// The no-forms message has been shown during the current auto-fill click.
extern bool NoFormsMessageShown;

// Walks the forms of the page the control shows and writes value into every INPUT of a
// form whose name holds the keyword; true when at least one control was written.
// A page that is not on the site of AutoFillWebsite is not walked: false.
bool FillFormInputs(BrowserControl* browser, const QString& keyword, const QString& value);

// Opening steps up to the navigation. Returns the window ready to be shown, or
// nothing when the entry has no website (the message has been shown then).
std::unique_ptr<TFrmBrowse> PrepareBrowseWindow(const platform::BrowseRequest& request);

// The whole opening: prepare, show modally, destroy.
extern "C" void keyfold_open_browser(const platform::BrowseRequest* request);
