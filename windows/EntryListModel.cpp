#include "windows/EntryListModel.h"

#include <algorithm>

#include "vault/entry.h"

namespace {
bool before(const EntryListModel::Row& a, const EntryListModel::Row& b) { return vault::listedBefore(a.name, b.name); }
}  // namespace

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& r = row(index.row());
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return r.shown;
    return {};
}

EntryListModel::Row EntryListModel::numbered(Row row) {
    row.id = nextId_++;
    return row;
}

void EntryListModel::addRows(std::vector<Row> rows) {
    beginResetModel();
    for (Row& r : rows) rows_.push_back(numbered(std::move(r)));
    std::stable_sort(rows_.begin(), rows_.end(), before);
    endResetModel();
}

void EntryListModel::insertEntry(Row row) {
    row = numbered(std::move(row));
    const auto at = std::lower_bound(rows_.begin(), rows_.end(), row, before);
    const int n = static_cast<int>(at - rows_.begin());
    beginInsertRows({}, n, n);
    rows_.insert(at, std::move(row));
    endInsertRows();
}

void EntryListModel::removeEntry(int slot, const std::string& name) {
    auto at = std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.slot == slot; });
    if (at == rows_.end()) at = std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.name == name; });
    if (at == rows_.end()) return;
    const int n = static_cast<int>(at - rows_.begin());
    beginRemoveRows({}, n, n);
    rows_.erase(at);
    endRemoveRows();
}

void EntryListModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

const EntryListModel::Row& NarrowingFilter::shownRow(int n) const {
    return entries()->row(mapToSource(index(n, 0)).row());
}

void NarrowingFilter::narrow(const vault::NameFilter& filter) {
    for (int n = 0; n < rowCount(); ++n) {
        const EntryListModel::Row& r = shownRow(n);
        if (!filter.matches(r.name)) hidden_.insert(r.id);
    }
    invalidateRowsFilter();
}

void NarrowingFilter::widen() {
    hidden_.clear();
    invalidateRowsFilter();
}

bool NarrowingFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    return !hidden_.contains(entries()->row(sourceRow).id);
}
