#include "ui/widgets/list_rows_model.h"

#include "store/codepage.h"

#include <QHashFunctions>

#include <algorithm>
#include <numeric>

namespace tarvik {
namespace {

// A cell's length goes in front of it, seven bits a byte, low bits first: one
// byte for any cell of a phone book.
void appendCell(QByteArray& packed, QByteArrayView text) {
    auto length = static_cast<quint64>(text.size());
    do {
        const auto low = static_cast<char>(length & 0x7F);
        length >>= 7;
        packed += static_cast<char>(low | (length ? 0x80 : 0));
    } while (length);
    packed += text;
}

// The length in front of the cell at `at`, which moves past it; never more
// than the bytes left.
qsizetype takeLength(const QByteArray& packed, qsizetype& at) {
    quint64 length = 0;
    for (int shift = 0; at < packed.size() && shift < 64; shift += 7) {
        const auto byte = static_cast<unsigned char>(packed[at++]);
        length |= static_cast<quint64>(byte & 0x7F) << shift;
        if (!(byte & 0x80)) break;
    }
    return static_cast<qsizetype>(
        std::min<quint64>(length, static_cast<quint64>(packed.size() - at)));
}

QByteArrayView cellAt(const QByteArray& packed, int column) {
    qsizetype at = 0;
    for (int skipped = 0; skipped < column; ++skipped) {
        const qsizetype size = takeLength(packed, at);
        at += size;
    }
    const qsizetype size = takeLength(packed, at);
    return QByteArrayView(packed.constData() + at, size);
}

// The different texts of a column, and which of them each row holds: books
// repeat their texts (a status has four), and each is worked out once.
struct DistinctTexts {
    std::vector<QByteArrayView> texts;
    std::vector<quint32> ofRow;
};

DistinctTexts distinctTexts(const std::vector<QByteArray>& rows, int column) {
    DistinctTexts distinct;
    distinct.ofRow.resize(rows.size());
    // Open addressing, at most half full: an entry holds a text's number plus one.
    std::size_t capacity = 16;
    while (capacity < 2 * rows.size())
        capacity *= 2;
    std::vector<quint32> table(capacity);
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const QByteArrayView text = cellAt(rows[row], column);
        std::size_t at = qHash(text) & (capacity - 1);
        while (table[at] && distinct.texts[table[at] - 1] != text)
            at = (at + 1) & (capacity - 1);
        if (!table[at]) {
            distinct.texts.push_back(text);
            table[at] = static_cast<quint32>(distinct.texts.size());
        }
        distinct.ofRow[row] = table[at] - 1;
    }
    return distinct;
}

// The place of each text in the collation: equal ranks for texts that collate
// equal.
std::vector<quint32> collationRanks(const std::vector<QByteArrayView>& texts,
                                    const ListTextOrder& order) {
    std::vector<QCollatorSortKey> keys;
    keys.reserve(texts.size());
    for (const QByteArrayView text : texts)
        keys.push_back(order.collationKey(fromCp1251(text)));
    const auto before = [&](int a, int b) {
        const auto x = static_cast<std::size_t>(a), y = static_cast<std::size_t>(b);
        const int byKey = keys[x].compare(keys[y]);
        // Keys compare as C strings, so a NUL character can end one early: the
        // collator itself settles what keys call equal.
        return (byKey != 0 ? byKey : order.collate(fromCp1251(texts[x]), fromCp1251(texts[y]))) < 0;
    };
    std::vector<int> byCollation(texts.size());
    std::iota(byCollation.begin(), byCollation.end(), 0);
    std::sort(byCollation.begin(), byCollation.end(), before);
    std::vector<quint32> ranks(texts.size());
    quint32 rank = 0;
    for (std::size_t i = 0; i < byCollation.size(); ++i) {
        if (i > 0 && before(byCollation[i - 1], byCollation[i])) ++rank;
        ranks[static_cast<std::size_t>(byCollation[i])] = rank;
    }
    return ranks;
}

} // namespace

ListRowsModel::ListRowsModel(QStringList captions, const ListTextOrder& order, QObject* parent)
    : QAbstractItemModel(parent)
    , captions_(std::move(captions))
    , order_(order) {}

// What a sort needs of one row.
struct ListRowsModel::SortEntry {
    ListTextOrder::Key key;
    quint32 textRank = 0;
    int row = 0;
};

bool ListRowsModel::holds(int row, int column) const {
    return row >= 0 && row < rows() && column >= 0 && column < columns();
}

QByteArrayView ListRowsModel::cellView(int row, int column) const {
    return cellAt(rows_[static_cast<std::size_t>(row)], column);
}

