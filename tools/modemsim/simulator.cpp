#include "simulator.h"

#include "block.h"
#include "numbers.h"
#include "port_link.h"
#include "pty.h"
#include "timers.h"

#include "platform/paths.h"

#include <cctype>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>

namespace tarvik::modemsim {
namespace {

using Clock = std::chrono::steady_clock;
using Kind = Transcript::Kind;

// A Hayes modem's command buffer; the rest of a longer command is dropped.
constexpr std::size_t commandLimit = 255;
// Output the program has not read yet; beyond this nobody is reading and bytes are lost,
// as on a real line without flow control.
constexpr std::size_t outputLimit = 16 * 1024;
// Bytes without a CR are written to the transcript after this much quiet.
constexpr Millis rxQuiet{50};
// An ordinary modem's block comes in the silence after the first ring; a UK one's before it.
constexpr Millis blockAfterRing{500};
constexpr Millis blockBeforeRing{1000};

bool sendsBlock(CallerIdKind kind) {
    return kind == CallerIdKind::Spaced || kind == CallerIdKind::Compact ||
           kind == CallerIdKind::BeforeRing;
}

} // namespace

class ModemSimulator::Impl {
public:
    Impl(SimulatorConfig config, Transcript::Listener listener);
    ~Impl();

    mutable std::mutex lock_;
    const SimulatorConfig config_;
    ModemSettings settings_;
    Transcript transcript_;
    std::mt19937 random_;
    std::optional<PseudoTerminal> pty_;
    std::optional<PortLink> link_;
    UniqueFd wake_;
    Timers timers_;

    // Bytes waiting for the master to take them.
    std::string output_;
    bool dropping_ = false;
    bool trickling_ = false; // the next byte waits for its timer
    // Bytes still to go out before the split pause of a block.
    std::optional<std::size_t> pauseAfter_;
    // Received bytes not yet in the transcript, and when the first of them came.
    std::string rxPending_;
    Clock::time_point rxSince_;
    std::string command_;
    std::string echo_;

    std::vector<std::string> callNumbers_;
    int ringsLeft_ = 0;
    bool held_ = false;
    bool programSeen_ = false;
    bool callerIdOn_ = false; // an ordinary modem's, switched by AT+VCID / AT#CID
    int blocksSinceOn_ = 0;
    int callsStarted_ = 0;
    int handovers_ = 0;
    int opens_ = 0;
    int closes_ = 0;
    // While noise goes out: its end, and the bytes sent so far.
    std::optional<Clock::time_point> noiseEnd_;
    std::uint64_t noiseBytes_ = 0;
    // Bumped whenever the terminal is replaced, so the poll loop drops stale results.
    unsigned ptyGeneration_ = 0;
    bool stopping_ = false;

    std::thread thread_; // last: it uses everything above

    // All below run with lock_ held.
    void event(std::string text) { transcript_.add(Kind::Event, std::move(text)); }
    void wakeLoop();
    void run();
    void runDueTimers();
    void readMaster();
    void noticeOpenAndClose();
    void onReceived(std::string_view bytes);
    void flushRx();
    void feedParser(std::string_view bytes);
    void flushEcho();
    void handleCommand(const std::string& command);
    std::optional<std::string> voiceModemResult(const std::string& command);
    void switchCallerId(bool on);
    std::string randomCaller();
    void sendBlock();
    void answer();
    void dial(std::string_view rest);
    void handover();
    void startCall(std::vector<std::string> numbers);
    void ringStep();
    void hangup();
    void startScenario();
    void scheduleEvery(Millis first);
    bool send(Kind kind, std::string text, std::string_view bytes,
              std::optional<std::size_t> pauseAfter = {});
    void sendLine(std::string text, std::optional<std::size_t> pauseAfter = {});
    void respond(const std::optional<std::string>& text);
    void flushOutput();
    void unplug(const char* why);
    void plug();
    void startNoise(Millis duration);
    void feedNoise();
    void after(Millis delay, TimerGroup group, Timers::Action action);
};

ModemSimulator::Impl::Impl(SimulatorConfig config, Transcript::Listener listener)
    : config_(std::move(config))
    , settings_(config_.modem)
    , transcript_(config_.transcriptPath, std::move(listener))
    , random_(config_.seed.value_or(std::random_device{}())) {
    if (config_.port < 1 || config_.port > 255)
        throw std::runtime_error("the port number must be 1 to 255");
    wake_.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wake_) throw std::system_error(errno, std::generic_category(), "eventfd");

