#pragma once
#include <QObject>
#include <QTemporaryDir>

#include "browser_support.h"

class WindowTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir folder;
    std::string settingsFile;  // where the window keeps its sizes
    QString first, second;
    platform::BrowseRequest request(const QString& website, bool masked) const;

private slots:
    void initTestCase();
    void init();
    void progressLabelAndCursor();
    void openingWithoutWebsiteShowsNoWindow();
    void openingSizesAndRestoresTheBrowserArea();
    void maskedOpeningAndCopying();
    void storedAreaSizeStaysWithinTheScreen();
    void navigationButtons();
};
