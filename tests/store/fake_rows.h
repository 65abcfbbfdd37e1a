#pragma once
#include "store/phonebook.h"

#include <QList>
#include <algorithm>

namespace tarvik {

// A list as the phone book window keeps it: rows of four texts, optionally sorted by one column.
class FakeRows final : public PhoneRows {
public:
    struct Row {
        QByteArray caption, name, notes, status;
        bool operator==(const Row&) const = default;
    };
    QList<Row> rows;
    int sortColumn = -1;
    int resorts = 0;

    int rowCount() const override { return static_cast<int>(rows.size()); }
    QByteArray caption(int row) const override { return rows[row].caption; }
    QByteArray subItem(int row, int index) const override {
        const Row& r = rows[row];
        return index == 0 ? r.name : index == 1 ? r.notes : r.status;
    }
    void appendRow(const QByteArray& caption, const QByteArray& name, const QByteArray& notes,
                   const QByteArray& status) override {
        rows.append({caption, name, notes, status});
    }
    void resort() override {
        ++resorts;
        if (sortColumn == 1)
            std::stable_sort(rows.begin(), rows.end(),
                             [](const Row& a, const Row& b) { return a.name < b.name; });
    }
};

} // namespace tarvik
