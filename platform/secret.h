// Overwriting Qt strings that held a secret. A string whose buffer is shared with
// another (a box's text, say) is only let go: the other holder still needs it.
#pragma once
#include <QByteArray>
#include <QString>

#include "vault/secret.h"

namespace platform {

// A copy of text in a buffer of its own, so that wiping it later wipes that buffer.
inline QString ownCopy(const QString& text) { return QString(text.constData(), text.size()); }

// The whole block is wiped, the spare room before and after the text included: a text
// that was shortened or read in parts left its earlier bytes there.
inline void wipe(QString& text) {
    if (text.isDetached()) {
        const qsizetype before = text.data_ptr().freeSpaceAtBegin();
        vault::wipeBytes(text.data() - before, std::size_t(before + text.capacity()) * sizeof(QChar));
    }
    text.clear();
}

inline void wipe(QByteArray& bytes) {
    if (bytes.isDetached()) {
        const qsizetype before = bytes.data_ptr().freeSpaceAtBegin();
        vault::wipeBytes(bytes.data() - before, std::size_t(before + bytes.capacity()));
    }
    bytes.clear();
}

}  // namespace platform
