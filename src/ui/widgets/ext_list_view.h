#pragma once
#include "store/phonebook.h"

#include <QByteArray>
#include <QCollator>
#include <QDateTime>
#include <QLocale>
#include <QTreeWidget>
#include <optional>

namespace tarvik {

// The order of two cell texts: as date-times when both hold the locale's date
// or time separator and both convert, else as numbers when both convert, else
// as text in the locale's collation with letter case counting.
class ListTextOrder {
public:
    explicit ListTextOrder(const QLocale& locale = QLocale());

    // Negative, zero or positive, as a comes before, with or after b.
    int compare(const QString& a, const QString& b) const;

    // A date, a time or a date and a time written in the locale's field order
    // and separators; a missing year is this year, a missing date 1899-12-30.
    std::optional<QDateTime> toDateTime(const QString& text) const;
    // A number with the locale's decimal point and no group separators.
    std::optional<double> toNumber(const QString& text) const;

    QChar dateSeparator() const { return dateSeparator_; }
    QChar timeSeparator() const { return timeSeparator_; }

private:
    enum class FieldOrder { DayMonthYear, MonthDayYear, YearMonthDay };
    std::optional<QDate> toDate(QStringView text) const;
    std::optional<QTime> toTime(QStringView text) const;

    QLocale locale_;
    QCollator collator_;
    QChar dateSeparator_;
    QChar timeSeparator_;
    FieldOrder fieldOrder_ = FieldOrder::DayMonthYear;
};

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
// there at destruction.
class TExtListView : public QTreeWidget, public PhoneRows {
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
    const ListTextOrder& textOrder() const { return order_; }

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
    int sortColumn_ = 0;
    bool ascending_ = true;
    ListTextOrder order_;
};

} // namespace tarvik
