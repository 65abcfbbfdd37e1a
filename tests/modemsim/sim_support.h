#pragma once
// Test side of the simulator's pseudo-terminal, opened the way TARVIK opens its port.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "modemsim/simulator.h"

namespace tarvik::modemsim::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long long msBetween(Clock::time_point from, Clock::time_point to);

// A fresh folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

class PortClient {
public:
    // Opens the device (through the COMn link) raw and non-blocking.
    explicit PortClient(const std::string& path);
    ~PortClient();
    PortClient(const PortClient&) = delete;
    PortClient& operator=(const PortClient&) = delete;

    void write(std::string_view bytes);
    // Everything read until the bytes end in `expected`, or until the timeout.
    std::string readUntil(std::string_view expected, milliseconds timeout = 2s);
    // Everything that arrives within the window.
    std::string readFor(milliseconds window);
    // One line up to LF, without CR, as TARVIK reads it; nothing on timeout.
    std::optional<std::string> readLine(milliseconds timeout = 2s);
    // True when the other side has gone (EOF, EIO or hang-up) within the timeout.
    bool waitForHangup(milliseconds timeout);
    // TARVIK opens its port exclusively.
    void makeExclusive();
    bool exclusive() const;

private:
    bool fill(Clock::time_point deadline);
    int fd_ = -1;
    std::string buffered_;
    bool hungUp_ = false;
};

// A simulator in a temporary ports folder, quick to answer.
struct SimulatorSetup {
    SimulatorSetup();
    explicit SimulatorSetup(SimulatorConfig config);
    TempDir dir;
    std::optional<ModemSimulator> sim;
    static SimulatorConfig quickConfig();
    std::string portsDir() const { return dir.path() + "/ports"; }
};

} // namespace tarvik::modemsim::test
