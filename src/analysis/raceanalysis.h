#pragma once

#include "core/course.h"
#include "core/error.h"
#include "core/windline.h"
#include "coursesailed.h"
#include "legs.h"
#include "manoeuvres.h"
#include "motion.h"
#include "startreport.h"
#include "wind.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The analysis of a whole race: every boat's motion and manoeuvres, and the wind over the race,
// given, measured by the boats' instruments or estimated from the fleet. The result is plain
// data: a window may compute it on a worker thread and read it on its own, and apply another
// wind to it cheaply (SetWind).
namespace tideplot {

struct RaceState;

// A boat as the analysis takes it: its track file and what the race file says of it.
struct BoatSource {
    std::string TrackPath; // as opened (a relative name taken from the race file's folder)
    char Sep = ',';
    double StartTime = 0; // date value of the boat's own start
    double Lys = 1;
    std::string Name;    // display name, as the legend shows it (bytes of the race file)
    std::string Caption; // legend caption: name and LYS number
    long Row = 0;        // line of the boat's entry in the race file, from 1
    std::int32_t Colour = 0;
};

// The boats of a race loaded by StartReplay, in race file order, with their track files as the
// replay opened them (so call it while they are open: before CloseTrackFiles). Plain data: take
// it on the thread the race state lives on and hand it to AnalyseRace on any.
std::vector<BoatSource> BoatSources(const RaceState& state);

// A boat's numbers for a table, from its own start on: the manoeuvres before it are not
// counted, nor are its roundings.
struct BoatSummary {
    double DistanceNm = 0;  // sailed from the start to the last fix
    double MeanSpeedKn = 0; // over that time; 0 without it
    int Tacks = 0;
    int Gybes = 0;
    double MeanTackLossMetres = kNoValue; // NaN without tacks
    // Seconds from the start on port tack (the wind over the port side) and on starboard
    // tack, with a wind.
    double PortSeconds = 0;
    double StarboardSeconds = 0;
};

struct BoatAnalysis {
    BoatSource Source;
    // Its motion; Motion.Samples holds every Motion.KeptEvery-th fix (the first and the last
    // always) when the race had more fixes than AnalysisOptions::MostSamplesKept.
    BoatMotion Motion;
    TrackReading Reading;              // what was taken of its track and what was left out
    std::vector<Manoeuvre> Manoeuvres; // with the race's wind, those before the start too
    BoatSummary Summary;
    // What its instruments measured (its wind file: ReadMeasuredWind), or why it was left out.
    std::vector<WindPoint> MeasuredWind;
    std::string MeasuredWindError;
    // With a course: its start, roundings and finish, and the course still to sail as it went;
    // without: the distance still to sail along the wind's axis (gapseries.h).
    CourseSailed Sailed;
    std::optional<StartReport> Start; // with a start line
    std::vector<LegAnalysis> Legs;    // with a course
    // Its corrected-time gap to the leader (gapseries.h), seconds, at RaceAnalysis's
    // GapFirstTime + i x GapStepSeconds; NaN where it is not known.
    std::vector<float> GapSeconds;
};

struct RaceAnalysis {
    // The race's wind, the one the manoeuvres are judged against: given (one direction or the
    // wind lines), else measured when a boat has a wind file, else estimated.
    WindEstimate Wind;
    // The estimate from the tracks, whatever the wind is (the same as Wind when it is the estimate).
    WindEstimate Estimate;
    std::vector<TypedWind> WindLines; // as AnalysisOptions::WindLines
    std::vector<BoatAnalysis> Boats;
    // The course the boats sailed (AnalysisOptions::RaceCourse with a finish line); null without.
    std::shared_ptr<const CourseGeometry> Course;
    // The start line against the wind at the first gun, with a start line.
    std::optional<StartLineBias> LineBias;
    // The gap series' first moment (date value) and the seconds between its points; 0 without.
    double GapFirstTime = 0;
    double GapStepSeconds = 0;
};

// The analysis stopped because AnalysisOptions::Cancel was set.
class AnalysisCancelled : public Error {
public:
    AnalysisCancelled() : Error("the analysis was cancelled") {}
};

// What the analysis of a race keeps, whatever its tracks: the samples of 6 million fixes
// (120 MB: a 64-boat day logged every second is kept whole), 150,000 turns (each boat its
// share; a track with more is refused), and the pieces of at most four boats at once (about
// 18 MB each: kPieceFixes). So a race takes at most about 300 MB however long its tracks.
inline constexpr std::size_t kMostSamplesKept = 6'000'000;
inline constexpr std::size_t kMostTurnsKept = 150'000;
inline constexpr int kMostBoatsAtOnce = 4;

struct AnalysisOptions {
    std::optional<double> WindFromDeg; // given; otherwise the wind lines, measured or estimated
    std::vector<TypedWind> WindLines;  // the course file's wind lines, taken when no direction is given
    // The race's course (its course file): with a finish line, the boats' starts, roundings,
    // legs and the gap along it; without one, no legs, and the gap along the wind's axis.
    std::optional<Course> RaceCourse;
    int Threads = 0; // boats analysed at once; 0: one per processor
    // When set (by another thread), the analysis stops at its next boat with AnalysisCancelled.
    const std::atomic<bool>* Cancel = nullptr;
    // The most samples (speed and course at a fix, sizeof(MotionSample) bytes each) the result
    // keeps over the race; 0: every fix. Each boat keeps at most its share, every n-th of its
    // fixes, once its turns have been found from all of them: the turns, the manoeuvres and
    // the wind are those of every fix, a manoeuvre's position is told from the fixes kept.
    std::size_t MostSamplesKept = kMostSamplesKept;
    // Each boat's gap to the leader over time (BoatAnalysis::GapSeconds) worked out; false
    // leaves it empty, and without a course the distance along the wind's axis it rests on,
    // for a reader that shows neither (the web page). Set the wind again (SetWind) to have it.
    bool GapOverTime = true;
};

// Reads and analyses every boat's track (AnalyseTrack, each on its own; the result is the same
// however many threads), then judges every turn against the wind. Throws Error naming the
// track file, the line and the field of a line that cannot be read (the first boat's in race
// order), and a track with more fixes or turns than a boat may have.
RaceAnalysis AnalyseRace(const std::vector<BoatSource>& boats, const AnalysisOptions& options = {});

// What the analysis left out of each track, one text a track that needs one, naming its file:
// "Elsa.txt: 1 fix not later than the fix before it was left out (the first on line 202)",
// "Elsa.txt: 2 fixes out of reach at 50 knots of the track either side left out of speed,
// distance and manoeuvres (the first on line 151)", a jump, and a wind file that could not be
// read ("Elsa.wind.txt, line 12: ...; its wind was left out"). The command line prints each
// after "warning: ".
std::vector<std::string> AnalysisWarnings(const RaceAnalysis& race);

// Judges the turns of every boat anew against a wind given (or, when none is, the race's own:
// its wind lines, else measured, else estimated), and sums each boat up again: its totals, its
// start and legs, the gaps. Cheap: no track is read.
void SetWind(RaceAnalysis& race, std::optional<double> windFromDeg);

// The times of a moment `seconds` after a boat's start: its date value (the track's time base,
// UTC for almost every logger) and its race clock in days (elapsed x LYS, as the replay counts).
inline double DateValueAt(const BoatSource& boat, double seconds)
{
    return boat.StartTime + seconds / 86400.0;
}
inline double RaceClockAt(const BoatSource& boat, double seconds)
{
    return seconds * boat.Lys / 86400.0;
}

} // namespace tideplot