    pty_.emplace();
    const std::string folder =
        config_.portsDir.empty() ? tarvik::portsDir().toStdString() : config_.portsDir;
    link_.emplace(folder, config_.port, pty_->slavePath(), config_.force);

    std::lock_guard guard(lock_);
    event("start COM" + std::to_string(config_.port) + " " + pty_->slavePath() + " " +
          link_->path());
    if (!config_.waitForProgram) startScenario();
    thread_ = std::thread([this] { run(); });
}

ModemSimulator::Impl::~Impl() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    wakeLoop();
    thread_.join();
    std::lock_guard guard(lock_);
    flushRx();
    event("stop");
}

void ModemSimulator::Impl::wakeLoop() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wake_.get(), &one, sizeof one);
}

void ModemSimulator::Impl::after(Millis delay, TimerGroup group, Timers::Action action) {
    timers_.add(Clock::now() + delay, group, std::move(action));
    wakeLoop(); // the loop may be sleeping towards a later deadline
}

void ModemSimulator::Impl::run() {
    std::unique_lock guard(lock_);
    while (!stopping_) {
        runDueTimers();

        pollfd fds[3] = {{wake_.get(), POLLIN, 0}, {-1, 0, 0}, {-1, 0, 0}};
        nfds_t count = 1;
        const unsigned generation = ptyGeneration_;
        if (pty_) {
            const bool writing = (!output_.empty() && !trickling_) || noiseEnd_;
            fds[1] = {pty_->master(), static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0};
            fds[2] = {pty_->watch(), POLLIN, 0};
            count = 3;
        }
        timespec timeout{};
        const timespec* timeoutPtr = nullptr;
        if (const auto next = timers_.next()) {
            const auto left = std::max(Clock::duration::zero(), *next - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout = {static_cast<time_t>(ns / 1'000'000'000),
                       static_cast<long>(ns % 1'000'000'000)};
            timeoutPtr = &timeout;
        }

        guard.unlock();
        const int ready = ::ppoll(fds, count, timeoutPtr, nullptr);
        guard.lock();
        if (ready < 0) {
            if (errno == EINTR) continue;
            event("poll failed: " + std::system_category().message(errno));
            return;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t value = 0;
            [[maybe_unused]] const auto drained = ::read(wake_.get(), &value, sizeof value);
        }
        if (count < 2 || generation != ptyGeneration_ || !pty_) continue;
        if (fds[2].revents & POLLIN) noticeOpenAndClose();
        if (fds[1].revents & POLLIN) readMaster();
        if (pty_ && (fds[1].revents & POLLOUT)) flushOutput();
        if (pty_ && noiseEnd_ && (fds[1].revents & POLLOUT)) feedNoise();
        // With our own slave descriptor open this does not happen; if it does, stop polling
        // the terminal rather than spin on it.
        if (pty_ && (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) && !(fds[1].revents & POLLIN))
            unplug("device lost");
    }
}

void ModemSimulator::Impl::runDueTimers() {
    while (auto action = timers_.takeDue(Clock::now()))
        (*action)();
}

void ModemSimulator::Impl::readMaster() {
    char buffer[4096];
    while (pty_) {
        const ssize_t n = ::read(pty_->master(), buffer, sizeof buffer);
        if (n > 0) {
            onReceived(std::string_view(buffer, static_cast<std::size_t>(n)));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        unplug("device lost");
    }
}

void ModemSimulator::Impl::noticeOpenAndClose() {
    const auto notices = pty_->takeNotices();
    // As a serial port's last close does; a pseudo-terminal keeps the mode otherwise.
    if (notices.closes > 0) pty_->clearExclusive();
    for (int i = 0; i < notices.opens; ++i)
        event("port opened");
    for (int i = 0; i < notices.closes; ++i)
        event("port closed");
    opens_ += notices.opens;
    closes_ += notices.closes;
}

// Splits what came into transcript entries (each ends at a CR, with an LF that came with
// it, or at a lone LF) and hands each piece to the command parser after recording it, so
// the transcript shows a command before the modem's answer.
void ModemSimulator::Impl::onReceived(std::string_view bytes) {
    timers_.cancel(TimerGroup::RxFlush);
    while (!bytes.empty()) {
        if (rxPending_.empty()) rxSince_ = Clock::now();
        auto end = bytes.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            rxPending_ += bytes;
            feedParser(bytes);
            after(rxQuiet, TimerGroup::RxFlush, [this] { flushRx(); });
            return;
        }
        if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ++end;
        const auto piece = bytes.substr(0, end + 1);
        rxPending_ += piece;
        flushRx();
        feedParser(piece);
        bytes.remove_prefix(end + 1);
    }
}

void ModemSimulator::Impl::flushRx() {
    if (rxPending_.empty()) return;
    transcript_.add(Kind::Received, std::exchange(rxPending_, {}), rxSince_);
}

void ModemSimulator::Impl::feedParser(std::string_view bytes) {
    for (const char c : bytes) {
        if (settings_.echo && !settings_.silent) echo_ += c;
        if (c == '\r') {
            flushEcho();
            handleCommand(std::exchange(command_, {}));
        } else if (c == '\b') {
            if (!command_.empty()) command_.pop_back();
        } else if (c != '\n' && command_.size() < commandLimit) {
            command_ += c;
        }
    }
    flushEcho();
}

void ModemSimulator::Impl::flushEcho() {
    if (echo_.empty()) return;
    const std::string bytes = std::exchange(echo_, {});
    send(Kind::Echo, bytes, bytes);
}

void ModemSimulator::Impl::handleCommand(const std::string& command) {
    if (command.empty()) {
        if (held_) handover();
        return;
    }
    if (!startsWithNoCase(command, "AT")) return; // a modem ignores what is no command
    if (!programSeen_) {
        programSeen_ = true;
        if (config_.waitForProgram) startScenario();
    }

    const bool answered = settings_.callerIdKind == CallerIdKind::Answered;
    if (answered && equalsNoCase(command, settings_.answerString)) {
        answer();
    } else if (startsWithNoCase(command, "ATD")) {
        dial(std::string_view(command).substr(3));
    } else {
        if (equalsNoCase(command, "ATE0")) settings_.echo = false;
        if (equalsNoCase(command, "ATE1") || equalsNoCase(command, "ATE")) settings_.echo = true;
        respond(answered ? settings_.resultFor(command) : voiceModemResult(command));
    }
}

// An ordinary voice modem knows nothing of the answered modem's commands. A configured
// reply still wins, and a command only takes effect when the modem says OK.
std::optional<std::string> ModemSimulator::Impl::voiceModemResult(const std::string& command) {
    std::string plain;
    for (const char c : command)
        if (c != ' ') plain += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto has = [&](std::string_view part) { return plain.find(part) != std::string::npos; };

    std::optional<std::string> result = "OK";
    if (equalsNoCase(command, settings_.answerString) || has("+S64=1")) result = "ERROR";
    if (const CommandReply* reply = settings_.configuredReply(command)) result = reply->result;
    if (!result || *result != "OK") return result;

    if (plain.starts_with("ATZ")) switchCallerId(false);
    if (has("+VCID=1") || has("#CID=1"))
        switchCallerId(true);
    else if (has("+VCID=0") || has("#CID=0"))
        switchCallerId(false);
    return result;
}

void ModemSimulator::Impl::switchCallerId(bool on) {
    callerIdOn_ = on;
    if (on) blocksSinceOn_ = 0;
    event(on ? "caller ID on" : "caller ID off");
}

std::string ModemSimulator::Impl::randomCaller() {
    std::string number = randomCallerNumber(random_);
    if (settings_.callerIdKind == CallerIdKind::Answered) return number;
    return withoutCategory(std::move(number));
}

void ModemSimulator::Impl::sendBlock() {
    if (!sendsBlock(settings_.callerIdKind) || settings_.silent) return;
    if (!callerIdOn_) {
        event("no caller ID: switched off");
        return;
    }
    const int stopsAfter = settings_.callerIdStopsAfter;
    if (stopsAfter > 0 && blocksSinceOn_ >= stopsAfter) {
        event("no caller ID: stopped after " + std::to_string(stopsAfter) + " calls");
        return;
    }
    ++blocksSinceOn_;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    auto block =
        callerIdBlock(settings_.callerIdKind, callNumbers_.front(), settings_.callerName, local);
    std::optional<std::size_t> pause;
    if (settings_.splitPause.count() > 0) pause = block.splitAt;
    sendLine(std::move(block.text), pause);
}

void ModemSimulator::Impl::answer() {
    const bool wasRinging = ringsLeft_ > 0;
    timers_.cancel(TimerGroup::Ringing);
    ringsLeft_ = 0;
    if (callNumbers_.empty()) {
        callNumbers_ = settings_.numbers;
        if (callNumbers_.empty()) callNumbers_.push_back(randomCaller());
    }
    held_ = true;
    event(wasRinging ? "answer" : "answer (not ringing)");

    timers_.cancel(TimerGroup::Report);
    after(settings_.answerDelay, TimerGroup::Report, [this] {
        const int lines = settings_.callerIdLines.value_or(static_cast<int>(callNumbers_.size()));
        for (int i = 0; i < lines; ++i) {
            const auto n =
                std::min<std::size_t>(static_cast<std::size_t>(i), callNumbers_.size() - 1);
            respond("CallerID: " + callNumbers_[n]);
        }
        respond(settings_.answerFinal);
    });
}

void ModemSimulator::Impl::dial(std::string_view rest) {
    std::string how = "dial";
    if (!rest.empty() && (rest.front() == 'P' || rest.front() == 'p')) how = "pulse";
    if (!rest.empty() && (rest.front() == 'T' || rest.front() == 't')) how = "tone";
    if (how != "dial") rest.remove_prefix(1);
    held_ = true;
    event("dial " + escapeBytes(rest) + " (" + how + ")");

    timers_.cancel(TimerGroup::DialResult);
    after(settings_.dialDelay, TimerGroup::DialResult, [this] {
        respond(settings_.dialResult);
        // A failed dial puts the line down; without a result the modem is still at it.
        if (settings_.dialResult && *settings_.dialResult != "OK") held_ = false;
    });
}

void ModemSimulator::Impl::handover() {
    held_ = false;
    ++handovers_;
    // A key pressed while dialing aborts the dial, as on any Hayes modem.
    timers_.cancel(TimerGroup::DialResult);
    event("handover");
}

void ModemSimulator::Impl::startCall(std::vector<std::string> numbers) {
    timers_.cancel(TimerGroup::Ringing);
    timers_.cancel(TimerGroup::Report);
    if (numbers.empty()) numbers = settings_.numbers;
    if (numbers.empty()) numbers.push_back(randomCaller());
    callNumbers_ = std::move(numbers);
    held_ = false;
    ++callsStarted_;
    event("call " + joinNumbers(callNumbers_) + " (" + std::to_string(settings_.rings) +
          " rings, " + formatDuration(settings_.gap) + " apart)");
    ringsLeft_ = settings_.rings;
    if (ringsLeft_ <= 0) return;
    switch (settings_.callerIdKind) {
    case CallerIdKind::BeforeRing:
        sendBlock();
        after(blockBeforeRing, TimerGroup::Ringing, [this] { ringStep(); });
        break;
    case CallerIdKind::Spaced:
    case CallerIdKind::Compact:
        ringStep();
        // Before the second ring, however short the gap.
        after(ringsLeft_ > 0 ? std::min(blockAfterRing, settings_.gap / 2) : blockAfterRing,
              TimerGroup::Report, [this] { sendBlock(); });
        break;
    default:
        ringStep();
    }
}

void ModemSimulator::Impl::ringStep() {
    if (ringsLeft_ <= 0) return;
    sendLine("RING");
    if (--ringsLeft_ > 0) after(settings_.gap, TimerGroup::Ringing, [this] { ringStep(); });
}

void ModemSimulator::Impl::hangup() {
    timers_.cancel(TimerGroup::Ringing);
    timers_.cancel(TimerGroup::Report);
    timers_.cancel(TimerGroup::DialResult);
    ringsLeft_ = 0;
    held_ = false;
    event("hangup");
}

void ModemSimulator::Impl::startScenario() {
    if (settings_.every) {
        scheduleEvery(config_.delay);
    } else if (config_.oneCall) {
        after(config_.delay, TimerGroup::Scenario, [this] { startCall({}); });
    }
}

void ModemSimulator::Impl::scheduleEvery(Millis first) {
    timers_.cancel(TimerGroup::Scenario);
    if (!settings_.every) return;
    after(first, TimerGroup::Scenario, [this] {
        startCall({});
        if (settings_.every) scheduleEvery(*settings_.every);
    });
}

// Records the output before the program can read it, so a test that has seen the bytes
// finds them in the transcript.
bool ModemSimulator::Impl::send(Kind kind, std::string text, std::string_view bytes,
                                std::optional<std::size_t> pauseAfter) {
    if (!pty_) {
        event("not sent (unplugged): " + std::string(kindName(kind)) + " " + escapeBytes(text));
        return false;
    }
    if (output_.size() + bytes.size() > outputLimit) {
        if (!dropping_) event("output lost: nobody reads the port");
        dropping_ = true;
        return false;
    }
    transcript_.add(kind, std::move(text));
    if (pauseAfter && !pauseAfter_) pauseAfter_ = output_.size() + *pauseAfter;
    output_ += bytes;
    flushOutput();
    if (!output_.empty()) wakeLoop(); // let the loop wait for room
    return true;
}

// `pauseAfter` counts in the text.
void ModemSimulator::Impl::sendLine(std::string text, std::optional<std::size_t> pauseAfter) {
    const std::string framed = "\r\n" + text + "\r\n";
    if (pauseAfter) *pauseAfter += 2;
    send(Kind::Sent, std::move(text), framed, pauseAfter);
}

void ModemSimulator::Impl::respond(const std::optional<std::string>& text) {
    if (text && !settings_.silent) sendLine(*text);
}

void ModemSimulator::Impl::flushOutput() {
    if (trickling_) return;
    const bool trickle = settings_.trickle.count() > 0;
    while (pty_ && !output_.empty()) {
        std::size_t chunk = trickle ? std::size_t{1} : output_.size();
        if (pauseAfter_) chunk = std::min(chunk, *pauseAfter_);
        const ssize_t n = ::write(pty_->master(), output_.data(), chunk);
        if (n > 0) {
            const auto written = static_cast<std::size_t>(n);
            output_.erase(0, written);
            Millis wait = trickle ? settings_.trickle : Millis{0};
            if (pauseAfter_ && (*pauseAfter_ -= written) == 0) {
                pauseAfter_.reset();
                wait = std::max(wait, settings_.splitPause);
            }
            if (wait.count() > 0 && !output_.empty()) {
                trickling_ = true;
                after(wait, TimerGroup::Trickle, [this] {
                    trickling_ = false;
                    flushOutput();
                });
                return;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        unplug("device lost");
    }
    dropping_ = false;
}

void ModemSimulator::Impl::unplug(const char* why) {
    if (!pty_) return;
    pty_.reset();
    ++ptyGeneration_;
    output_.clear();
    pauseAfter_.reset();
    command_.clear();
    echo_.clear();
    flushRx();
    timers_.cancel(TimerGroup::Report);
    timers_.cancel(TimerGroup::DialResult);
    timers_.cancel(TimerGroup::Trickle);
    trickling_ = false;
    held_ = false;
    link_->withdraw();
    event(why);
    wakeLoop();
}

void ModemSimulator::Impl::plug() {
    if (pty_) return;
    pty_.emplace();
    link_->retarget(pty_->slavePath());
    ++ptyGeneration_;
    settings_.echo = config_.modem.echo; // a modem that comes back starts afresh
    callerIdOn_ = false;
    event("plug " + pty_->slavePath());
    wakeLoop();
}

void ModemSimulator::Impl::startNoise(Millis duration) {
    noiseEnd_ = Clock::now() + duration;
    noiseBytes_ = 0;
    event("noise for " + formatDuration(duration));
    timers_.cancel(TimerGroup::Noise);
    after(duration, TimerGroup::Noise, [this] {
        noiseEnd_.reset();
        event("noise end: " + std::to_string(noiseBytes_) + " bytes");
    });
}

// Tops the output up with noise while there is little waiting, so the terminal is
// never idle and the queue never grows.
void ModemSimulator::Impl::feedNoise() {
    constexpr std::size_t kTopUp = 4096;
    std::uniform_int_distribution<int> byte(0, 255);
    const auto printable = [this](std::size_t n) {
        static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789 +-:?";
        std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
        std::string text(n, ' ');
        for (char& c : text)
            c = kChars[pick(random_)];
        return text;
    };
    while (output_.size() < kTopUp) {
        std::string piece;
        switch (random_() % 5) {
        case 0:
            piece.resize(1 + random_() % 256);
            for (char& c : piece)
                c = static_cast<char>(byte(random_));
            break;
        case 1:
            piece.assign(1 + random_() % 64, '\0');
            break;
        case 2:
            piece = printable(1000);
            break;
        case 3:
            piece = "\r";
            break;
        default:
            piece = "\r\n" + printable(1 + random_() % 40) + "\r\n";
        }
        noiseBytes_ += piece.size();
        output_ += piece;
    }
    flushOutput();
}

// ---------------------------------------------------------------------------------------

ModemSimulator::ModemSimulator(SimulatorConfig config, Transcript::Listener listener)
    : impl_(std::make_unique<Impl>(std::move(config), std::move(listener))) {}

ModemSimulator::~ModemSimulator() = default;

const Transcript& ModemSimulator::transcript() const {
    return impl_->transcript_;
}

int ModemSimulator::port() const {
    return impl_->config_.port;
}

std::string ModemSimulator::linkPath() const {
    std::lock_guard guard(impl_->lock_);
    return impl_->link_->path();
}

std::string ModemSimulator::slavePath() const {
    std::lock_guard guard(impl_->lock_);
    return impl_->pty_ ? impl_->pty_->slavePath() : std::string();
}

void ModemSimulator::call(std::vector<std::string> numbers) {
    std::lock_guard guard(impl_->lock_);
    impl_->startCall(std::move(numbers));
}

void ModemSimulator::ring() {
    std::lock_guard guard(impl_->lock_);
    impl_->sendLine("RING");
}

void ModemSimulator::hangup() {
    std::lock_guard guard(impl_->lock_);
    impl_->hangup();
}

void ModemSimulator::sendLine(std::string text) {
    std::lock_guard guard(impl_->lock_);
    impl_->sendLine(std::move(text));
}

void ModemSimulator::sendRaw(std::string bytes) {
    std::lock_guard guard(impl_->lock_);
    impl_->send(Kind::Raw, bytes, bytes);
}

void ModemSimulator::unplug() {
    std::lock_guard guard(impl_->lock_);
    impl_->unplug("unplug");
}

void ModemSimulator::plug() {
    std::lock_guard guard(impl_->lock_);
    impl_->plug();
}

void ModemSimulator::noise(Millis duration) {
    std::lock_guard guard(impl_->lock_);
    impl_->startNoise(duration);
    impl_->wakeLoop();
}

std::optional<std::string> ModemSimulator::set(std::string_view name, std::string_view value) {
    const SettingSpec* spec = findSetting(name);
    if (!spec) return "no setting '" + std::string(name) + "'";
    std::lock_guard guard(impl_->lock_);
    ModemSettings changed = impl_->settings_;
    if (auto error = spec->apply(changed, value)) return std::string(name) + ": " + *error;
    const bool newEvery = changed.every != impl_->settings_.every;
    impl_->settings_ = std::move(changed);
    impl_->event("set " + std::string(name) + " " + std::string(value));
    // A new cadence starts from now.
    if (newEvery) impl_->scheduleEvery(impl_->settings_.every.value_or(Millis{}));
    return std::nullopt;
}

void ModemSimulator::update(const std::function<void(ModemSettings&)>& change) {
    std::lock_guard guard(impl_->lock_);
    const auto every = impl_->settings_.every;
    change(impl_->settings_);
    impl_->event("set (in-process)");
    if (every != impl_->settings_.every)
        impl_->scheduleEvery(impl_->settings_.every.value_or(Millis{}));
}

ModemSettings ModemSimulator::settings() const {
    std::lock_guard guard(impl_->lock_);
    return impl_->settings_;
}

SimulatorState ModemSimulator::state() const {
    std::lock_guard guard(impl_->lock_);
    const Impl& s = *impl_;
    SimulatorState state;
    state.plugged = s.pty_.has_value();
    state.held = s.held_;
    state.ringing = s.ringsLeft_ > 0;
    state.echo = s.settings_.echo;
    state.callerIdOn = s.callerIdOn_;
    state.callsStarted = s.callsStarted_;
    state.handovers = s.handovers_;
    state.opens = s.opens_;
    state.closes = s.closes_;
    state.callNumbers = s.callNumbers_;
    state.slavePath = state.plugged ? s.pty_->slavePath() : std::string();
    return state;
}

std::string ModemSimulator::status() const {
    const SimulatorState now = state();
    const ModemSettings current = settings();
    std::string out = "COM" + std::to_string(port()) + " -> " +
                      (now.plugged ? now.slavePath : std::string("(unplugged)")) + ", link " +
                      linkPath() + "\n";
    out += std::string("line ") + (now.held ? "held" : "on-hook") +
           (now.ringing ? ", ringing" : "") + ", calls " + std::to_string(now.callsStarted) +
           ", hand-overs " + std::to_string(now.handovers) + ", port opened " +
           std::to_string(now.opens) + " times, last caller " +
           (now.callNumbers.empty() ? std::string("none") : joinNumbers(now.callNumbers)) +
           (current.callerIdKind == CallerIdKind::Answered
                ? ""
                : std::string(", caller ID ") + (now.callerIdOn ? "on" : "off")) +
           "\n";
    for (const auto& spec : settingSpecs())
        out += "  " + std::string(spec.name) + " " + spec.show(current) + "\n";
    return out;
}

} // namespace tarvik::modemsim
