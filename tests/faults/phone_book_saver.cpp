// Saves a phone book into a folder again and again, as the phone book window does
// when it closes: phone_book_saver FOLDER SAVES [a|b]. Without a book named it
// saves the two test books by turns. Prints "saved N" after each save.
#include "phone_books.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace tarvik;

class BookRows final : public PhoneRows {
public:
    explicit BookRows(QList<PhoneItem> items)
        : items_(std::move(items)) {}
    int rowCount() const override { return static_cast<int>(items_.size()); }
    QByteArray caption(int row) const override { return items_[row].Phone; }
    QByteArray subItem(int row, int index) const override {
        const PhoneItem& item = items_[row];
        return index == 0 ? item.Name : index == 1 ? item.Notes : StatusToText(item.Status);
    }
    void appendRow(const QByteArray&, const QByteArray&, const QByteArray&,
                   const QByteArray&) override {}
    void resort() override {}

private:
    QList<PhoneItem> items_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: phone_book_saver FOLDER SAVES [a|b]\n");
        return 2;
    }
    const QString folder = QFile::decodeName(argv[1]) + '/';
    const long saves = std::atol(argv[2]);
    const char only = argc > 3 ? argv[3][0] : 0;
    BookRows books[2] = {BookRows(e2e::testPhoneBook('a')), BookRows(e2e::testPhoneBook('b'))};
    for (long n = 1; n <= saves; ++n) {
        BookRows& rows = only ? books[only == 'b'] : books[n % 2];
        LoadSavePhoneBook(true, rows, folder);
        std::printf("saved %ld\n", n);
        std::fflush(stdout);
    }
    return 0;
}
