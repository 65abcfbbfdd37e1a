// What an NCID client may send, from another machine: read in pieces of any size
// it gives the same requests as in one piece; no handled line breaks a bound; a
// relayed message is one line whose fields cannot be confused; once a bound is
// broken nothing more is handled.
#include "fuzz_support.h"

#include "net/ncid_lines.h"
#include "net/ncid_requests.h"

#include <functional>

namespace {

using tarvik::NcidRequest;
using tarvik::NcidRequestReader;

struct Outcome {
    QList<QByteArray> requests;
    bool broken = false;
};

// Feeds `bytes` in pieces of the sizes given, all at one moment.
Outcome readInPieces(const QByteArray& bytes, const std::function<qsizetype()>& pieceSize) {
    NcidRequestReader reader;
    Outcome out;
    const auto handle = [&](const NcidRequest& r) {
        FUZZ_CHECK(!out.broken);
        out.requests.append(QByteArray::number(int(r.kind)) + ':' + r.text);
    };
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype piece = std::min<qsizetype>(bytes.size() - at, pieceSize());
        const bool ok = reader.feed(QByteArrayView(bytes).sliced(at, piece), 0, handle);
        FUZZ_CHECK(ok == !reader.broken());
        if (!ok) out.broken = true;
        at += piece;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvik::fuzz::InputReader input(data, size);
    const std::uint8_t sizeSeed = input.take();
    const QByteArray bytes = input.rest();
    unsigned state = sizeSeed;
    const Outcome once = readInPieces(bytes, [&bytes] { return bytes.size(); });
    const Outcome split = readInPieces(bytes, [&state] {
        state = state * 1103515245u + 12345u;
        return static_cast<qsizetype>(1 + (state >> 16) % 300);
    });
    FUZZ_CHECK(once.requests == split.requests, bytes);
    FUZZ_CHECK(once.broken == split.broken, bytes);
    FUZZ_CHECK(once.requests.size() <= NcidRequestReader::kLinesPerSecond);

    int messages = 0;
    for (const QByteArray& request : once.requests) {
        const QByteArray text = request.mid(request.indexOf(':') + 1);
        FUZZ_CHECK(text.size() <= NcidRequestReader::kLineMax, request);
        if (!request.startsWith(QByteArray::number(int(NcidRequest::Kind::Message)) + ':'))
            continue;
        ++messages;
        FUZZ_CHECK(!text.isEmpty() && !text.contains("###"), request);
        const QByteArray line = tarvik::ncid::messageLine(text, "-", QDateTime());
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n') && !line.contains('\0'), line);
        FUZZ_CHECK(line.count("***") == 1 && line.startsWith("MSG: "), line);
    }
    FUZZ_CHECK(messages <= NcidRequestReader::kMessagesPerSecond);
    return 0;
}
