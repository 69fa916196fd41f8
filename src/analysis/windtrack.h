#pragma once

// Following the wind's axis over time through the axes of the fleet's turns (wind.h says
// how). Internal to the wind's estimate (wind.cpp).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tideplot::windtrack {

// A turn that may be a tack or a gybe.
struct AxisTurn {
    double seconds = 0;  // its middle, seconds from the first moment of the series
    double bisector = 0; // the direction half way round the turn, degrees true
    double half = 0;     // half the turn: the angle of each course off the bisector
    double dip = 0;      // the least speed as a share of the speed before
    double speed = 0;    // knots before the turn
};

// The axis (degrees, 0 up to 180) at `count` moments `step` seconds apart from 0, given the
// turns in time order and the race's axis `axis` to start from; NaN where no turn supports
// it. `support` gets the turns each moment rests on.
std::vector<double> FollowAxis(const std::vector<AxisTurn>& turns, double axis, std::size_t count, double step,
                               std::vector<std::uint16_t>& support);

// The axis at `seconds` from a series FollowAxis made: straight between its moments, the
// nearest known moment where one side is not known; NaN when none is.
double AxisAt(const std::vector<double>& axes, double step, double seconds);

// `a - b` for axes (degrees): -90 up to 90.
double AxisDifference(double a, double b);

} // namespace tideplot::windtrack
