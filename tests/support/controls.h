// A window's controls found by their object names (the form names, "EdName",
// "CmdAdd"), for the window tests, the benchmarks and the tools:
// control<QPushButton>(window, "CmdAdd")->click().
#pragma once
#include <memory>
#include <QAbstractItemView>
#include <QItemSelectionModel>
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
// The main window's list ("ListBox1", a view of the entries it shows): its lines and its
// current line, as the window's own code sees them.
struct SiteList {
    QAbstractItemView* view;
    explicit SiteList(const QObject* window) : view(control<QAbstractItemView>(window, "ListBox1")) {}
    explicit SiteList(const QObject& window) : SiteList(&window) {}
    template <class W>
    explicit SiteList(const std::unique_ptr<W>& window) : SiteList(window.get()) {}
    int count() const { return view->model()->rowCount(); }
    QModelIndex index(int row) const { return view->model()->index(row, 0); }
    QStringList lines() const {
        QStringList all;
        for (int row = 0; row < count(); ++row) all << index(row).data().toString();
        return all;
    }
    int currentRow() const { return view->currentIndex().row(); }
    bool currentSelected() const { return view->selectionModel()->isSelected(view->currentIndex()); }
    // As the window's code selects a line: the current line, selected, no other.
    void setCurrentRow(int row) const {
        view->selectionModel()->setCurrentIndex(index(row), QItemSelectionModel::ClearAndSelect);
    }
    QRect rowRect(int row) const { return view->visualRect(index(row)); }
};

}  // namespace testsupport
