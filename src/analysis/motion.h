#pragma once

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

// A boat's motion from its track: the speed and course over ground at every fix, smoothed
// against the noise of the GPS, and the large changes of course it made (its turns), found
// without knowing the wind. Everything here is a pure function of the fixes: no shared state,
// so boats may be analysed on worker threads.
namespace tideplot {

inline constexpr double kMetresPerKnotSecond = 1852.0 / 3600.0; // a knot in metres a second
inline constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();

// One fix of a boat's track with the boat's smoothed motion there: 20 bytes, so the fixes of
// a 64-boat 24-hour race logged once a second (5.5 million) take 110 MB.
struct MotionSample {
    std::int32_t Seconds = 0; // since the boat's own start (negative before the gun); track times are whole seconds
    std::int32_t Lat7 = 0;    // the fix as logged, in 1e-7 degrees (north and east positive)
    std::int32_t Lon7 = 0;
    float SpeedKn = kNoValue;   // smoothed speed over ground, knots; NaN where it cannot be told
    float CourseDeg = kNoValue; // smoothed course over ground, degrees true, 0 up to 360; NaN likewise

    double Lat() const { return Lat7 * 1e-7; }
    double Lon() const { return Lon7 * 1e-7; }
};

// How a track was logged, told from its fixes: the usual time between fixes and the noise
// of a position, and the time windows the smoothing takes from them.
struct TrackCharacter {
    double IntervalSeconds = 1;  // the median time between consecutive fixes
    double NoiseMetres = 0;      // the fix-to-fix scatter of a position, per axis (one standard deviation)
    double TurnHalfWindow = 0;   // seconds either side of a fix for the course through a turn
    double SteadyHalfWindow = 0; // the most seconds either side of a fix for its speed and course
};

// A large change of course (20 degrees or more within about twenty seconds), found without
// the wind. Times are seconds since the boat's start.
struct Turn {
    double StartSeconds = 0;    // the course leaves the steady course before (a tenth of the turn made)
    double EndSeconds = 0;      // the course is steady on the course after (nine tenths made)
    double HalfSeconds = 0;     // half of the turn made
    double CourseBeforeDeg = 0; // the steady courses either side, 0 up to 360
    double CourseAfterDeg = 0;
    double TurnDeg = 0; // signed: positive turning to starboard (clockwise), beyond 180 for a turn that goes round
    double SpeedBeforeKn = 0;
    double MinSpeedKn = 0;       // the least speed from the start of the turn until the speed is regained
    double SpeedAfterKn = 0;     // the speed when it is regained (or the most it reached)
    double RecoveredSeconds = 0; // when the speed is regained: the end of the loss's reckoning
    // The loss's reckoning from StartSeconds to RecoveredSeconds, in metres east and north:
    // the distance the boat would have made good at its velocity before the turn, less the
    // distance it made good. Its component along an axis is the distance lost along it.
    double ShortfallEast = 0;
    double ShortfallNorth = 0;
    // The course before and after was each sailed steadily for long enough to be measured
    // (about ten seconds or more): only such turns tell the wind.
    bool Steady = false;
    // The course through the turn: seconds after StartSeconds, and degrees turned from
    // CourseBeforeDeg (signed as TurnDeg), at every fix from StartSeconds to EndSeconds.
    std::vector<float> TraceSeconds;
    std::vector<float> TraceTurnedDeg;
};

// A boat's motion: its smoothed speed and course at its fixes, the turns in time order, how
// long the boat sailed steadily at each course, and the distance it sailed.
struct BoatMotion {
    // Every KeptEvery-th fix the analysis took (the first and the last always).
    std::vector<MotionSample> Samples;
    int KeptEvery = 1;
    std::vector<Turn> Turns;
    TrackCharacter Character;
    // Seconds sailed steadily (not turning, 1.5 knots or more) at each course, in 5-degree bins
    // from 0: what the fleet's courses look like, for telling upwind from downwind.
    std::array<float, 72> SteadyCourseSeconds{};
    double DistanceNm = 0;     // sailed from the start (or the first fix after it) to the last fix
    double SailingSeconds = 0; // the time that took
};

// What the analysis took of a track file and what it left out.
struct TrackReading {
    std::size_t Fixes = 0; // taken
    // Fixes whose time is not after the fix kept before them (a log that goes back in time).
    long PassedOver = 0;
    long FirstPassedOverLine = 0;
    // Glitches: fixes out of reach at 50 knots of the track either side, left out of speed,
    // distance and manoeuvres.
    long Glitches = 0;
    long FirstGlitchLine = 0;
    // Jumps: the track goes on out of reach of where it was; nothing is measured across.
    long Jumps = 0;
    long FirstJumpLine = 0;
};

// The most fixes of one track the analysis takes: 116 days logged once a second. A longer
// track (a hostile or broken file) is refused.
inline constexpr std::size_t kMostFixesPerBoat = 10'000'000;
// A track is analysed in pieces of at most this many fixes (a day logged every second is one
// piece), each with some minutes of the track either side, so that its memory stays that of
// a piece (about 180 bytes a fix) however long the track.
inline constexpr std::size_t kPieceFixes = 100'000;

struct TrackAnalysisOptions {
    std::size_t MostFixes = kMostFixesPerBoat;
    // The most samples kept (every n-th of the fixes); 0: every fix.
    std::size_t MostSamplesKept = 0;
    // The most turns kept; more are refused. 0: no limit.
    std::size_t MostTurns = 0;
    std::size_t PieceFixes = kPieceFixes;
    // When set (by another thread), the analysis stops at its next piece, with what it had.
    const std::atomic<bool>* Cancel = nullptr;
    // When set, every sample is handed to it in time order, and none is kept (nor any turn).
    std::function<void(const MotionSample&)> EverySample;
};

// Reads a boat's track file (as the replay takes it: TrackFixReader) and analyses it: smooths
// the speed and course at every fix and finds the turns. `startTime` is the boat's start (a
// date value): Seconds count from it. A fix whose time is not after the fix kept before it is
// passed over; glitches are left out and jumps split the track (FixFilter). A track longer
// than a piece is read twice: once for how it was logged (its interval and noise), once to
// analyse it piece by piece. Throws Error naming the file, the line and the field of a line
// that cannot be read, at a fix beyond the MostFixes-th, and at a turn beyond the MostTurns-th.
// Cheap: a day at one fix a second takes some tens of milliseconds.
BoatMotion AnalyseTrack(const std::string& path, char sep, double startTime, const TrackAnalysisOptions& options,
                        TrackReading& reading);

// Angles in degrees: `a - b` brought into -180 up to 180, and an angle brought into 0 up to 360.
inline double AngleDifference(double a, double b)
{
    const double d = a - b;
    const double wrapped = d - 360.0 * std::floor((d + 180.0) / 360.0);
    return wrapped >= 180 ? wrapped - 360 : wrapped;
}
inline double NormalDegrees(double degrees)
{
    const double d = degrees - 360.0 * std::floor(degrees / 360.0);
    return d >= 360 || d < 0 ? 0 : d;
}

// The velocity made good towards the wind, knots (positive towards it): speed x cos(course -
// wind direction), `windFromDeg` where the wind comes from. NaN where the speed is.
inline float VmgKn(const MotionSample& sample, double windFromDeg)
{
    constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;
    return static_cast<float>(sample.SpeedKn * std::cos((sample.CourseDeg - windFromDeg) * kRadiansPerDegree));
}

} // namespace tideplot
