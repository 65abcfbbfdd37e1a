// Modem output of any kind through ring detection, the answer and the caller-ID
// report, with the idle handler run as the message loop would and Talk, Answer and
// a port closed under a running sequence at times taken from the input. The
// program sends only its answer string and Talk's CR, logs only the lines it
// knows, a category only right after a caller-ID line, and every run ends.
#include "fake_main_view.h"
#include "fuzz_support.h"

#include "modem/dialogue.h"
#include "modem/incoming_call.h"
#include "platform/errors.h"
#include "store/settings.h"
#include "store/short_text.h"

#include <QList>
#include <algorithm>

namespace {

using namespace tarvik;

class SilentSound final : public RingSound {
public:
    void beep() override {}
    void playWav(const QString&) override {}
};

class StatusView final : public testing::FakeMainView {
public:
    void setStatusText(const QByteArray& text) override {
        FakeMainView::setStatusText(text);
        statuses.append(text);
    }
    QList<QByteArray> statuses;
};

bool knownStatus(const QByteArray& text) {
    if (text == "Incoming call, waiting..." || text == "Incoming call, timeout." ||
        text == kWaitingForCall)
        return true;
    return text.startsWith("Incoming call (") && text.endsWith(").");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputReader input(data, size);
    const std::uint8_t timing = input.take();
    const std::uint8_t rings = input.take();
    const std::uint8_t digCol = input.take();
    const std::uint8_t clicks = input.take();
    const std::uint32_t clickAt = input.take() * 20u;
    const QByteArray script = input.rest();

    testing::ScriptedModem modem;
    StatusView view;
    SilentSound sound;
    SettingsRecord settings;
    settings.AnswerOnRing = rings % 6 - 1; // -1 to 4
    settings.DigCol = digCol;
    settings.AnswerStr = "AT+SR";
    QList<QByteArray> log;
    ModemDialogue dialogue(&modem, modem);
    CallContext context{settings, view, dialogue, [&log](const QByteArray& m) { log.append(m); }};
    IncomingCalls calls(context, sound);

    const auto reported = [](auto&& step) {
        try {
            step();
        } catch (const TarvikError&) {
            // A category that is no digit ends the sequence by design.
        }
    };
    if (clicks & 1) modem.message(clickAt, [&] { reported([&] { calls.btnTalkClick(); }); });
    if (clicks & 2)
        modem.message(clickAt + 300, [&] { reported([&] { calls.btnAnswerClick(); }); });
    if (clicks & 4) modem.message(clickAt + 700, [&] { modem.open = false; });
    if (clicks & 8) modem.message(clickAt + 1900, [&] { modem.open = true; });
    if (clicks & 16) modem.message(clickAt + 100, [&] { calls.pnDigitalLedClick(); });

    const std::uint32_t lastArrival = fuzz::spreadOverTime(modem, script, timing).lastArrival;
    const std::uint32_t start = modem.now;
    // The idle loop: detect rings while at least a line's worth waits, else sleep.
    long passes = 0;
    while (modem.now - start <= lastArrival + 2500) {
        reported([&] { calls.detectRing(); });
        modem.processPending();
        if (modem.InCount() < 4) modem.waitForActivity(100);
        FUZZ_CHECK(++passes < 1000000);
    }

    for (const auto& sent : modem.sent)
        FUZZ_CHECK(sent.bytes == "AT+SR\r\n" || sent.bytes == "\r", sent.bytes);
    if (settings.AnswerOnRing == 0)
        for (const auto& sent : modem.sent)
            FUZZ_CHECK(sent.bytes == "\r", sent.bytes);
    const auto& categories = CallerCategories();
    for (qsizetype i = 0; i < log.size(); ++i) {
        const QByteArray& line = log[i];
        if (line.contains("CallerID:")) {
            FUZZ_CHECK(line.size() <= kShortTextMax && !line.contains('\r') &&
                           !line.contains('\n') && !line.contains('\0'),
                       line);
        } else if (std::find(categories.begin(), categories.end(), line) != categories.end()) {
            FUZZ_CHECK(i > 0 && log[i - 1].contains("CallerID:"), line);
        } else {
            FUZZ_CHECK(line == "Incoming call, ignored.", line);
        }
    }
    for (const QByteArray& status : view.statuses)
        FUZZ_CHECK(knownStatus(status), status);
    return 0;
}
