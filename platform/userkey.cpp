#include "platform/userkey.h"

#include <QSettings>
#include <QVariant>

namespace platform {

std::optional<bool> readUserKeyBool(const QString& name) {
    QSettings key(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvel"), QStringLiteral("Keyfold"));
    if (!key.contains(name)) return std::nullopt;
    const QVariant v = key.value(name);
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: return v.toLongLong() != 0;
#ifndef Q_OS_WIN
    case QMetaType::QString: {
        // A text settings file holds every value as text: an integer is text of digits.
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok);
        if (ok) return n != 0;
        return std::nullopt;
    }
#endif
    default: return std::nullopt;  // another type than an integer reads as absent
    }
}

void writeUserKeyBool(const QString& name, bool value) {
    QSettings key(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvel"), QStringLiteral("Keyfold"));
    const int wanted = value ? 1 : 0;
    // A value already stored as it would be written is left alone: writing the settings
    // file again takes a lock file and a flush to disk, on the way from the key dialog
    // to the main window.
    const QVariant stored = key.value(name);
    if (stored.typeId() == QMetaType::Int && stored.toInt() == wanted) return;
    if (stored.typeId() == QMetaType::QString && stored.toString() == QString::number(wanted)) return;
    key.setValue(name, wanted);
    key.sync();
}

}  // namespace platform
