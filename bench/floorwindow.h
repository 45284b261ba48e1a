// The toolkit's floor of the main window: a bare Qt window with a list of the same font
// and place, five boxes and the "Refresh" button where Keyfold has them. keyfold_floor
// (startup.sh) shows it; keyfold_window_bench times its load and refresh.
#pragma once
#include <QFont>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

struct FloorWindow {
    QWidget window;
    QListWidget* list;
    QLineEdit* boxes[5];
    QPushButton* refresh;
    FloorWindow() {
        window.resize(666, 638);
        list = new QListWidget(&window);
        list->setGeometry(16, 41, 251, 505);
        list->setSortingEnabled(true);
        QFont mono(QStringLiteral("Courier New"));
        mono.setStyleHint(QFont::TypeWriter);
        mono.setPixelSize(13);
        list->setFont(mono);
        for (int i = 0; i < 5; ++i) {
            boxes[i] = new QLineEdit(&window);
            boxes[i]->setGeometry(282, 31 + 46 * i, 330, 22);
        }
        refresh = new QPushButton(QStringLiteral("Refresh"), &window);
        refresh->setGeometry(133, 16, 49, 18);
    }
    // The list filled with names, the five boxes with shown.
    void load(const QStringList& names, const QStringList& shown) {
        list->clear();
        list->addItems(names);
        for (int i = 0; i < 5; ++i) boxes[i]->setText(shown[i]);
    }
};
