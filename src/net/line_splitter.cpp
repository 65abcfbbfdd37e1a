#include "net/line_splitter.h"

namespace tarvik {

bool LineSplitter::feed(QByteArrayView bytes, const Take& take) {
    if (skipping_) {
        const qsizetype end = bytes.indexOf('\n');
        if (end < 0) return true;
        bytes = bytes.sliced(end + 1);
        skipping_ = false;
    }
    pending_ += bytes;
    qsizetype start = 0;
    for (qsizetype end; (end = pending_.indexOf('\n', start)) >= 0; start = end + 1) {
        QByteArrayView line = QByteArrayView(pending_).sliced(start, end - start);
        if (line.endsWith('\r')) line.chop(1);
        const bool cut = line.size() > max_;
        if (!take(cut ? line.first(max_) : line, cut)) {
            clear();
            return false;
        }
    }
    pending_.remove(0, start);
    // A line of the longest length may still wait for its LF after the CR.
    const qsizetype waitingEnd = pending_.endsWith('\r') ? 1 : 0;
    if (pending_.size() - waitingEnd <= max_) return true;
    const bool goOn = take(QByteArrayView(pending_).first(max_), true);
    clear();
    skipping_ = goOn;
    return goOn;
}

void LineSplitter::clear() {
    pending_.clear();
    skipping_ = false;
}

} // namespace tarvik
