#include "store/call_record.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

const QDate kToday(2026, 12, 8);

TEST(CallerNumberShown, IsWhatTheDigitsShowWithoutTheCategory) {
    struct Case {
        const char* line;
        int digCol;
        const char* shown;
    };
    const Case cases[] = {
        {"CallerID: 12345678", 7, "1234567"},
        {"CallerID: 0012345678", 7, "1234567"},
        {"CallerID: 99912345678", 7, "1234567"},
        {"CallerID: 123?5678", 7, "123?567"},
        {"CallerID: 1234567?", 7, "1234567"},
        {"CallerID: 1234", 7, "123"},
        {"CallerID: 12:345678", 7, "1234567"},
        {"CallerID: 99912345678", 2, "67"},
        {"CallerID: Unknown", 7, ""},
        {"CallerID: 0000", 7, ""},
        {"CallerID: 5", 7, ""},
        {"CallerID:", 7, ""},
        {"CallerID: \t 4567 \r", 7, "456"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(callerNumberShown(c.line, c.digCol), QByteArray(c.shown)) << c.line;
    EXPECT_FALSE(cutCallerNumber("CallerID: Unknown", 7).has_value());
    EXPECT_EQ(cutCallerNumber("CallerID: 0000", 7), QByteArray());
}

TEST(CallRecordFromLogLine, ReadsCallersAndDialsWithTheLocaleSeparators) {
    auto caller = callRecordFromLogLine("07.12 10:01:02 CallerID: 0012345678", kToday, 7);
    ASSERT_TRUE(caller);
    EXPECT_EQ(caller->kind, CallRecord::Kind::Incoming);
    EXPECT_EQ(caller->number, "1234567");
    EXPECT_EQ(std::tuple(caller->year, caller->month, caller->day, caller->hour, caller->minute),
              std::tuple(2026, 12, 7, 10, 1));

    auto dial = callRecordFromLogLine("08/12 23:59:59 Outgoing call to \"55\"5\":BUSY", kToday, 7);
    ASSERT_TRUE(dial);
    EXPECT_EQ(dial->kind, CallRecord::Kind::Outgoing);
    EXPECT_EQ(dial->number, "55\"5");
    EXPECT_EQ(std::tuple(dial->hour, dial->minute), std::tuple(23, 59));

    auto unknown = callRecordFromLogLine("01-01 00:00:00 CallerID: Unknown", kToday, 7);
    ASSERT_TRUE(unknown);
    EXPECT_TRUE(unknown->number.isEmpty());
    // A modem that reported the caller by itself: its number and name lines.
    const auto reported = [](const char* message) {
        return callRecordFromLogLine(QByteArray("08/12 17:06:05 ") + message, kToday, 7);
    };
    EXPECT_EQ(reported("NMBR = 5551234567")->number, "5551234567") << "the whole number";
    EXPECT_EQ(reported("DDN_NMBR=555 123")->number, "555123");
    EXPECT_EQ(reported("NMBR = O")->number, "OUT-OF-AREA");
    EXPECT_EQ(reported("NMBR = 000")->number, "");
    EXPECT_EQ(reported("NAME = JOHN DOE")->kind, CallRecord::Kind::CallerName);
    EXPECT_EQ(reported("NAME = JOHN DOE")->name, "JOHN DOE");
    EXPECT_FALSE(reported("DATE = 1208"));
    // Separators of more than one byte; a blank is never one.
    EXPECT_TRUE(callRecordFromLogLine("01.-01 00::00::00 CallerID: 12", kToday, 7));
    EXPECT_FALSE(callRecordFromLogLine("01. 01 00:00:00 CallerID: 12", kToday, 7));
}

TEST(CallRecordFromLogLine, TakesLastYearForADayAfterToday) {
    const auto yearOf = [](const char* stamp) {
        const auto call = callRecordFromLogLine(QByteArray(stamp) + " CallerID: 12", kToday, 7);
        return call ? call->year : 0;
    };
    EXPECT_EQ(yearOf("08/12 23:00:00"), 2026);
    EXPECT_EQ(yearOf("09/12 00:00:00"), 2025);
    EXPECT_EQ(yearOf("01/01 00:00:00"), 2026);
    EXPECT_EQ(yearOf("31/12 00:00:00"), 2025);
    // No leap day this year or last: the record keeps its date all the same.
    EXPECT_EQ(callRecordFromLogLine("29/02 10:00:00 CallerID: 12", QDate(2027, 3, 1), 7)->day, 29);
}

TEST(CallRecordFromLogLine, LeavesOtherLinesAndBrokenStampsOut) {
    const char* const lines[] = {
        "08/12 10:00:00 ",
        "08/12 10:00:00 Incoming call, ignored.",
        "08/12 10:00:00 Error at init Modem or Open COM-Port",
        "08/12 10:00:00 Outgoing call to \"5\"",
        "08/12 10:00:00 Outgoing call to 5:OK",
        "00/12 10:00:00 CallerID: 12",
        "32/12 10:00:00 CallerID: 12",
        "08/13 10:00:00 CallerID: 12",
        "08/12 24:00:00 CallerID: 12",
        "08/12 10:60:00 CallerID: 12",
        "08/12 10:00:60 CallerID: 12",
        "8/12 10:00:00 CallerID: 12",
        "08/12 10:00:00CallerID: 12",
        "0812 10:00:00 CallerID: 12",
        "08/12  10:00:00 CallerID: 12",
        "",
        "08/1",
    };
    for (const char* line : lines)
        EXPECT_FALSE(callRecordFromLogLine(line, kToday, 7)) << line;
}

} // namespace
} // namespace tarvik
