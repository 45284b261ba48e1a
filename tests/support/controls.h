// What the window tests share about controls: the keyboard's Tab order, and the main
// window's list as its own code sees it.
#pragma once
#include <memory>
#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QListView>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "windows/MainWindow.h"

namespace testsupport {

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
// The main window's list (a view of the entries it shows): its lines and its current
// line, as the window's own code sees them.
struct SiteList {
    QAbstractItemView* view;
    explicit SiteList(const MainWindow* window) : view(window->siteList()) {}
    explicit SiteList(const MainWindow& window) : SiteList(&window) {}
    explicit SiteList(const std::unique_ptr<MainWindow>& window) : SiteList(window.get()) {}
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
