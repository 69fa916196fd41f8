#include "core/colour.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tideplot {
namespace {

// Colour numbers 0 to 1279 run red, yellow, green, cyan, blue, magenta in bands of 256, written
// blue, green, red; anything else is white. The window colour (0x00BBGGRR) of the same digits
// has red in its low byte.
TEST(ColourHex, HueScaleBandsAndWhite)
{
    struct Case {
        int n;
        const char* hex;
        std::uint32_t window;
    };
    const Case cases[] = {
        {0, "0000ff", 0x0000ff},          {10, "000Aff", 0x000aff},
        {100, "0064ff", 0x0064ff},        {255, "00FFff", 0x00ffff},
        {256, "00ffFF", 0x00ffff},        {511, "00ff00", 0x00ff00},
        {512, "00ff00", 0x00ff00},        {767, "FFff00", 0xffff00},
        {768, "ffFF00", 0xffff00},        {1023, "ff0000", 0xff0000},
        {1024, "ff0000", 0xff0000},       {1279, "ff00FF", 0xff00ff},
        {1280, "ffffff", 0xffffff},       {-1, "ffffff", 0xffffff},
        {2147483647, "ffffff", 0xffffff}, {-2147483647 - 1, "ffffff", 0xffffff},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ColourHex(c.n), c.hex) << c.n;
        EXPECT_EQ(WindowColour(ColourHex(c.n)), c.window) << c.n;
    }
}

} // namespace
} // namespace tideplot
