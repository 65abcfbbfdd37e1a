#pragma once
#include "modem/main_view.h"

#include <QList>
#include <array>

namespace tarvik::testing {

class FakeDigit final : public LedDigit {
public:
    LedSegments segments() const override { return lit; }
    void setSegments(LedSegments segments) override { lit = segments; }
    LedSegments lit = kDark;
};

// A main window without widgets: nine digits and a record of what was asked.
class FakeMainView : public MainView {
public:
    FakeMainView() {
        for (int i = 0; i < kLedCount; ++i)
            row[i] = &digits[i];
    }
    MainState& state() override { return mainState; }
    LedRow leds() override { return row; }
    void setStatusText(const QByteArray& text) override { status = text; }
    QByteArray statusText() const override { return status; }
    void showForCaller(const QByteArray& notice) override {
        ++shownForCaller;
        notices.append(notice);
    }
    bool phoneKeysVisible() const override { return keysVisible; }
    void setKeyDown(int tag, bool down) override { keyDowns.append({tag, down}); }
    void setRepeatHint(const QString& hint) override { repeatHint = hint; }

    // The lit bars of every digit, Led0 first.
    std::array<LedSegments, kLedCount> shown() const {
        std::array<LedSegments, kLedCount> bars{};
        for (int i = 0; i < kLedCount; ++i)
            bars[i] = digits[i].lit;
        return bars;
    }

    std::array<FakeDigit, kLedCount> digits;
    LedRow row{};
    MainState mainState;
    QByteArray status;
    int shownForCaller = 0;
    QList<QByteArray> notices; // one per showForCaller
    bool keysVisible = true;
    QList<QPair<int, bool>> keyDowns;
    QString repeatHint;
};

} // namespace tarvik::testing
