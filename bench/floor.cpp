// The floor of the toolkit: a bare Qt 6 program that does the visible work of Keyfold's
// start and list, for bench/startup.sh to set Keyfold's figures against in the same run.
//   - a phrase dialog, "Encryption Key Phrase": a box, then "Continue" in keyboard order;
//   - then a window, "Keyfold", 666 x 638, with a sorted list of 999 names, five boxes
//     and the buttons "Refresh" and "Open Within" where Keyfold has them;
//   - "Open Within" opens a bare QWebEngineView on the page given, in a modal window of
//     the screen's size; the web engine lives in a library loaded then, so that,
//     like Keyfold, nothing of it runs before the first "Open Within".
//   keyfold_floor <page address>
#include <QApplication>
#include <QDialog>
#include <QLibrary>
#include <QLineEdit>
#include <QPushButton>

#include "sitenames.h"
#include "floorwindow.h"

namespace {

QStringList names() {
    QStringList out;
    for (int i = 0; i < 999; ++i) out << QString::fromStdString(bench::exampleSiteName(i));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString page = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("about:blank");
    {
        QDialog dialog;
        dialog.setWindowTitle(QStringLiteral("Encryption Key Phrase"));
        dialog.resize(400, 150);
        auto* phrase = new QLineEdit(&dialog);
        phrase->setGeometry(20, 40, 360, 22);
        phrase->setEchoMode(QLineEdit::Password);
        auto* go = new QPushButton(QStringLiteral("Continue"), &dialog);
        go->setGeometry(150, 100, 100, 25);
        QObject::connect(go, &QPushButton::clicked, &dialog, &QDialog::accept);
        phrase->setFocus();
        dialog.exec();
    }
    FloorWindow floor;
    QWidget& window = floor.window;
    window.setWindowTitle(QStringLiteral("Keyfold"));
    auto load = [&] {
        const QStringList all = names();
        floor.load(all, {all.last(), QStringLiteral("https://www.westerncoastal.com/login"),
                         QStringLiteral("eva.998@example.org"), QStringLiteral("pW0rd!0998xyz"),
                         QStringLiteral("Opened in 2019")});
    };
    load();
    floor.list->setCurrentRow(0);
    QObject::connect(floor.refresh, &QPushButton::clicked, &window, load);
    auto* open = new QPushButton(QStringLiteral("Open Within"), &window);
    open->setGeometry(279, 296, 113, 23);
    QObject::connect(open, &QPushButton::clicked, &window, [&] {
        QLibrary web(QCoreApplication::applicationDirPath() + QStringLiteral("/libkeyfold_floor_web.so"));
        using Open = void (*)(QWidget*, const QString&);
        if (auto f = reinterpret_cast<Open>(web.resolve("keyfold_floor_open_web"))) f(&window, page);
    });
    window.show();
    return app.exec();
}
