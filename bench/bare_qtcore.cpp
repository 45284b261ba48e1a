// A QtCore program that starts and ends: the start-up floor of any QtCore program.
#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return 0;
}
