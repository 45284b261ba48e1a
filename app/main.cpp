// Keyfold: start sequence. The main window is created hidden, the key phrase dialog
// takes the phrase and, when it closes, the list loads; then the main window shows.
#include <QApplication>
#include <QCommandLineParser>

#include "app/programicon.h"
#include "vault/session.h"
#include "windows/KeyPhraseDialog.h"
#include "windows/MainWindow.h"

namespace {

// --version and --help answer on the terminal and end the run before any window
// system is needed (a package check runs them without a display); the short-lived
// core application gives the help text the program's own name. Every other argument
// is left alone, as before: Qt's own options (-platform, -style, ...) still reach the
// application object.
void answerVersionOrHelp(int argc, char* argv[]) {
    QCoreApplication terminal(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Keeps your web-site logins in one enciphered data file."));
    // Qt's own options are single-dash words (-reverse, -style): read them whole, so
    // that their letters are never taken for -v or -h.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.parse(terminal.arguments());               // unknown options are not ours to refuse
    if (parser.isSet(version)) parser.showVersion();  // both exit
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) parser.showHelp();
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("Keyfold"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KEYFOLD_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvel"));
    if (argc > 1) answerVersionOrHelp(argc, argv);

    QApplication app(argc, argv);
    // Lets the desktop tie the window to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvel.Keyfold"));
    QApplication::setWindowIcon(programIcon());

    // Its set-up runs (paths, settings); the window stays hidden, and its controls are
    // made once the key dialog has been painted.
    MainWindow mainWindow(nullptr, MainWindow::Controls::AfterKeyDialog);
    {
        KeyPhraseDialog keyDialog(&mainWindow.session());
        // The list loads once, when the dialog's close has put the phrase in force.
        QObject::connect(&keyDialog, &KeyPhraseDialog::phraseSet, &mainWindow, &MainWindow::loadAtStart);
        mainWindow.finishLookAfterFirstPaintOf(&keyDialog);  // the dialog shows sooner
        keyDialog.run();                                     // modal
        // Closed under a phrase that does not open the data file: nothing to show.
        if (!keyDialog.phraseOpened()) return 0;
    }
    mainWindow.show();
    const int status = app.exec();  // a copied secret is taken off the clipboard on the way out
    mainWindow.session().forgetKeyPhrase();
    return status;
}
