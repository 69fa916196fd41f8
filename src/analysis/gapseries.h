#pragma once

#include "wind.h"

#include <cstddef>
#include <vector>

// Each boat's corrected-time gap to the leader over the race.
//
// How far a boat has come is the distance it still has to sail: along the course when the race
// has one (CourseSailed::ToSailNm), otherwise along the wind's axis, the distance it has made
// good up or down the wind since its gun (each moment against the wind of that moment)
// counting down from 0. The gap at a moment: the boat stands where it had that much still to
// sail; each boat's corrected time to get there first (from its gun to the moment it first had
// no more to sail, x its LYS) is taken, and the boat's own less the least of them is its gap.
// So the boat ahead on corrected time at that point of the race has 0, a boat that stops has
// the gap it stopped with, and one that finished keeps its gap at the finish.
namespace tideplot {

struct BoatAnalysis;
struct RaceAnalysis;

// The gap series has a point every 10 s or more, at most this many over the race.
inline constexpr std::size_t kMostGapPoints = 500;

// The distance still to sail along the wind's axis, every kToSailStepSeconds from the boat's
// gun: minus the distance made good up or down the wind so far, in nautical miles.
std::vector<float> AxisToSailNm(const BoatAnalysis& boat, const WindEstimate& wind);

// Every boat's GapSeconds, on the race's grid (RaceAnalysis::GapFirstTime, GapStepSeconds),
// from each boat's Sailed.ToSailNm. Nothing when no boat has any.
void GapSeries(RaceAnalysis& race);

} // namespace tideplot
