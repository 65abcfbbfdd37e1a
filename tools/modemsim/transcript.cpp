#include "transcript.h"

#include "text.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <fstream>
#include <system_error>

namespace tarvik::modemsim {
namespace {

constexpr std::array<std::string_view, 5> kindNames = {"rx", "echo", "tx", "raw", "ev"};

constexpr std::string_view fileHeader =
    "# tarvik-modemsim transcript\n"
    "# ms-since-start<TAB>monotonic-ms<TAB>kind<TAB>text   (kinds: rx echo tx raw ev)\n";

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // a full disk must not stop the modem
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::optional<std::int64_t> parseNumber(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::int64_t millisOf(Transcript::Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

} // namespace

Transcript::Transcript(const std::string& filePath, Listener listener)
    : listener_(std::move(listener)) {
    if (filePath.empty()) return;
    file_.reset(::open(filePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file_)
        throw std::system_error(errno, std::generic_category(),
                                "cannot write the transcript " + filePath);
    writeAll(file_.get(), fileHeader);
}

Transcript::Entry Transcript::add(Kind kind, std::string text,
                                  std::optional<Clock::time_point> when) {
    const auto now = when.value_or(Clock::now());
    Entry entry{millisOf(now - start_), millisOf(now.time_since_epoch()), kind, std::move(text), 0};
    {
        std::lock_guard guard(lock_);
        entry.index = entries_.size();
        entries_.push_back(entry);
        // Written under the lock so the file keeps the order of the entries; one write
        // per line, so a reader never sees half an entry.
        if (file_) writeAll(file_.get(), formatEntry(entry) + '\n');
    }
    grown_.notify_all();
    if (listener_) {
        std::lock_guard guard(listenerLock_);
        listener_(entry);
    }
    return entry;
}

std::vector<Transcript::Entry> Transcript::entries() const {
    std::lock_guard guard(lock_);
    return entries_;
}

std::size_t Transcript::size() const {
    std::lock_guard guard(lock_);
    return entries_.size();
}

std::optional<Transcript::Entry>
Transcript::waitFor(const Match& match, std::chrono::milliseconds timeout, std::size_t from) const {
    const auto deadline = Clock::now() + timeout;
    std::unique_lock guard(lock_);
    std::size_t next = from;
    for (;;) {
        for (; next < entries_.size(); ++next)
            if (match(entries_[next])) return entries_[next];
        if (grown_.wait_until(guard, deadline) == std::cv_status::timeout &&
            next == entries_.size())
            return std::nullopt;
    }
}

std::optional<Transcript::Entry> Transcript::waitFor(Kind kind, std::string_view text,
                                                     std::chrono::milliseconds timeout,
                                                     std::size_t from) const {
    return waitFor([&](const Entry& e) { return e.kind == kind && e.text == text; }, timeout, from);
}

std::string_view kindName(Transcript::Kind kind) {
    return kindNames.at(static_cast<int>(kind));
}

std::optional<Transcript::Kind> kindFromName(std::string_view name) {
    for (std::size_t i = 0; i < kindNames.size(); ++i)
        if (kindNames[i] == name) return static_cast<Transcript::Kind>(i);
    return std::nullopt;
}

std::string formatEntry(const Transcript::Entry& entry) {
    std::string line = std::to_string(entry.ms);
    line += '\t';
    line += std::to_string(entry.monotonicMs);
    line += '\t';
    line += kindName(entry.kind);
    line += '\t';
    line += escapeBytes(entry.text);
    return line;
}

std::optional<Transcript::Entry> parseEntry(std::string_view line) {
    std::array<std::string_view, 4> fields;
    for (std::size_t i = 0; i < 3; ++i) {
        const auto tab = line.find('\t');
        if (tab == std::string_view::npos) return std::nullopt;
        fields[i] = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    fields[3] = line;
    const auto ms = parseNumber(fields[0]);
    const auto monotonic = parseNumber(fields[1]);
    const auto kind = kindFromName(fields[2]);
    auto text = unescapeBytes(fields[3]);
    if (!ms || !monotonic || !kind || !text) return std::nullopt;
    return Transcript::Entry{*ms, *monotonic, *kind, std::move(*text), 0};
}

std::vector<Transcript::Entry> readTranscriptFile(const std::string& path) {
    std::vector<Transcript::Entry> entries;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) break; // a line still being written has no LF yet
        if (line.starts_with('#')) continue;
        if (auto entry = parseEntry(line)) {
            entry->index = entries.size();
            entries.push_back(std::move(*entry));
        }
    }
    return entries;
}

} // namespace tarvik::modemsim
