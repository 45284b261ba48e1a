#include "platform/appdata.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#ifdef _WIN32
#include <windows.h>
#include <shlobj.h>
#endif

namespace platform {

std::string appDataFolder() {
#ifdef _WIN32
    char buffer[MAX_PATH + 1] = {};
    if (SHGetSpecialFolderPathA(nullptr, buffer, CSIDL_APPDATA, FALSE) && buffer[0] != '\0') return std::string(buffer);
#else
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!base.isEmpty()) {
        while (base.size() > 1 && base.endsWith(QLatin1Char('/'))) base.chop(1);
        // On a fresh account the folder may not exist yet, unlike the Windows one.
        QDir().mkpath(base);
        return QFile::encodeName(base).toStdString();
    }
#endif
    return QFile::encodeName(QDir::toNativeSeparators(QDir::homePath())).toStdString();
}

}  // namespace platform
