// A call log of any content read back as NCID log lines: every line sent is one
// whole record of printable ASCII with its fields in order, each ending as
// clients read it, and its date and time in range; reading the log in small
// pieces gives exactly what one pass gives.
#include "fuzz_support.h"

#include "net/call_log_feed.h"
#include "net/ncid_lines.h"

#include <QFile>
#include <QRegularExpression>

namespace {

QByteArray readWhole(const tarvik::CallLogSource& source, QDate today, qint64 budget) {
    tarvik::CallLogFeed feed(source, "-", today);
    QByteArray lines;
    if (feed.open() == tarvik::CallLogFeed::Opened::NoLog) return lines;
    int passes = 0;
    while (feed.fill(lines, budget))
        FUZZ_CHECK(++passes < 1'000'000);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvik;
    fuzz::InputReader input(data, size);
    const QDate today = QDate(2000, 1, 1).addDays(input.take() * 7 + input.take());
    const int digCol = input.take() % 10;
    const qint64 budget = 1 + input.take() % 64;
    const QByteArray log = input.rest();

    static const QTemporaryDir dir;
    const CallLogSource source{dir.filePath(QStringLiteral("tarvik.log")), digCol};
    QFile file(source.path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(log) == log.size());
    file.close();

    const QByteArray whole = readWhole(source, today, 1 << 20);
    FUZZ_CHECK(readWhole(source, today, budget) == whole, log);

    static const QRegularExpression kRecord(QStringLiteral(
        "^(CIDLOG|OUTLOG|HUPLOG): \\*DATE\\*(\\d\\d)(\\d\\d)(\\d{4})\\*TIME\\*([01]\\d|2[0-3])[0-5]\\d"
        "\\*LINE\\*-\\*NMBR\\*[ -)+-~]*[\\w @-]\\*MESG\\*NONE\\*NAME\\*[ -)+-~]*[\\w @-]\\*$"));
    const QList<QByteArray> lines = whole.split('\n');
    FUZZ_CHECK(lines.back().isEmpty(), whole);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        FUZZ_CHECK(lines[i].endsWith('\r'), lines[i]);
        const QString line = QString::fromLatin1(lines[i].chopped(1));
        const auto match = kRecord.match(line);
        FUZZ_CHECK(match.hasMatch(), lines[i]);
        const int month = match.captured(2).toInt(), day = match.captured(3).toInt();
        const int year = match.captured(4).toInt();
        FUZZ_CHECK(month >= 1 && month <= 12 && day >= 1 && day <= 31, lines[i]);
        // The log has no year: never in the future, never more than a year back.
        FUZZ_CHECK(year == today.year() || year == today.year() - 1, lines[i]);
        if (year == today.year())
            FUZZ_CHECK(month < today.month() || (month == today.month() && day <= today.day()),
                       lines[i]);
    }
    return 0;
}
