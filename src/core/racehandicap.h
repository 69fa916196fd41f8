#pragma once

#include "handicap.h"
#include "handicapfile.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

// A race's handicap: the system of its course file (handicapfile.h) and each boat's rating
// under it, made ready for the results and the replay.
//
// The replay's clock. At race clock C a boat is shown where it was at the elapsed time h
// whose clock value R(h) is C, so the boat that leads on the screen leads on R.
// Time-on-time: R(h) = factor x h, the corrected time itself (as LYS always was).
// Time-on-distance: corrected = S x h - P x D (S the time scale, 1 or PLT; P the allowance a
// mile; D the course distance). The clock gives every boat the fleet's largest allowance
// K = max(P x D) less its own, earned in proportion to the course sailed:
//     R(h) = S x h + (K - P x D) x q(h)
// where q(h), from 0 to 1, is the fraction of the course's legs the boat has sailed by h: the
// fraction at each mark it rounded (legs to the mark / all legs), 1 at its finish, straight
// between them; without marks, h / its elapsed time at the finish. A boat that does not
// finish keeps the fraction of its last rounding. q never falls and K - P x D is never
// below 0, so R rises with h for every boat; at the finish R = corrected + K, the same K for
// every boat, so the boats cross the line on the replay in the order of the results.
namespace tideplot {

struct RaceState;
struct BoatResult;
struct Course;
class CourseGeometry;

struct BoatHandicap {
    Rating Value;         // the rating taken (under lys: the race file's LYS unless rated)
    double Factor = 1;    // time-on-time: corrected = elapsed x Factor
    double Scale = 1;     // time-on-distance: S
    double Allowance = 0; // time-on-distance: P x D, seconds
    // The replay clock's knots: elapsed (days) and q, from (0, 0); time-on-distance only.
    std::vector<std::array<double, 2>> Progress;
};

struct RaceHandicap {
    Handicap Rule;
    double DistanceNm = 0;       // the course distance time-on-distance takes (0 for time-on-time)
    double LargestAllowance = 0; // K, seconds
    std::array<BoatHandicap, 64> Boats;

    // Boat k's corrected time after `elapsedSeconds`, having sailed `fraction` of the course
    // (1 at the finish).
    double Corrected(int k, double elapsedSeconds, double fraction) const;
    // The boat's elapsed time (days) at race clock `clockDays`, and the race clock at an
    // elapsed time (R(h), days).
    double ElapsedAtClock(int k, double clockDays) const;
    double ClockAtElapsed(int k, double elapsedDays) const;
    // The rating as the tables show it: "1.025", "1.0377 623.4".
    std::string RatingShown(int k) const { return RatingText(Boats[static_cast<std::size_t>(k)].Value); }
};

// Applies the handicap lines to a race loaded by StartReplay (state.HandicapSource, or its
// course file's lines): each named boat's name, each boat's rating. `course` is the course
// whose length time-on-distance takes without a distance line (null: the course file's,
// read when needed). Lines that change nothing (HandicapLines::Neutral) leave state.Handicap
// null: the race is scored by LYS as it always was. Throws Error: a track file named by two entries
// of a race that has ratings or names ("... is named twice in the race"); a boat without a
// rating under a system that needs one, by name; time-on-distance without a distance line
// or a course with marks.
void ApplyRaceHandicap(RaceState& state, const Course* course);

// The replay's handicap: ApplyRaceHandicap by the course file, then for time-on-distance the
// replay clocks from the results by the course file (none without its finish line: every
// boat earns no allowance then). StartReplay calls it.
void PrepareReplayHandicap(RaceState& state);

// The replay's clocks of a time-on-distance race from its results (race file order), the
// course's fractions at each mark from `geometry` (null: by time alone).
void SetReplayClocks(RaceHandicap& handicap, const std::vector<BoatResult>& results, const CourseGeometry* geometry);

// The fraction of the course's legs sailed at each place of its sequence.
std::vector<double> CourseFractions(const CourseGeometry& geometry);

} // namespace tideplot
