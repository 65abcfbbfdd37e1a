#include "net/ncid_requests.h"

#include "store/codepage.h"

namespace tarvik {
namespace {

bool acceptableText(QByteArrayView line) {
    for (const char ch : line)
        if ((static_cast<unsigned char>(ch) < 0x20 && ch != '\t') || ch == 0x7f) return false;
    return strictUtf8(line).has_value();
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
    lines_.feed(bytes, [&](QByteArrayView line, bool cut) {
        broken_ = cut || !take(line, nowMs, handle);
        return !broken_;
    });
    return !broken_;
}

bool NcidRequestReader::take(QByteArrayView line, qint64 nowMs, const Handler& handle) {
    if (!acceptableText(line) || !withinRate(nowMs)) return false;
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
