#include "store/phonebook.h"

#include "platform/errors.h"
#include "platform/messages.h"
#include "store/atomic_file.h"
#include "store/file_handle.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <vector>

namespace tarvik {
namespace {

struct Field {
    int offset;
    int capacity;
};
constexpr Field kPhoneField{0, 40};
constexpr Field kNameField{41, 60};
constexpr Field kNotesField{102, 60};
constexpr int kStatusOffset = 164;

void putField(char* record, Field field, const QByteArray& text) {
    const auto length = static_cast<int>(std::min<qsizetype>(text.size(), field.capacity));
    record[field.offset] = static_cast<char>(length);
    std::memcpy(record + field.offset + 1, text.constData(), static_cast<size_t>(length));
}

QByteArray getField(const char* record, Field field) {
    const int length =
        std::min<int>(static_cast<unsigned char>(record[field.offset]), field.capacity);
    return QByteArray(record + field.offset + 1, length);
}

// Fills a zeroed record.
void putRecord(char* record, const PhoneItem& item) {
    putField(record, kPhoneField, item.Phone);
    putField(record, kNameField, item.Name);
    putField(record, kNotesField, item.Notes);
    const auto status = static_cast<std::uint32_t>(item.Status);
    for (int i = 0; i < 4; ++i)
        record[kStatusOffset + i] = static_cast<char>(status >> (8 * i) & 0xFF);
}

// Up to `size` bytes, fewer only at the end of the file or on an error (its
// errno, else 0).
struct ReadResult {
    std::size_t bytes = 0;
    int error = 0;
};

ReadResult readFully(int fd, char* data, std::size_t size) {
    ReadResult result;
    while (result.bytes < size) {
        const ssize_t got = ::read(fd, data + result.bytes, size - result.bytes);
        if (got < 0) {
            if (errno == EINTR) continue;
            result.error = errno;
            break;
        }
        if (got == 0) break;
        result.bytes += static_cast<std::size_t>(got);
    }
    return result;
}

void load(PhoneRows& rows, const QByteArray& path) {
    // Opened for writing too, as the save will need to replace it.
    FileHandle file(::open(path.constData(), O_RDWR | O_CLOEXEC));
    if (!file) return;
    // Records come a block at a time: a big book is read in a few calls.
    constexpr std::size_t kBlockRecords = 256;
    std::vector<char> block(kBlockRecords * kPhoneRecordSize);
    for (;;) {
        const ReadResult got = readFully(file.get(), block.data(), block.size());
        // The whole records read before an error or a short tail are kept.
        for (std::size_t i = 0; i < got.bytes / kPhoneRecordSize; ++i) {
            const PhoneItem item = decodePhoneRecord(block.data() + i * kPhoneRecordSize);
            rows.appendRow(item.Phone, item.Name, item.Notes, StatusToText(item.Status));
        }
        if (got.error != 0)
            throw TarvikError(QStringLiteral("I/O error: %1")
                                  .arg(QString::fromLocal8Bit(std::strerror(got.error))));
        if (got.bytes % kPhoneRecordSize != 0)
            throw TarvikError(QStringLiteral("Read beyond end of file"));
        if (got.bytes < block.size()) break;
    }
    rows.resort();
}

// The whole book replaces the file in one step, so a failure leaves the old one whole.
bool save(const PhoneRows& rows, const QString& path) {
    QByteArray records(static_cast<qsizetype>(rows.rowCount()) * kPhoneRecordSize, '\0');
    for (int row = 0; row < rows.rowCount(); ++row) {
        const PhoneItem item{rows.caption(row), rows.subItem(row, 0), rows.subItem(row, 1),
                             TextToStatus(rows.subItem(row, 2))};
        putRecord(records.data() + static_cast<qsizetype>(row) * kPhoneRecordSize, item);
    }
    return replaceFileContent(QFile::encodeName(path), records);
}

} // namespace

QByteArray StatusToText(std::int32_t status) {
    switch (status) {
    case psBad:
        return "BAD";
    case psGood:
        return "GOOD";
    case psPrio:
        return "PRIO";
    default:
        return "NORMAL";
    }
}

std::int32_t TextToStatus(const QByteArray& text) {
    if (text == "BAD") return psBad;
    if (text == "GOOD") return psGood;
    if (text == "PRIO") return psPrio;
    return psNormal;
}

QByteArray encodePhoneRecord(const PhoneItem& item) {
    QByteArray record(kPhoneRecordSize, '\0');
    putRecord(record.data(), item);
    return record;
}

PhoneItem decodePhoneRecord(const char* record) {
    PhoneItem item;
    item.Phone = getField(record, kPhoneField);
    item.Name = getField(record, kNameField);
    item.Notes = getField(record, kNotesField);
    std::uint32_t status = 0;
    for (int i = 0; i < 4; ++i)
        status |= static_cast<std::uint32_t>(static_cast<unsigned char>(record[kStatusOffset + i]))
                  << (8 * i);
    item.Status = static_cast<std::int32_t>(status);
    return item;
}

QString phoneBookPath(const QString& programDir) {
    return programDir + QStringLiteral("phones.dat");
}

bool LoadSavePhoneBook(bool save_, PhoneRows& rows, const QString& programDir) {
    const QString path = phoneBookPath(programDir);
    if (!save_) {
        load(rows, QFile::encodeName(path));
        return true;
    }
    if (save(rows, path)) return true;
    ErrorBox(QStringLiteral("Error"), QStringLiteral("Save Phone Book!"));
    return false;
}

} // namespace tarvik
