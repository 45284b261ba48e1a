// The main window: the sorted list of names, the five boxes of the entry on show,
// the commands, the storage location and the memory panel. Its controls are in
// MainWindow.ui; the code is split by job over MainWindow*.cpp.
#pragma once
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <QPointer>
#include <QWidget>

#include "platform/textdigest.h"

namespace vault {
struct Entry;
class Session;
}  // namespace vault
namespace platform {
class Windows1252LineEdit;
class LinkLabel;
}  // namespace platform
namespace Ui {
class MainWindow;
}

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListView;
class QPushButton;
class QTimer;

class EntryListModel;
class NarrowingFilter;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // When the controls are made. At the start of the program the key phrase dialog
    // comes first and the main window stays hidden until the phrase is in force, so
    // its controls can wait until the dialog has been painted (AfterKeyDialog, with
    // finishLookAfterFirstPaintOf). The paths, the settings, the stored size and the
    // masking state are read at creation either way.
    enum class Controls {
        AtOnce,
        AfterKeyDialog
    };
    explicit MainWindow(QWidget* parent = nullptr, Controls when = Controls::AtOnce);
    ~MainWindow() override;

    // Once, when the key phrase is in force: list, memory panel, location, count.
    void loadAtStart();
    // The data file of this run, its paths and the key phrase in force.
    vault::Session& session() { return *session_; }
    // The masking state: true while the user ID and password boxes are shown.
    bool entriesShown() const;
    // The storage folder the user chose in this run; stored at exit, in force from
    // the next start.
    const std::optional<std::string>& chosenLocation() const { return chosenLocation_; }

    // Makes the controls (where they wait), the button pictures and the list's font
    // once the given dialog has been painted (the window is then still hidden);
    // without it they are made before the list loads or the window first shows.
    void finishLookAfterFirstPaintOf(QWidget* dialog);

    // The commands, each what a control of the window does (MainWindow.cpp).
    void showSelectedEntry();
    void filterList();
    void refreshList();
    void toggleMasking();
    void copyUserId();
    void copyPassword();
    void pasteInto(platform::Windows1252LineEdit* box);
    // Entry editing (MainWindowEditing.cpp).
    void addEntry();
    void updateEntry();
    void deleteEntry();
    // Printed list and text list (MainWindowOutput.cpp).
    void printList();
    void createTextList();
    // Links, other windows and the storage location (MainWindowLinks.cpp).
    void openInBrowserWindow();
    // Starts the browser process when a person heads for "Open Within".
    void watchForPageIntent();
    void openInDefaultBrowser();
    void openHelp();
    void openPasswordTips();
    void changeStorageLocation();
    // Seals or unseals the data file, as the user set the box, once confirmed.
    void toggleSealing();
    void showAbout();

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

public:
    // The controls, named for what they hold (their object names are the form's); the
    // window tests reach them here.
    QFrame* panel() const;
    platform::Windows1252LineEdit* filterEdit() const;
    QPushButton* refreshButton() const;
    QListView* siteList() const;
    QLabel* countLabel() const;
    platform::LinkLabel* tipsLink() const;
    platform::Windows1252LineEdit* nameEdit() const;
    platform::Windows1252LineEdit* websiteEdit() const;
    platform::Windows1252LineEdit* commentsEdit() const;
    platform::Windows1252LineEdit* userIdEdit() const;
    platform::Windows1252LineEdit* passwordEdit() const;
    QLabel* passwordLabel() const;
    QLabel* userHiddenLabel() const;
    QLabel* passwordHiddenLabel() const;
    QPushButton* copyUserIdButton() const;
    QPushButton* copyPasswordButton() const;
    QPushButton* maskingButton() const;
    QPushButton* addButton() const;
    QPushButton* updateButton() const;
    QPushButton* deleteButton() const;
    QPushButton* browserWindowButton() const;
    QPushButton* printButton() const;
    QPushButton* defaultBrowserButton() const;
    QPushButton* textListButton() const;
    QGroupBox* storageGroup() const;
    QLabel* locationLabel() const;
    QPushButton* changeLocationButton() const;
    QCheckBox* sealCheckBox() const;
    QLabel* notSealedLabel() const;
    QGroupBox* memoryGroup() const;
    QLabel* memoryTotalLabel() const;
    QLabel* memoryAvailableLabel() const;
    QLabel* memoryPercentLabel() const;
    QPushButton* aboutButton() const;
    QPushButton* exitButton() const;
    QPushButton* helpButton() const;

private:
    // Creation: paths and data folder, stored size, masking state.
    void setUpAtCreation();
    // When the window is asked to close: the size, the masking state, the location.
    void saveOnClose();
    void storeChosenLocation();
    // The data file in use (plain or sealed) in the location label and the seal box, and
    // under the box, while the file is plain, what that means.
    void showDataFileKind();
    // Sealing a plain file: the key phrase typed once more is the one in force; says so
    // when it is not, and false then and when the user cancels.
    bool sealingPhraseConfirmed();
    // The controls of MainWindow.ui, their wiring and keys, the stored size and masking
    // state; once.
    void buildControls();
    void connectHandlers();
    void finishLook();
    void loadList();
    void showEntry(const vault::Entry& entry);
    void showCount();
    void setMasked(bool masked);
    void copyToClipboard(const QString& text);
    void selectFirstLineAndShow();
    // Selects a line of the list (-1: none) without running the lookup of a selection.
    void selectRowQuietly(int row);
    // Update or delete of the entry named in the name box.
    void applyEntryChange(bool deleting);
    // The entry as the boxes hold it (nameOnly: the name box alone), or nothing after
    // saying which box holds characters the data file cannot hold.
    std::optional<vault::Entry> storableEntry(bool nameOnly = false) const;
    // What the boxes hold now counts as shown, not typed: the entry on show, or what an
    // add, update or delete has just written.
    void rememberShownTexts();
    // Whether a box holds text that differs from what was shown there (typed work).
    bool typedWorkPending() const;
    // Enter where no button has the focus ends the program; with typed work, only once
    // the user agrees to lose it.
    bool mayEndOnEnter();
    // Before an add or update is written: the website box shows the address as it is
    // stored, where "http://" was put in front.
    std::function<void(const vault::Entry& entry, bool addressCompleted)> showCompletedAddress();

    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<vault::Session> session_;
    std::optional<std::string> chosenLocation_;
    // The list's rows (every entry loaded, with its slot) and those it shows.
    EntryListModel* entries_ = nullptr;
    NarrowingFilter* shownEntries_ = nullptr;

    bool mouseSelectPending_ = false;
    // While code changes the list's rows or its current line: no lookup of a selection.
    bool selectingInCode_ = false;
    QTimer* copyFlash_ = nullptr;
    bool firstShow_ = true;
    bool lookFinished_ = false;
    bool lookTimerStarted_ = false;
    QPointer<QWidget> lookAfterPaintOf_;
    int pendingOuterWidth_ = 0;
    int pendingOuterHeight_ = 0;
    bool maskedAtStart_ = false;
    // A keyed digest of each entry box's text as last shown (rememberShownTexts): typed
    // work is told without keeping a second copy of the password.
    std::array<platform::TextDigest, 5> shownTexts_{};
};
