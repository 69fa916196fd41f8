#include "core/colour.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

TEST(HexByte, TwoUpperCaseDigitsOrZeros)
{
    EXPECT_EQ(HexByte(5), "05");
    EXPECT_EQ(HexByte(0), "00");
    EXPECT_EQ(HexByte(171), "AB");
    EXPECT_EQ(HexByte(255), "FF");
    EXPECT_EQ(HexByte(256), "00");
    EXPECT_EQ(HexByte(-1), "00");
}

TEST(ColourHex, HueScaleBandsAndWhite)
{
    struct Case {
        int n;
        const char* hex;
    };
    const Case cases[] = {
        {0, "0000ff"},
        {10, "000Aff"},
        {255, "00FFff"},
        {256, "00ffFF"},
        {511, "00ff00"},
        {512, "00ff00"},
        {767, "FFff00"},
        {768, "ffFF00"},
        {1023, "ff0000"},
        {1024, "ff0000"},
        {1279, "ff00FF"},
        {1280, "ffffff"},
        {1300, "ffffff"},
        {-1, "ffffff"},
        {100, "0064ff"},
        {2147483647, "ffffff"},
        {-2147483647 - 1, "ffffff"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ColourHex(c.n), c.hex) << c.n;
}

TEST(WindowColour, LowByteIsRed)
{
    EXPECT_EQ(WindowColour(ColourHex(0)), 255u);
    EXPECT_EQ(WindowColourRed(255), 255);
    EXPECT_EQ(WindowColour(ColourHex(1023)), 0xff0000u); // blue
    EXPECT_EQ(WindowColourBlue(0xff0000u), 255);
    EXPECT_EQ(WindowColour(ColourHex(511)), 0x00ff00u); // green
    EXPECT_EQ(WindowColour("ffffff"), 16777215u);
    EXPECT_EQ(WindowColour("00FFff"), 0x00ffffu);
}

} // namespace
} // namespace tideplot
