// The key phrase dialog: takes the phrase of the run, creates the data file on a first
// run, and re-keys the data file from an old phrase to a new one. Its controls live in
// KeyPhraseDialog.ui.
#pragma once
#include <functional>
#include <memory>
#include <QDialog>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
namespace Ui {
class KeyPhraseDialog;
}
namespace platform {
class Windows1252LineEdit;
}
namespace vault {
class Session;
}  // namespace vault

class KeyPhraseDialog : public QDialog {
    Q_OBJECT
public:
    // Works on the given session (the main window's: its data file, paths and key
    // phrase); without one, on a session of its own.
    explicit KeyPhraseDialog(vault::Session* session = nullptr, QWidget* parent = nullptr);
    ~KeyPhraseDialog() override;

    // Legacy conversion, the stored "Show typed characters", then the dialog shown
    // modally; returns when it has closed.
    void run();
    // Everything run does before showing the dialog.
    void prepare();

    // Whether a phrase was put in force: Continue or the close button took one that
    // opens the data file (or the user chose to open it anyway). When the dialog closed
    // without one, the program ends without showing or writing anything.
    bool phraseOpened() const { return phraseOpened_; }

signals:
    // The phrase of the run is in force: emitted once, when the dialog first closes
    // (by "Continue" or the close box). A failure in a receiver goes to the general
    // error report and the dialog still closes.
    void phraseSet();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    vault::Session& session();

public:
    // The controls, named for what they hold (their object names are the form's); the
    // window tests reach them here.
    QLineEdit* phraseEdit() const;
    QPushButton* continueButton() const;
    QCheckBox* showTypedBox() const;
    QCheckBox* changePhraseBox() const;
    QFrame* changePanel() const;
    QLineEdit* oldPhraseEdit() const;
    QLineEdit* newPhraseEdit() const;
    QPushButton* verifyButton() const;
    platform::Windows1252LineEdit* verifyLineEdit() const;
    QLabel* oldPhraseLabel() const;
    QLabel* newPhraseLabel() const;
    QLabel* verifyLabel() const;

private:
    void showTypedCharacters();
    void toggleChangePanel();
    void continueWithPhrase();
    void changeKeyPhrase();
    // Runs on every close (Continue or the close box).
    void takePhraseOnClose();
    // Opens the data file under the box's phrase; false (after saying why) when the
    // phrase cannot be used or does not open the file and the user did not open it anyway.
    // programEnds: the title bar's button took the phrase, and Keyfold ends when it fails.
    bool openWithBoxPhrase(bool programEnds = false);
    // Runs a sealed file's key derivation off the window's thread; Continue, Verify and
    // closing wait until it ends.
    void deriveKey(const std::function<void()>& work);
    // First run: makes the data file under the box's phrase once the phrase is found
    // usable; false when it is not (after saying why) or another copy made a file meanwhile.
    bool createWithBoxPhrase();

    std::unique_ptr<Ui::KeyPhraseDialog> ui;
    vault::Session* session_;
    std::unique_ptr<vault::Session> ownSession_;
    bool phraseSetEmitted_ = false;
    bool phraseOpened_ = false;
    bool derivingKey_ = false;
};
