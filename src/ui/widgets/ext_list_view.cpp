#include "ui/widgets/ext_list_view.h"

#include "platform/errors.h"
#include "store/keyvalue.h"
#include "ui/widgets/list_rows_model.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <ranges>

namespace tarvik {
namespace {

const QString kOrder = QStringLiteral("Order");
const QString kSizes = QStringLiteral("Sizes");
const QString kAscending = QStringLiteral("Ascending");
const QString kSortCol = QStringLiteral("SortCol");

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

QStringList captionsOf(const QList<ListColumn>& columns) {
    QStringList captions;
    for (const ListColumn& column : columns)
        captions << column.caption;
    return captions;
}

} // namespace

TExtListView::TExtListView(const QList<ListColumn>& columns, QString settingsPath, QWidget* parent)
    : QTreeView(parent)
    , settingsPath_(std::move(settingsPath))
    , rows_(new ListRowsModel(captionsOf(columns), ListTextOrder(locale()), this)) {
    setModel(rows_);

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
            [this](int column) { runWithErrorReport([&] { headerClicked(column); }); });
    for (int i = 0; i < columns.size(); ++i)
        setColumnWidth(i, std::max(columns[i].width, widthToHold(i, columns[i].holds)));

    restoreSettings();
    sortBy(sortColumn_, ascending_);
}

TExtListView::~TExtListView() {
    runWithErrorReport([this] { saveSettings(); });
}

void TExtListView::restoreSettings() {
    const StoreKey key(settingsPath_);
    const int count = columnCount();
    if (const auto order = storedInts(key, kColumnsSection, kOrder, count)) {
        QList<int> sorted = *order;
        std::ranges::sort(sorted);
        if (std::ranges::equal(sorted, std::views::iota(0, count)))
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
    rows_->sortBy(column, ascending);
    // The arrow is drawn the other way round from the toolkit's usual one.
    header()->setSortIndicator(column, ascending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TExtListView::resort() {
    sortBy(sortColumn_, ascending_);
}

void TExtListView::changeEvent(QEvent* event) {
    QTreeView::changeEvent(event);
    if (event->type() == QEvent::LocaleChange) rows_->setTextOrder(ListTextOrder(locale()));
}

const ListTextOrder& TExtListView::textOrder() const {
    return rows_->textOrder();
}

int TExtListView::columnCount() const {
    return rows_->columns();
}

QString TExtListView::columnCaption(int column) const {
    return rows_->headerData(column, Qt::Horizontal).toString();
}

QRect TExtListView::rowRect(int row) const {
    return visualRect(rows_->index(row, 0));
}

int TExtListView::addRow(const QList<QByteArray>& cells) {
    return rows_->addRow(cells);
}

QByteArray TExtListView::cell(int row, int column) const {
    return rows_->cell(row, column);
}

void TExtListView::setCell(int row, int column, const QByteArray& text) {
    rows_->setCell(row, column, text);
}

void TExtListView::removeRow(int row) {
    rows_->removeRow(row);
}

int TExtListView::selectedRow() const {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void TExtListView::selectRow(int row) {
    if (row >= 0 && row < rowCount()) setCurrentIndex(rows_->index(row, 0));
}

int TExtListView::rowCount() const {
    return rows_->rows();
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
