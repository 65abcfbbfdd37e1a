#pragma once
#include "modem/number_display.h"

#include <exception>

namespace tarvik {

// The first error of several steps that must all run, raised after the last.
class HeldError {
public:
    template <typename Step> void run(Step&& step) {
        try {
            step();
        } catch (...) {
            if (!error_) error_ = std::current_exception();
        }
    }
    void raise() const {
        if (error_) std::rethrow_exception(error_);
    }

private:
    std::exception_ptr error_;
};

// Log lines written while a caller is being shown. A log that fails must not
// hide the caller nor leave the modem's lines unread: its first error is held
// until the caller has been shown.
class HeldErrorLog {
public:
    explicit HeldErrorLog(const LogLineSink& log)
        : log_(log) {}
    HeldErrorLog(const HeldErrorLog&) = delete;
    HeldErrorLog& operator=(const HeldErrorLog&) = delete;

    LogLineSink sink() {
        return [this](const QByteArray& message) { write(message); };
    }
    void write(const QByteArray& message) {
        held_.run([&] {
            if (log_) log_(message);
        });
    }
    void raiseHeldError() const { held_.raise(); }

private:
    const LogLineSink& log_;
    HeldError held_;
};

} // namespace tarvik
