// tarvik-modemsim: the modem simulator as a command.
#include "cli.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace tarvik::modemsim;

namespace {

void printLine(std::FILE* stream, const std::string& text) {
    const std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

void printEvent(const Transcript::Entry& entry) {
    const char* mark = nullptr;
    switch (entry.kind) {
    case Transcript::Kind::Received:
        mark = "<-";
        break;
    case Transcript::Kind::Sent:
        mark = "->";
        break;
    case Transcript::Kind::Raw:
        mark = "=>";
        break;
    case Transcript::Kind::Event:
        mark = "**";
        break;
    case Transcript::Kind::Echo:
        return; // noise for a person watching
    }
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%9.3f]", static_cast<double>(entry.ms) / 1000.0);
    printLine(stdout, std::string(stamp) + " " + mark + " " + escapeBytes(entry.text));
}

UniqueFd blockStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    // Blocked before any thread starts, so every thread inherits it and the signals
    // arrive only through the descriptor, where the main loop ends the run in order.
    sigprocmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return UniqueFd(::signalfd(-1, &set, SFD_CLOEXEC));
}

// Reads commands from standard input until quit or a stop signal.
class CommandLoop {
public:
    CommandLoop(ModemSimulator& sim, int signals)
        : sim_(sim)
        , signals_(signals) {}

    // Returns the signal that ended the run, or 0.
    int run() {
        using Clock = std::chrono::steady_clock;
        for (;;) {
            if (!waiting_) {
                if (runBufferedLines()) return 0;
            } else if (Clock::now() >= resume_) {
                waiting_ = false;
                continue;
            }
            pollfd fds[2] = {{signals_, POLLIN, 0}, {inputOpen_ ? 0 : -1, POLLIN, 0}};
            int timeout = -1;
            if (waiting_) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(resume_ - Clock::now());
                timeout = static_cast<int>(std::max<long long>(0, left.count()));
            }
            if (::poll(fds, 2, timeout) < 0 && errno != EINTR) return 0;
            if (fds[0].revents & POLLIN) {
                signalfd_siginfo info{};
                if (::read(signals_, &info, sizeof info) == sizeof info)
                    return static_cast<int>(info.ssi_signo);
            }
            if (fds[1].revents & (POLLIN | POLLHUP)) readInput();
        }
    }

private:
    void readInput() {
        char buffer[4096];
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n > 0) {
            pending_.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            inputOpen_ = false; // the simulator runs on without commands
            if (!pending_.empty()) pending_ += '\n';
        }
    }

    // True on quit.
    bool runBufferedLines() {
        std::size_t end;
        while (!waiting_ && (end = pending_.find('\n')) != std::string::npos) {
            const std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            const CommandOutcome outcome = sim_.execute(line);
            if (!outcome.ok) {
                printLine(stderr, "tarvik-modemsim: " + outcome.message);
                continue;
            }
            if (!outcome.message.empty()) {
                std::fputs(outcome.message.c_str(), stdout);
                std::fflush(stdout);
            }
            if (outcome.control == CommandOutcome::Control::Quit) return true;
            if (outcome.control == CommandOutcome::Control::Wait) {
                waiting_ = true;
                resume_ = std::chrono::steady_clock::now() + outcome.wait;
            }
        }
        return false;
    }

    ModemSimulator& sim_;
    int signals_;
    bool inputOpen_ = true;
    std::string pending_;
    bool waiting_ = false;
    std::chrono::steady_clock::time_point resume_;
};

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const CliParse parsed = parseCommandLine(arguments);
    if (!parsed.options) {
        printLine(stderr, "tarvik-modemsim: " + parsed.error);
        printLine(stderr, "Try 'tarvik-modemsim --help'.");
        return 2;
    }
    const CliOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }

    const UniqueFd signals = blockStopSignals();
    if (!signals) {
        printLine(stderr, "tarvik-modemsim: cannot watch for signals");
        return 1;
    }
    try {
        ModemSimulator sim(options.config, options.quiet ? Transcript::Listener() : printEvent);
        const int signal = CommandLoop(sim, signals.get()).run();
        if (signal != 0 && !options.quiet)
            printLine(stdout, std::string("stopping on ") + strsignal(signal));
        return 0; // the simulator's end removes the link
    } catch (const std::exception& error) {
        printLine(stderr, std::string("tarvik-modemsim: ") + error.what());
        return 1;
    }
}
