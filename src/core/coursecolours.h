#pragma once

#include <cstdint>

// The colours every picture of the program draws the race course in (0xRRGGBB): the start
// line's squares, a mark left to port (red, as a port light), one left to starboard (green),
// a gate's buoys. The finish line's squares are black.
namespace tideplot {

inline constexpr std::uint32_t kStartLineRgb = 0xf07800;
inline constexpr std::uint32_t kPortMarkRgb = 0xd8232a;
inline constexpr std::uint32_t kStarboardMarkRgb = 0x16a34a;
inline constexpr std::uint32_t kGateRgb = 0xf5c400;

} // namespace tideplot
