#pragma once

#include "motion.h"

#include <cstdint>
#include <vector>

// The wind's direction over the race, from how the fleet (or one boat) tacked and gybed.
//
// The courses either side of a tack lie symmetric about the wind, those of a gybe about the
// downwind direction; either way the bisector of a turn's courses lies on the wind's axis.
// Without knowing the wind, every turn of 40 to 120 degrees between steady courses gives an
// axis (its bisector, folded onto 0-180 degrees); tacks and gybes share the wind's axis, while
// mark roundings and other turns scatter about others. The race's axis is the densest direction
// of these (a circular kernel density over the doubled angles, so that an axis and its reverse
// are one: K. V. Mardia, P. E. Jupp, "Directional Statistics", 2000, ch. 2 and 3.6).
//
// The wind shifts, so the axis is then followed over time: at every minute, a straight line
// through the axes of the turns of the minutes about it (a local linear regression over time,
// tricube weights, W. S. Cleveland, "Robust locally weighted regression and smoothing
// scatterplots", JASA 74, 1979), in a window of 4 to 15 minutes that widens until it holds
// turns enough, taking only the turns near the axis found so far and weighing down those far
// from the line (Tukey's biweight). It follows shifts of tens of degrees over a race; where
// no tack or gybe lies within 15 minutes the wind is not known.
//
// Which end of the axis the wind comes from: the turns through one end are tacks, those through
// the other gybes, and tacks differ from gybes the way boats sail: a tack loses more of the
// boat's speed (it stops head to wind), its courses lie wider apart (close-hauled, 35-50
// degrees off the wind, against 10-45 off dead downwind), the boat sails slower upwind than
// downwind, and nobody sails steadily within 30 degrees of the wind's eye while many run
// within 30 degrees of dead downwind. Each of these votes, in proportion to how clear it is.
namespace tideplot {

// Where the race's wind comes from.
enum class WindSource {
    Unknown,   // nothing to estimate it from, none given
    Estimated, // from the tracks
    Given,     // typed: one direction, or a direction at given moments (the course file's wind lines)
    Measured,  // the boats' instruments (their wind files)
};

// The wind at one moment.
struct WindPoint {
    double Time = 0;          // date value (datetime.h), the track files' time base
    float FromDeg = kNoValue; // where the wind comes from, degrees true; NaN where it is not known
    // Estimated: the tacks and gybes it rests on (those of its window). Measured: the boats
    // whose instruments gave it.
    std::uint16_t Support = 0;
};

// An estimated or measured series has a point every minute, on the minute (UTC); over more
// than kMostWindPoints minutes, every few minutes.
inline constexpr double kWindStepSeconds = 60;
inline constexpr std::size_t kMostWindPoints = 100'000;

struct WindEstimate {
    bool Known = false; // somewhere in the race
    double FromDeg = 0; // the race's mean: where the wind comes from, degrees true
    WindSource Source = WindSource::Unknown;
    bool Given = false; // Source == Given
    // Estimated: the tacks and gybes the series rests on (with fewer than three together there
    // is no estimate). Given or measured: the tacks and gybes found with it.
    int Tacks = 0;
    int Gybes = 0;
    // The wind over time, in time order: estimated or measured, every kWindStepSeconds; given,
    // its moments (straight between them, the first before them and the last after them).
    std::vector<WindPoint> Series;
    double StepSeconds = 0; // between the points of an estimated or measured series; 0 for given moments

    // Where the wind comes from at a moment (date value), degrees true, 0 up to 360: straight
    // between the points of the series (the short way round), NaN where it is not known
    // (beyond half a step from a known point of an estimated or measured series).
    double At(double dateValue) const;
};

// Turns between steady courses of this size tell the wind's axis.
inline constexpr double kAxisTurnMinDeg = 40;
inline constexpr double kAxisTurnMaxDeg = 120;
// The fewest tacks and gybes an estimate rests on.
inline constexpr int kFewestForWind = 3;

// A boat's motion and its start (date value), for the estimate.
struct WindBoat {
    const BoatMotion* Motion = nullptr;
    double StartTime = 0;
};

// The wind over the race from the turns of the fleet's boats; not Known (and never a guess)
// when fewer than kFewestForWind tacks and gybes share an axis. Its series spans the boats'
// fixes.
WindEstimate EstimateWind(const std::vector<WindBoat>& boats);

// A wind of one direction.
WindEstimate GivenWind(double fromDeg);

// How far `wind` lies from `reference` over the moments both know (the points of the
// reference's series, of a measured one those measured): the mean signed difference (positive: `wind` is veered,
// clockwise of the reference), the mean absolute difference and the moments compared. NaN without any.
struct WindDifference {
    double MeanDeg = kNoValue;
    double MeanAbsoluteDeg = kNoValue;
    int Moments = 0;
};
WindDifference CompareWinds(const WindEstimate& wind, const WindEstimate& reference);

// The circular mean of the known points of a series (degrees true), NaN without any.
double MeanWindDeg(const std::vector<WindPoint>& series);

} // namespace tideplot
