#pragma once

#include "motion.h"

#include <vector>

// The wind's direction from how the fleet tacked and gybed.
//
// The courses either side of a tack lie symmetric about the wind, those of a gybe about the
// downwind direction; either way the bisector of a turn's courses lies on the wind's axis.
// Without knowing the wind, every turn of 40 to 140 degrees between steady courses gives an
// axis (its bisector, folded onto 0-180 degrees); the fleet's tacks and gybes share one axis,
// while mark roundings and other turns scatter about others. The axis is the densest
// direction of these (a circular kernel density over the doubled angles, so that an axis and
// its reverse are one: K. V. Mardia, P. E. Jupp, "Directional Statistics", 2000, ch. 2 and
// 3.6), refined as the circular mean of the turns near it.
//
// Which end of the axis the wind comes from: the turns through one end are tacks, those through
// the other gybes, and tacks differ from gybes the way boats sail: a tack loses more of the
// boat's speed (it stops head to wind), its courses lie wider apart (close-hauled, 35-50
// degrees off the wind, against 10-45 off dead downwind), the boat sails slower upwind than
// downwind, and nobody sails steadily within 20 degrees of the wind's eye. Each of these
// votes, in proportion to how clear it is.
namespace tideplot {

struct WindEstimate {
    bool Known = false;
    double FromDeg = 0; // where the wind comes from, degrees true
    bool Given = false; // given by the user rather than estimated
    // Estimated: the tacks and gybes the estimate rests on (with fewer than three together there
    // is no estimate). Given: the tacks and gybes found with it.
    int Tacks = 0;
    int Gybes = 0;
};

// Turns between steady courses of this size tell the wind's axis.
inline constexpr double kAxisTurnMinDeg = 40;
inline constexpr double kAxisTurnMaxDeg = 140;
// The fewest tacks and gybes an estimate rests on.
inline constexpr int kFewestForWind = 3;

// The wind from the turns of the fleet's boats; not Known (and never a guess) when fewer than
// kFewestForWind tacks and gybes share an axis.
WindEstimate EstimateWind(const std::vector<const BoatMotion*>& boats);

} // namespace tideplot
