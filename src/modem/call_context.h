#pragma once
#include "modem/caller_screen.h"
#include "modem/main_view.h"
#include "modem/number_display.h"
#include "platform/sound.h"
#include "store/call_events.h"

namespace tarvik {

struct SettingsRecord;
class ModemDialogue;

// Everything call handling and dialing work with, owned by the main window.
struct CallContext {
    SettingsRecord& settings;
    MainView& view;
    ModemDialogue& modem;
    LogLineSink log;
    // Told of rings, answers, callers and dials; nobody by default.
    CallEvents* events = &noCallEvents();
    // Looks callers up and decides on hanging up; nothing by default.
    const CallerScreen* screen = &noCallerScreen();

    MainState& state() const { return view.state(); }
};

} // namespace tarvik
