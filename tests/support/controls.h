// A window's controls found by their object names (the form names, "EdName",
// "CmdAdd"), for the window tests, the benchmarks and the tools:
// control<QPushButton>(window, "CmdAdd")->click().
#pragma once
#include <memory>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <QtGlobal>

namespace testsupport {

// The window's control of that name and type. A control that is not there ends the test
// program at once with its name, rather than crash on a null pointer (perhaps inside a
// modal loop).
template <class T>
T* control(const QObject* window, const char* name) {
    T* found = window ? window->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!found) qFatal("no control %s of the expected type in the window", name);
    return found;
}

template <class T>
T* control(const QObject& window, const char* name) {
    return control<T>(&window, name);
}

template <class T, class W>
T* control(const std::unique_ptr<W>& window, const char* name) {
    return control<T>(window.get(), name);
}

// The widget the Tab key moves on to from `from`.
inline QWidget* nextByTab(QWidget* from) {
    QWidget* next = from->nextInFocusChain();
    while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    return next;
}

// The object names of the widgets the Tab key visits after `from`, `count` of them.
inline QStringList tabOrderAfter(QWidget* from, int count) {
    QStringList names;
    for (int i = 0; i < count; ++i) names << (from = nextByTab(from))->objectName();
    return names;
}

}  // namespace testsupport
