#pragma once
#include "modem/main_view.h"
#include "platform/messages.h"

#include <QByteArray>
#include <array>

namespace tarvik {

// The syslog priorities the journal keeps from a "<N>" prefix on standard error.
enum class Priority : int { Error = 3, Warning = 4, Info = 6, Debug = 7 };

// One line on standard error, prefixed with its priority. Single-byte text
// (Windows-1251) is shown as UTF-8; control bytes cannot break the line.
void journal(Priority priority, const QByteArray& cp1251Text);
// The same for text that is already Unicode (messages, file names).
void journal(Priority priority, const QString& text);

// Qt's own messages and the tarvik.* logging categories, prefixed by level.
void routeQtMessagesToJournal();

// Boxes become error lines: nobody is there to click them.
class JournalPresenter final : public MessagePresenter {
public:
    BoxResult present(const BoxRequest& request) override;
};

// The main window of a program without one: the digits kept in memory, the
// status bar's texts and the callers told to the journal.
class JournalView final : public MainView {
public:
    JournalView();

    MainState& state() override { return state_; }
    LedRow leds() override { return row_; }
    void setStatusText(const QByteArray& text) override;
    QByteArray statusText() const override { return status_; }
    void showForCaller(const QByteArray& notice) override;
    bool phoneKeysVisible() const override { return false; }
    void setKeyDown(int, bool) override {}
    void setRepeatHint(const QString&) override {}

private:
    struct Digit final : LedDigit {
        LedSegments segments() const override { return lit; }
        void setSegments(LedSegments segments) override { lit = segments; }
        LedSegments lit = kDark;
    };

    MainState state_;
    std::array<Digit, kLedCount> digits_;
    LedRow row_{};
    QByteArray status_;
    QByteArray lastTold_;
};

} // namespace tarvik
