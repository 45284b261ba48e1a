// The key phrase dialog: takes the phrase of the run, creates the data file on a first
// run, and re-keys the data file from an old phrase to a new one.
#pragma once
#include <memory>
#include <QDialog>

#include "platform/ansi.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class MainWindow;
namespace vault {
class Session;
}  // namespace vault

class TFrmKey : public QDialog {
    Q_OBJECT
public:
    // mainWindow's loadAtStart runs when the dialog closes.
    // Without a main window the dialog works on a session of its own.
    explicit TFrmKey(MainWindow* mainWindow, QWidget* parent = nullptr);
    ~TFrmKey() override;

    QLabel* Label1 = nullptr;
    platform::AnsiLineEdit* EdKeyContinue = nullptr;
    QPushButton* Button1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* ChkChange = nullptr;
    QFrame* PanelChange = nullptr;
    QLabel* Label2 = nullptr;
    platform::AnsiLineEdit* EdOld = nullptr;
    QLabel* Label4 = nullptr;
    platform::AnsiLineEdit* EdNew = nullptr;
    QPushButton* Cmdverify = nullptr;
    QLabel* Label3 = nullptr;
    platform::AnsiLineEdit* EdVerify = nullptr;

    // Legacy conversion, cipher tables, stored "Show typed characters", then the dialog
    // shown modally; returns when it has closed.
    void FormCreate();
    // Everything FormCreate does before showing the dialog.
    void PrepareDialog();

    void CheckBox1Click();
    void ChkChangeClick();
    void Button1Click();
    void CmdverifyClick();
    // Runs on every close (Continue or the close button).
    void FormCloseQuery();

    // The longest phrase a box takes: the cipher holds at most 255 characters.
    static constexpr int kMaxPhraseLength = 255;

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    // The main window's session: its data file, paths and key phrase.
    vault::Session& session();

    MainWindow* main_;
    std::unique_ptr<vault::Session> ownSession_;
    bool loaded_ = false;
};
