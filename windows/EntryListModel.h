// The rows behind the main window's list: one per entry the list load found, each with
// its slot and its name as stored, in the order of names; and the filter over them.
#pragma once
#include <string>
#include <vector>
#include <QAbstractListModel>
#include <QSet>
#include <QSortFilterProxyModel>

namespace vault {
class NameFilter;
}

class EntryListModel : public QAbstractListModel {
    Q_OBJECT
public:
    struct Row {
        int slot = -1;
        std::string name;  // Windows-1252, as stored
        QString shown;     // the name as the list shows it
        quint64 id = 0;    // given by the model: a row added later is another row
    };
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const Row& row(int n) const { return rows_[static_cast<std::size_t>(n)]; }
    // The rows of a list load, put in the order of names among those there; rows of
    // equal names keep the order they came in (slot order).
    void addRows(std::vector<Row> rows);
    // One more row, at its place in the order of names (before rows of the same name).
    void insertEntry(Row row);
    // Removes the row of that slot; when none, the first row of that name (an entry that another
    // copy moved); nothing when neither is there.
    void removeEntry(int slot, const std::string& name);
    void clear();

private:
    Row numbered(Row row);
    std::vector<Row> rows_;
    quint64 nextId_ = 1;
};

// The list as shown: the filter narrows what is shown, and each new filter narrows it
// further; nothing comes back until widen() (the Refresh). Rows added since stay shown.
class NarrowingFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    EntryListModel* entries() const { return static_cast<EntryListModel*>(sourceModel()); }
    // The source row of a shown row.
    const EntryListModel::Row& shownRow(int n) const;
    void narrow(const vault::NameFilter& filter);
    void widen();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QSet<quint64> hidden_;
};
