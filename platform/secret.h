// Overwriting Qt strings that held a secret. A string whose buffer is shared with
// another (a box's text, say) is only let go: the other holder still needs it.
#pragma once
#include <QByteArray>
#include <QString>

#include "vault/secret.h"

namespace platform {

// A copy of text in a buffer of its own, so that wiping it later wipes that buffer.
inline QString ownCopy(const QString& text) { return QString(text.constData(), text.size()); }

inline void wipe(QString& text) {
    if (text.isDetached()) vault::wipeBytes(text.data(), std::size_t(text.size()) * sizeof(QChar));
    text.clear();
}

inline void wipe(QByteArray& bytes) {
    if (bytes.isDetached()) vault::wipeBytes(bytes.data(), std::size_t(bytes.size()));
    bytes.clear();
}

}  // namespace platform
