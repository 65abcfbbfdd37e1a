// tarvik-modemsim: the modem simulator as a command.
#include "cli.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace tarvik::modemsim;
using Clock = std::chrono::steady_clock;

namespace {

void printError(const std::string& text) {
    const std::string line = "tarvik-modemsim: " + text + "\n";
    [[maybe_unused]] const auto written = ::write(2, line.data(), line.size());
}

std::string describe(const Transcript::Entry& entry) {
    const char* mark = "**";
    if (entry.kind == Transcript::Kind::Received) mark = "<-";
    if (entry.kind == Transcript::Kind::Sent) mark = "->";
    if (entry.kind == Transcript::Kind::Raw) mark = "=>";
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%9.3f] ", static_cast<double>(entry.ms) / 1000.0);
    return stamp + std::string(mark) + " " + escapeBytes(entry.text) + "\n";
}

// Standard output, written by the main loop only when it can take more. The modem's
// thread just queues its lines, so a reader that does not keep up (a full pipe) never
// stalls the modem; beyond a limit lines are dropped.
class Output {
public:
    Output()
        : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

    void push(std::string text) {
        {
            std::lock_guard guard(lock_);
            if (queued_.size() >= limit) return;
            queued_.push_back(std::move(text));
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wake_.get(), &one, sizeof one);
    }

    int wakeFd() const { return wake_.get(); }

    bool pending() {
        std::lock_guard guard(lock_);
        return !queued_.empty();
    }

    // Writes queued text while standard output is ready for it, waiting up to `patience`.
    void write(std::chrono::milliseconds patience) {
        std::uint64_t value = 0;
        [[maybe_unused]] const auto drained = ::read(wake_.get(), &value, sizeof value);
        const auto deadline = Clock::now() + patience;
        for (;;) {
            std::string text;
            {
                std::lock_guard guard(lock_);
                if (queued_.empty()) return;
                text = std::move(queued_.front());
                queued_.pop_front();
            }
            std::size_t done = 0;
            while (done < text.size()) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
                pollfd out{1, POLLOUT, 0};
                if (::poll(&out, 1, static_cast<int>(std::max<long long>(0, left.count()))) != 1 ||
                    !(out.revents & POLLOUT))
                    return putBack(text.substr(done)); // not ready: the rest waits
                // Ready means room for PIPE_BUF bytes at least, so this write never blocks.
                const ssize_t n = ::write(1, text.data() + done,
                                          std::min<std::size_t>(text.size() - done, PIPE_BUF));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) return; // standard output is gone
                done += static_cast<std::size_t>(n);
            }
        }
    }

private:
    void putBack(std::string rest) {
        std::lock_guard guard(lock_);
        queued_.push_front(std::move(rest));
    }

    static constexpr std::size_t limit = 10000;
    UniqueFd wake_;
    std::mutex lock_;
    std::deque<std::string> queued_;
};

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

// Reads commands from standard input until quit or a stop signal, and keeps standard
// output going.
class CommandLoop {
public:
    CommandLoop(ModemSimulator& sim, Output& output, int signals)
        : sim_(sim)
        , output_(output)
        , signals_(signals) {}

    // Returns the signal that ended the run, or 0.
    int run() {
        for (;;) {
            if (waiting_ && Clock::now() >= resume_) waiting_ = false;
            if (!waiting_ && runBufferedLines()) return 0;

            pollfd fds[4] = {{signals_, POLLIN, 0},
                             {inputOpen_ ? 0 : -1, POLLIN, 0},
                             {output_.wakeFd(), POLLIN, 0},
                             {output_.pending() ? 1 : -1, POLLOUT, 0}};
            int timeout = -1;
            if (waiting_) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(resume_ - Clock::now());
                timeout = static_cast<int>(std::max<long long>(0, left.count()));
            }
            if (::poll(fds, 4, timeout) < 0 && errno != EINTR) return 0;
            if (fds[0].revents & POLLIN) {
                signalfd_siginfo info{};
                if (::read(signals_, &info, sizeof info) == sizeof info)
                    return static_cast<int>(info.ssi_signo);
            }
            if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) readInput();
            if ((fds[2].revents & POLLIN) || (fds[3].revents & POLLOUT))
                output_.write(std::chrono::milliseconds(0));
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
                printError(outcome.message);
                continue;
            }
            if (!outcome.message.empty()) output_.push(outcome.message);
            if (outcome.control == CommandOutcome::Control::Quit) return true;
            if (outcome.control == CommandOutcome::Control::Wait) {
                waiting_ = true;
                resume_ = Clock::now() + outcome.wait;
            }
        }
        return false;
    }

    ModemSimulator& sim_;
    Output& output_;
    int signals_;
    bool inputOpen_ = true;
    std::string pending_;
    bool waiting_ = false;
    Clock::time_point resume_;
};

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const CliParse parsed = parseCommandLine(arguments);
    if (!parsed.options) {
        printError(parsed.error + "\nTry 'tarvik-modemsim --help'.");
        return 2;
    }
    const CliOptions& options = *parsed.options;
    if (options.help) {
        std::fputs(helpText().c_str(), stdout);
        return 0;
    }

    const UniqueFd signals = blockStopSignals();
    if (!signals) {
        printError("cannot watch for signals");
        return 1;
    }
    Output output;
    try {
        int signal = 0;
        {
            Transcript::Listener listener;
            if (!options.quiet)
                listener = [&output](const Transcript::Entry& e) {
                    if (e.kind != Transcript::Kind::Echo) output.push(describe(e)); // echo is noise
                };
            ModemSimulator sim(options.config, listener);
            signal = CommandLoop(sim, output, signals.get()).run();
            if (signal != 0 && !options.quiet)
                output.push(std::string("stopping on ") + strsignal(signal) + "\n");
        } // the simulator's end removes the link
        output.write(std::chrono::milliseconds(500));
        return 0;
    } catch (const std::exception& error) {
        printError(error.what());
        return 1;
    }
}
