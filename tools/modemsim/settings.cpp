#include "settings.h"

#include <algorithm>
#include <array>

namespace tarvik::modemsim {
namespace {

using Error = std::optional<std::string>;

constexpr std::string_view noneWord = "none";

std::string showText(const std::optional<std::string>& text) {
    return text ? escapeBytes(*text) : std::string(noneWord);
}

// A text value: escapes allowed, "none" for no text at all.
Error parseOptionalText(std::string_view value, std::optional<std::string>& out) {
    if (value == noneWord) {
        out.reset();
        return std::nullopt;
    }
    auto text = unescapeBytes(value);
    if (!text) return "bad escape in '" + std::string(value) + "'";
    if (text->empty()) return "give a text or none";
    out = std::move(*text);
    return std::nullopt;
}

Error parseDurationInto(std::string_view value, Millis& out) {
    const auto duration = parseDuration(value);
    if (!duration) return "'" + std::string(value) + "' is no duration; write e.g. 300ms or 5s";
    out = *duration;
    return std::nullopt;
}

Error parseSwitch(std::string_view value, bool& out) {
    const auto on = parseOnOff(value);
    if (!on) return "say on or off, not '" + std::string(value) + "'";
    out = *on;
    return std::nullopt;
}

Error applyReply(ModemSettings& s, std::string_view value) {
    const auto [pattern, result] = splitWord(value);
    if (pattern == "clear" && result.empty()) {
        s.replies.clear();
        return std::nullopt;
    }
    if (!startsWithNoCase(pattern, "AT") || result.empty())
        return std::string("write reply AT-COMMAND RESULT (or none, default), or reply clear");
    std::erase_if(s.replies,
                  [&](const CommandReply& r) { return equalsNoCase(r.pattern, pattern); });
    if (result == "default") return std::nullopt;
    CommandReply reply{std::string(pattern), {}};
    if (auto error = parseOptionalText(result, reply.result)) return error;
    s.replies.push_back(std::move(reply));
    return std::nullopt;
}

std::string showReplies(const ModemSettings& s) {
    if (s.replies.empty()) return "(all OK)";
    std::string out;
    for (const auto& r : s.replies) {
        if (!out.empty()) out += ", ";
        out += r.pattern + " " + showText(r.result);
    }
    return out;
}

std::string showNumbers(const ModemSettings& s) {
    return s.numbers.empty() ? std::string("random") : joinNumbers(s.numbers);
}

constexpr std::array<std::pair<CallerIdKind, std::string_view>, 5> kindNames = {{
    {CallerIdKind::Answered, "answered"},
    {CallerIdKind::Spaced, "spaced"},
    {CallerIdKind::Compact, "compact"},
    {CallerIdKind::BeforeRing, "before-ring"},
    {CallerIdKind::None, "none"},
}};

Error applyKind(ModemSettings& s, std::string_view value) {
    for (const auto& [kind, name] : kindNames)
        if (name == value) {
            s.callerIdKind = kind;
            return std::nullopt;
        }
    return "give answered, spaced, compact, before-ring or none, not '" + std::string(value) + "'";
}

std::string showKind(const ModemSettings& s) {
    for (const auto& [kind, name] : kindNames)
        if (kind == s.callerIdKind) return std::string(name);
    return {};
}

const std::array<SettingSpec, 18> specs = {{
    {"echo", "on|off", "command echo, as ATE1 / ATE0 switch it (on at start)",
     [](ModemSettings& s, std::string_view v) { return parseSwitch(v, s.echo); },
     [](const ModemSettings& s) { return std::string(s.echo ? "on" : "off"); }, true},
    {"silent", "on|off",
     "a silent modem: no echo, no result, no caller-ID report, no dial result (rings and send "
     "still "
     "go out)",
     [](ModemSettings& s, std::string_view v) { return parseSwitch(v, s.silent); },
     [](const ModemSettings& s) { return std::string(s.silent ? "on" : "off"); }, true},
    {"answer-string", "TEXT", "the command that asks for the caller-ID report (default AT+SR)",
     [](ModemSettings& s, std::string_view v) -> Error {
         std::optional<std::string> text;
         if (auto error = parseOptionalText(v, text)) return error;
         if (!text) return std::string("the answer string cannot be none");
         s.answerString = *text;
         return std::nullopt;
     },
     [](const ModemSettings& s) { return escapeBytes(s.answerString); }},
    {"answer-delay", "DURATION", "time from the answer string to the report (default 150ms)",
     [](ModemSettings& s, std::string_view v) { return parseDurationInto(v, s.answerDelay); },
     [](const ModemSettings& s) { return formatDuration(s.answerDelay); }},
    {"callerid-lines", "N|all",
     "\"CallerID:\" lines in the report: all = one per number of the call (default); N repeats the "
     "last number as needed; 0 = no line",
     [](ModemSettings& s, std::string_view v) -> Error {
         if (v == "all") {
             s.callerIdLines.reset();
             return std::nullopt;
         }
         const auto n = parseInt(v, 0, 50);
         if (!n) return "give 0 to 50 or all, not '" + std::string(v) + "'";
         s.callerIdLines = n;
         return std::nullopt;
     },
     [](const ModemSettings& s) {
         return s.callerIdLines ? std::to_string(*s.callerIdLines) : std::string("all");
     }},
    {"answer-final", "TEXT|none", "the line after the report: OK (default), ok, any text, or none",
     [](ModemSettings& s, std::string_view v) { return parseOptionalText(v, s.answerFinal); },
     [](const ModemSettings& s) { return showText(s.answerFinal); }},
    {"dial-result", "TEXT|none",
     "the reply to a dial: OK (default), NOCARRIER, ERROR, BUSY, NO DIAL, any text, or none",
     [](ModemSettings& s, std::string_view v) { return parseOptionalText(v, s.dialResult); },
     [](const ModemSettings& s) { return showText(s.dialResult); }},
    {"dial-delay", "DURATION", "time from a dial command to its result (default 1s)",
     [](ModemSettings& s, std::string_view v) { return parseDurationInto(v, s.dialDelay); },
     [](const ModemSettings& s) { return formatDuration(s.dialDelay); }},
    {"trickle", "DURATION",
     "time between two bytes the modem sends, as a slow or busy modem trickles its replies "
     "(default 0: each line at once)",
     [](ModemSettings& s, std::string_view v) { return parseDurationInto(v, s.trickle); },
     [](const ModemSettings& s) { return formatDuration(s.trickle); }},
    {"reply", "AT-COMMAND RESULT",
     "the result for one AT command instead of OK, e.g. reply ATM2+S64=1 ERROR (on the command "
     "line one quoted word: --reply 'ATM2+S64=1 ERROR'); RESULT none = no answer, default = OK "
     "again; a final * in the command matches any rest; reply clear drops all; repeatable",
     applyReply, showReplies},
    {"number", "NUMBER[,NUMBER...]|random",
     "the caller of the coming calls, category digit included (12345678), or unknown; several "
     "numbers give several \"CallerID:\" lines; random (default) picks a new caller per call. "
     "Other kinds than answered send the first number as it is in NMBR (5551234567, P, O, "
     "PRIVATE; \"\" for an empty one)",
     [](ModemSettings& s, std::string_view v) -> Error {
         if (v == "random") {
             s.numbers.clear();
             return std::nullopt;
         }
         auto numbers = parseNumbers(v);
         if (!numbers) return "'" + std::string(v) + "' is no list of numbers";
         s.numbers = std::move(*numbers);
         return std::nullopt;
     },
     showNumbers},
    {"rings", "N", "RING lines per call (default 3; 0 = a call that does not ring)",
     [](ModemSettings& s, std::string_view v) -> Error {
         const auto n = parseInt(v, 0, 1000);
         if (!n) return "give 0 to 1000 rings, not '" + std::string(v) + "'";
         s.rings = *n;
         return std::nullopt;
     },
     [](const ModemSettings& s) { return std::to_string(s.rings); }},
    {"gap", "DURATION", "time between two RING lines (default 300ms)",
     [](ModemSettings& s, std::string_view v) { return parseDurationInto(v, s.gap); },
     [](const ModemSettings& s) { return formatDuration(s.gap); }},
    {"every", "DURATION|off", "start a call every DURATION (off by default)",
     [](ModemSettings& s, std::string_view v) -> Error {
         if (v == "off") {
             s.every.reset();
             return std::nullopt;
         }
         Millis every{};
         if (auto error = parseDurationInto(v, every)) return error;
         if (every < Millis(100)) return std::string("calls need at least 100ms between them");
         s.every = every;
         return std::nullopt;
     },
     [](const ModemSettings& s) {
         return s.every ? formatDuration(*s.every) : std::string("off");
     }},
    {"cid-kind", "KIND",
     "how the caller is told: answered (default) = \"CallerID:\" lines after the answer string; "
     "the others play a voice modem that sends a block with the rings once AT+VCID=1 or "
     "AT#CID=1 switched caller ID on (off at start and after ATZ; the answer string and "
     "+S64=1 get ERROR): spaced = \"DATE = MMDD\", \"TIME = HHMM\", \"NMBR = ...\", "
     "\"NAME = ...\" 500ms after the first RING (half the gap if shorter); compact = the same "
     "without blanks around =; before-ring = \"MESG = 110101\" and the spaced lines 1s "
     "before the first RING; none = rings only",
     applyKind, showKind},
    {"name", "TEXT|none",
     "the caller's name in the NAME line (default JOHN DOE; \\xHH for any byte, e.g. "
     "M\\xdcLLER; none = no NAME line)",
     [](ModemSettings& s, std::string_view v) { return parseOptionalText(v, s.callerName); },
     [](const ModemSettings& s) { return showText(s.callerName); }},
    {"cid-stops-after", "N",
     "after N calls with a caller-ID block no more blocks until caller ID is switched on again, "
     "as some modems drift (default 0 = never)",
     [](ModemSettings& s, std::string_view v) -> Error {
         const auto n = parseInt(v, 0, 1000);
         if (!n) return "give 0 to 1000 calls, not '" + std::string(v) + "'";
         s.callerIdStopsAfter = *n;
         return std::nullopt;
     },
     [](const ModemSettings& s) { return std::to_string(s.callerIdStopsAfter); }},
    {"split-pause", "DURATION",
     "a pause inside the NMBR line of a block, after the number's first three characters, "
     "as a busy USB modem sends the line in two pieces (default 0)",
     [](ModemSettings& s, std::string_view v) { return parseDurationInto(v, s.splitPause); },
     [](const ModemSettings& s) { return formatDuration(s.splitPause); }},
}};

} // namespace

std::optional<std::string> ModemSettings::resultFor(std::string_view command) const {
    const CommandReply* reply = configuredReply(command);
    return reply ? reply->result : "OK";
}

const CommandReply* ModemSettings::configuredReply(std::string_view command) const {
    for (const auto& reply : replies) {
        const std::string_view pattern = reply.pattern;
        const bool matches = pattern.ends_with('*')
                                 ? startsWithNoCase(command, pattern.substr(0, pattern.size() - 1))
                                 : equalsNoCase(command, pattern);
        if (matches) return &reply;
    }
    return nullptr;
}

std::string joinNumbers(const std::vector<std::string>& numbers) {
    std::string out;
    for (const auto& n : numbers)
        out += (out.empty() ? "" : ",") + (n.empty() ? std::string("\"\"") : escapeBytes(n));
    return out;
}

std::span<const SettingSpec> settingSpecs() {
    return specs;
}

const SettingSpec* findSetting(std::string_view name) {
    const auto found = std::find_if(specs.begin(), specs.end(),
                                    [&](const SettingSpec& s) { return s.name == name; });
    return found == specs.end() ? nullptr : &*found;
}

std::optional<std::vector<std::string>> parseNumbers(std::string_view text) {
    std::vector<std::string> numbers;
    for (;;) {
        const auto comma = text.find(',');
        const std::string_view item = trim(text.substr(0, comma));
        if (item.empty()) return std::nullopt;
        if (equalsNoCase(item, "unknown")) {
            numbers.emplace_back("Unknown");
        } else if (item == "\"\"") {
            numbers.emplace_back();
        } else {
            auto number = unescapeBytes(item);
            if (!number) return std::nullopt;
            numbers.push_back(std::move(*number));
        }
        if (comma == std::string_view::npos) return numbers;
        text.remove_prefix(comma + 1);
    }
}

} // namespace tarvik::modemsim
