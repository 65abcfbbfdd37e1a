#include "fake_main_view.h"
#include "modem/number_display.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

using testing::FakeMainView;

// The bars a display text should light, worked out from the glyph table.
std::array<LedSegments, kLedCount> expected(const char (&nine)[kLedCount + 1]) {
    std::array<LedSegments, kLedCount> bars{};
    for (int i = 0; i < kLedCount; ++i)
        bars[i] = nine[i] == '-' ? bSeven : LedGlyph(nine[i]);
    return bars;
}

TEST(ShowLedChar, DashesAndDecimalPoint) {
    testing::FakeDigit digit;
    ShowLedChar(digit, '-', true);
    EXPECT_EQ(digit.lit, bSeven | bpoint);
    ShowLedChar(digit, '?', false);
    EXPECT_EQ(digit.lit, bSeven);
    // The point is cleared even when the glyph before had it.
    digit.lit = LedGlyph('8') | bpoint;
    ShowLedChar(digit, '7', false);
    EXPECT_EQ(digit.lit, LedGlyph('7'));
    ShowLedChar(digit, ' ', true);
    EXPECT_EQ(digit.lit, bpoint);
}

TEST(PadLeft9, PadsShortTextsOnly) {
    EXPECT_EQ(PadLeft9(""), "         ");
    EXPECT_EQ(PadLeft9("12"), "       12");
    EXPECT_EQ(PadLeft9("123456789"), "123456789");
    EXPECT_EQ(PadLeft9("1234567890"), "1234567890");
}

TEST(ShowOnLeds, DecimalPointsGoOff) {
    FakeMainView view;
    for (auto& digit : view.digits)
        digit.lit = kAllBars;
    ShowOnLeds(view.leds(), "");
    EXPECT_EQ(view.shown(), expected("         "));
    for (auto& digit : view.digits)
        digit.lit = bpoint;
    ShowOnLeds(view.leds(), "87654321");
    EXPECT_EQ(view.shown(), expected(" 87654321"));
}

class CallerIdTest : public ::testing::Test {
protected:
    void show(const QByteArray& afterPrefix, int digCol = 7) {
        ShowCallerId(view, "CallerID: " + afterPrefix, digCol,
                     [this](const QByteArray& line) { logged.append(line); });
    }
    FakeMainView view;
    QList<QByteArray> logged;
};

TEST_F(CallerIdTest, TrimsAndDropsTheFirstColon) {
    show("\t 12:34 \r\n");
    EXPECT_EQ(view.shown(), expected("o     123"));
    EXPECT_EQ(logged, QList<QByteArray>{CallerCategories()[4]});
    // Only the first colon goes; the second stays in the number.
    logged.clear();
    show("1:2:3");
    EXPECT_EQ(view.shown(), expected("o     12:"));
    EXPECT_EQ(logged, QList<QByteArray>{CallerCategories()[3]});
    EXPECT_EQ(view.notices, (QList<QByteArray>{"Incoming call: 123", "Incoming call: 12:"}));
}

TEST_F(CallerIdTest, UnknownAnywhereInTheLine) {
    show("number Unknown here", 20);
    EXPECT_EQ(view.shown(), expected("n--------"));
    show("Unknown", 0);
    EXPECT_EQ(view.shown(), expected("n        "));
    EXPECT_TRUE(logged.isEmpty());
    EXPECT_EQ(view.notices, QList<QByteArray>(2, kNoCallerIdText));
}

TEST_F(CallerIdTest, NothingLeftShowsTheMarkerAlone) {
    for (const char* rest : {"", "000", "  0 ", ":"}) {
        SCOPED_TRACE(rest);
        for (auto& digit : view.digits)
            digit.lit = kAllBars;
        show(rest);
        EXPECT_EQ(view.shown(), expected("o        "));
    }
    // A line shorter than the prefix is no number either.
    ShowCallerId(view, "Call", 7, [this](const QByteArray& line) { logged.append(line); });
    EXPECT_EQ(view.shown(), expected("o        "));
    EXPECT_TRUE(logged.isEmpty());
}

TEST(CallerCategories, WindowsCodePageBytes) {
    const auto& texts = CallerCategories();
    // "Резервная категория." in Windows-1251: one byte a letter.
    EXPECT_EQ(texts[0], QByteArray("\xD0\xE5\xE7\xE5\xF0\xE2\xED\xE0\xFF \xEA\xE0\xF2\xE5\xE3"
                                   "\xEE\xF0\xE8\xFF."));
    for (const QByteArray& text : texts) {
        EXPECT_LE(text.size(), 255);
        EXPECT_TRUE(text.endsWith('.'));
        EXPECT_FALSE(text.contains('?')) << "a character the code page lacks";
    }
    EXPECT_EQ(texts[6].count('"'), 2);
    EXPECT_TRUE(texts[2].contains(" 1, "));
    EXPECT_TRUE(texts[9].endsWith(" 3."));
    EXPECT_TRUE(texts[7].contains('/'));
}

} // namespace
} // namespace tarvik
