// Choosing another storage folder from the main window: held during the run, stored at
// exit, in force at the next start; and the about box opened from the main window.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "platform/appdata.h"
#include "platform/folderchooser.h"
#include "platform/messages.h"
#include "tests/support/boxes.h"
#include "vault/locations.h"
#include "vault/session.h"
#include "windows/AboutBox.h"
#include "windows/MainWindow.h"
#include "tests/support/controls.h"
#include "tests/support/modal.h"
#include "tests/support/messages.h"

using testsupport::SiteList;

using platform::BoxKind;

namespace {

const QString kChooserTitle = QStringLiteral("Choose Your Storage Location");
const QString kSavedOnExit = QStringLiteral(
    "The new storage location will save upon exit. It will be effective the next time you "
    "open Keyfold.");
QString q(const std::string& s) { return QFile::decodeName(QByteArray::fromStdString(s)); }

// A main window as the program starts it, the list loaded. The caller queues the boxes
// the start is expected to show.
std::unique_ptr<MainWindow> startMainWindow() {
    auto w = std::make_unique<MainWindow>();
    w->loadAtStart();
    w->show();
    return w;
}

}  // namespace

// The data folder of this user (under the test's HOME).
std::string dataFolder() { return vault::locateFiles(platform::appDataFolder()).dataFolder; }

class StorageLocationTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        platform::testing::reset();
        platform::testing::resetFolderChooser();
        // Every test starts as the very first run: no data folder, no stored choice.
        const QString data = q(dataFolder());
        if (!data.isEmpty()) QDir(data).removeRecursively();
    }

    void cancelledChooserChangesNothing() {
        testsupport::expectNoDataFileBoxes(true);
        auto w = startMainWindow();
        VERIFY_BOXES();
        const QString shown = w->locationLabel()->text();
        QCOMPARE(shown, q(w->session().paths().dataFile));

        platform::testing::setNextFolderChoice(std::nullopt);
        QTest::mouseClick(w->changeLocationButton(), Qt::LeftButton);
        QVERIFY(!platform::testing::folderChoicePending());
        auto asked = platform::testing::lastFolderRequest();
        QVERIFY(asked.has_value());
        QCOMPARE(asked->title, kChooserTitle);
        QCOMPARE(asked->startFolder, q(w->session().paths().storageFolder));
        QCOMPARE(w->locationLabel()->text(), shown);
        QVERIFY(!w->chosenLocation().has_value());

        w->close();
        VERIFY_BOXES();
        QVERIFY(!vault::readStoredLocation(dataFolder()).has_value());

        // The next start still uses the data folder, and finds the file there.
        auto again = startMainWindow();
        VERIFY_BOXES();
        QCOMPARE(again->locationLabel()->text(), shown);
    }

    void secondChoiceIsStoredAndUsedAtTheNextStart() {
        QTemporaryDir drives;
        const QString first = drives.path() + "/first";
        const QString thumb = drives.path() + "/thumb";
        QVERIFY(QDir().mkpath(first) && QDir().mkpath(thumb));

        testsupport::expectNoDataFileBoxes(true);
        auto w = startMainWindow();
        const std::string oldDataFile = w->session().paths().dataFile;
        QVERIFY(vault::fileExists(oldDataFile));

        // Choosing the folder already in use still counts as a choice.
        const QString current = QDir::cleanPath(q(w->session().paths().storageFolder));
        platform::testing::expectBox(BoxKind::Plain, kSavedOnExit);
        platform::testing::setNextFolderChoice(current);
        QTest::mouseClick(w->changeLocationButton(), Qt::LeftButton);
        QCOMPARE(w->locationLabel()->text(), current);

        platform::testing::expectBox(BoxKind::Plain, kSavedOnExit);
        platform::testing::setNextFolderChoice(first);
        QTest::mouseClick(w->changeLocationButton(), Qt::LeftButton);
        QCOMPARE(w->locationLabel()->text(), first);
        // The chooser starts where the data file of this run is, not at a pending choice.
        QCOMPARE(platform::testing::lastFolderRequest()->startFolder, q(w->session().paths().storageFolder));

        platform::testing::expectBox(BoxKind::Plain, kSavedOnExit);
        platform::testing::setNextFolderChoice(thumb);
        w->changeStorageLocation();
        QCOMPARE(w->locationLabel()->text(), thumb);
        VERIFY_BOXES();
        // Cancelling afterwards keeps the choice made before, silently.
        platform::testing::setNextFolderChoice(std::nullopt);
        QTest::mouseClick(w->changeLocationButton(), Qt::LeftButton);
        QCOMPARE(w->locationLabel()->text(), thumb);
        VERIFY_BOXES();
        // The run goes on with the file it opened at start.
        QCOMPARE(w->session().paths().dataFile, oldDataFile);

        // Nothing is stored before the exit.
        QVERIFY(!vault::readStoredLocation(dataFolder()).has_value());
        w->close();
        w.reset();
        QCOMPARE(q(vault::readStoredLocation(dataFolder()).value_or("")), thumb);

        // Next start: the empty thumb folder holds no file; the user declines a new one.
        testsupport::expectNoDataFileBoxes(false);
        auto next = startMainWindow();
        VERIFY_BOXES();
        QCOMPARE(q(next->session().paths().dataFile), thumb + "/KFOLD30.DAT");
        QCOMPARE(next->locationLabel()->text(), thumb + "/KFOLD30.DAT");
        QCOMPARE(SiteList(next).count(), 0);
        // Nothing was copied, moved or created.
        QVERIFY(QDir(thumb).isEmpty());
        QVERIFY(QDir(first).isEmpty());
        QVERIFY(vault::fileExists(oldDataFile));

        // A later run without a new choice keeps the stored one.
        next->close();
        next.reset();
        QCOMPARE(q(vault::readStoredLocation(dataFolder()).value_or("")), thumb);
    }

    void rootAndFolderFormsGiveTheSameDataFile() {
        QTemporaryDir drives;
        const QString stick = drives.path() + "/stick";
        QVERIFY(QDir().mkpath(stick));
        // A drive root comes back from the chooser with its separator, any other
        // folder without: both name the same file at the next start.
        QStringList seen;
        for (const QString& choice : {stick + "/", stick}) {
            auto w = std::make_unique<MainWindow>();
            platform::testing::expectBox(BoxKind::Plain, kSavedOnExit);
            platform::testing::setNextFolderChoice(choice);
            w->changeStorageLocation();
            QCOMPARE(w->locationLabel()->text(), choice);
            w->close();
            w.reset();
            VERIFY_BOXES();

            MainWindow next;
            seen.append(q(next.session().paths().dataFile));
        }
        QCOMPARE(seen.value(0), stick + "/KFOLD30.DAT");
        QCOMPARE(seen.value(1), seen.value(0));

        // The real root of the file system.
        {
            auto w = std::make_unique<MainWindow>();
            platform::testing::expectBox(BoxKind::Plain, kSavedOnExit);
            platform::testing::setNextFolderChoice(QStringLiteral("/"));
            w->changeStorageLocation();
            w->close();
        }
        MainWindow atRoot;
        QCOMPARE(q(atRoot.session().paths().dataFile), QStringLiteral("/KFOLD30.DAT"));
        VERIFY_BOXES();
    }

    void aboutBoxFromTheMainWindow() {
        testsupport::expectNoDataFileBoxes(false);
        auto w = startMainWindow();

        for (int round = 0; round < 2; ++round) {
            QStringList failures;
            bool seen = false;
            MainWindow* owner = w.get();
            testsupport::whenModalShows(
                [&](QWidget* modal) {
                    seen = true;
                    auto* box = qobject_cast<AboutBox*>(modal);
                    if (!box) {
                        failures.append("the modal window is not the about box");
                        modal->close();
                        return;
                    }
                    RECORD(box->parentWidget() == owner, "not owned by the main window");
                    RECORD(box->isModal(), "not modal");
                    RECORD(owner->findChildren<AboutBox*>().size() == 1, "more than one about box");
                    QStringList texts;
                    for (const QLabel* label : box->textLabels()) texts.append(label->text());
                    RECORD(!texts.contains(QString()) && texts.removeDuplicates() == 0,
                           "the six texts are not all there");
                    RECORD(texts.value(1) == QStringLiteral("Version " KEYFOLD_VERSION), "version");
                    QPushButton* ok = box->okButton();
                    QTest::mouseClick(ok, Qt::LeftButton);
                },
                &failures);
            QTest::mouseClick(w->aboutButton(), Qt::LeftButton);
            QVERIFY(seen);
            QVERIFY2(failures.isEmpty(), qPrintable(failures.join("; ")));
            // Closed and gone: every click builds a fresh box.
            QTRY_COMPARE(w->findChildren<AboutBox*>().size(), qsizetype(0));
            QVERIFY(QApplication::activeModalWidget() == nullptr);
        }
        VERIFY_BOXES();
        w->close();
    }
};

QTEST_MAIN(StorageLocationTest)
#include "test_storage_location.moc"
