#pragma once
#include "store/phone_index.h"
#include "store/phone_list.h"

#include <QByteArrayView>
#include <QFileSystemWatcher>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>
#include <sys/types.h>

namespace tarvik {

// The phone book of a folder, for looking up callers, kept in step with its
// file: a save from the phone book window, another program or a copy by hand
// is read again once it has settled.
class CallerBook {
public:
    CallerBook();
    CallerBook(const CallerBook&) = delete;
    CallerBook& operator=(const CallerBook&) = delete;

    // Reads the book of `folder` (phoneBookPath) and follows its file from now
    // on. A missing file is an empty book; of a broken one the whole records
    // are kept and the error is told.
    void load(const QString& folder);
    // Reads the book of the folder last loaded again.
    void reload();

    // The first entry, in the book's order, that matches the number (phoneNumbersMatch).
    std::optional<PhoneItem> lookup(QByteArrayView number) const;
    int size() const { return list_.rowCount(); }

    std::function<void(int entries)> onLoaded;
    std::function<void(const QString& error)> onError;

    // Changes that come this close together are read once.
    static constexpr int kSettleMs = 200;

private:
    // Which file the path names and what it holds, as far as its status tells.
    struct FileIdentity {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        qint64 modifiedNs = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    static FileIdentity identityOf(const QString& path);

    void follow(const QString& path);
    void changed(bool fileItself);
    void settled();

    std::optional<QString> folder_;
    PhoneList list_;
    PhoneIndex index_;
    FileIdentity loaded_;
    bool fileChanged_ = false;
    QFileSystemWatcher watcher_;
    QTimer settle_;
};

} // namespace tarvik
