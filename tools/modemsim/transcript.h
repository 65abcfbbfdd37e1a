#pragma once
#include "unique_fd.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::modemsim {

// What the simulator saw and did, in order, with times. Thread-safe.
//
// File form, one entry per line, fields separated by one TAB:
//   <ms since start> TAB <monotonic ms> TAB <kind> TAB <text>
// Lines starting with '#' are comments. The text is escaped (\r \n \t \\ \xHH), so an
// entry never spans lines. Kinds:
//   rx    bytes the program sent: one entry per command, up to its CR and an LF that came
//         with it; bytes without a CR are written after 50 ms of quiet
//   echo  the command echo sent back
//   tx    a line the simulator sent; the text is the line, it went out as CR LF text CR LF
//   raw   bytes sent as they are (send-raw)
//   ev    an event: start, port opened/closed, call, answer, dial, handover, hangup, unplug,
//         plug, set, stop...
class Transcript {
public:
    enum class Kind { Received, Echo, Sent, Raw, Event };

    struct Entry {
        std::int64_t ms = 0;          // since the simulator started
        std::int64_t monotonicMs = 0; // CLOCK_MONOTONIC; its low 32 bits are TARVIK's tick count
        Kind kind = Kind::Event;
        std::string text; // unescaped bytes
        std::size_t index = 0;
    };

    using Clock = std::chrono::steady_clock;
    using Listener = std::function<void(const Entry&)>;
    using Match = std::function<bool(const Entry&)>;

    // An empty path keeps the transcript in memory only. Throws when the file cannot be made.
    explicit Transcript(const std::string& filePath = {}, Listener listener = {});

    // Records an entry stamped `when` (now by default) and returns it. Calls the listener
    // outside the transcript's own lock, one entry at a time.
    Entry add(Kind kind, std::string text, std::optional<Clock::time_point> when = {});

    std::vector<Entry> entries() const;
    std::size_t size() const;
    Clock::time_point start() const { return start_; }

    // The first entry at position `from` or later that matches, waiting up to `timeout` for it.
    std::optional<Entry> waitFor(const Match& match, std::chrono::milliseconds timeout,
                                 std::size_t from = 0) const;
    std::optional<Entry> waitFor(Kind kind, std::string_view text,
                                 std::chrono::milliseconds timeout, std::size_t from = 0) const;

private:
    const Clock::time_point start_ = Clock::now();
    UniqueFd file_;
    Listener listener_;
    mutable std::mutex lock_;
    mutable std::condition_variable grown_;
    std::vector<Entry> entries_;
    std::mutex listenerLock_;
};

std::string_view kindName(Transcript::Kind kind);
std::optional<Transcript::Kind> kindFromName(std::string_view name);

std::string formatEntry(const Transcript::Entry& entry);
std::optional<Transcript::Entry> parseEntry(std::string_view line);
// Every entry of a transcript file, numbered from 0; comments and broken lines are skipped.
std::vector<Transcript::Entry> readTranscriptFile(const std::string& path);

} // namespace tarvik::modemsim
