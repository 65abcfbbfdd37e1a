#pragma once
#include "store/phonebook.h"
#include "ui/widgets/list_text_order.h"

#include <QByteArray>
#include <QTreeView>

namespace tarvik {

class ListRowsModel;

struct ListColumn {
    QString caption;
    // The designed width; the column starts wider when its caption with the
    // sort arrow, or one of the texts it is made to hold, needs more room in
    // the font in use.
    int width = 50;
    QStringList holds = {};
};

// A report list: one selectable row at a time, read-only cells, grid lines,
// click-to-sort headers (a second click on the same header reverses the
// order; the arrow is drawn reversed) and movable columns. Cells hold
// single-byte (Windows-1251) texts and show them converted. The column order,
// widths and the sort are restored from `settingsPath` at creation and saved
// there at destruction. Rows are drawn only as they come into view, so the
// list opens as fast with a hundred thousand rows as with ten.
class TExtListView : public QTreeView, public PhoneRows {
    Q_OBJECT

public:
    TExtListView(const QList<ListColumn>& columns, QString settingsPath, QWidget* parent = nullptr);
    ~TExtListView() override;

    // Rows are numbered in the order shown.
    int addRow(const QList<QByteArray>& cells);
    QByteArray cell(int row, int column) const;
    void setCell(int row, int column, const QByteArray& text);
    void removeRow(int row);
    // The selected row, or -1.
    int selectedRow() const;
    void selectRow(int row);

    int sortedColumn() const { return sortColumn_; }
    bool sortAscending() const { return ascending_; }
    void sortBy(int column, bool ascending);
    const ListTextOrder& textOrder() const;
    int columnCount() const;
    QString columnCaption(int column) const;
    // Where the row is drawn in the viewport (its first column).
    QRect rowRect(int row) const;

    // PhoneRows
    int rowCount() const override;
    QByteArray caption(int row) const override;
    QByteArray subItem(int row, int index) const override;
    void appendRow(const QByteArray& caption, const QByteArray& name, const QByteArray& notes,
                   const QByteArray& statusText) override;
    void resort() override;

protected:
    void changeEvent(QEvent* event) override;

private:
    void headerClicked(int column);
    int widthToHold(int column, const QStringList& texts) const;
    void restoreSettings();
    void saveSettings() const;

    QString settingsPath_;
    ListRowsModel* rows_;
    int sortColumn_ = 0;
    bool ascending_ = true;
};

} // namespace tarvik
