// Keyfold: start sequence. The main window is created hidden, the key phrase dialog
// takes the phrase and loads the list when it closes, then the main window shows.
#include <QApplication>
#include <QIcon>

#include "vault/cipher.h"
#include "windows/Ukey.h"
#include "windows/Ulog.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Keyfold"));
    QApplication::setOrganizationName(QStringLiteral("Quorvel"));
    // Lets the desktop tie the window to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvel.Keyfold"));
    QIcon icon;
    for (int size : {16, 32, 64})
        icon.addFile(QStringLiteral(":/icons/keyfold-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    TFrmfirst mainWindow;  // FormCreate runs; the window stays hidden
    {
        TFrmKey keyDialog(&mainWindow);
        keyDialog.FormCreate();  // modal; its close puts the phrase in force and loads
    }
    mainWindow.show();
    const int status = app.exec();  // a copied secret is taken off the clipboard on the way out
    vault::ForgetKeyPhrase();
    return status;
}
