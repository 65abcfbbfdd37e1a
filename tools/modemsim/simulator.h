#pragma once
#include "settings.h"
#include "transcript.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::modemsim {

struct SimulatorConfig {
    int port = 2;               // the link is COMn
    std::string portsDir;       // empty: $XDG_CONFIG_HOME/Tarvik/ports
    bool force = false;         // replace a COMn that is no simulator link
    std::string transcriptPath; // empty: the transcript stays in memory
    std::optional<unsigned> seed;
    ModemSettings modem;

    // The scripted part: one call (oneCall) or a call every modem.every. The first call comes
    // `delay` after the program's first command, or after the start when !waitForProgram.
    bool oneCall = false;
    Millis delay{2000};
    bool waitForProgram = true;
};

struct SimulatorState {
    bool plugged = false; // the pseudo-terminal is there
    bool held = false;    // off-hook after an answer or a dial, until the hand-over
    bool ringing = false; // more RING lines of the current call are due
    bool echo = true;
    bool callerIdOn = false; // switched by AT+VCID / AT#CID; for kinds other than answered
    int callsStarted = 0;
    int handovers = 0;
    int opens = 0; // of the port by programs
    int closes = 0;
    std::vector<std::string> callNumbers; // of the current (or last) call
    std::string slavePath;                // empty while unplugged
};

// Outcome of one line of the command language.
struct CommandOutcome {
    enum class Control { None, Wait, Quit };
    bool ok = true;
    std::string message; // the error, or what the command prints (status, help)
    Control control = Control::None;
    Millis wait{0};
};

// A Hayes-style modem with caller-ID firmware on a pseudo-terminal, linked as COMn in the
// ports folder for as long as the object lives. One thread of its own serves the terminal;
// every method may be called from any thread. The listener runs with the simulator's lock
// held and must not call back into the simulator.
//
// In a test:
//   SimulatorConfig config;
//   config.portsDir = dir + "/ports"; // empty: $XDG_CONFIG_HOME/Tarvik/ports, as TARVIK looks
//   ModemSimulator sim(config);
//   sim.set("dial-result", "BUSY");   // or sim.update([](ModemSettings& s) { ... });
//   sim.call({"12345678"});           // rings; the report follows the answer string
//   sim.transcript().waitFor(Transcript::Kind::Received, "AT+SR\r\n", 5s);
class ModemSimulator {
public:
    // Throws std::runtime_error (or std::system_error) with a message for the user.
    explicit ModemSimulator(SimulatorConfig config, Transcript::Listener listener = {});
    ~ModemSimulator();
    ModemSimulator(const ModemSimulator&) = delete;
    ModemSimulator& operator=(const ModemSimulator&) = delete;

    const Transcript& transcript() const;
    int port() const;
    std::string linkPath() const;
    std::string slavePath() const;

    // Starts a call: the RING lines, then the caller-ID report when the program answers,
    // or, for the other kinds, a caller-ID block with the rings.
    // Without numbers the call takes the "number" setting, or a random caller.
    void call(std::vector<std::string> numbers = {});
    void ring();   // one RING line, now
    void hangup(); // the caller gives up: rings stop, pending replies are dropped, line on-hook
    void sendLine(std::string text); // framed by CR LF like any result
    void sendRaw(std::string bytes);
    void unplug(); // closes the pseudo-terminal: the device vanishes, the link dangles
    void plug();   // a fresh pseudo-terminal behind the same link
    // Random bytes as fast as the terminal takes them for `duration`: binary noise,
    // runs of NULs, 1000-byte lines without LF, lone CRs and stray lines, never RING.
    void noise(Millis duration);

    std::optional<std::string> set(std::string_view name, std::string_view value); // error
    void update(const std::function<void(ModemSettings&)>& change);
    ModemSettings settings() const;
    SimulatorState state() const;
    std::string status() const;

    CommandOutcome execute(std::string_view line);

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

struct CommandSpec {
    std::string_view name;
    std::string_view argument; // empty: the command takes none
    std::string_view help;
    CommandOutcome (*run)(ModemSimulator&, std::string_view argument);
};
// The actions of the command language; the settings come on top (settingSpecs()).
std::span<const CommandSpec> commandSpecs();
std::string commandHelp();

} // namespace tarvik::modemsim
