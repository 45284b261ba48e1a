// A modal window's checks for the window tests: exec() blocks, so a timer polls for the
// window and runs the test's checks on it.
#pragma once
#include <functional>
#include <memory>
#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <QWidget>

namespace testsupport {

// Runs `check` on the modal window once it is up (polling, since exec() blocks).
// Failures inside are recorded, never QVERIFY'd: a failed QVERIFY in a timer slot
// would leave the modal loop running and hang the test.
inline void whenModalShows(std::function<void(QWidget*)> check, QStringList* failures) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, check, failures] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) {
            if (++*tries > 200) {
                failures->append(QStringLiteral("no modal window appeared"));
                timer->stop();
                timer->deleteLater();
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        check(modal);
    });
    timer->start(20);
}

}  // namespace testsupport

// Inside such checks: notes `what` in the test's `failures` unless cond holds.
#define RECORD(cond, what)                                  \
    do {                                                    \
        if (!(cond)) failures.append(QStringLiteral(what)); \
    } while (0)
