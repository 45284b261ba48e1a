// Finding a window's controls the way tests and tools reach them: by object name.
#pragma once
#include <QObject>
#include <QString>
#include <QtGlobal>

namespace testsupport {

// The child of `window` with this object name and type. A control that is not there
// ends the run with its name, rather than leaving a test to crash on a null pointer
// (or hang inside a modal loop).
template <class T>
T* findControl(const QObject* window, const char* name) {
    T* control = window->findChild<T*>(QString::fromLatin1(name));
    if (!control)
        qFatal("no control %s of the expected type in %s", name, qPrintable(window->objectName()));
    return control;
}

}  // namespace testsupport
