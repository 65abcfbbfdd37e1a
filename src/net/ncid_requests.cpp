#include "net/ncid_requests.h"

#include <QStringDecoder>

namespace tarvik {
namespace {

bool acceptableText(QByteArrayView line) {
    for (const char ch : line)
        if ((static_cast<unsigned char>(ch) < 0x20 && ch != '\t') || ch == 0x7f) return false;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // The decoder converts on assignment; only then is an error known.
    [[maybe_unused]] const QString text = utf8.decode(line);
    return !utf8.hasError();
}

} // namespace

NcidRequest NcidRequestReader::classify(QByteArrayView line) {
    const QByteArrayView text = line.trimmed();
    if (line.isEmpty()) return {NcidRequest::Kind::KeepAlive, {}};
    if (line == "GOODBYE") return {NcidRequest::Kind::Goodbye, {}};
    if (text == "HELLO: CMD: no_log") return {NcidRequest::Kind::NoLog, {}};
    if (text == "REQ: YO") return {NcidRequest::Kind::Yo, {}};
    if (text.startsWith("MSG:")) {
        QByteArrayView message = text.sliced(4);
        // A client may add its own fields after "###"; the server makes its own.
        if (const qsizetype fields = message.indexOf("###"); fields >= 0)
            message = message.first(fields);
        message = message.trimmed();
        if (!message.isEmpty()) return {NcidRequest::Kind::Message, message.toByteArray()};
    }
    return {NcidRequest::Kind::Other, {}};
}

bool NcidRequestReader::feed(QByteArrayView bytes, qint64 nowMs, const Handler& handle) {
    if (broken_) return false;
    pending_ += bytes;
    qsizetype start = 0;
    for (qsizetype end; (end = pending_.indexOf('\n', start)) >= 0; start = end + 1) {
        QByteArrayView line = QByteArrayView(pending_).sliced(start, end - start);
        if (line.endsWith('\r')) line.chop(1);
        if (!take(line, nowMs, handle)) {
            pending_.clear();
            return false;
        }
    }
    pending_.remove(0, start);
    // A line of the longest length may still wait for its LF after the CR.
    const qsizetype waitingEnd = pending_.endsWith('\r') ? 1 : 0;
    if (pending_.size() - waitingEnd > kLineMax) {
        broken_ = true;
        pending_.clear();
    }
    return !broken_;
}

bool NcidRequestReader::take(QByteArrayView line, qint64 nowMs, const Handler& handle) {
    if (line.size() > kLineMax || !acceptableText(line) || !withinRate(nowMs)) {
        broken_ = true;
        return false;
    }
    NcidRequest request = classify(line);
    if (request.kind == NcidRequest::Kind::Message && ++messagesInWindow_ > kMessagesPerSecond)
        request = {NcidRequest::Kind::Other, {}};
    handle(request);
    return true;
}

bool NcidRequestReader::withinRate(qint64 nowMs) {
    if (!started_ || nowMs - windowStart_ >= 1000 || nowMs < windowStart_) {
        started_ = true;
        windowStart_ = nowMs;
        linesInWindow_ = 0;
        messagesInWindow_ = 0;
    }
    return ++linesInWindow_ <= kLinesPerSecond;
}

} // namespace tarvik
