#include "ui/widgets/ext_list_view.h"

#include "platform/errors.h"
#include "store/codepage.h"
#include "store/keyvalue.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cmath>
#include <memory>

namespace tarvik {
namespace {

constexpr int kBytesRole = Qt::UserRole + 1;
const QString kOrder = QStringLiteral("Order");
const QString kSizes = QStringLiteral("Sizes");
const QString kAscending = QStringLiteral("Ascending");
const QString kSortCol = QStringLiteral("SortCol");

// The first character after a field of a locale format that is neither a
// letter, a quote nor a blank.
QChar separatorOf(const QString& format, QChar fallback) {
    bool inField = false;
    for (const QChar ch : format) {
        if (ch.isLetter())
            inField = true;
        else if (inField && ch != QLatin1Char('\'') && !ch.isSpace())
            return ch;
    }
    return fallback;
}

// Non-negative decimal fields between separators, or nothing.
std::optional<QList<int>> numberFields(QStringView text, QChar separator) {
    QList<int> fields;
    for (const QStringView part : text.split(separator)) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (part.isEmpty() || !ok || part.front() == QLatin1Char('+') ||
            part.front() == QLatin1Char('-'))
            return std::nullopt;
        fields.append(value);
    }
    return fields;
}

// Two-digit years fall in the hundred years around now.
int fullYear(int year, qsizetype digits) {
    if (digits > 2) return year;
    const int now = QDate::currentDate().year();
    int full = now / 100 * 100 + year;
    if (full > now + 50) full -= 100;
    if (full <= now - 50) full += 100;
    return full;
}

bool stripSuffix(QStringView& text, const QString& suffix) {
    if (suffix.isEmpty() || !text.endsWith(suffix, Qt::CaseInsensitive)) return false;
    text = text.chopped(suffix.size()).trimmed();
    return true;
}

// Cells sort by the list's text order on its sort column.
class ListItem final : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const auto* list = static_cast<const TExtListView*>(treeWidget());
        const int column = list->sortedColumn();
        return list->textOrder().compare(text(column), other.text(column)) < 0;
    }
};

// Grid lines between the cells.
class GridDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        const QRect r = option.rect;
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->restore();
    }
};

std::optional<QList<int>> storedInts(const StoreKey& key, const QString& section,
                                     const QString& name, int count) {
    const std::optional<QString> text = key.readString(section, name);
    if (!text) return std::nullopt;
    const std::optional<QList<int>> values = numberFields(*text, QLatin1Char(','));
    if (!values || values->size() != count) return std::nullopt;
    return values;
}

QString joined(const QList<int>& values) {
    QStringList texts;
    for (const int value : values)
        texts << QString::number(value);
    return texts.join(QLatin1Char(','));
}

} // namespace

ListTextOrder::ListTextOrder(const QLocale& locale)
    : locale_(locale)
    , collator_(locale) {
    collator_.setCaseSensitivity(Qt::CaseSensitive);
    locale_.setNumberOptions(QLocale::RejectGroupSeparator);
    const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    dateSeparator_ = separatorOf(dateFormat, QLatin1Char('/'));
    timeSeparator_ = separatorOf(locale.timeFormat(QLocale::ShortFormat), QLatin1Char(':'));
    const auto day = dateFormat.indexOf(QLatin1Char('d'));
    const auto month = dateFormat.indexOf(QLatin1Char('M'));
    const auto year = dateFormat.indexOf(QLatin1Char('y'));
    if (year >= 0 && year < month && month < day)
        fieldOrder_ = FieldOrder::YearMonthDay;
    else if (month >= 0 && month < day)
        fieldOrder_ = FieldOrder::MonthDayYear;
}

std::optional<QDate> ListTextOrder::toDate(QStringView text) const {
    const std::optional<QList<int>> fields = numberFields(text, dateSeparator_);
    if (!fields || fields->size() < 2 || fields->size() > 3) return std::nullopt;
    const QList<int>& f = *fields;
    const QList<QStringView> parts = text.split(dateSeparator_);
    int day = 0, month = 0;
    int year = QDate::currentDate().year();
    if (f.size() == 2) {
        const bool dayFirst = fieldOrder_ == FieldOrder::DayMonthYear;
        day = dayFirst ? f[0] : f[1];
        month = dayFirst ? f[1] : f[0];
    } else if (fieldOrder_ == FieldOrder::YearMonthDay) {
        year = fullYear(f[0], parts[0].size());
        month = f[1];
        day = f[2];
    } else {
        const bool dayFirst = fieldOrder_ == FieldOrder::DayMonthYear;
        day = dayFirst ? f[0] : f[1];
        month = dayFirst ? f[1] : f[0];
        year = fullYear(f[2], parts[2].size());
    }
    const QDate date(year, month, day);
    if (!date.isValid()) return std::nullopt;
    return date;
}

