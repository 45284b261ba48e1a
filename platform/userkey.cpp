#include "platform/userkey.h"

#include <QSettings>
#include <QVariant>

namespace platform {


std::optional<bool> readUserKeyBool(const QString& name) {
    QSettings key(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvel"),
                  QStringLiteral("Keyfold"));
    if (!key.contains(name)) return std::nullopt;
    const QVariant v = key.value(name);
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return v.toLongLong() != 0;
#ifndef Q_OS_WIN
    case QMetaType::QString: {
        // A text settings file holds every value as text: an integer is text of digits.
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok);
        if (ok) return n != 0;
        return std::nullopt;
    }
#endif
    default:
        return std::nullopt;  // another type than an integer reads as absent
    }
}

void writeUserKeyBool(const QString& name, bool value) {
    QSettings key(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvel"),
                  QStringLiteral("Keyfold"));
    key.setValue(name, value ? 1 : 0);
    key.sync();
}

}  // namespace platform
