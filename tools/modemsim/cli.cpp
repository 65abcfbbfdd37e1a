#include "cli.h"

#include <array>
#include <functional>

namespace tarvik::modemsim {
namespace {

using Error = std::optional<std::string>;

struct OptionSpec {
    std::string_view name;
    std::string_view argument; // empty: a flag
    std::string_view help;
    Error (*apply)(CliOptions&, std::string_view value);
};

const std::array<OptionSpec, 10> options = {{
    {"port", "N", "link the modem as COMn (1 to 255; default 2)",
     [](CliOptions& o, std::string_view v) -> Error {
         const auto n = parseInt(v, 1, 255);
         if (!n) return "give a port number from 1 to 255, not '" + std::string(v) + "'";
         o.config.port = *n;
         return std::nullopt;
     }},
    {"ports-dir", "DIR", "folder of the link (default $XDG_CONFIG_HOME/Tarvik/ports)",
     [](CliOptions& o, std::string_view v) -> Error {
         o.config.portsDir = std::string(v);
         return std::nullopt;
     }},
    {"force", "", "replace a COMn that is not a simulator's link (a real device's, say)",
     [](CliOptions& o, std::string_view) -> Error {
         o.config.force = true;
         return std::nullopt;
     }},
    {"transcript", "FILE", "write the transcript (format below) to FILE, line by line",
     [](CliOptions& o, std::string_view v) -> Error {
         o.config.transcriptPath = std::string(v);
         return std::nullopt;
     }},
    {"call", "NUMBER[,NUMBER...]|random",
     "one call from NUMBER (category digit included; unknown for an unknown caller); sets number",
     [](CliOptions& o, std::string_view v) -> Error {
         if (auto error = findSetting("number")->apply(o.config.modem, v)) return error;
         o.config.oneCall = true;
         return std::nullopt;
     }},
    {"delay", "DURATION",
     "time from the program's first AT command to the first scripted call (default 2s)",
     [](CliOptions& o, std::string_view v) -> Error {
         const auto d = parseDuration(v);
         if (!d) return "'" + std::string(v) + "' is no duration; write e.g. 300ms or 5s";
         o.config.delay = *d;
         return std::nullopt;
     }},
    {"no-wait", "", "count --delay from the simulator's start, not from the first command",
     [](CliOptions& o, std::string_view) -> Error {
         o.config.waitForProgram = false;
         return std::nullopt;
     }},
    {"seed", "N", "seed of the random callers, for a repeatable run",
     [](CliOptions& o, std::string_view v) -> Error {
         const auto n = parseInt(v, 0, 2'000'000'000);
         if (!n) return "give a seed from 0 to 2000000000, not '" + std::string(v) + "'";
         o.config.seed = static_cast<unsigned>(*n);
         return std::nullopt;
     }},
    {"quiet", "", "print no line per event on standard output",
     [](CliOptions& o, std::string_view) -> Error {
         o.quiet = true;
         return std::nullopt;
     }},
    {"help", "", "print this text and end",
     [](CliOptions& o, std::string_view) -> Error {
         o.help = true;
         return std::nullopt;
     }},
}};

const OptionSpec* findOption(std::string_view name) {
    for (const auto& option : options)
        if (option.name == name) return &option;
    return nullptr;
}

constexpr std::string_view intro = R"(Usage: tarvik-modemsim [OPTION]...
A caller-ID modem on a pseudo-terminal, for TARVIK's demo and tests. It links the
terminal as COMn in TARVIK's ports folder (removed again at the end, also on SIGINT
and SIGTERM), answers AT commands as a Hayes modem with verbose results ("\r\nOK\r\n"),
echoes commands until ATE0, reports the caller ("CallerID: 12345678", then "OK") after
the answer string, answers dial commands (ATDP/ATDT + number) with OK, NOCARRIER,
ERROR, BUSY or NO DIAL, and takes a lone CR while the line is held as the hand-over.
With --cid-kind other than answered it plays an ordinary voice modem instead, which sends
the caller ("NMBR = 5551234567") in a block with the rings once AT+VCID=1 or AT#CID=1
switched caller ID on.
Scripted calls (--call, --every) begin --delay after the program's first AT command.
It reads commands from standard input while it runs (end of input leaves it running).
Durations are written 300ms, 5s or 1.5s.

Options:
)";

constexpr std::string_view outro = R"(
Transcript: one entry a line, four fields separated by TAB:
  MS  MONOTONIC-MS  KIND  TEXT
MS counts from the simulator's start, MONOTONIC-MS is CLOCK_MONOTONIC (its low 32 bits
are TARVIK's tick count). TEXT is escaped: \r \n \t \\ and \xHH for other control
bytes, so an entry never spans lines. Lines starting with # are comments. KIND is
  rx    bytes the program sent, one entry per command up to its CR (and an LF that came
        with it), stamped with the time of the first byte; bytes without a CR follow
        after 50ms of quiet
  echo  the command echo sent back
  tx    a line the modem sent (it went out as CR LF TEXT CR LF)
  raw   bytes sent as they are (send-raw)
  ev    an event: start COMn DEVICE LINK, port opened, port closed, call NUMBERS (..),
        answer, dial NUMBER (pulse), handover, hangup, set NAME VALUE, unplug,
        plug DEVICE, caller ID on, caller ID off, no caller ID: WHY, stop, ...
A caller-ID block is one tx entry, its lines joined by CR LF, written as the block
starts to go out (also when --split-pause holds back the rest).
Each entry is written as it happens.

Standard output (unless --quiet): one line per entry but the echo, "[SECONDS] MARK
TEXT" with <- for what the program sent, -> for a line the modem sent, => for raw
bytes and ** for an event. Lines nobody reads are dropped; the modem never waits for
them.

Examples:
  tarvik-modemsim --every 20s                  demo: a random caller every 20 seconds
  tarvik-modemsim --call 12345678 --rings 3 --gap 300ms --transcript /tmp/t.tsv
  tarvik-modemsim --port 3 --reply 'ATM2+S64=1 ERROR' --dial-result BUSY
  tarvik-modemsim --cid-kind spaced --call 5551234567 --name 'M\xdcLLER' --rings 4 --gap 6s
  printf 'wait 3s\ncall 1234567?\n' | tarvik-modemsim

Exit status: 0 after quit, SIGINT, SIGTERM or SIGHUP; 1 when the modem cannot start
(the port is taken, say); 2 for bad options.
)";

} // namespace

