// One process and one web engine for all browser window tests.
#include <QApplication>
#include <QTest>

#include "autofill_test.h"
#include "window_test.h"

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    int failures = 0;
    {
        WindowTest windowTest;
        failures += QTest::qExec(&windowTest, argc, argv);
    }
    {
        AutoFillTest autoFillTest;
        failures += QTest::qExec(&autoFillTest, argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
