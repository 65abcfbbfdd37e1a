#pragma once
#include "ui/widgets/list_text_order.h"

#include <QAbstractItemModel>
#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>
#include <vector>

namespace tarvik {

// The rows of a report list, flat: cells of single-byte (Windows-1251) text
// kept as they came and shown converted. A row's cells share one allocation,
// so a book of a hundred thousand entries stays small. A sort works out the
// key of each different text of the column once, and its place in the
// collation, and then compares only those.
class ListRowsModel final : public QAbstractItemModel {
public:
    ListRowsModel(QStringList captions, const ListTextOrder& order, QObject* parent = nullptr);

    // Missing cells are empty; cells beyond the columns are dropped.
    int addRow(const QList<QByteArray>& cells);
    QByteArray cell(int row, int column) const;
    void setCell(int row, int column, QByteArrayView text);
    void removeRow(int row);
    // Stable in both directions: rows that compare equal keep their order.
    // Persistent indexes (the selection, the current row) move with their rows.
    void sortBy(int column, bool ascending);
    void setTextOrder(const ListTextOrder& order);
    const ListTextOrder& textOrder() const { return order_; }

    int rows() const { return static_cast<int>(rows_.size()); }
    int columns() const { return static_cast<int>(captions_.size()); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct SortEntry;
    bool holds(int row, int column) const;
    QByteArrayView cellView(int row, int column) const;
    std::vector<SortEntry> sortEntries(int column) const;
    void reorder(const std::vector<SortEntry>& sorted);

    QStringList captions_;
    ListTextOrder order_;
    // Each row's cells, each behind its length.
    std::vector<QByteArray> rows_;
};

} // namespace tarvik
