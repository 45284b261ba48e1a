// The edit box of 8-bit text; the conversion itself is in windows1252text.h.
#pragma once
#include <string>
#include <QClipboard>
#include <QLineEdit>
#include <QString>

#include "platform/windows1252text.h"

namespace platform {

// A single-line edit box for the 8-bit text of the data file. It shows exactly what was
// typed, pasted or dropped, also a character Windows-1252 cannot hold: the command that
// stores the text refuses that and names it (lackingWindows1252), so nothing is ever
// stored as something else. Each character the file can hold is one character of the
// box, so its maximum length counts stored characters. Optionally upper case only (a
// character without an upper case in Windows-1252 stays as it is). A paste (keyboard,
// context menu, middle button, drop) keeps the text up to its first line break. Typed
// and pasted text is changed before it goes in, through the box's own editing, so undo
// keeps working.
// A double click emits doubleClicked (the window decides what it means).
class Windows1252LineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit Windows1252LineEdit(QWidget* parent = nullptr);
    void setUpperCaseOnly(bool on);
    bool upperCaseOnly() const { return upper_; }
    // The box's text in Windows-1252 ("?" for a character it cannot hold: check with
    // lackingWindows1252 before storing it).
    std::string windows1252Text() const { return toWindows1252(text()); }
    void setWindows1252Text(const std::string& bytes) { setText(fromWindows1252(bytes)); }
    // Replaces the selection with the clipboard's text as a paste into this box takes it.
    void pasteClipboard(QClipboard::Mode mode = QClipboard::Clipboard);
    // The same for a box that holds a secret.
    vault::SecretText secretText() const { return secretWindows1252(text()); }
    // What windows1252Text() would return after setWindows1252Text(bytes), without setting it.
    std::string windows1252TextFor(std::string_view bytes) const { return std::string(secretTextFor(bytes).view()); }
    vault::SecretText secretTextFor(std::string_view bytes) const;

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    // Typed or pasted text as this box takes it in.
    QString accepted(const QString& input) const;
    void endUndoStep();
    void normalise();
    bool upper_ = false;
    bool busy_ = false;
};

}  // namespace platform
