#include "core/datetime.h"
#include "core/error.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

constexpr double kSecond = 1.0 / 86400;

// Days since 1899-12-30; short digit counts and blanks are taken, the date is written back in
// full, rounded to the second.
TEST(DateValue, CountsDaysSince18991230AndIsWrittenBackInFull)
{
    struct Case {
        const char* text;
        double value;
        const char* written;
    };
    const Case cases[] = {
        {"1899-12-30 00:00:00", 0, "1899-12-30 00:00:00"},
        {"1900-01-01 12:00:00", 2.5, "1900-01-01 12:00:00"},
        {"2008-01-20 00:00:00", 39467, "2008-01-20 00:00:00"},
        {"1899-12-29 06:00:00", -1.25, "1899-12-29 06:00:00"}, // before the epoch the time of day still adds
        {"2000-02-29 00:00:00", 36585, "2000-02-29 00:00:00"},
        {"2007-1-1 9:05", 39083 + 545 * 60 * kSecond, "2007-01-01 09:05:00"},
        {"  2007-01-01 9:5:0  ", 39083 + 545 * 60 * kSecond, "2007-01-01 09:05:00"},
        {"\t2007-1-01\t09:05", 39083 + 545 * 60 * kSecond, "2007-01-01 09:05:00"},
        {"9999-12-31 23:59:59", 2958465 + 86399 * kSecond, "9999-12-31 23:59:59"},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(DateValueFromText(c.text), c.value) << c.text;
        EXPECT_EQ(DateText(DateValueFromText(c.text)), c.written) << c.text;
    }
    EXPECT_EQ(DateText(39467 + 0.4 * kSecond), "2008-01-20 00:00:00");
    EXPECT_EQ(DateText(39467 - 0.4 * kSecond), "2008-01-20 00:00:00");
}

TEST(DateValue, RejectsInvalidDatesAndQuotesThem)
{
    for (const char* text : {"2007-13-01 10:00:00", "2007-01-01 24:00:00", "2007-02-30 10:00:00", "2007-02-29 10:00:00",
                             "2007-01 10:00:00", "2007-01-01 10", "2007-01-01 10:00:", "2007--01 10:00:00",
                             "2007-0a-01 10:00:00", "", "2007-01-01 10:60:00", "2007-01-01 10:00:60",
                             "2007-00-10 10:00:00", "0000-01-01 00:00:00", "07-01-01 10:00:00", "2007-001-01 10:00:00",
                             "2007-01-01 10:00:00 x", "2007-01-0110:00:00", "2007/01/01 10:00:00"}) {
        try {
            DateValueFromText(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("\"") + text + "\""), std::string::npos) << e.what();
        }
    }
}

// Before the gun the clock carries a minus sign, so no time is shown twice; a clock that
// rounds to the gun shows none.
TEST(RaceClockText, CountsDownWithAMinusSignBeforeTheStartAndKeepsCountingHours)
{
    struct Case {
        double days;
        const char* expected;
    };
    const Case cases[] = {
        {-5.0 / 60 / 24, "-00:05:00"},
        {-10 * kSecond, "-00:00:10"},
        {-0.51 * kSecond, "-00:00:01"},
        {-0.49 * kSecond, "00:00:00"},
        {-1e-17, "00:00:00"},
        {0, "00:00:00"},
        {10 * kSecond, "00:00:10"},
        {-1 - kSecond, "-24:00:01"},
        {1.0 / 24 + 0.49 * kSecond, "01:00:00"},
        {1.0 / 24 + 0.51 * kSecond, "01:00:01"},
        {1 + 61 * kSecond, "24:01:01"},
        {100.0 / 24, "100:00:00"},
        {23.0 / 24 + 59.0 / 1440 + 59 * kSecond, "23:59:59"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RaceClockText(c.days), c.expected) << c.days;
}

} // namespace
} // namespace tideplot
