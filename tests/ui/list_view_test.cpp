// The sortable list on its own: cells keep their bytes whatever they hold, a
// sort gives exactly the order of comparing the texts pair by pair (dates,
// numbers, collation; ties kept in place in both directions), and the
// selection moves with its row.
#include "store/codepage.h"
#include "ui/widgets/ext_list_view.h"

#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

namespace tarvik {
namespace {

class ListTest : public ::testing::Test {
protected:
    // A list of a text column and an id column that tells the rows apart.
    std::unique_ptr<TExtListView> makeList(const QLocale& locale = QLocale::c()) {
        auto list = std::make_unique<TExtListView>(
            QList<ListColumn>{{QStringLiteral("Text")}, {QStringLiteral("Id")}},
            dir.filePath("list.ini"));
        list->setLocale(locale);
        return list;
    }
    static QList<QByteArray> column(const TExtListView& list, int index) {
        QList<QByteArray> values;
        for (int row = 0; row < list.rowCount(); ++row)
            values << list.cell(row, index);
        return values;
    }

    QTemporaryDir dir;
};

// Texts that meet every rule of the order and its corners: numbers, dates and
// times in several locales' forms, impossible dates, letter case, Cyrillic,
// blanks, control characters, NULs, the empty text.
const QList<QByteArray> kTexts = {"",
                                  " ",
                                  "\x01",
                                  "a",
                                  "A",
                                  "b",
                                  "B",
                                  "ab",
                                  "a b",
                                  "9",
                                  "10",
                                  "010",
                                  "1e3",
                                  "-5",
                                  "+5",
                                  "1.5",
                                  "1,5",
                                  "1,000",
                                  "nan",
                                  "inf",
                                  "3/4/21",
                                  "12/1/22",
                                  "2/30/23",
                                  "31.12.99",
                                  "01.03.2023",
                                  "02.01.2023 9:05",
                                  "12:30",
                                  "1:00 PM",
                                  "11:00 AM",
                                  "9:5",
                                  QByteArray("a\0b", 3),
                                  QByteArray("a\0c", 3),
                                  "\x98",
                                  "2023-01-02",
                                  "x1",
                                  "1:00 pm",
                                  toCp1251(u"Иванов"),
                                  toCp1251(u"иванов"),
                                  toCp1251(u"Ёлка"),
                                  toCp1251(u"елка"),
                                  toCp1251(u"Ель")};

TEST_F(ListTest, CellsKeepTheirBytesAndShowThemConverted) {
    auto list = makeList();
    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte += static_cast<char>(b);
    const QByteArray huge(70'000, 'h');
    list->addRow({everyByte, "1"});
    list->addRow({QByteArray("\0\0", 2), huge});
    list->addRow({"only the first"});
    list->addRow({"a", "b", "dropped"});

    ASSERT_EQ(list->rowCount(), 4);
    EXPECT_EQ(list->cell(0, 0), everyByte);
    EXPECT_EQ(list->cell(1, 0), QByteArray("\0\0", 2));
    EXPECT_EQ(list->cell(1, 1), huge);
    EXPECT_EQ(list->cell(2, 1), QByteArray()) << "a missing cell is empty";
    EXPECT_EQ(list->cell(3, 1), "b");
    EXPECT_EQ(list->model()->index(0, 0).data().toString(), fromCp1251(everyByte));

    list->setCell(1, 0, toCp1251(u"Щука"));
    EXPECT_EQ(list->cell(1, 0), toCp1251(u"Щука"));
    EXPECT_EQ(list->cell(1, 1), huge) << "its neighbour stays";
    list->setCell(0, 1, huge);
    EXPECT_EQ(list->cell(0, 0), everyByte);
    EXPECT_EQ(list->cell(0, 1), huge);
    EXPECT_EQ(list->caption(3), "a");
    EXPECT_EQ(list->subItem(3, 0), "b");

    // Rows and columns that are not there: nothing happens, nothing is there.
    list->setCell(9, 0, "x");
    list->setCell(0, 5, "x");
    list->removeRow(-1);
    list->removeRow(4);
    list->selectRow(4);
    EXPECT_EQ(list->rowCount(), 4);
    EXPECT_EQ(list->cell(-1, 0), QByteArray());
    EXPECT_EQ(list->cell(0, 2), QByteArray());
    EXPECT_EQ(list->selectedRow(), -1);

    list->removeRow(1);
    EXPECT_EQ(column(*list, 0), (QList<QByteArray>{everyByte, "only the first", "a"}));
}

// The order the list had with one item per row: a stable sort of the rows
// that compares two texts at a time, "b before a" when descending.
QStringList sortedPairwise(const QList<QByteArray>& texts, const QList<QByteArray>& ids,
                           const ListTextOrder& order, bool ascending) {
    std::vector<int> rows(static_cast<std::size_t>(texts.size()));
    std::iota(rows.begin(), rows.end(), 0);
    const auto less = [&](int a, int b) {
        return order.compare(fromCp1251(texts[a]), fromCp1251(texts[b])) < 0;
    };
    std::stable_sort(rows.begin(), rows.end(),
                     [&](int a, int b) { return ascending ? less(a, b) : less(b, a); });
    QStringList sorted;
    for (const int row : rows)
        sorted << QString::fromLatin1(ids[row] + " " + texts[row].toPercentEncoding());
    return sorted;
}

// The rows as the reference gives them: "id text".
QStringList shown(const TExtListView& list) {
    QStringList rows;
    for (int row = 0; row < list.rowCount(); ++row)
        rows << QString::fromLatin1(list.cell(row, 1) + " " +
                                    list.cell(row, 0).toPercentEncoding());
    return rows;
}

TEST_F(ListTest, ASortIsTheOrderOfComparingTheTextsPairByPair) {
    const QLocale locales[] = {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                               QLocale(QLocale::Russian, QLocale::Russia),
                               QLocale(QLocale::German, QLocale::Switzerland)};
    std::mt19937 random(16);
    for (const QLocale& locale : locales) {
        SCOPED_TRACE(locale.name().toStdString());
        auto list = makeList(locale);
        // Many rows share a text: ties must keep the order they had.
        for (int id = 0; id < 300; ++id)
            list->addRow({kTexts[random() % kTexts.size()], QByteArray::number(id)});
        for (const bool ascending : {true, false, true, false, false}) {
            const QStringList expected =
                sortedPairwise(column(*list, 0), column(*list, 1), list->textOrder(), ascending);
            list->sortBy(0, ascending);
            ASSERT_EQ(shown(*list), expected) << (ascending ? "ascending" : "descending");
        }
        // Sorting by the other column and back starts from a new order.
        list->sortBy(1, false);
        const QStringList expected =
            sortedPairwise(column(*list, 0), column(*list, 1), list->textOrder(), true);
        list->sortBy(0, true);
        EXPECT_EQ(shown(*list), expected);
    }
}

TEST_F(ListTest, EachKindOfTextSortsByItsOwnRuleBothWays) {
    const QList<QList<QByteArray>> ascending = {
        {"9", "20", "100", "1000", "9,5e3"},
        // A time alone is on the first day the dates count from.
        {"12:00", "15.12.2022", "02.01.2023 9:05", "02.01.2023 10:00", "01.03.2023"},
        // The Russian collation puts its own letters first.
        {toCp1251(u"ё"), toCp1251(u"Ё"), toCp1251(u"ж"), "a", "A", "b", "B"}};
    for (const QList<QByteArray>& texts : ascending) {
        auto list = makeList(QLocale(QLocale::Russian, QLocale::Russia));
        for (auto text = texts.rbegin(); text != texts.rend(); ++text)
            list->addRow({*text});
        list->sortBy(0, true);
        EXPECT_EQ(column(*list, 0), texts);
        list->sortBy(0, false);
        EXPECT_EQ(column(*list, 0), QList<QByteArray>(texts.rbegin(), texts.rend()));
    }
}

TEST_F(ListTest, TheSelectionAndTheCurrentRowMoveWithTheirRow) {
    auto list = makeList();
    for (const QByteArray text : {"c", "a", "d", "b"})
        list->addRow({text, text + "-id"});
    list->selectRow(2);
    ASSERT_EQ(list->cell(list->selectedRow(), 1), "d-id");
    list->sortBy(0, true);
    EXPECT_EQ(list->selectedRow(), 3);
    EXPECT_EQ(list->currentIndex().row(), 3);
    list->sortBy(0, false);
    EXPECT_EQ(list->cell(list->selectedRow(), 1), "d-id");
    EXPECT_EQ(list->selectionModel()->selectedIndexes().size(), 2) << "the whole row";

    list->removeRow(list->selectedRow());
    list->sortBy(0, true);
    EXPECT_EQ(column(*list, 0), (QList<QByteArray>{"a", "b", "c"}));
}

TEST(ListTextOrder, PlainDigitsReadAsTheLocaleReadsThem) {
    const QLocale locales[] = {QLocale::c(), QLocale(QLocale::Russian, QLocale::Russia),
                               QLocale(QLocale::German, QLocale::Switzerland),
                               QLocale(QLocale::Arabic, QLocale::Egypt)};
    for (QLocale locale : locales) {
        const ListTextOrder order(locale);
        locale.setNumberOptions(QLocale::RejectGroupSeparator);
        const QStringList texts = {"0",
                                   "007",
                                   "0000000000000000",
                                   "123456789012345",
                                   "9007199254740993",
                                   "99999999999999999999",
                                   "1" + QString(400, '0')};
        for (const QString& text : texts) {
            SCOPED_TRACE((locale.name() + " " + text.left(30)).toStdString());
            bool ok = false;
            const double value = locale.toDouble(text, &ok);
            const std::optional<double> read = order.toNumber(text);
            EXPECT_EQ(read.has_value(), ok && std::isfinite(value));
            if (read) {
                EXPECT_EQ(*read, value);
            }
        }
    }
}

TEST(ListTextOrder, ThisYearCompletesShortDates) {
    ListTextOrder order(QLocale(QLocale::English, QLocale::UnitedStates));
    order.setThisYear(2001);
    EXPECT_EQ(order.toDateTime("3/4")->date(), QDate(2001, 3, 4));
    EXPECT_EQ(order.toDateTime("3/4/60")->date(), QDate(1960, 3, 4));
    EXPECT_EQ(order.toDateTime("3/4/40")->date(), QDate(2040, 3, 4));
}

} // namespace
} // namespace tarvik
