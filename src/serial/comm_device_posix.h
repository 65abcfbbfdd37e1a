#pragma once
#include "serial/comm_device.h"

#include <string>

namespace tarvik::comm {

// Opens a port of the system: a COM name ("\\.\COMn", see com_names.h) or a
// device path, as a tty over termios. The open is exclusive (an advisory lock
// plus TIOCEXCL). A tty without modem lines, such as a pseudo-terminal, reports
// CTS, DSR and carrier on and ring off, and takes line commands as no-ops.
CommHandle OpenSystemDevice(const std::string& name);

// The termios settings a control block stands for. Kept apart from the device
// so the mapping can be checked on its own.
struct TermiosLine {
    unsigned cflag = 0;
    unsigned iflag = 0;
    unsigned speed = 0;       // bits per second
    bool customSpeed = false; // not one of the standard rates: BOTHER
    char startChar = 0;
    char stopChar = 0;
};

// Fills the speed, character size, parity, stop-bit and flow-control parts of
// `line` from `dcb`, leaving its other bits as they were. False for a control
// block the device cannot carry out.
bool DcbToTermios(const DCB& dcb, TermiosLine& line);

} // namespace tarvik::comm
