// The real folder chooser, driven offscreen, and the about box on its own.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <functional>

#include "platform/folderchooser.h"
#include "platform/messages.h"
#include "windows/AboutBox.h"
#include "tests/support/modal.h"

namespace {

QString qtSettingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/QtProject.conf";
}

}  // namespace

class ChooserAboutTest : public QObject {
    Q_OBJECT
private slots:
    void init() { platform::testing::resetFolderChooser(); }

    void realChooserPicksAnExistingFolder() {
        QFile::remove(qtSettingsFile());
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString start = root.path() + "/Current";
        const QString other = root.path() + "/Thumb";
        QVERIFY(QDir().mkpath(start));
        QVERIFY(QDir().mkpath(other));

        QStringList failures;
        testsupport::whenModalShows(
            [&failures, start, other](QWidget* modal) {
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                if (!dialog) {
                    failures.append("the modal window is not a folder chooser");
                    modal->close();
                    return;
                }
                RECORD(dialog->windowTitle() == "Choose Your Storage Location", "title");
                auto* prompt = dialog->findChild<QLabel*>("StorageFolderPrompt");
                RECORD(prompt && prompt->text() == "Choose Your Storage Location" && prompt->isVisible(),
                       "no prompt above the folder view");
                RECORD(dialog->isModal() && dialog->windowModality() == Qt::ApplicationModal,
                       "chooser does not block the whole program");
                RECORD(dialog->fileMode() == QFileDialog::Directory, "not a folder chooser");
                RECORD(dialog->testOption(QFileDialog::ShowDirsOnly), "files are shown");
                // A trailing separator on the start folder must not matter.
                RECORD(QDir(dialog->directory()).absolutePath() == QDir(start).absolutePath(),
                       "start folder not preselected");
                auto* newFolder = dialog->findChild<QToolButton*>("newFolderButton");
                RECORD(!newFolder || (!newFolder->isVisible() && !newFolder->isEnabled()),
                       "a button for a new folder is offered");
                // Open the folder itself and confirm: the dialog's list fills in the
                // background, so picking an entry from it would race with that.
                dialog->setDirectory(other);
                static_cast<QDialog*>(dialog)->accept();
            },
            &failures);
        auto chosen = platform::chooseStorageFolder(nullptr, "Choose Your Storage Location", start + "/");
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join("; ")));
        QVERIFY(chosen.has_value());
        QCOMPARE(QDir(*chosen).absolutePath(), QDir(other).absolutePath());
        QVERIFY(!chosen->endsWith('/'));
        // Qt's shared settings file keeps no trace of the folders: it was not there
        // before, and it is not there after.
        QVERIFY(!QFileInfo::exists(qtSettingsFile()));
    }

    void realChooserCancelledAndMissingStart() {
        QTemporaryDir root;
        const QString missing = root.path() + "/gone/away";
        QStringList failures;
        testsupport::whenModalShows(
            [&failures, missing](QWidget* modal) {
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                if (!dialog) {
                    failures.append("the modal window is not a folder chooser");
                    modal->close();
                    return;
                }
                RECORD(!dialog->directory().absolutePath().startsWith(missing), "a missing folder was preselected");
                dialog->reject();
            },
            &failures);
        // Another program's settings in Qt's shared file stay as they were.
        const QByteArray others("[Other]\nkept=1\n");
        QVERIFY(QDir().mkpath(QFileInfo(qtSettingsFile()).path()));
        {
            QFile f(qtSettingsFile());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(others);
        }
        auto chosen = platform::chooseStorageFolder(nullptr, "Choose Your Storage Location", missing);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join("; ")));
        QVERIFY(!chosen.has_value());
        QFile f(qtSettingsFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), others);
        f.close();
        f.remove();
    }

    void aboutBoxShowsItsTextsAndClosesWithOk() {
        platform::testing::reset();
        QWidget owner;
        owner.resize(300, 200);
        owner.show();
        auto* box = new AboutBox(&owner);

        QStringList failures;
        bool checked = false;
        testsupport::whenModalShows(
            [&failures, box, &checked](QWidget* modal) {
                checked = true;
                RECORD(modal == box, "the about box is not the modal window");
                RECORD(box->isModal(), "not modal");
                RECORD(box->windowFlags().testFlag(Qt::FramelessWindowHint), "has a frame");
                const QRect area = box->screen()->availableGeometry();
                RECORD((box->geometry().center() - area.center()).manhattanLength() <= 2, "not centred on the screen");
                QPushButton* ok = box->okButton();
                QLabel* heading = box->disclaimerHeading();
                using keyfold::AboutText;
                const std::array<QLabel*, 6> labels = box->textLabels();
                const std::pair<QLabel*, AboutText> six[] = {
                    {labels[0], AboutText::Ownership},   {labels[1], AboutText::Version},
                    {labels[2], AboutText::Rights},      {labels[3], AboutText::Disclaimer1},
                    {labels[4], AboutText::Disclaimer2}, {labels[5], AboutText::Disclaimer3}};
                RECORD(ok->text() == "Ok" && ok->isDefault(), "button caption");
                RECORD(heading->text() == "Disclaimer :" && heading->width() >= heading->sizeHint().width(),
                       "disclaimer heading cut off");
                for (const auto& [label, which] : six) {
                    const QString name = label->objectName();
                    if (label->text().isEmpty() || label->text() != keyfold::aboutString(which))
                        failures.append(name + " does not show its text");
                    // Every text must be readable in full in the room its label has.
                    const int needed =
                        label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
                    if (needed > label->height() || (!label->wordWrap() && label->sizeHint().width() > label->width()))
                        failures.append(name + " text is cut off");
                }
                RECORD(six[1].first->text() == QStringLiteral("Version " KEYFOLD_VERSION), "version");
                // Only "Ok" closes the box: Escape does nothing.
                QTest::keyClick(box, Qt::Key_Escape);
                RECORD(box->isVisible(), "Escape closed the box");
                QTest::mouseClick(ok, Qt::LeftButton);
            },
            &failures);
        const int result = box->exec();
        delete box;
        QVERIFY(checked);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join("; ")));
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(platform::testing::takeFailures().isEmpty());
    }
};

QTEST_MAIN(ChooserAboutTest)
#include "test_chooser_about.moc"
