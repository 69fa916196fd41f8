#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A race sailed by simulated boats whose every manoeuvre is known: for testing the race
// analysis. Boats sail a windward-leeward course (optionally with a wing mark) round marks left
// to port, tacking up the beats and gybing down the runs, in a wind of known direction that
// swings slowly and may shift over the race, linearly or in steps. Tacks cost speed (the boat
// stops head to wind, then accelerates), gybes
// a little; each boat has its own angles, rates of turn and acceleration. Positions are logged
// with GPS noise (a jitter on every fix and a slow wander) at the intervals asked for, some
// fixes lost.
//
// The truth is kept as the analysis defines it: a manoeuvre whose heading passes through the
// wind's direction of that moment is a tack, one through dead downwind a gybe, anything else
// a turn; its
// middle is the moment the heading crosses that axis; its loss the distance lost along the
// axis, from two seconds before the helm goes over to when the speed is back to 99 % of what
// the boat sails at, against the velocity made good of the ten seconds before.
//
// The output depends only on the options: the random numbers are our own (splitmix64,
// Box-Muller).
namespace tideplot::racesim {

struct RaceOptions {
    std::filesystem::path Out;     // folder written into (created when missing)
    std::string RaceName = "race"; // the race file is Out/RaceName.TP1
    int Boats = 6;                 // 1 to 64
    double Hours = 1.5;            // sailed after each boat's start
    int IntervalMin = 1;           // seconds between logged fixes, drawn for every fix
    int IntervalMax = 1;
    double LostShare = 0; // share of fixes the logger loses
    std::uint64_t Seed = 1;
    double WindFromDeg = 220;  // the mean wind, degrees true
    double WindSwingDeg = 3;   // amplitude of its slow swing
    double WindShiftDeg = 0;   // the wind shifts by this much (clockwise positive) from the first start to the end
    int WindShiftSteps = 0;    // 0: linearly; else in this many equal steps of six minutes each
    double SpeedScale = 1;     // boat speeds against the polar (about 5 knots close-hauled)
    double NoiseMetres = 2;    // GPS jitter per axis, one standard deviation, every fix
    double DriftMetres = 2;    // GPS wander per axis, one standard deviation
    double DriftSeconds = 120; // its correlation time
    double UpwindMinDeg = 39;  // each boat's true wind angle close-hauled, drawn from this range
    double UpwindMaxDeg = 46;
    double DownwindMinDeg = 20; // each boat's angle off dead downwind on a run
    double DownwindMaxDeg = 40;
    double TurnRateMin = 6; // each boat's rate of turn in tacks and gybes, degrees a second
    double TurnRateMax = 12;
    double BeatNm = 1;     // length of the beat
    bool WingMark = false; // a reach to a wing mark after the windward mark
    double Lat = 57.6;     // the leeward mark
    double Lon = 11.5;
    std::string FirstStart = "2008-06-21 11:00:00";
};

struct TrueManoeuvre {
    std::string Kind;         // "tack", "gybe", "turn"
    double MiddleSeconds = 0; // since the boat's start
    double StartSeconds = 0;  // the helm goes over
    double EndSeconds = 0;    // the new heading reached
    double LossMetres = 0;    // tacks and gybes
    double TurnDeg = 0;       // signed, positive to starboard
    bool AtMark = false;      // a rounding of a mark of the course (whatever its kind by the wind)
};

// The boat's true motion at a logged fix.
struct TrueFix {
    std::int32_t Seconds = 0; // since the boat's start
    float SpeedKn = 0;
    float CourseDeg = 0;
};

struct TrueBoat {
    std::string File;      // track file name in Out
    std::string StartText; // "YYYY-MM-DD hh:mm:ss"
    double Lys = 1;
    std::vector<TrueManoeuvre> Manoeuvres;
    std::vector<TrueFix> Fixes;
};

// The wind at a moment.
struct TrueWind {
    double Time = 0; // date value
    double FromDeg = 0;
};

struct TrueRace {
    std::filesystem::path RaceFile;
    double WindFromDeg = 0;     // the wind in the middle of the race, without its swing
    std::vector<TrueWind> Wind; // every ten seconds, from ten minutes before the first start to the end
    std::vector<TrueBoat> Boats;

    // The wind at a moment (date value), degrees true.
    double WindAt(double time) const;
};

// Writes the race file and the track files; returns the truth. Throws std::runtime_error
// when a file cannot be written.
TrueRace WriteRace(const RaceOptions& options);

// The truth as JSON: {"wind_from_deg": W, "boats": [{"row": 1, "file": ..., "start": ...,
// "manoeuvres": [{"kind": ..., "middle_s": ..., "time": "...Z", "turn_deg": ..., "loss_m": ...,
// "at_mark": true|false}]}],
// "wind": [{"time": "...Z", "from_deg": ...}]} (the wind every minute).
std::string TruthJson(const TrueRace& race);

} // namespace tideplot::racesim
