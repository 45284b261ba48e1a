#include "platform/ansi.h"

#include <QAction>
#include <QFile>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

#include "vault/ansi.h"
#include "vault/text.h"

namespace platform {

namespace {

char16_t unicodeOf(unsigned char b) { return vault::unicodeOfWindows1252(b); }

}  // namespace

QString displayPath(const std::string& path) {
#ifdef _WIN32
    return fromAnsi(path);
#else
    return QFile::decodeName(QByteArray::fromStdString(path));
#endif
}

QString fromAnsi(const std::string& bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (unsigned char b : bytes) out.append(QChar(unicodeOf(b)));
    return out;
}

std::string toAnsi(const QString& text) {
    // A character outside the 16-bit plane is one character, so one "?".
    const QByteArray utf8 = text.toUtf8();
    return vault::windows1252FromUtf8(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

QString ansiSafe(const QString& text) { return fromAnsi(toAnsi(text)); }

QString ansiUpper(const QString& text) { return fromAnsi(vault::upperText(toAnsi(text))); }

QString firstLine(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029) return text.left(i);
    }
    return text;
}

AnsiLineEdit::AnsiLineEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, [this] { normalise(); });
}

void AnsiLineEdit::setUpperCaseOnly(bool on) {
    upper_ = on;
    normalise();
}

QString AnsiLineEdit::accepted(const QString& input) const {
    QString text = ansiSafe(firstLine(input));
    return upper_ ? ansiUpper(text) : text;
}

void AnsiLineEdit::pasteClipboard(QClipboard::Mode mode) {
    if (isReadOnly()) return;
    const QString text = accepted(QGuiApplication::clipboard()->text(mode));
    if (text.isEmpty() && !hasSelectedText()) return;
    // A paste is an undo step of its own, as in the box's own paste.
    endUndoStep();
    insert(text);
    endUndoStep();
}

void AnsiLineEdit::endUndoStep() {
    // The box closes its current undo step whenever the cursor moves: move it away and
    // back, keeping the selection.
    if (text().isEmpty()) return;
    const int cursor = cursorPosition();
    const int start = selectionStart();
    const int length = static_cast<int>(selectedText().size());
    setCursorPosition(cursor == 0 ? 1 : 0);
    if (length == 0)
        setCursorPosition(cursor);
    else if (cursor == start)
        setSelection(start + length, -length);
    else
        setSelection(start, length);
}

void AnsiLineEdit::keyPressEvent(QKeyEvent* e) {
    if (e->matches(QKeySequence::Paste)) {
        pasteClipboard();
        e->accept();
        return;
    }
    const QString typed = e->text();
    bool printable = !typed.isEmpty();
    for (QChar c : typed) printable = printable && c.isPrint();
    const QString wanted = printable ? accepted(typed) : typed;
    if (wanted == typed) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    QKeyEvent changed(e->type(), e->key(), e->modifiers(), e->nativeScanCode(), e->nativeVirtualKey(),
                      e->nativeModifiers(), wanted, e->isAutoRepeat(), e->count());
    QLineEdit::keyPressEvent(&changed);
    e->setAccepted(changed.isAccepted());
}

void AnsiLineEdit::inputMethodEvent(QInputMethodEvent* e) {
    const QString wanted = accepted(e->commitString());
    if (wanted == e->commitString()) {
        QLineEdit::inputMethodEvent(e);
        return;
    }
    QInputMethodEvent changed(e->preeditString(), e->attributes());
    changed.setCommitString(wanted, e->replacementStart(), e->replacementLength());
    QLineEdit::inputMethodEvent(&changed);
    e->setAccepted(changed.isAccepted());
}

void AnsiLineEdit::contextMenuEvent(QContextMenuEvent* e) {
    // The standard menu, with its Paste going through this box's paste.
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction* action : menu->actions()) {
        const bool isPaste = disconnect(action, &QAction::triggered, this, &QLineEdit::paste) ||
                             disconnect(action, SIGNAL(triggered()), this, SLOT(paste()));
        if (isPaste) connect(action, &QAction::triggered, this, [this] { pasteClipboard(); });
    }
    menu->popup(e->globalPos());
}

void AnsiLineEdit::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection() && !isReadOnly()) {
        deselect();
        pasteClipboard(QClipboard::Selection);
        e->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(e);
}

void AnsiLineEdit::dropEvent(QDropEvent* e) {
    if (!e->mimeData()->hasText()) {
        QLineEdit::dropEvent(e);
        return;
    }
    QMimeData data;
    data.setText(accepted(e->mimeData()->text()));
    QDropEvent changed(e->position(), e->possibleActions(), &data, e->buttons(), e->modifiers(), e->type());
    QLineEdit::dropEvent(&changed);
    if (changed.isAccepted()) {
        e->setDropAction(changed.dropAction());
        e->accept();
    } else {
        e->ignore();
    }
}

std::string AnsiLineEdit::ansiTextFor(const std::string& bytes) const {
    // The box cuts the text to its maximum length and then normalises it; fromAnsi
    // gives only characters it can hold, and the upper case keeps the length.
    QString text = fromAnsi(bytes).left(maxLength());
    if (upper_) text = ansiUpper(text);
    return toAnsi(text);
}

void AnsiLineEdit::normalise() {
    if (busy_) return;
    const QString current = text();
    QString wanted = ansiSafe(current);
    if (upper_) wanted = ansiUpper(wanted);
    if (wanted == current) return;
    // Text set by the program (or by a way in that the handlers above miss): replacing
    // it resets the undo history, so typing and pasting are changed before they go in.
    busy_ = true;
    // A character outside the 16-bit plane shrinks to one "?": keep the cursor behind
    // the same character.
    int cursor = cursorPosition();
    int shrink = 0;
    for (int i = 0; i < cursor && i < current.size(); ++i)
        if (current.at(i).isLowSurrogate()) ++shrink;
    const bool modified = isModified();
    setText(wanted);
    setCursorPosition(cursor - shrink);
    setModified(modified);
    busy_ = false;
}

void AnsiLineEdit::mouseDoubleClickEvent(QMouseEvent* e) {
    QLineEdit::mouseDoubleClickEvent(e);
    emit doubleClicked();
}

}  // namespace platform
