#include "simulator.h"

#include <array>

namespace tarvik::modemsim {
namespace {

using Control = CommandOutcome::Control;

CommandOutcome done() {
    return {};
}
CommandOutcome failure(std::string message) {
    return {false, std::move(message)};
}

CommandOutcome send(ModemSimulator& sim, std::string_view argument, bool framed) {
    auto bytes = unescapeBytes(argument);
    if (!bytes || bytes->empty()) return failure("give a text (escapes \\r \\n \\t \\\\ \\xHH)");
    if (framed)
        sim.sendLine(std::move(*bytes));
    else
        sim.sendRaw(std::move(*bytes));
    return done();
}

constexpr std::array<CommandSpec, 12> commands = {{
    {"ring", "", "send one RING line now",
     [](ModemSimulator& sim, std::string_view) {
         sim.ring();
         return done();
     }},
    {"call", "[NUMBER[,NUMBER...]]",
     "start a call: RING lines (see rings, gap), the caller-ID report when answered (or a block "
     "with the rings, see cid-kind); without a number the number setting or a random caller",
     [](ModemSimulator& sim, std::string_view argument) {
         if (argument.empty()) {
             sim.call();
             return done();
         }
         auto numbers = parseNumbers(argument);
         if (!numbers) return failure("'" + std::string(argument) + "' is no list of numbers");
         sim.call(std::move(*numbers));
         return done();
     }},
    {"hangup", "", "the caller gives up: rings stop, pending replies are dropped, line on-hook",
     [](ModemSimulator& sim, std::string_view) {
         sim.hangup();
         return done();
     }},
    {"send", "TEXT", "send TEXT as a line framed by CR LF",
     [](ModemSimulator& sim, std::string_view argument) { return send(sim, argument, true); }},
    {"send-raw", "TEXT", "send the bytes of TEXT as they are, e.g. send-raw RI",
     [](ModemSimulator& sim, std::string_view argument) { return send(sim, argument, false); }},
    {"unplug", "", "close the pseudo-terminal: the modem vanishes, its link leads nowhere",
     [](ModemSimulator& sim, std::string_view) {
         sim.unplug();
         return done();
     }},
    {"plug", "", "a new pseudo-terminal behind the same link, echo as at start",
     [](ModemSimulator& sim, std::string_view) {
         sim.plug();
         return done();
     }},
    {"noise", "DURATION",
     "random bytes as fast as the port takes them: binary noise, NULs, 1000-byte lines "
     "without LF, lone CRs and stray lines, never RING",
     [](ModemSimulator& sim, std::string_view argument) {
         const auto duration = parseDuration(argument);
         if (!duration) return failure("give a duration such as 300ms or 30s");
         sim.noise(*duration);
         return done();
     }},
    {"status", "", "print the line state and every setting",
     [](ModemSimulator& sim, std::string_view) {
         return CommandOutcome{true, sim.status()};
     }},
    {"wait", "DURATION", "pause before the next command (for scripts on standard input)",
     [](ModemSimulator&, std::string_view argument) {
         const auto duration = parseDuration(argument);
         if (!duration) return failure("give a duration such as 300ms or 2s");
         return CommandOutcome{true, {}, Control::Wait, *duration};
     }},
    {"help", "", "print the commands and the settings",
     [](ModemSimulator&, std::string_view) {
         std::string text = commandHelp() + "Settings:\n";
         for (const auto& s : settingSpecs())
             text += helpRow(std::string(s.name) + " " + std::string(s.argument), s.help);
         return CommandOutcome{true, text};
     }},
    {"quit", "", "remove the link and end",
     [](ModemSimulator&, std::string_view) {
         return CommandOutcome{true, {}, Control::Quit};
     }},
}};

} // namespace

std::span<const CommandSpec> commandSpecs() {
    return commands;
}

std::string commandHelp() {
    std::string out = "Commands, one a line (TEXT may use \\r \\n \\t \\\\ \\xHH; # starts a "
                      "comment):\n";
    for (const auto& c : commands)
        out += helpRow(std::string(c.name) + " " + std::string(c.argument), c.help);
    out += helpRow("NAME VALUE", "change a setting (as --NAME VALUE does at start)");
    return out;
}

CommandOutcome ModemSimulator::execute(std::string_view line) {
    const auto [name, argument] = splitWord(line);
    if (name.empty() || name.starts_with('#')) return done();
    for (const auto& command : commands) {
        if (command.name != name) continue;
        const bool optional = command.argument.starts_with('[');
        if (command.argument.empty() && !argument.empty())
            return failure(std::string(name) + " takes no argument");
        if (!command.argument.empty() && !optional && argument.empty())
            return failure(std::string(name) + ": give " + std::string(command.argument));
        CommandOutcome outcome = command.run(*this, argument);
        if (!outcome.ok) outcome.message = std::string(name) + ": " + outcome.message;
        return outcome;
    }
    if (findSetting(name)) {
        if (argument.empty()) return failure(std::string(name) + ": give a value");
        if (auto error = set(name, argument)) return failure(*error);
        return done();
    }
    return failure("unknown command '" + std::string(name) + "' (try help)");
}

} // namespace tarvik::modemsim
