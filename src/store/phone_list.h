#pragma once
#include "store/phonebook.h"

#include <QList>

namespace tarvik {

// The phone book in memory, for a program without the phone book window.
class PhoneList final : public PhoneRows {
public:
    int rowCount() const override { return static_cast<int>(items_.size()); }
    QByteArray caption(int row) const override { return items_[row].Phone; }
    QByteArray subItem(int row, int index) const override {
        const PhoneItem& item = items_[row];
        return index == 0 ? item.Name : index == 1 ? item.Notes : StatusToText(item.Status);
    }
    void appendRow(const QByteArray& caption, const QByteArray& name, const QByteArray& notes,
                   const QByteArray& statusText) override {
        items_.append({caption, name, notes, TextToStatus(statusText)});
    }
    void resort() override {}
    void setStatus(int row, std::int32_t status) { items_[row].Status = status; }

    const QList<PhoneItem>& items() const { return items_; }
    void clear() { items_.clear(); }

private:
    QList<PhoneItem> items_;
};

} // namespace tarvik
