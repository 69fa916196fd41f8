#pragma once

#include "coursesailed.h"
#include "manoeuvres.h"
#include "motion.h"
#include "wind.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A boat's race leg by leg: from its start to the first mark, from mark to mark, and from the
// last mark to the finish, each leg as far as the boat sailed it whole.
//
// A leg's kind comes from the wind at its middle and the bearing from where it starts (the
// start line's middle, the mark or the gate's middle; without a start line the boat's position
// at the gun) to where it ends: upwind within kUpwindLegDeg of the wind's eye, downwind within
// kUpwindLegDeg of dead downwind, a reach otherwise (no kind for a leg that ends where it
// starts, a lap of one mark). Its distance is the speed over ground
// summed over its time, its VMG the velocity made good along the wind of each moment (towards
// it upwind, away from it downwind), on a reach the velocity made good towards the leg's end
// (VMC); its tacks and gybes those whose middle lies in it, their mean loss, and the time on
// each tack as the boat's totals count it. At its end, the boat's rank among those that ended
// the leg, by corrected time (elapsed from the gun x LYS, as the results rank), and the
// corrected time behind the first of them.
namespace tideplot {

class CourseGeometry;
struct BoatAnalysis;

enum class LegKind { Unknown, Upwind, Downwind, Reach };

// "upwind", "downwind", "reach"; "" when the wind is not known.
std::string_view LegKindName(LegKind kind);

inline constexpr double kUpwindLegDeg = 45;

struct LegAnalysis {
    std::string From;      // "start", or the mark or gate it starts at
    std::string To;        // the mark or gate it ends at, or "finish"
    int Lap = 1;           // of the mark it ends at; the last lap's for the finish
    std::size_t Place = 0; // the place of the course's sequence it ends at; the sequence's size for the finish
    LegKind Kind = LegKind::Unknown;
    double StartSeconds = 0; // after the boat's gun
    double EndSeconds = 0;
    double DistanceNm = 0;
    double MeanSpeedKn = kNoValue;
    double VmgKn = kNoValue; // NaN when the wind is not known over half the leg or more
    int Tacks = 0;
    int Gybes = 0;
    double MeanLossMetres = kNoValue; // of its tacks and gybes; NaN without
    double PortSeconds = 0;
    double StarboardSeconds = 0;
    int Rank = 0;
    double GapSeconds = kNoValue; // corrected, behind the first to end the leg

    double Seconds() const { return EndSeconds - StartSeconds; }
};

// The legs the boat sailed whole, in order; none before its start.
std::vector<LegAnalysis> BoatLegs(const CourseGeometry& course, const BoatAnalysis& boat, const WindEstimate& wind);

// Each leg's rank and gap at its end, among the boats (each with its legs and LYS).
void RankLegs(std::vector<BoatAnalysis>& boats);

// Seconds on port and on starboard tack from `from` to `to` seconds after the boat's start
// (the wind taken every 5 s); nothing where the wind is not known.
void TimeOnEachTack(const BoatMotion& motion, double startTime, const WindEstimate& wind, double from, double to,
                    double& port, double& starboard);

} // namespace tideplot
