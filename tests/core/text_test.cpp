#include "core/error.h"
#include "core/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tideplot {
namespace {

// Repeatable pseudo-random numbers for the tests over many values (Marsaglia's xorshift).
struct XorShift {
    std::uint64_t seed;
    std::uint64_t operator()()
    {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    }
};

TEST(GetField, SplitsAndKeepsBlanks)
{
    struct Case {
        const char* text;
        int index;
        char sep;
        const char* expected;
    };
    const Case cases[] = {
        {"a,b,c", 0, ',', "a"}, {"a,b,c", 2, ',', "c"}, {"a,b,c", 3, ',', ""},        {"a,b,c", 30000, ',', ""},
        {"a,,c", 1, ',', ""},   {"a,,c", 2, ',', "c"},  {"abc", 0, ',', "abc"},       {"", 0, ',', ""},
        {"", 5, ',', ""},       {"a,b", -1, ',', "a"},  {"a , b , c", 1, ',', " b "}, {"1;2;3", 1, ';', "2"},
        {"x y", 1, ' ', "y"},   {"a,b,c", 1, ';', ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetField(c.text, c.index, c.sep), c.expected)
            << "text '" << c.text << "' index " << c.index << " sep '" << c.sep << "'";
}

TEST(CommaToPoint, ReplacesOnlyTheFirstComma)
{
    EXPECT_EQ(CommaToPoint("57,7123"), "57.7123");
    EXPECT_EQ(CommaToPoint("11.9"), "11.9");
    EXPECT_EQ(CommaToPoint("1,2,3"), "1.2,3");
    EXPECT_EQ(CommaToPoint(""), "");
}

TEST(MaxMin, TiesAndOrder)
{
    EXPECT_EQ(MaxOf(2500, 1000), 2500);
    EXPECT_EQ(MaxOf(700, 1000), 1000);
    EXPECT_EQ(MinOf(-3, 5), -3);
    EXPECT_EQ(MinOf(5, -3), -3);
    // On a tie MaxOf gives b and MinOf gives a: visible with signed zeros.
    EXPECT_TRUE(std::signbit(MaxOf(0.0, -0.0)));
    EXPECT_FALSE(std::signbit(MinOf(0.0, -0.0)));
}

TEST(LeadingNumber, ReadsTheNumberAtTheStart)
{
    struct Case {
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {"57", 57},
        {" 1.05 ", 1.05},
        {"1.10", 1.1},
        {"-12.5", -12.5},
        {"+3", 3},
        {"1 2 3", 123},
        {"\t4\n2", 42},
        {"- 7", -7},
        {"1,05", 1},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {".5", 0.5},
        {"-.25", -0.25},
        {"5.", 5},
        {"1.2.3", 1.2},
        {"1E3", 1000},
        {"1e3", 1000},
        {"2D2", 200},
        {"1.5E-2", 0.015},
        {"1E", 1},
        {"1E+", 1},
        {"E5", 0},
        {".", 0},
        {"-", 0},
        {"--5", 0},
        {"57.7012345", 57.7012345},
        {"1e-400", 0},
        {"0.000e99999999999", 0},
        {"100 , ", 100},
        {"  1.20  ,", 1.2},
        {"0x10", 0},
        {"1e0005", 100000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LeadingNumber(c.text), c.expected) << "text '" << c.text << "'";
}

TEST(LeadingNumber, TooLargeIsAnError)
{
    EXPECT_THROW(LeadingNumber("1e400"), Error);
    EXPECT_THROW(LeadingNumber("-9e99999999999999999"), Error);
    EXPECT_THROW(LeadingNumber(std::string(400, '9')), Error);
}

TEST(NumberOfText, WholeTextMustBeANumber)
{
    EXPECT_EQ(NumberOfText("10"), 10);
    EXPECT_EQ(NumberOfText(" 90 "), 90);
    EXPECT_EQ(NumberOfText("-2.5"), -2.5);
    EXPECT_EQ(NumberOfText("1e1"), 10);
    for (const char* bad : {"", " ", "abc", "10s", "1 0", "1,5", "--1", ".", "e5"})
        EXPECT_THROW(NumberOfText(bad), Error) << "text '" << bad << "'";
    try {
        NumberOfText("ten");
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("\"ten\""), std::string::npos) << e.what();
    }
}

TEST(Rounding, HalvesToEvenAndRangeChecked)
{
    struct Case {
        double value;
        int expected;
    };
    const Case cases[] = {{0.5, 0},   {1.5, 2},    {2.5, 2},    {3.5, 4},   {-0.5, 0},        {-1.5, -2},
                          {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {100, 100}, {32767.4, 32767}, {-32768.5, -32768}};
    for (const auto& c : cases) {
        EXPECT_EQ(RoundToInt32(c.value), c.expected) << c.value;
        EXPECT_EQ(RoundToInt16(c.value), c.expected) << c.value;
    }
    EXPECT_EQ(RoundToInt32(2147483647.4), 2147483647);
    EXPECT_THROW(RoundToInt16(32767.5), Error);
    EXPECT_THROW(RoundToInt16(-32768.6), Error);
    EXPECT_THROW(RoundToInt32(2147483647.5), Error);
    EXPECT_THROW(RoundToInt32(std::nan("")), Error);
    EXPECT_THROW(RoundToInt32(std::numeric_limits<double>::infinity()), Error);
}

TEST(NumberTexts, DistanceCoordinateAndShort)
{
    EXPECT_EQ(DistanceText(0), "0.000");
    EXPECT_EQ(DistanceText(-0.0), "0.000");
    EXPECT_EQ(DistanceText(1.23456), "1.235");
    EXPECT_EQ(DistanceText(0.0004), "0.000");
    EXPECT_EQ(DistanceText(12345.6), "12345.600");
    EXPECT_THROW(DistanceText(std::nan("")), Error);

    struct Case {
        double value;
        const char* expected;
    };
    const Case coordinates[] = {
        {12, "12."},
        {57.5, "57.5"},
        {-0.25, "-0.25"},
        {0, "0."},
        {11.76, "11.76"},
        {57.51, "57.51"},
        {-122.4194, "-122.4194"},
        {1.123456789012345, "1.12345678901"},
        {0.000000000004, "0."},
        {-0.000000000004, "0."},
        {179.999999999999, "180."},
        {0.00000000001, "0.00000000001"},
        {-5, "-5."},
    };
    for (const auto& c : coordinates)
        EXPECT_EQ(CoordinateText(c.value), c.expected) << c.value;

    EXPECT_EQ(ShortNumberText(1.05), "1.05");
    EXPECT_EQ(ShortNumberText(1.0), "1");
    EXPECT_EQ(ShortNumberText(1.1), "1.1");
    EXPECT_EQ(ShortNumberText(0.8), "0.8");
    EXPECT_EQ(ShortNumberText(1.123456789012345678), "1.12345678901235");
    EXPECT_EQ(ShortNumberText(0), "0");
    EXPECT_EQ(ShortNumberText(-2.5), "-2.5");
}

TEST(Trim, SpacesOnly)
{
    EXPECT_EQ(TrimSpaces("  ab c  "), "ab c");
    EXPECT_EQ(TrimSpaces("   "), "");
    EXPECT_EQ(TrimSpaces("\tx "), "\tx");
    EXPECT_EQ(TrimTrailingSpaces(" a b  "), " a b");
}

} // namespace
} // namespace tideplot

namespace tideplot {
namespace {

// The quick way of writing coordinates must give exactly the correctly rounded text.
TEST(NumberTexts, QuickTextsMatchCorrectRoundingEverywhere)
{
    XorShift next{12345};
    for (int i = 0; i < 200000; ++i) {
        double value = static_cast<double>(next() % 36000000000000ULL) / 1e11 - 180;
        if (i % 3 == 0)
            value = std::round(value * 1e7) / 1e7; // seven decimals, as loggers write them
        if (i % 5 == 0)
            value = (static_cast<double>(next() % 2000001) - 1000000) * 5e-12; // halves at the 11th decimal
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.11f", value);
        std::string expected(buffer);
        while (expected.back() == '0')
            expected.pop_back();
        if (expected == "-0.")
            expected = "0.";
        ASSERT_EQ(CoordinateText(value), expected) << std::hexfloat << value;
        const double distance = std::fabs(value) * (i % 7 == 0 ? 1e5 : 1);
        std::snprintf(buffer, sizeof buffer, "%.3f", distance);
        ASSERT_EQ(DistanceText(distance), buffer) << std::hexfloat << distance;
    }
    for (const double half : {0.0005, 0.0015, 1.0005, 2.5e-3, 12345.6785, 0.1235})
        EXPECT_EQ(DistanceText(half), [&] {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.3f", half);
            return std::string(buffer);
        }()) << half;
}

} // namespace
} // namespace tideplot

namespace tideplot {
namespace {

// The quick reading of plain decimals gives the correctly rounded double, as the
// general conversion does.
TEST(LeadingNumber, PlainDecimalsAreCorrectlyRounded)
{
    XorShift next{99};
    for (int i = 0; i < 100000; ++i) {
        const int decimals = static_cast<int>(next() % 20);
        const std::uint64_t whole = next() % (i % 2 ? 200 : 100000000000ULL);
        std::string text = (next() % 2 ? "-" : "") + std::to_string(whole);
        if (decimals > 0) {
            text += '.';
            for (int d = 0; d < decimals; ++d)
                text += static_cast<char>('0' + next() % 10);
        }
        const double expected = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(LeadingNumber(text), expected) << text;
        ASSERT_EQ(LeadingNumber(text + ",11.5,20080621"), expected) << text;
    }
}

} // namespace
} // namespace tideplot
