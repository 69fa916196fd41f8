#include "core/error.h"
#include "core/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>

namespace tideplot {
namespace {

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

// The number at the start of a text: blanks skipped anywhere, a sign, digits, one point and an
// exponent (E or D); what follows is ignored. Too large a number is an error.
TEST(LeadingNumber, ReadsTheNumberAtTheStart)
{
    struct Case {
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {" 1.05 ", 1.05}, {"-12.5", -12.5}, {"+3", 3},     {"1 2 3", 123},    {"\t4\n2", 42},     {"- 7", -7},
        {"1,05", 1},      {"12abc", 12},    {"abc", 0},    {"", 0},           {"-.25", -0.25},    {"5.", 5},
        {"1.2.3", 1.2},   {"1E3", 1000},    {"2D2", 200},  {"1.5E-2", 0.015}, {"1E+", 1},         {"E5", 0},
        {".", 0},         {"--5", 0},       {"1e-400", 0}, {"0x10", 0},       {"1e0005", 100000}, {" 1.20 ,", 1.2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LeadingNumber(c.text), c.expected) << "text '" << c.text << "'";
    EXPECT_EQ(LeadingNumber("0.000e99999999999"), 0);
    for (const std::string& tooLarge :
         {std::string("1e400"), std::string("-9e99999999999999999"), std::string(400, '9')})
        EXPECT_THROW(LeadingNumber(tooLarge), Error) << tooLarge;
}

// The quick reading of plain decimals gives the correctly rounded double, as the
// general conversion does.
TEST(LeadingNumber, PlainDecimalsAreCorrectlyRounded)
{
    std::mt19937_64 next(99); // repeatable
    for (int i = 0; i < 100000; ++i) {
        const int decimals = static_cast<int>(next() % 20);
        const std::uint64_t whole = next() % (i % 2 ? 200 : 100000000000ULL);
        // (Built by appending: GCC 12 warns of an overlap in an inserted prefix, wrongly.)
        std::string text = next() % 2 ? "-" : "";
        text += std::to_string(whole);
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

TEST(NumberOfText, WholeTextMustBeANumber)
{
    EXPECT_EQ(NumberOfText(" 90 "), 90);
    EXPECT_EQ(NumberOfText("-2.5"), -2.5);
    EXPECT_EQ(NumberOfText("1e1"), 10);
    for (const char* bad : {"", " ", "abc", "10s", "1 0", "1,5", "--1", ".", "e5"})
        EXPECT_THROW(NumberOfText(bad), Error) << "text '" << bad << "'";
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

// The quick way of writing coordinates and distances must give exactly the correctly rounded
// text.
TEST(NumberTexts, QuickTextsMatchCorrectRoundingEverywhere)
{
    std::mt19937_64 next(12345); // repeatable
    int toldAtOnce = 0;          // distances whose thousandths are told without their text
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
        if (std::uint64_t thousandths = 0; DistanceThousandthsOf(distance, thousandths)) {
            ++toldAtOnce;
            std::snprintf(buffer, sizeof buffer, "%llu.%03llu", static_cast<unsigned long long>(thousandths / 1000),
                          static_cast<unsigned long long>(thousandths % 1000));
            ASSERT_EQ(DistanceText(distance), buffer) << std::hexfloat << distance;
        }
    }
    EXPECT_GT(toldAtOnce, 190000); // all but those within a hundredth of a half
    for (const double half : {0.0005, 0.0015, 1.0005, 2.5e-3, 12345.6785, 0.1235}) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.3f", half);
        EXPECT_EQ(DistanceText(half), buffer) << half;
    }
    EXPECT_EQ(DistanceText(-0.0), "0.000");
    std::uint64_t thousandths = 0;
    for (const double untold : {0.0005, -1.0, std::nan(""), 1e12})
        EXPECT_FALSE(DistanceThousandthsOf(untold, thousandths)) << untold;
    EXPECT_THROW(DistanceText(std::nan("")), Error);
    EXPECT_THROW(CoordinateText(std::nan("")), Error);
}

} // namespace
} // namespace tideplot
