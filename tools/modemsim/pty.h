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

    // Readable when a program has opened or closed the slave.
    int watch() const { return watch_.get(); }
    struct Notices {
        int opens = 0;
        int closes = 0;
    };
    Notices takeNotices();

    // A program's exclusive mode (TIOCEXCL) outlives its close on a pseudo-terminal, unlike
    // on a serial port, and would lock out its next open; this clears it.
    void clearExclusive();

private:
    UniqueFd master_;
    // Held open for the whole life of the terminal: without it the master reads EIO and
    // polls POLLHUP whenever no program has the port open.
    UniqueFd slave_;
    UniqueFd watch_;
    std::string slavePath_;
};

} // namespace tarvik::modemsim
