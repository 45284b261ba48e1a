// The program's icon: its three pictures, read without loading an image format plugin.
#include <QFile>
#include <QApplication>
#include <QtTest>

#include "app/programicon.h"

class ProgramIconTest : public QObject {
    Q_OBJECT
private slots:
    void threePicturesAsTheFilesHoldThemAndNoPluginLoaded() {
        // main() read it first, as the program does, before anything else read an image.
        QFile maps(QStringLiteral("/proc/self/maps"));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        QVERIFY2(!maps.readAll().contains("imageformats/"), "an image format plugin was loaded");

        const QIcon icon = programIcon();
        QCOMPARE(icon.availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {64, 64}}));
        for (int size : {16, 32, 64}) {
            // The same picture as an icon that finds the file's format itself.
            QIcon expected;
            expected.addFile(QStringLiteral(":/icons/keyfold-%1.png").arg(size), QSize(size, size));
            QVERIFY(!expected.pixmap(size).isNull());
            QCOMPARE(icon.pixmap(size).toImage(), expected.pixmap(size).toImage());
        }
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QIcon first = programIcon();
    Q_UNUSED(first);
    ProgramIconTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_programicon.moc"
