// The built-in browser window: the entry's web site inside the program, with the login
// auto-fill ("Auto Fill Pwd "). Its controls live in BrowserWindow.ui; the engine is
// BrowserView, the auto-fill driver is in AutoFill.
#pragma once
#include <functional>
#include <memory>
#include <QColor>
#include <QDialog>
#include <QPointer>

#include "platform/browser_process.h"
#include "windows/AutoFill.h"

class QLabel;
class QLineEdit;
class BrowserView;
class QPushButton;
class QTimer;
class QWebEnginePage;
class QUrl;
namespace Ui {
class BrowserWindow;
}

class BrowserWindow : public QDialog {
    Q_OBJECT
public:
    explicit BrowserWindow(QWidget* owner = nullptr);
    ~BrowserWindow() override;

    // Opening steps up to the navigation. Returns the window ready to be shown, or
    // nothing when the entry has no website (the message has been shown then).
    static std::unique_ptr<BrowserWindow> prepare(const platform::BrowseRequest& request);
    // The same opening steps on a window made ahead (its owner is the one it was made
    // with); false when the entry has no website.
    bool openFor(const platform::BrowseRequest& request);
    // Starts the engine's page processes on an empty page, for a window made ahead.
    void warmUp();

    // Where the copy buttons' texts go instead of this process's clipboard (the
    // program's, when the window runs in a process of its own); nothing: here.
    void setCopyTarget(std::function<void(const QString&)> target);
    // Where a click of auto-fill asks for the user ID and password instead of taking
    // those the window opened with (the program, when the window runs in a process of
    // its own); and the overwriting of those it opened with.
    void setFillSource(autofill::ValueSource source);
    void forgetFillValues();

    // The window's background colour (232, 232, 232).
    static const QColor backgroundColour;

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

public:
    // The controls, named for what they hold (their object names are the form's); the
    // window tests reach them here.
    QPushButton* backButton() const;
    QPushButton* forwardButton() const;
    QPushButton* homeButton() const;
    QPushButton* searchButton() const;
    QPushButton* stopButton() const;
    QPushButton* reloadButton() const;
    QPushButton* autoFillButton() const;
    QPushButton* closeButton() const;
    QPushButton* goButton() const;
    QPushButton* copyUserIdButton() const;
    QPushButton* copyPasswordButton() const;
    QPushButton* maskingButton() const;
    QPushButton* widenButton() const;
    QPushButton* narrowButton() const;
    QPushButton* lengthenButton() const;
    QPushButton* shortenButton() const;
    BrowserView* pageView() const;
    QLabel* progressLabel() const;
    QLabel* siteNameLabel() const;
    // Stands where the user ID and password boxes are while they are hidden.
    QLabel* hiddenValuesLabel() const;
    QLineEdit* addressEdit() const;
    QLineEdit* userIdEdit() const;
    QLineEdit* passwordEdit() const;
    // Gives the browser area its stored size once the window has settled.
    QTimer* sizingTimer() const { return sizingTimer_; }

private:
    void restoreWindowSize();
    void saveSizes();
    void applyStoredBrowserSize();
    void showProgress(int progress, int progressMax);
    void showAddress(const QUrl& url);

    void goBack();
    void goForward();
    void goHome();
    void openSearch();
    void stopLoading();
    void reloadPage();
    void autoFill();
    void closeWindow();
    void navigateToAddress();
    void copyUserId();
    void copyPassword();
    void toggleUserAndPassword();
    void widenBrowser();
    void narrowBrowser();
    void lengthenBrowser();
    void shortenBrowser();

    void setBackground(const QColor& colour);
    void copyToClipboard(const QLineEdit* box);
    void resizeBrowser(int widthChange, int heightChange);

    std::unique_ptr<Ui::BrowserWindow> ui;
    std::function<void(const QString&)> copyTarget_;
    QTimer* sizingTimer_;
    QPointer<QWebEnginePage> warmPage_;
};
