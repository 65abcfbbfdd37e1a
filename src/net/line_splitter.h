#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <functional>

namespace tarvik {

// Cuts a stream of bytes into lines ended by LF or CR LF, never holding more
// than a line's bound: the first `max` bytes of a longer line are handed on
// once, marked cut, and the rest of it up to its LF is dropped.
class LineSplitter {
public:
    explicit LineSplitter(qsizetype max)
        : max_(max) {}

    // Gets each line without its end; false stops the feed and drops what it
    // holds. The line's bytes are the splitter's: `take` may neither feed nor
    // clear it.
    using Take = std::function<bool(QByteArrayView line, bool cut)>;

    // False once `take` said stop.
    bool feed(QByteArrayView bytes, const Take& take);
    void clear();

private:
    qsizetype max_;
    QByteArray pending_;
    // Within the rest of a line already handed on cut.
    bool skipping_ = false;
};

} // namespace tarvik
