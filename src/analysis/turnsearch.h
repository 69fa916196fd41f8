#pragma once

// Finding a boat's turns without the wind: large changes of course between the course a span
// before a moment and the course a span after it, settled between the steady courses either
// side and measured (the speeds, the loss of distance made good). Internal to the motion
// analysis (motion.cpp).

#include "smoothing.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tideplot::trackmotion {

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

// The search over a track: its stretches between gaps, the turn-smoothed course and speed at
// every fix, the speed the recovery from a turn is judged on, and the windows, from how the
// track was logged. `turnFit` is the track smoothed over the character's TurnHalfWindow.
TurnSearch MakeTurnSearch(const Plane& plane, const LineSums& sums, const Smoothed& turnFit,
                          const TrackCharacter& character);

// The turns in time order, settled and measured. `change` gets the change of course (degrees,
// clockwise positive) between a span before and a span after each fix, NaN where it is not
// known: small where the boat sails steadily.
std::vector<Turn> FindTurns(const TurnSearch& s, std::vector<float>& change);

} // namespace tideplot::trackmotion
