// The one check of message boxes for the window tests: every box a test queued with
// platform::testing::expectBox came, with its text, and no other.
#pragma once
#include <QStringList>
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

}  // namespace testsupport

// Asserts that every expected box came, and no other.
#define VERIFY_BOXES()                                                   \
    do {                                                                 \
        const QStringList problems_ = testsupport::boxProblems();        \
        QVERIFY2(problems_.isEmpty(), qPrintable(problems_.join("\n"))); \
    } while (0)