std::optional<QTime> ListTextOrder::toTime(QStringView text) const {
    const bool am = stripSuffix(text, locale_.amText()) || stripSuffix(text, QStringLiteral("AM"));
    const bool pm =
        !am && (stripSuffix(text, locale_.pmText()) || stripSuffix(text, QStringLiteral("PM")));
    const std::optional<QList<int>> fields = numberFields(text, timeSeparator_);
    if (!fields || fields->size() < 2 || fields->size() > 3) return std::nullopt;
    int hour = fields->at(0);
    if (am || pm) {
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    const QTime time(hour, fields->at(1), fields->size() == 3 ? fields->at(2) : 0);
    if (!time.isValid()) return std::nullopt;
    return time;
}

std::optional<QDateTime> ListTextOrder::toDateTime(const QString& text) const {
    const QStringView whole = QStringView(text).trimmed();
    const qsizetype blank = whole.indexOf(QLatin1Char(' '));
    const QStringView head = blank < 0 ? whole : whole.left(blank);
    const QStringView tail = blank < 0 ? QStringView() : whole.mid(blank + 1).trimmed();
    if (const std::optional<QDate> date = toDate(head)) {
        if (tail.isEmpty()) return QDateTime(*date, QTime(0, 0), Qt::UTC);
        if (const std::optional<QTime> time = toTime(tail)) return QDateTime(*date, *time, Qt::UTC);
        return std::nullopt;
    }
    if (const std::optional<QTime> time = toTime(whole))
        return QDateTime(QDate(1899, 12, 30), *time, Qt::UTC);
    return std::nullopt;
}

std::optional<double> ListTextOrder::toNumber(const QString& text) const {
    bool ok = false;
    const double value = locale_.toDouble(text, &ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

int ListTextOrder::compare(const QString& a, const QString& b) const {
    const auto holdsSeparator = [this](const QString& s) {
        return s.contains(dateSeparator_) || s.contains(timeSeparator_);
    };
    if (holdsSeparator(a) && holdsSeparator(b)) {
        if (const std::optional<QDateTime> x = toDateTime(a))
            if (const std::optional<QDateTime> y = toDateTime(b))
                return *x < *y ? -1 : (*y < *x ? 1 : 0);
    }
    if (const std::optional<double> x = toNumber(a))
        if (const std::optional<double> y = toNumber(b)) return *x < *y ? -1 : (*y < *x ? 1 : 0);
    return collator_.compare(a, b);
}

TExtListView::TExtListView(const QList<ListColumn>& columns, QString settingsPath, QWidget* parent)
    : QTreeWidget(parent)
    , settingsPath_(std::move(settingsPath))
    , order_(locale()) {
    setColumnCount(static_cast<int>(columns.size()));
    QStringList labels;
    for (const ListColumn& column : columns)
        labels << column.caption;
    setHeaderLabels(labels);

    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setItemDelegate(new GridDelegate(this));

    QHeaderView* head = header();
    head->setSectionsClickable(true);
    head->setSortIndicatorShown(true);
    head->setSectionsMovable(true);
    head->setFirstSectionMovable(true);
    head->setStretchLastSection(false);
    connect(head, &QHeaderView::sectionClicked, this,
            [this](int column) { runReported([&] { headerClicked(column); }); });
    for (int i = 0; i < columns.size(); ++i)
        setColumnWidth(i, std::max(columns[i].width, widthToHold(i, columns[i].holds)));

    restoreSettings();
    sortBy(sortColumn_, ascending_);
}

TExtListView::~TExtListView() {
    runReported([this] { saveSettings(); });
}

void TExtListView::restoreSettings() {
    const StoreKey key(settingsPath_);
    const int count = columnCount();
    if (const auto order = storedInts(key, kColumnsSection, kOrder, count)) {
        QList<int> sorted = *order;
        std::sort(sorted.begin(), sorted.end());
        bool permutation = true;
        for (int i = 0; i < count; ++i)
            permutation = permutation && sorted[i] == i;
        if (permutation)
            for (int visual = 0; visual < count; ++visual)
                header()->moveSection(header()->visualIndex(order->at(visual)), visual);
    }
    if (const auto sizes = storedInts(key, kColumnsSection, kSizes, count))
        for (int i = 0; i < count; ++i)
            setColumnWidth(i, sizes->at(i));

    bool ok = false;
    const int ascending = key.readString(kSortSection, kAscending).value_or(QString()).toInt(&ok);
    ascending_ = !ok || ascending != 0;
    const int column = key.readString(kSortSection, kSortCol).value_or(QString()).toInt(&ok);
    sortColumn_ = ok ? std::clamp(column, 0, std::max(0, count - 1)) : 0;
}

void TExtListView::saveSettings() const {
    StoreKey key(settingsPath_);
    QList<int> order, sizes;
    for (int i = 0; i < columnCount(); ++i) {
        order << header()->logicalIndex(i);
        sizes << columnWidth(i);
    }
    key.writeString(kColumnsSection, kOrder, joined(order));
    key.writeString(kColumnsSection, kSizes, joined(sizes));
    key.writeString(kSortSection, kAscending,
                    ascending_ ? QStringLiteral("1") : QStringLiteral("0"));
    key.writeString(kSortSection, kSortCol, QString::number(sortColumn_));
    key.flush();
}

int TExtListView::widthToHold(int column, const QStringList& texts) const {
    // The header's hint leaves room for the sort arrow beside the caption.
    int width = header()->sectionSizeHint(column);
    // A cell's text keeps the style's margin on both sides, and the grid line.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    for (const QString& text : texts)
        width = std::max(width, fontMetrics().horizontalAdvance(text) + 2 * margin + 1);
    return width;
}

void TExtListView::headerClicked(int column) {
    sortBy(column, column == sortColumn_ ? !ascending_ : true);
}

void TExtListView::sortBy(int column, bool ascending) {
    if (column < 0 || column >= columnCount()) return;
    sortColumn_ = column;
    ascending_ = ascending;
    sortItems(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    // The arrow is drawn the other way round from the toolkit's usual one.
    header()->setSortIndicator(column, ascending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TExtListView::resort() {
    sortBy(sortColumn_, ascending_);
}

void TExtListView::changeEvent(QEvent* event) {
    QTreeWidget::changeEvent(event);
    if (event->type() == QEvent::LocaleChange) order_ = ListTextOrder(locale());
}

int TExtListView::addRow(const QList<QByteArray>& cells) {
    new ListItem(this); // owned by the list
    const int row = topLevelItemCount() - 1;
    for (int column = 0; column < cells.size() && column < columnCount(); ++column)
        setCell(row, column, cells[column]);
    return row;
}

QByteArray TExtListView::cell(int row, int column) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(column, kBytesRole).toByteArray() : QByteArray();
}

void TExtListView::setCell(int row, int column, const QByteArray& text) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item) return;
    // The bytes stay as they came; the text shown is their conversion.
    item->setData(column, kBytesRole, text);
    item->setText(column, fromCp1251(text));
}

void TExtListView::removeRow(int row) {
    const std::unique_ptr<QTreeWidgetItem> gone(takeTopLevelItem(row));
}

int TExtListView::selectedRow() const {
    const QList<QTreeWidgetItem*> items = selectedItems();
    return items.isEmpty() ? -1 : indexOfTopLevelItem(items.first());
}

void TExtListView::selectRow(int row) {
    if (QTreeWidgetItem* item = topLevelItem(row)) setCurrentItem(item);
}

int TExtListView::rowCount() const {
    return topLevelItemCount();
}

QByteArray TExtListView::caption(int row) const {
    return cell(row, 0);
}

QByteArray TExtListView::subItem(int row, int index) const {
    return cell(row, index + 1);
}

void TExtListView::appendRow(const QByteArray& caption, const QByteArray& name,
                             const QByteArray& notes, const QByteArray& statusText) {
    addRow({caption, name, notes, statusText});
}

} // namespace tarvik
