#pragma once

#include "analysis/motionfit.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The search for a boat's turns, its large changes of course, on its track smoothed through
// turns, and their measure: the steady courses either side, the speed lost and regained, the
// distance made good lost. Internal to the analysis (motion.cpp).
namespace tideplot::motionfit {

// What the search for turns works on.
struct TurnSearch {
    const Plane& plane;
    const LineSums& sums;
    const Smoothed& turn;                  // positions and velocities smoothed over TurnHalfWindow
    std::vector<double> recoverySpeed;     // m/s, equal weights over the recovery window
    std::vector<double> courseUnwrapped;   // the turn-smoothed course, unwrapped within stretches
    std::vector<double> turnSpeed;         // the turn-smoothed speed, m/s
    std::vector<std::uint32_t> gapsBefore; // gaps among the intervals before each fix
    std::vector<std::size_t> stretches;    // the first fix of each stretch between gaps
    double gapSeconds = 0;
    double span = 0; // the seconds before and after a moment whose courses are compared
    double beforeWindow = 0, afterWindow = 0, shortestWindow = 0;
};

// The search over a track: its stretches between gaps, its course smoothed through turns
// (`turnFit`) and unwrapped within them, its speed, and a steadier speed for telling when a
// speed lost is regained.
TurnSearch MakeTurnSearch(const Plane& plane, const LineSums& sums, const Smoothed& turnFit,
                          const TrackCharacter& character);

// The turns, in time order; `change` gets the change of course at every fix (degrees,
// clockwise positive; NaN where the fixes do not tell it).
std::vector<Turn> FindTurns(const TurnSearch& search, std::vector<float>& change);

} // namespace tideplot::motionfit
