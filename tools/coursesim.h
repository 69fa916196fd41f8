#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// A windward-leeward race sailed lap after lap round a course whose every start, rounding and
// finish is known: for testing the results by the course. Boats beat to the windward mark W
// in tacks, run to the leeward mark L in gybes and round both to port, in a wind that swings
// slowly (the tacks' and gybes' courses follow it; the marks stay). The start line lies across
// the first beat, the finish line higher up it: the boats cross the finish line on every beat
// and finish at their crossing on the beat after the last lap's leeward mark. A boat may be
// over the start line at its gun, coming back or not, and may leave W on the wrong side on a
// lap. Positions are logged with GPS noise at the interval asked for.
//
// The boats sail by geometry, not physics: a steady speed per boat, tacks and gybes turned at
// a steady rate, mark roundings on a circle of kRoundingRadius metres, so what a boat does is
// what it was told. The truth (TrueBoat) is worked out from the boats' positions every fifth
// of a second by this program's own reading of the rules (a crossing of each mark's half-line
// in the mark's sense, the finish after the last mark).
namespace tideplot::coursesim {

inline constexpr double kRoundingRadius = 15;

struct BoatPlan {
    double Lys = 1;
    double SpeedKn = 5;
    int GunAfterFirst = 0;       // seconds from the first gun to this boat's
    double CrossAfterGun = 10;   // seconds after its gun it reaches the start line; negative: over early
    bool ComesBack = true;       // an early boat dips back below the line and starts again
    int WrongSideLap = 0;        // the lap on which it leaves W to starboard; 0: never
    double LineOffsetMetres = 0; // where it crosses the start line, from its middle to the right
    double LaneMetres = 180;     // how far off the course's axis it tacks and gybes
};

struct RaceOptions {
    std::filesystem::path Out;
    std::string RaceName = "race";
    std::vector<BoatPlan> Boats;
    int Laps = 2;
    double BeatMetres = 1200;       // L to W, along the mean wind
    double StartAboveMetres = 150;  // the start line above L
    double FinishAboveMetres = 700; // the finish line above L
    double WindFromDeg = 220;
    double WindSwingDeg = 12; // amplitude of the swing
    double WindPeriodSeconds = 1500;
    int IntervalSeconds = 2;
    double NoiseMetres = 1.5;
    unsigned long long Seed = 1;
    double Lat = 57.6; // the leeward mark
    double Lon = 11.5;
    std::string FirstStart = "2008-06-21 11:00:00";
};

struct TrueBoat {
    std::string File;
    std::string Status; // "finished", "OCS", "missed W lap 2", "DNF"
    bool Ocs = false;
    // At its gun: metres to the start line (negative over it) and the place along it, from P1
    // (0) to P2 (1).
    double LineMetresAtGun = 0;
    double LinePositionAtGun = 0;
    std::optional<double> StartSeconds; // after its gun
    std::vector<double> RoundingSeconds;
    std::optional<double> FinishSeconds;
};

struct TrueRace {
    std::filesystem::path RaceFile;
    std::vector<std::string> CourseLines; // written into the course file too
    std::vector<TrueBoat> Boats;
};

// Writes the race file, the track files and the course file; returns the truth. Throws
// std::runtime_error when a file cannot be written.
TrueRace WriteRace(const RaceOptions& options);

} // namespace tideplot::coursesim
