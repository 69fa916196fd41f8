#pragma once

#include <cstdint>
#include <string>

// The colour scale of the tracks: a colour number 0 to 1279 runs red, yellow, green,
// cyan, blue, magenta; anything else is white.
namespace tideplot {

// Two upper-case hexadecimal digits for 0 to 255, "00" for anything else.
std::string HexByte(std::int32_t n);

// Six hexadecimal digits in blue, green, red order: the fixed parts in lower case,
// the varying byte from HexByte (so 10 gives "000Aff").
std::string ColourHex(std::int32_t colourNumber);

// The window colour of a colour text: its six digits read as one number
// 0x00BBGGRR, whose low byte is red.
std::uint32_t WindowColour(const std::string& colourHex);

// Red, green and blue of a window colour value.
inline int WindowColourRed(std::uint32_t value)
{
    return static_cast<int>(value & 0xff);
}
inline int WindowColourGreen(std::uint32_t value)
{
    return static_cast<int>((value >> 8) & 0xff);
}
inline int WindowColourBlue(std::uint32_t value)
{
    return static_cast<int>((value >> 16) & 0xff);
}

} // namespace tideplot
