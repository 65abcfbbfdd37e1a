// Modem output through the line assembly: whatever bytes arrive, and however they
// are spread over time, every line is short, free of CR, LF and NUL, read within
// its budget, and all lines together are the received bytes without those.
#include "fuzz_support.h"

#include "modem/dialogue.h"
#include "store/short_text.h"

namespace {

using namespace tarvik;

QByteArray withoutLineBytes(const QByteArray& bytes) {
    QByteArray kept;
    for (const char c : bytes)
        if (c != '\r' && c != '\n' && c != '\0') kept += c;
    return kept;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputReader input(data, size);
    const std::uint8_t timing = input.take();
    const QByteArray script = input.rest();

    testing::ScriptedModem modem;
    ModemDialogue dialogue(&modem, modem);
    const fuzz::Delivery delivery = fuzz::spreadOverTime(modem, script, timing);
    const std::uint32_t start = modem.now;

    QByteArray assembled;
    // Lines until the stream has arrived whole and one read found nothing left.
    for (;;) {
        const std::uint32_t before = modem.now;
        const QByteArray line = dialogue.ReadModemLine();
        FUZZ_CHECK(modem.now - before <= kLineBudgetMs, line);
        FUZZ_CHECK(line.size() <= kShortTextMax, line);
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n') && !line.contains('\0'), line);
        assembled += line;
        if (line.isEmpty() && modem.now - start > delivery.lastArrival && modem.InCount() == 0)
            break;
    }
    FUZZ_CHECK(assembled == withoutLineBytes(delivery.bytes), assembled);
    FUZZ_CHECK(modem.sent.isEmpty());
    return 0;
}
