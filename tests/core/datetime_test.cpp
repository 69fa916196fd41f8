#include "core/datetime.h"
#include "core/error.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

constexpr double kSecond = 1.0 / 86400;

TEST(DateValue, CountsDaysSince18991230)
{
    EXPECT_EQ(DateValueFromText("1899-12-30 00:00:00"), 0);
    EXPECT_EQ(DateValueFromText("1899-12-31 00:00:00"), 1);
    EXPECT_EQ(DateValueFromText("1900-01-01 12:00:00"), 2.5);
    EXPECT_EQ(DateValueFromText("2008-01-20 00:00:00"), 39467);
    EXPECT_DOUBLE_EQ(DateValueFromText("2008-01-20 10:30:05"), 39467 + (10 * 3600 + 30 * 60 + 5) * kSecond);
    // Before the epoch the fraction still adds the time of day.
    EXPECT_EQ(DateValueFromText("1899-12-29 06:00:00"), -1.25);
    EXPECT_EQ(DateValueFromText("2000-02-29 00:00:00"), 36585);
}

TEST(DateValue, AcceptsShortDigitCountsAndBlanks)
{
    const double full = DateValueFromText("2007-01-01 09:05:00");
    for (const char* text :
         {"2007-1-1 9:05", "2007-01-01 9:5:0", "  2007-01-01 09:05:00  ", "2007-1-01  9:05:00", "\t2007-01-01\t09:05"})
        EXPECT_EQ(DateValueFromText(text), full) << text;
}

TEST(DateValue, RejectsInvalidDatesAndQuotesThem)
{
    for (const char* text : {"2007-13-01 10:00:00",
                             "2007-01-01 24:00:01",
                             "2007-01-01 24:00:00",
                             "2007-02-30 10:00:00",
                             "2007-02-29 10:00:00",
                             "2007-01 10:00:00",
                             "2007-01-01 10",
                             "2007-01-01",
                             "2007-01-01 10:",
                             "2007-01-01 10:00:",
                             "2007-0a-01 10:00:00",
                             "abc",
                             "",
                             "2007-01-01 10:60:00",
                             "2007-01-01 10:00:60",
                             "2007-00-10 10:00:00",
                             "2007-01-00 10:00:00",
                             "0000-01-01 00:00:00",
                             "07-01-01 10:00:00",
                             "2007-001-01 10:00:00",
                             "2007-01-01 10:00:00 x",
                             "2007-01-0110:00:00",
                             "2007/01/01 10:00:00",
                             "-2007-01-01 10:00:00",
                             "2007--01 10:00:00",
                             "2007-01-01 010:00:00"}) {
        try {
            DateValueFromText(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("\"") + text + "\""), std::string::npos) << e.what();
        }
    }
}

TEST(DateText, WritesFullFormRoundedToTheSecond)
{
    EXPECT_EQ(DateText(0), "1899-12-30 00:00:00");
    EXPECT_EQ(DateText(DateValueFromText("2008-06-21 14:30:05")), "2008-06-21 14:30:05");
    EXPECT_EQ(DateText(DateValueFromText("2007-1-1 9:05")), "2007-01-01 09:05:00");
    EXPECT_EQ(DateText(39467 + 0.4 * kSecond), "2008-01-20 00:00:00");
    EXPECT_EQ(DateText(39467 - 0.4 * kSecond), "2008-01-20 00:00:00");
    EXPECT_EQ(DateText(-1.25), "1899-12-29 06:00:00");
    for (const char* text : {"1999-12-31 23:59:59", "2024-02-29 00:00:01", "9999-12-31 23:59:59"})
        EXPECT_EQ(DateText(DateValueFromText(text)), text);
}

TEST(RaceClockText, CountsDownBeforeTheStartAndKeepsCountingHours)
{
    struct Case {
        double days;
        const char* expected;
    };
    const Case cases[] = {
        {-5.0 / 60 / 24, "00:05:00"},
        {-5.0 / 60 / 24 + 10.0 / 3600 / 24, "00:04:50"},
        {0, "00:00:00"},
        {1.0 / 24, "01:00:00"},
        {1.0 / 24 + 0.49 * kSecond, "01:00:00"},
        {1.0 / 24 + 0.51 * kSecond, "01:00:01"},
        {1 - 0.2 * kSecond, "24:00:00"},
        {1, "24:00:00"},
        {1 + 61 * kSecond, "24:01:01"},
        {2 + 45.0 / 1440, "48:45:00"},
        {-(1 + 2 * kSecond), "24:00:02"},
        {100.0 / 24, "100:00:00"},
        {-(1.0 / 24 + 2 * kSecond), "01:00:02"},
        {23.0 / 24 + 59.0 / 1440 + 59 * kSecond, "23:59:59"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RaceClockText(c.days), c.expected) << c.days;
    // Steps of 10 seconds from minus five minutes, added up as the replay adds them.
    double clock = -5.0 / 60 / 24;
    for (int i = 0; i < 30; ++i)
        clock = clock + 10.0 / 3600 / 24;
    EXPECT_EQ(RaceClockText(clock), "00:00:00");
    clock = clock + 10.0 / 3600 / 24;
    EXPECT_EQ(RaceClockText(clock), "00:00:10");
}

} // namespace
} // namespace tideplot