int ListRowsModel::addRow(const QList<QByteArray>& cells) {
    QByteArray added;
    for (int column = 0; column < columns(); ++column)
        appendCell(added, column < cells.size() ? cells[column] : QByteArrayView());
    const int row = rows();
    beginInsertRows({}, row, row);
    rows_.push_back(std::move(added));
    endInsertRows();
    return row;
}

QByteArray ListRowsModel::cell(int row, int column) const {
    return holds(row, column) ? cellView(row, column).toByteArray() : QByteArray();
}

void ListRowsModel::setCell(int row, int column, QByteArrayView text) {
    if (!holds(row, column)) return;
    QByteArray& changed = rows_[static_cast<std::size_t>(row)];
    QByteArray cells;
    for (int i = 0; i < columns(); ++i)
        appendCell(cells, i == column ? text : cellAt(changed, i));
    changed = std::move(cells);
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at);
}

void ListRowsModel::removeRow(int row) {
    if (row < 0 || row >= rows()) return;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

void ListRowsModel::setTextOrder(const ListTextOrder& order) {
    order_ = order;
}

std::vector<ListRowsModel::SortEntry> ListRowsModel::sortEntries(int column) const {
    const DistinctTexts distinct = distinctTexts(rows_, column);
    const std::vector<QByteArrayView>& texts = distinct.texts;
    std::vector<ListTextOrder::Key> keys;
    keys.reserve(texts.size());
    for (const QByteArrayView text : texts)
        keys.push_back(order_.keyOf(fromCp1251(text)));
    // When all are dates, or all numbers, no two texts meet the collation.
    const auto all = [&keys](bool ListTextOrder::Key::*has) {
        return std::all_of(keys.begin(), keys.end(),
                           [has](const ListTextOrder::Key& key) { return key.*has; });
    };
    const std::vector<quint32> ranks =
        all(&ListTextOrder::Key::hasWhen) || all(&ListTextOrder::Key::hasNumber)
            ? std::vector<quint32>(texts.size())
            : collationRanks(texts, order_);

    std::vector<SortEntry> entries(rows_.size());
    for (std::size_t row = 0; row < rows_.size(); ++row)
        entries[row] = {keys[distinct.ofRow[row]], ranks[distinct.ofRow[row]],
                        static_cast<int>(row)};
    return entries;
}

void ListRowsModel::sortBy(int column, bool ascending) {
    if (column < 0 || column >= columns()) return;
    // Dates without a year are read in the year of the sort.
    order_.setThisYear(QDate::currentDate().year());
    std::vector<SortEntry> entries = sortEntries(column);
    const auto less = [](const SortEntry& a, const SortEntry& b) {
        if (const std::optional<int> order = ListTextOrder::compareKeys(a.key, b.key))
            return *order < 0;
        return a.textRank < b.textRank;
    };
    // Descending is "b before a", not a reversed ascending, so that equal rows
    // keep their order either way.
    if (ascending)
        std::stable_sort(entries.begin(), entries.end(), less);
    else
        std::stable_sort(entries.begin(), entries.end(),
                         [&less](const SortEntry& a, const SortEntry& b) { return less(b, a); });
    reorder(entries);
}

void ListRowsModel::reorder(const std::vector<SortEntry>& sorted) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<QByteArray> reordered;
    reordered.reserve(rows_.size());
    std::vector<int> newRowOf(rows_.size());
    for (std::size_t at = 0; at < sorted.size(); ++at) {
        const auto from = static_cast<std::size_t>(sorted[at].row);
        reordered.push_back(std::move(rows_[from]));
        newRowOf[from] = static_cast<int>(at);
    }
    rows_ = std::move(reordered);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before)
        after << index(newRowOf[static_cast<std::size_t>(old.row())], old.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QModelIndex ListRowsModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || !holds(row, column)) return {};
    return createIndex(row, column);
}

QModelIndex ListRowsModel::parent(const QModelIndex&) const {
    return {};
}

int ListRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows();
}

int ListRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns();
}

bool ListRowsModel::hasChildren(const QModelIndex& parent) const {
    return !parent.isValid() && !rows_.empty();
}

QVariant ListRowsModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || !holds(index.row(), index.column()))
        return {};
    // The bytes stay as they came; the text shown is their conversion.
    return fromCp1251(cellView(index.row(), index.column()));
}

QVariant ListRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columns())
        return {};
    return captions_[section];
}

Qt::ItemFlags ListRowsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

} // namespace tarvik
