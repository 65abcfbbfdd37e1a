#pragma once
#include "unique_fd.h"

#include <string>

namespace tarvik::modemsim {

// A kernel pseudo-terminal: the simulator talks on the master, the program opens the slave.
class PseudoTerminal {
public:
    // Throws std::system_error when the kernel refuses.
    PseudoTerminal();

    // Non-blocking.
    int master() const { return master_.get(); }
    const std::string& slavePath() const { return slavePath_; }

private:
    UniqueFd master_;
    // Held open for the whole life of the terminal: without it the master reads EIO and
    // polls POLLHUP whenever no program has the port open.
    UniqueFd slave_;
    std::string slavePath_;
};

} // namespace tarvik::modemsim
