#pragma once
#include "modem/main_view.h"
#include "modem/number_display.h"
#include "platform/sound.h"

namespace tarvik {

struct SettingsRecord;
class ModemDialogue;

// Everything call handling and dialing work with, owned by the main window.
struct CallContext {
    SettingsRecord& settings;
    MainView& view;
    ModemDialogue& modem;
    LogLineSink log;

    MainState& state() const { return view.state(); }
};

} // namespace tarvik
