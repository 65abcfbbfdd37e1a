#pragma once

namespace tarvik {

// How the caller reaches the program: the firmware that reports after the
// program answers, a modem that reports with the rings, and later a server on
// the network. The line's engine holds one, chosen from CidMode, and asks
// nothing else about the kind.
class CallerIdKind {
public:
    virtual ~CallerIdKind() = default;

    // The greeting's last step, after the modem's init string; `modemReady`
    // when the modem took it on an open port.
    virtual void greet(bool modemReady) = 0;
    // The idle pass, never inside a modem wait: what came from the modem.
    virtual void idle() = 0;
    // Calls are watched from now on: after the start-up, after new settings.
    virtual void watch() {}
    // The user opened the port again.
    virtual void portOpened() {}
    // The program is closing, or another kind takes over: nothing more is read.
    virtual void stop() {}
};

} // namespace tarvik
