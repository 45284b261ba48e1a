#include "app/programicon.h"

#include <QImageReader>
#include <QPixmap>

QIcon programIcon() {
    // Read as PNG by Qt's own reader: a reader that may find the format itself first
    // loads every image format plugin to ask whether it reads the file, about 0.6 ms
    // before the first window shows.
    QIcon icon;
    for (int size : {16, 32, 64}) {
        QImageReader reader(QStringLiteral(":/icons/keyfold-%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return icon;
}
