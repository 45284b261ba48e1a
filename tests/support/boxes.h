// The one check of message boxes for the window tests: every box a test queued with
// platform::testing::expectBox came, with its text, and no other.
#pragma once
#include <QStringList>
#include <initializer_list>
#include <QtTest>

#include "platform/messages.h"

namespace testsupport {

// Failures of the message-box hook plus boxes that never came; empty when all is well.
inline QStringList boxProblems() {
    QStringList problems = platform::testing::takeFailures();
    if (const int n = platform::testing::pendingCount())
        problems << QStringLiteral("%1 expected box(es) never shown").arg(n);
    return problems;
}

// The same check where a macro cannot assert (a helper, a loop with its own message):
// the problems are logged, and the answer is whether there were none.
inline bool boxesAsExpected() {
    const QStringList problems = boxProblems();
    if (!problems.isEmpty()) qWarning() << "message boxes:" << problems;
    return problems.isEmpty();
}

// A box a test waits for: its kind, its text, the answer given to a question, and
// what is typed into a phrase prompt.
struct ExpectedBox {
    platform::BoxKind kind;
    QString text;
    bool answer = true;
    QString typed = {};
};

}  // namespace testsupport

// Asserts that every expected box came, and no other.
#define VERIFY_BOXES()                                                   \
    do {                                                                 \
        const QStringList problems_ = testsupport::boxProblems();        \
        QVERIFY2(problems_.isEmpty(), qPrintable(problems_.join("\n"))); \
    } while (0)

// Clicks `button` with the boxes given queued, in the order they are to come, and
// asserts that exactly those came.
#define CLICK_WITH_BOXES(button, ...)                                                                           \
    do {                                                                                                        \
        for (const testsupport::ExpectedBox& b_ : std::initializer_list<testsupport::ExpectedBox>{__VA_ARGS__}) \
            platform::testing::expectBox(b_.kind, b_.text, b_.answer, b_.typed);                                \
        (button)->click();                                                                                      \
        VERIFY_BOXES();                                                                                         \
    } while (0)
