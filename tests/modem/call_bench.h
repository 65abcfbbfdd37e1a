#pragma once
// What the call logic runs on in a test: settings, a modem on a fake clock, a
// recording window, sound and listeners, and a log that can fail on demand.
#include "call_fakes.h"
#include "scripted_modem.h"

#include "modem/call_context.h"
#include "modem/dialogue.h"
#include "platform/errors.h"
#include "store/settings.h"

namespace tarvik::testing {

struct CallBench {
    SettingsRecord settings;
    ScriptedModem modem;
    RecordingView view;
    FakeSound sound;
    RecordingEvents events;
    QList<QByteArray> log; // every line the logic tried to log
    bool logFails = false; // as on a full disk
    ModemDialogue dialogue{&modem, modem};
    CallContext context{settings, view, dialogue,
                        [this](const QByteArray& m) {
                            log.append(m);
                            if (logFails) throw TarvikError("I/O error: No space left on device");
                        },
                        &events};
};

} // namespace tarvik::testing
