#include "platform/ansi.h"

#include <array>
#include <QMouseEvent>

namespace platform {

namespace {

// Unicode of the bytes 0x80..0x9F in Windows-1252; the undefined ones keep their number.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t unicodeOf(unsigned char b) {
    if (b >= 0x80 && b <= 0x9F) return kHigh[b - 0x80];
    return b;
}

// The byte for a UTF-16 unit, or -1 when Windows-1252 has no such character.
int byteOf(char16_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return u;
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == u) return 0x80 + i;
    return -1;
}

}  // namespace

QString fromAnsi(const std::string& bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (unsigned char b : bytes) out.append(QChar(unicodeOf(b)));
    return out;
}

std::string toAnsi(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;  // one character outside the 16-bit plane: one "?"
            out.push_back('?');
            continue;
        }
        int b = byteOf(c.unicode());
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return out;
}

QString ansiSafe(const QString& text) { return fromAnsi(toAnsi(text)); }

QString ansiUpper(const QString& text) {
    QString out = text;
    for (qsizetype i = 0; i < out.size(); ++i) {
        QChar c = out.at(i);
        QChar up = c.toUpper();
        if (up != c && byteOf(up.unicode()) >= 0) out[i] = up;
    }
    return out;
}

AnsiLineEdit::AnsiLineEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textChanged, this, [this] { normalise(); });
}

void AnsiLineEdit::setUpperCaseOnly(bool on) {
    upper_ = on;
    normalise();
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
