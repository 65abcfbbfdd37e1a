#pragma once
#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QString>
#include <optional>

#include "store/call_record.h"

namespace tarvik {

// Where the call log is and how its callers' numbers are cut.
struct CallLogSource {
    QString path;
    int digCol = 7;
};

// Reads the call log as NCID log lines, a bounded piece at a time, so a long
// log never holds up the program nor fills a client's queue at once. Lines
// appended after the feed opened are left to the live records.
class CallLogFeed {
public:
    enum class Opened { NoLog, Ready };

    CallLogFeed(CallLogSource source, QByteArray lineId, QDate today);

    Opened open();
    // Appends the next records' lines (each ended by CR LF) to `out`, reading at
    // most about `readBudget` bytes of the file. False once the log is read.
    bool fill(QByteArray& out, qint64 readBudget);
    // Records sent so far.
    int sent() const { return sent_; }

private:
    void appendRecord(QByteArray& out, const CallRecord& call);
    void flushPending(QByteArray& out);

    // A log line is at most 257 bytes; anything longer is not the program's
    // and is skipped in pieces of this size.
    static constexpr qint64 kLineMax = 1024;

    CallLogSource source_;
    QByteArray lineId_;
    QDate today_;
    QFile file_;
    qint64 end_ = 0;
    bool inLongLine_ = false;
    int sent_ = 0;
    // A caller whose name line may follow.
    std::optional<CallRecord> pending_;
};

} // namespace tarvik
