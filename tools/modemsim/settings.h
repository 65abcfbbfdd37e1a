#pragma once
#include "text.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::modemsim {

// A result the modem sends for one AT command instead of "OK".
struct CommandReply {
    std::string pattern; // whole command, case-insensitive; a final '*' matches any rest
    std::optional<std::string> result; // nothing: the modem stays silent
};

// How the modem tells who calls. Answered: after the answer string, "CallerID:" lines.
// The others play an ordinary voice modem that sends a block with the rings once caller ID
// is switched on; None is one whose caller ID never works.
enum class CallerIdKind { Answered, Spaced, Compact, BeforeRing, None };

// How the modem behaves; every field can also be changed while it runs.
struct ModemSettings {
    bool echo = true; // switched by ATE0 / ATE1 too
    bool silent = false;
    std::string answerString = "AT+SR";
    Millis answerDelay{150};
    std::optional<int> callerIdLines;              // nothing: one line per number of the call
    std::optional<std::string> answerFinal = "OK"; // after the caller-ID lines
    std::optional<std::string> dialResult = "OK";  // after a dial command
    Millis dialDelay{1000};
    Millis trickle{0}; // between two bytes the modem sends; 0: all at once
    std::vector<CommandReply> replies;
    std::vector<std::string> numbers; // of the coming calls; empty: random
    int rings = 3;
    Millis gap{300};
    std::optional<Millis> every; // a call every so often
    CallerIdKind callerIdKind = CallerIdKind::Answered;
    std::optional<std::string> callerName = "JOHN DOE"; // nothing: no NAME line
    int callerIdStopsAfter = 0;                         // blocks until switched on again; 0: never
    Millis splitPause{0};                               // inside the NMBR line

    // The configured result for an AT command, or "OK" when none matches.
    std::optional<std::string> resultFor(std::string_view command) const;
    const CommandReply* configuredReply(std::string_view command) const;
};

// One setting of the command language: "NAME VALUE" on standard input, "--NAME VALUE" on
// the command line.
struct SettingSpec {
    std::string_view name;
    std::string_view argument;
    std::string_view help;
    // An error for the user, or nothing when the value was taken.
    std::optional<std::string> (*apply)(ModemSettings&, std::string_view value);
    std::string (*show)(const ModemSettings&);
    bool isSwitch = false; // on|off; a bare --NAME means on
};

std::span<const SettingSpec> settingSpecs();
const SettingSpec* findSetting(std::string_view name);

// "12345678", "unknown" (reported as "Unknown"), "" (an empty number), or several of them
// separated by commas.
std::optional<std::vector<std::string>> parseNumbers(std::string_view text);
// The inverse of parseNumbers, escaped.
std::string joinNumbers(const std::vector<std::string>& numbers);

} // namespace tarvik::modemsim
