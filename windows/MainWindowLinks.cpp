// The main window's ways out: the browser window, the default browser, the help page,
// the password tips page, the about box, and the choice of storage location.
#include <memory>
#include <optional>

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>

#include "platform/windows1252lineedit.h"
#include "platform/browser_process.h"
#include "platform/folderchooser.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "ui_MainWindow.h"
#include "vault/locations.h"
#include "vault/session.h"
#include "vault/text.h"
#include "windows/AboutBox.h"
#include "windows/MainWindow.h"

using platform::fromWindows1252;
using platform::toWindows1252;

namespace {

// A page of plain advice on strong passwords, from a public security agency.
const char* const kPasswordTipsAddress = "https://www.cisa.gov/secure-our-world/use-strong-passwords";

const char* const kLocationSavedOnExit =
    QT_TRANSLATE_NOOP("MainWindow",
                      "The new storage location will save upon exit. It will be effective the next time you "
                      "open Keyfold.");

// Signs that a person heads for "Open Within": the pointer on it, the focus on it, its
// press (the click acts on the release). The browser process starts then, so that the
// window is ready by the click, and not before: most sessions never open a page.
class PageIntent : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Enter:
        case QEvent::FocusIn:
        case QEvent::MouseButtonPress: platform::warmBrowserProcess(); break;
        default: break;
        }
        return false;
    }
};

}  // namespace

void MainWindow::watchForPageIntent() {
    QPushButton* button = browserWindowButton();
    button->installEventFilter(new PageIntent(button));
}

void MainWindow::openInBrowserWindow() {
    // The browser window takes the boxes' texts as they stand; masking follows the
    // "User Hidden" label of this window.
    platform::BrowseRequest request;
    request.owner = this;
    request.name = nameEdit()->text();
    request.website = websiteEdit()->text();
    request.user = userIdEdit()->text();
    request.password = passwordEdit()->text();
    request.masked = !userHiddenLabel()->isHidden();
    platform::openBrowserWindow(request);
}

void MainWindow::openInDefaultBrowser() {
    const QString box = websiteEdit()->text();
    const std::string address = vault::trim(toWindows1252(box));
    if (address.empty()) {
        platform::showPlain(tr("There is no website address listed in the website box above."));
        return;
    }
    // Handed over as it stands: stored addresses already carry their scheme. The opener
    // may fail late; the message then repeats the box as it was at the click.
    platform::shellOpen(fromWindows1252(address), this, [this, box] {
        platform::showPlain(tr("Your web browser could not be opened. You will need to click and open your "
                               "your browser and go to %1 You can also use the Go There button.")
                                .arg(box));
    });
}

void MainWindow::openHelp() {
    // Beside the program file, whatever the current folder is.
    const QString path = QDir::toNativeSeparators(
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("help.htm")));
    auto failed = [this] {
        platform::showInformation(
            tr("The help file could not be opened because your browser would not open. You can view this "
               "help file by opening your browser manually, and pointing it to help.htm."));
    };
    // A missing page is a failure to open it; the opener would only find out later.
    if (!QFileInfo::exists(path))
        failed();
    else
        platform::shellOpen(path, this, failed);
}

void MainWindow::openPasswordTips() {
    platform::shellOpen(QString::fromLatin1(kPasswordTipsAddress), this,
                        [this] { platform::showInformation(tr("Your browser could not be opened.")); });
}

// A fresh box for every click, gone again once it is closed.
void MainWindow::showAbout() {
    const std::unique_ptr<AboutBox> box = std::make_unique<AboutBox>(this);
    box->exec();
}

// The choice only changes the label and is held until the exit; the data file of this
// run stays where it was opened, and nothing is copied or moved.
void MainWindow::changeStorageLocation() {
    const QString start = platform::displayPath(session_->paths().storageFolder);
    const std::optional<QString> chosen =
        platform::chooseStorageFolder(this, tr("Choose Your Storage Location"), start);
    if (!chosen) return;
    locationLabel()->setText(*chosen);
    chosenLocation_ = QFile::encodeName(*chosen).toStdString();
    platform::showPlain(tr(kLocationSavedOnExit));
}

// At exit: the storage folder chosen in this run, in force from the next start.
void MainWindow::storeChosenLocation() {
    if (chosenLocation_ && !chosenLocation_->empty())
        vault::writeStoredLocation(session_->paths().dataFolder, *chosenLocation_);
}
