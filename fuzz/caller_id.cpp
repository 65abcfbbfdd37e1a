// A "CallerID:" line of any content, as the modem dialogue delivers it, on the
// display: the window comes into view, the leftmost digit is a marker, no decimal
// point is lit, at most one category text is logged, and the only error is the
// documented one for a category that is not a digit.
#include "fake_main_view.h"
#include "fuzz_support.h"

#include "modem/number_display.h"
#include "platform/errors.h"
#include "store/short_text.h"

#include <QList>
#include <QRegularExpression>
#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvik;
    fuzz::InputReader input(data, size);
    const int digCol = input.take();
    // A line as the modem dialogue reads it: no CR, LF or NUL, at most 255 bytes.
    QByteArray line = input.rest().left(kShortTextMax);
    line.replace('\r', "").replace('\n', "").replace('\0', "");

    testing::FakeMainView view;
    QList<QByteArray> log;
    bool refused = false;
    try {
        ShowCallerId(view, line, digCol, [&log](const QByteArray& m) { log.append(m); });
    } catch (const TarvikError& error) {
        static const QRegularExpression kText(
            QStringLiteral("^'.' is not a valid integer value\\z"),
            QRegularExpression::DotMatchesEverythingOption);
        FUZZ_CHECK(kText.match(error.message()).hasMatch(), error.message().toUtf8());
        refused = true;
    }

    FUZZ_CHECK(view.shownForCaller == 1, line);
    const LedSegments marker = view.digits[0].lit;
    FUZZ_CHECK(marker == LedGlyph('n') || marker == LedGlyph('o') || marker == LedGlyph('u'), line);
    for (const auto& digit : view.digits)
        FUZZ_CHECK((digit.lit & bpoint) == 0, line);
    FUZZ_CHECK(log.size() <= (refused ? 0 : 1), line);
    const auto& categories = CallerCategories();
    for (const QByteArray& text : log)
        FUZZ_CHECK(std::find(categories.begin(), categories.end(), text) != categories.end(), line);
    if (marker == LedGlyph('n')) FUZZ_CHECK(log.isEmpty() && !refused, line);
    return 0;
}
