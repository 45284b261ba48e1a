#include "platform/windows1252lineedit.h"
#include "platform/secret.h"

#include <QAction>
#include <QFile>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

#include "vault/windows1252.h"
#include "vault/text.h"

namespace platform {

namespace {

char16_t unicodeOf(unsigned char b) { return vault::unicodeOfWindows1252(b); }

}  // namespace

QString displayPath(const std::string& path) {
#ifdef _WIN32
    return fromWindows1252(path);
#else
    return QFile::decodeName(QByteArray::fromStdString(path));
#endif
}

QString fromWindows1252(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (unsigned char b : bytes) out.append(QChar(unicodeOf(b)));
    return out;
}

namespace {
// Whether text holds a surrogate pair at i: one character outside the 16-bit plane.
bool pairAt(const QString& text, qsizetype i) {
    return text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
}

template <class Bytes>
Bytes convertedToWindows1252(const QString& text) {
    std::size_t size = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++size)
        if (pairAt(text, i)) ++i;
    Bytes out;
    out.resize(size);
    std::size_t at = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = pairAt(text, i) ? (++i, -1) : vault::windows1252OfUnicode(text.at(i).unicode());
        out[at++] = b < 0 ? '?' : static_cast<char>(b);
    }
    return out;
}
}  // namespace

std::string toWindows1252(const QString& text) { return convertedToWindows1252<std::string>(text); }

vault::SecretText secretWindows1252(const QString& text) { return convertedToWindows1252<vault::SecretText>(text); }

QString windows1252Upper(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        if (c.isSurrogate()) continue;
        const int b = vault::windows1252OfUnicode(c.unicode());
        if (b >= 0) c = QChar(unicodeOf(vault::upperByte(static_cast<unsigned char>(b))));
    }
    return out;
}

std::u32string lackingWindows1252(const QString& text) {
    // Read in place: the text may be a password.
    std::u32string lacking;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (pairAt(text, i))
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1)), ++i;
        else if (QChar::isSurrogate(c))
            c = 0xFFFD;
        if (vault::windows1252OfUnicode(c) < 0 && lacking.find(c) == std::u32string::npos) lacking.push_back(c);
    }
    return lacking;
}

QString firstLine(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029) return text.left(i);
    }
    return text;
}

Windows1252LineEdit::Windows1252LineEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, [this] { normalise(); });
}

void Windows1252LineEdit::setUpperCaseOnly(bool on) {
    upper_ = on;
    normalise();
}

QString Windows1252LineEdit::accepted(const QString& input) const {
    const QString text = firstLine(input);
    return upper_ ? windows1252Upper(text) : text;
}

void Windows1252LineEdit::pasteClipboard(QClipboard::Mode mode) {
    if (isReadOnly()) return;
    const QString text = accepted(QGuiApplication::clipboard()->text(mode));
    if (text.isEmpty() && !hasSelectedText()) return;
    // A paste is an undo step of its own, as in the box's own paste.
    endUndoStep();
    insert(text);
    endUndoStep();
}

void Windows1252LineEdit::endUndoStep() {
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

void Windows1252LineEdit::keyPressEvent(QKeyEvent* e) {
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

void Windows1252LineEdit::inputMethodEvent(QInputMethodEvent* e) {
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

void Windows1252LineEdit::contextMenuEvent(QContextMenuEvent* e) {
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

void Windows1252LineEdit::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection() && !isReadOnly()) {
        deselect();
        pasteClipboard(QClipboard::Selection);
        e->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(e);
}

void Windows1252LineEdit::dropEvent(QDropEvent* e) {
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

vault::SecretText Windows1252LineEdit::secretTextFor(std::string_view bytes) const {
    // The box cuts the text to its maximum length and then normalises it; the upper case
    // keeps the length.
    // The text may be a password: the copies made here are wiped.
    QString whole = fromWindows1252(bytes);
    QString text = whole.left(maxLength());
    wipe(whole);
    if (upper_) {
        QString upper = windows1252Upper(text);
        wipe(text);
        text = upper;
    }
    vault::SecretText result = secretWindows1252(text);
    wipe(text);
    return result;
}

void Windows1252LineEdit::normalise() {
    if (busy_ || !upper_) return;
    const QString current = text();
    const QString wanted = windows1252Upper(current);
    if (wanted == current) return;
    // Text set by the program (or by a way in that the handlers above miss): replacing
    // it resets the undo history, so typing and pasting are changed before they go in.
    busy_ = true;
    const int cursor = cursorPosition();
    const bool modified = isModified();
    setText(wanted);
    setCursorPosition(cursor);
    setModified(modified);
    busy_ = false;
}

void Windows1252LineEdit::mouseDoubleClickEvent(QMouseEvent* e) {
    QLineEdit::mouseDoubleClickEvent(e);
    emit doubleClicked();
}

}  // namespace platform
