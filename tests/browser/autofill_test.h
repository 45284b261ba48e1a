#pragma once
#include <memory>
#include <QObject>
#include <QTemporaryDir>

#include "browser_support.h"

class AutoFillTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir pages;
    std::unique_ptr<BrowserWindow> window;
    BrowserView* page() const { return window->pageView(); }
    // Loads the address (or the page written from body) and clicks "Auto Fill Pwd ": the
    // values of the page's inputs by id.
    QJsonObject fillAt(const QString& address);
    QJsonObject fillPage(const QString& name, const QString& body);

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void loginFormsAreFilledByTheFirstMatchingKeyword();
    void noFormsTellsOncePerClick();
    void valuesAreWrittenAsDataNeverRun();
    void pageThatDoesNotAnswerIsReported();
    void sameSiteRule();
    void pagesOnAnotherSiteReceiveNothing();
    void scanFillsVisibleLoginBoxes();
    void programAnswersOnlyForTheEntrysSite();
    void windowProcessAsksTheProgramOnTheClick();
};
