// The main window: the sorted list of names, the five boxes of the entry on show,
// the commands, the storage location and the memory panel.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <QPointer>
#include <QWidget>

#include "platform/ansi.h"

namespace vault {
struct Entry;
class Session;
}  // namespace vault

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

class TFrmfirst : public QWidget {
    Q_OBJECT
public:
    explicit TFrmfirst(QWidget* parent = nullptr);
    ~TFrmfirst() override;

    // Controls, named as the program names them (objectName is the same).
    QFrame* Panel1 = nullptr;
    QLabel* Label14 = nullptr;
    platform::AnsiLineEdit* EdFilter = nullptr;
    QPushButton* CmdReload = nullptr;
    QListWidget* ListBox1 = nullptr;
    QLabel* LblCount = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label3 = nullptr;
    platform::AnsiLineEdit* EdName = nullptr;
    QLabel* Label4 = nullptr;
    platform::AnsiLineEdit* Edwebsite = nullptr;
    QLabel* Label5 = nullptr;
    platform::AnsiLineEdit* EdComments = nullptr;
    QLabel* Label1 = nullptr;
    platform::AnsiLineEdit* EdUser = nullptr;
    QLabel* LblUserHidden = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label2 = nullptr;
    platform::AnsiLineEdit* Edpwd = nullptr;
    QLabel* LblPwdHidden = nullptr;
    QPushButton* BitBtn4 = nullptr;
    QLabel* Label8 = nullptr;
    QPushButton* CmdHide = nullptr;
    QPushButton* CmdAdd = nullptr;
    QPushButton* CmdUpdate = nullptr;
    QPushButton* CmdDelete = nullptr;
    QPushButton* CmdGoWeb = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* CmdDefault = nullptr;
    QPushButton* CmdCreate = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* LblCurrent = nullptr;
    QPushButton* CmdChg = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QPushButton* CmdAbout = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn5 = nullptr;
    QListWidget* ListHidden = nullptr;

    // The storage folder the user chose in this run; stored at exit, in force from
    // the next start.
    std::optional<std::string> chosenLocation;

    // Creation: paths and data folder, stored size, masking state.
    void FormCreate();
    // Runs when the window is asked to close: saves the size and the masking state.
    void FormCloseQuery();
    // Once, when the key phrase is in force: list, memory panel, location, count.
    void LoadAtStart();
    void LoadSiteList();
    void ShowRecord(const vault::Entry& entry);
    // The data file of this run, its paths and the key phrase in force.
    vault::Session& session() { return *session_; }
    void RefreshCount();

    void ListBox1Click();
    void ListBox1DblClick();
    void EdFilterChange();
    void CmdReloadClick();
    void CmdHideClick();
    void BitBtn3Click();
    void BitBtn4Click();
    void EdNameDblClick();
    void EdwebsiteDblClick();
    void EdCommentsDblClick();
    void EdUserDblClick();
    void EdpwdDblClick();

    void CmdAddClick();
    void CmdUpdateClick();
    void CmdDeleteClick();
    // kind "U" (update) or "D" (delete).
    void ApplyEntryChange(const QString& kind);

    void BitBtn2Click();

    // Browser window.
    void CmdGoWebClick();
    // Printed list, text list, external browser, help, tips.
    void BitBtn1Click();
    void CmdCreateClick();
    void CmdDefaultClick();
    void BitBtn5Click();
    void Label6Click();
    // Storage location and about box.
    void CmdChgClick();
    void CmdAboutClick();
    // Stores chosenLocation (if any) at exit; called by FormCloseQuery.
    void StoreChosenLocation();

    // The masking state: true while the user ID and password boxes are shown.
    bool entriesShown() const;

    // Makes the button pictures and the list's font once the given dialog has been
    // painted (the window is then still hidden); without it they are made before the
    // list loads or the window first shows.
    void finishLookAfterFirstPaintOf(QWidget* dialog);

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildControls();
    void finishLook();
    void connectHandlers();
    void setMasked(bool masked);
    void pasteInto(platform::AnsiLineEdit* box);
    void copyToClipboard(const QString& text);
    void selectFirstLineAndShow();
    // The entry as the boxes hold it.
    vault::Entry typedEntry() const;

    std::unique_ptr<vault::Session> session_;

    bool listSignalsBlocked_ = false;
    bool mouseSelectPending_ = false;
    QTimer* copyFlash_ = nullptr;
    bool firstShow_ = true;
    bool lookFinished_ = false;
    bool lookTimerStarted_ = false;
    QPointer<QWidget> lookAfterPaintOf_;
    int pendingOuterWidth_ = 0;
    int pendingOuterHeight_ = 0;
};
