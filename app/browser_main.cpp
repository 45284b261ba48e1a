// keyfold-browser: the browser window of Keyfold in a process of its own, started by
// the program with one end of a private socket pair ("--channel <fd>").
#include <QApplication>
#include <QStringList>

#include "app/programicon.h"
#include "platform/channel.h"
#include "windows/BrowserChild.h"

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("Keyfold"));
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvel"));
    int socket = -1;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--channel") socket = QByteArray(argv[i + 1]).toInt();
    if (socket < 0) return 2;  // only the program starts this one
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvel.Keyfold"));
    QApplication::setWindowIcon(programIcon());
    platform::Channel channel(socket);
    return runBrowserProcess(channel);
}
