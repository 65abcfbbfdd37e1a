#pragma once
#include "net/line_splitter.h"
#include "net/ncid_lines.h"

#include <QByteArray>
#include <QByteArrayView>
#include <functional>

namespace tarvik {

// One line a client sent, as the server reads it.
struct NcidRequest {
    enum class Kind {
        KeepAlive, // an empty line
        Goodbye,
        NoLog,   // "HELLO: CMD: no_log"
        Yo,      // "REQ: YO", a probe that wants an answer
        Message, // "MSG: <text>" for the other clients; `text` is the message
        Other,   // an IDENT, a job request, a message over the rate: no answer
    };
    Kind kind = Kind::Other;
    QByteArray text;
};

// Reads a client's bytes into requests within the bounds that keep one client
// cheap: lines of LF or CR LF, at most kLineMax bytes, UTF-8 without control
// bytes, at most kLinesPerSecond lines a second. Anything past a bound means the
// client is broken or hostile, and the reader refuses all that follows.
class NcidRequestReader {
public:
    static constexpr qsizetype kLineMax = ncid::kLineMax;
    static constexpr int kLinesPerSecond = 200;
    // Messages a client may have relayed within one second; more are ignored.
    static constexpr int kMessagesPerSecond = 1;

    using Handler = std::function<void(const NcidRequest&)>;

    // Hands each complete line to `handle`; false once a bound is broken (then
    // and later, without handling anything more). `nowMs` is any monotonic clock.
    bool feed(QByteArrayView bytes, qint64 nowMs, const Handler& handle);
    bool broken() const { return broken_; }

    static NcidRequest classify(QByteArrayView line);

private:
    bool take(QByteArrayView line, qint64 nowMs, const Handler& handle);
    bool withinRate(qint64 nowMs);

    LineSplitter lines_{kLineMax};
    qint64 windowStart_ = 0;
    int linesInWindow_ = 0;
    int messagesInWindow_ = 0;
    bool started_ = false;
    bool broken_ = false;
};

} // namespace tarvik
