#pragma once
#include "simulator.h"

#include <optional>
#include <span>
#include <string>

namespace tarvik::modemsim {

struct CliOptions {
    SimulatorConfig config;
    bool quiet = false;
    bool help = false;
};

struct CliParse {
    std::optional<CliOptions> options;
    std::string error; // for the user, when options is empty
};

// The arguments after the program name.
CliParse parseCommandLine(std::span<const std::string> arguments);

std::string helpText();

} // namespace tarvik::modemsim