std::string helpText() {
    std::string out(intro);
    for (const auto& option : options)
        out += helpRow("--" + std::string(option.name) + " " + std::string(option.argument),
                       option.help);
    out += "\nModem settings; each is also a command on standard input (NAME VALUE):\n";
    for (const auto& setting : settingSpecs()) {
        const std::string form = setting.isSwitch ? "--" + std::string(setting.name) + "[=on|off]"
                                                  : "--" + std::string(setting.name) + " " +
                                                        std::string(setting.argument);
        out += helpRow(form, setting.help);
    }
    out += "\n" + commandHelp();
    out += outro;
    return out;
}

CliParse parseCommandLine(std::span<const std::string> arguments) {
    CliOptions result;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view word = arguments[i];
        if (word == "-h") word = "--help";
        if (!word.starts_with("--") || word.size() == 2)
            return {std::nullopt, "unexpected argument '" + std::string(word) + "'"};
        word.remove_prefix(2);

        std::optional<std::string_view> inlineValue;
        if (const auto equals = word.find('='); equals != std::string_view::npos) {
            inlineValue = word.substr(equals + 1);
            word = word.substr(0, equals);
        }
        const OptionSpec* option = findOption(word);
        const SettingSpec* setting = option ? nullptr : findSetting(word);
        if (!option && !setting)
            return {std::nullopt, "unknown option '--" + std::string(word) + "'"};

        const bool flag = option ? option->argument.empty() : setting->isSwitch;
        std::string_view value;
        if (inlineValue) {
            if (option && flag) return {std::nullopt, "--" + std::string(word) + " takes no value"};
            value = *inlineValue;
        } else if (flag) {
            value = "on";
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return {std::nullopt, "--" + std::string(word) + " needs a value"};
        }

        const Error error =
            option ? option->apply(result, value) : setting->apply(result.config.modem, value);
        if (error) return {std::nullopt, "--" + std::string(word) + ": " + *error};
    }
    return {std::move(result), {}};
}

} // namespace tarvik::modemsim
