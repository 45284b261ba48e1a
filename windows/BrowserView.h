// The browser window's engine: the web engine view behind the small set of operations
// and events the window uses.
#pragma once
#include <QString>
#include <QUrl>
#include <QVariant>
#include <QWebEngineView>

#include "windows/AutoFill.h"

class BrowserView : public QWebEngineView {
    Q_OBJECT
public:
    explicit BrowserView(QWidget* parent = nullptr);

    // Sets up the engine for this process; runs before the first view is made.
    static void prepareEngine();

    // The address as navigate reads it: a full address as it stands, anything else the
    // way an address bar reads it.
    static QUrl addressToUrl(const QString& address);
    // Starts loading the address; throws std::runtime_error when it is no http or https
    // address.
    void navigate(const QString& address);
    // Each returns false when there is no such page or it cannot be loaded.
    bool goBack();
    bool goForward();
    bool goHome();
    bool goSearch();
    bool stopLoading();
    bool refresh();
    void setBusyCursor(bool busy);

    // Runs a script in the page's top-level document, in a script world of its own
    // (the page's scripts cannot see or change it), and waits for its result.
    // `answered` tells whether a result came within the time allowed.
    QVariant runScript(const QString& source, bool* answered);
    // How long runScript waits for a page that keeps its thread busy.
    int scriptTimeoutMs() const { return scriptTimeoutMs_; }
    void setScriptTimeoutMs(int ms) { scriptTimeoutMs_ = ms; }

    // What auto-fill writes into this view's pages, and where a click asks for it when
    // it is not held here (AutoFill.h).
    autofill::Values& fillValues() { return fillValues_; }
    const autofill::ValueSource& fillSource() const { return fillSource_; }
    void setFillSource(autofill::ValueSource source) { fillSource_ = std::move(source); }
    // Overwrites the user ID and password held for auto-fill.
    void forgetFillValues();
    ~BrowserView() override;

    static const QString homePage;
    static const QString searchPage;

signals:
    // Progress of 100 while loading; progress -1 at the end.
    void progressChanged(int progress, int progressMax);
    // A navigation has completed and reached this address.
    void navigationCompleted(const QUrl& url);

private:
    int scriptTimeoutMs_ = 5000;
    autofill::Values fillValues_;
    autofill::ValueSource fillSource_;
};
