#include "colour.h"

#include "error.h"

namespace tideplot {

std::string HexByte(std::int32_t n)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (n < 0 || n > 255)
        return "00";
    return {kDigits[n >> 4], kDigits[n & 15]};
}

std::string ColourHex(std::int32_t n)
{
    if (n >= 0 && n <= 255)
        return "00" + HexByte(n) + "ff";
    if (n >= 256 && n <= 511)
        return "00ff" + HexByte(511 - n);
    if (n >= 512 && n <= 767)
        return HexByte(n - 512) + "ff00";
    if (n >= 768 && n <= 1023)
        return "ff" + HexByte(1023 - n) + "00";
    if (n >= 1024 && n <= 1279)
        return "ff00" + HexByte(n - 1024);
    return "ffffff";
}

std::uint32_t WindowColour(const std::string& colourHex)
{
    if (colourHex.empty() || colourHex.size() > 6)
        throw Error("\"" + colourHex + "\" is not a colour of six hexadecimal digits");
    std::uint32_t value = 0;
    for (const char c : colourHex) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            throw Error("\"" + colourHex + "\" is not a colour of six hexadecimal digits");
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

} // namespace tideplot
