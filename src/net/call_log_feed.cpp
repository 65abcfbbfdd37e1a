#include "net/call_log_feed.h"

#include "net/ncid_lines.h"
#include "store/call_record.h"

namespace tarvik {

CallLogFeed::CallLogFeed(CallLogSource source, QByteArray lineId, QDate today)
    : source_(std::move(source))
    , lineId_(std::move(lineId))
    , today_(today) {}

CallLogFeed::Opened CallLogFeed::open() {
    file_.setFileName(source_.path);
    if (!file_.open(QIODevice::ReadOnly)) return Opened::NoLog;
    end_ = file_.size();
    return Opened::Ready;
}

bool CallLogFeed::fill(QByteArray& out, qint64 readBudget) {
    if (!file_.isOpen()) return false;
    char buffer[kLineMax + 1];
    qint64 read = 0;
    while (read < readBudget && file_.pos() < end_) {
        const qint64 got = file_.readLine(buffer, std::min(kLineMax, end_ - file_.pos()) + 1);
        if (got <= 0) break;
        read += got;
        const bool whole = buffer[got - 1] == '\n';
        const bool skip = inLongLine_ || (!whole && got == kLineMax);
        inLongLine_ = skip && !whole;
        if (skip) continue;

        QByteArrayView line(buffer, whole ? got - 1 : got);
        if (line.endsWith('\r')) line.chop(1);
        std::optional<CallRecord> call = callRecordFromLogLine(line, today_, source_.digCol);
        // A name belongs to the caller of the line right before it only.
        if (!call) {
            flushPending(out);
            continue;
        }
        if (call->kind == CallRecord::Kind::CallerName) {
            if (pending_ && pending_->name.isEmpty()) pending_->name = call->name;
            flushPending(out);
            continue;
        }
        flushPending(out);
        if (call->kind == CallRecord::Kind::Incoming)
            pending_ = std::move(call);
        else
            appendRecord(out, *call);
    }
    const bool more = file_.pos() < end_ && !file_.atEnd();
    if (!more) {
        flushPending(out);
        file_.close();
    }
    return more;
}

void CallLogFeed::appendRecord(QByteArray& out, const CallRecord& call) {
    out += ncid::loggedCallLine(call, lineId_) + "\r\n";
    ++sent_;
}

void CallLogFeed::flushPending(QByteArray& out) {
    if (pending_) appendRecord(out, *pending_);
    pending_.reset();
}

} // namespace tarvik
