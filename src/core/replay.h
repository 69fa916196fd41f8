#pragma once

#include "geometry.h"
#include "records.h"
#include "trackfixes.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The replay engine: a race file becomes the race state, and every step moves each
// boat on corrected time, draws the piece of track it sailed since the last step and
// frames the camera on the fleet.
//
// Corrected time: at race clock T a boat with LYS number L is shown where it was T / L
// after its own start, so the boat that leads on the screen leads on handicap. Under another
// handicap system the race's clock is that system's (racehandicap.h).
namespace tideplot {

struct HandicapLines;
struct RaceHandicap;

// A race replays at most 64 boats (a club race has ten to forty).
inline constexpr int kMaxBoats = 64;
// Boat number = boat index + 2 (the numbering of the track files and position slots).
inline constexpr int kFirstBoatNumber = 2;
// The race clock at the start of a replay: minus five minutes, in days.
inline constexpr double kRaceClockAtStart = -5.0 / 60 / 24;
// Two track points this far apart or more are a gap in the log: nothing is drawn.
inline constexpr double kGapDays = 5.0 / 24 / 60;
// A start this long before its track's first fix is refused: a year typed wrong would
// replay years of empty race time.
inline constexpr double kMaxStartBeforeTrackDays = 7;

// The resolutions a replay takes, in seconds of race time per step. At the lowest, the
// five minutes before the start take 30000 steps, within the 32768 that the wide-plot
// countdown can run down before the clock passes 0; at the highest a step is a day.
inline constexpr double kMinResolutionSeconds = 0.01;
inline constexpr double kMaxResolutionSeconds = 86400;
// Whether `seconds` is a resolution a replay takes (the command line's --resolution, the
// control window's Resolution box).
bool ValidResolution(double seconds);
// What is wrong with a resolution typed as text, or "" when it is a number (NumberOfText)
// that ValidResolution takes: "\"0\" is not a number of seconds from 0.01 to 86400".
std::string ResolutionProblem(std::string_view text);

// The replay's settings as numbers: the race time each step moves the clock on, and the
// steps from one wide plot to the next (1 or less: every step after the start is wide).
struct ReplaySettings {
    double ResolutionSeconds = 10;
    std::int16_t StepsPerWidePlot = 90;
};

// The tail: the chart and the web page draw only the last minutes of race time. 0 draws the
// whole track; any other tail lies from six seconds to longer than any race.
inline constexpr double kMinTailMinutes = 0.1;
inline constexpr double kMaxTailMinutes = 1e6;
inline bool TailMinutesAccepted(double minutes)
{
    return minutes == 0 || (minutes >= kMinTailMinutes && minutes <= kMaxTailMinutes);
}
// "0 (the whole track) or 0.1 to 1000000 minutes": the tails taken, for messages.
inline constexpr const char* kTailRangeText = "0 (the whole track) or 0.1 to 1000000 minutes";

// The settings as the control window's boxes and the command line give them: the
// resolution a number that ValidResolution takes, the points a number that rounds to a
// whole number from -32768 to 32767. Throws Error naming the setting ("Resolution: ...",
// "Points (steps between wide plots): ...").
ReplaySettings ReadReplaySettings(std::string_view resolutionText, std::string_view pointsText);

// A piece of track the replay drew: boat `Boat` (its index in the race file, from 0) sailed
// from `From` to `To` in step `Step` (from 1), whose positions are those of race clock
// `RaceClock` (days of corrected time since the start), drawn `Width` pixels wide (1, or 5
// at a wide plot). Only Lat and Lon of the two points count.
struct DrawnPiece {
    std::int32_t Step = 0;
    std::int16_t Boat = 0;
    std::int16_t Width = 1;
    double RaceClock = 0;
    TrackPoint From;
    TrackPoint To;
};

// What one step did for one boat, in numbers.
struct BoatStep {
    // The boat was handled in this step: its track file was not yet at its end. A boat
    // not moved keeps the position and the distance of its last step.
    bool Moved = false;
    // Where the boat is shown (none before its previous track point is known).
    bool HasPosition = false;
    TrackPoint Position;
    // Its distance in nautical miles to the first boat's next track point (boats after
    // the first, when both have a position).
    bool HasDistance = false;
    double DistanceNm = 0;
    // The piece of track drawn in this step, from the boat's last position to this one.
    bool Drawn = false;
    TrackPoint From;
    TrackPoint To;
    // Course (degrees from north) and speed (knots) over ground on the leg between the two
    // track points around the boat's time; 0 without a position.
    double CourseDeg = 0;
    double SpeedKnots = 0;
    // The track file is at its end after this step: the boat is not moved again.
    bool TrackEnded = false;
};

// What one step did: the race clock of its positions (before the clock moves on), the
// width of its pieces, the box the camera was framed on, and every boat in race file order.
struct StepOutcome {
    double RaceClock = 0; // days
    std::int16_t LineWidth = 1;
    bool CameraSet = false;
    TrackPoint BoxMin; // south-west corner; its longitude may lie beyond -180 across the meridian
    TrackPoint BoxMax; // north-east corner; its longitude may lie beyond 180
    // The box of the last step up to this one that framed the camera: where the view
    // stands after this step (none before the first piece is drawn).
    bool ViewBoxSet = false;
    TrackPoint ViewBoxMin;
    TrackPoint ViewBoxMax;
    std::vector<BoatStep> Boats;
};

// The open track files of a race, by boat index. A copy reads the very files the original
// opened (a file put in one's place under its name meanwhile is not read), each through a
// handle of its own standing where the original stands, so that a copy of the race state
// plays on by itself (the count of a race's steps on the pool); it throws Error when no
// handle is left.
class OpenTrackFiles : public std::array<std::unique_ptr<TrackLineReader>, kMaxBoats> {
public:
    OpenTrackFiles() = default;
    OpenTrackFiles(const OpenTrackFiles& other);
    OpenTrackFiles(OpenTrackFiles&&) noexcept = default;
    OpenTrackFiles& operator=(const OpenTrackFiles&) = delete;
    OpenTrackFiles& operator=(OpenTrackFiles&&) noexcept = default;
    ~OpenTrackFiles() = default;
};

// Everything the replay keeps between steps. Per-boat values are indexed by boat
// index k (0 to 63); the three position arrays by boat number k + 2, as the track
// files are numbered (slots 0 and 1 belong to no boat).
struct RaceState {
    std::string RaceFileName;
    std::int16_t BoatCount = 0;

    std::array<double, kMaxBoats> StartTime{};
    std::array<double, kMaxBoats> BoatLys{};
    std::array<std::int32_t, kMaxBoats> BoatColour{};
    std::array<char, kMaxBoats> SepChar{};
    std::array<std::string, kMaxBoats> BoatName;
    std::array<std::string, kMaxBoats> EntryTrackFile; // the track file as the boat's entry names it
    std::array<long, kMaxBoats> EntryLine{};           // line of the boat's entry in the race file
    std::array<std::string, kMaxBoats> NextLine;
    std::array<std::string, kMaxBoats> PrevLine;
    OpenTrackFiles TrackFile; // a copy of the state reads them through files of its own

    // The handicap lines StartReplay takes in place of the course file's (the command line's
    // --handicap and --ratings); null: the course file's.
    std::shared_ptr<const HandicapLines> HandicapSource;
    // StartReplay leaves the handicap to its caller (the results, which give their course).
    bool ScoresOnly = false;
    // Each step measures the boats' distances to the first boat (BoatStep::DistanceNm); off
    // where nothing shows them (a replay that only counts its steps, or writes no output).
    bool MeasureDistances = true;
    // The race's handicap (racehandicap.h), set by StartReplay; null when the course file says
    // nothing of one: every boat runs on its LYS number, as it always has.
    std::shared_ptr<const RaceHandicap> Handicap;

    std::array<TrackPoint, kMaxBoats + kFirstBoatNumber> PrevPoint{};
    std::array<TrackPoint, kMaxBoats + kFirstBoatNumber> NextPoint{};
    std::array<TrackPoint, kMaxBoats + kFirstBoatNumber> LastPlotted{};
    // The distance to the first boat that the boat's last step showed (none: empty).
    std::array<double, kMaxBoats> LastDistance{};
    std::array<bool, kMaxBoats> HasLastDistance{};

    double RaceClock = 0;           // days of corrected time since the start
    std::int16_t PlotCountdown = 0; // steps left to the next wide plot; kept across replays
    std::int16_t LineWidth = 1;

    Leg StepLeg;
    TrackPoint StepPosition;
    TrackPoint BoxMin;
    TrackPoint BoxMax;
    // The box the camera was framed on last.
    bool ViewBoxSet = false;
    TrackPoint ViewBoxMin;
    TrackPoint ViewBoxMax;
    // The longitude of the first position drawn in the step: the box's longitudes are
    // taken within 180 degrees of it, so a fleet across the 180th meridian has a small box.
    double BoxReferenceLon = 0;
    bool BoxHasReference = false;
};

// A boat entry of a race file and the line it stands on.
struct RaceFileEntry {
    BoatEntry Entry;
    long Line = 0;
};

// The boat entries of a race file, read one line at a time. Throws Error naming the file
// and line when the file cannot be read or holds no entry, when an entry cannot be read,
// and at a 65th entry, before reading on: "a 65th boat entry; <limitWording> 64 boats".
std::vector<RaceFileEntry> ReadRaceFileEntries(const std::string& raceFileName, std::string_view limitWording);

// Throws Error naming line `line` of the race file when `firstLine`, the first line of the
// track file `path` (named `trackFile` in the entry), starts a log (KML, GPX or a KMZ
// archive) rather than track lines, and tells to import it first.
void RefuseLogForTrackFile(std::string_view firstLine, const std::string& raceLabel, long line, const std::string& path,
                           const std::string& trackFile);

// Loads the race file `state.RaceFileName`: reads every boat entry and opens every
// boat's track file past its header lines. Relative track file names are taken from the
// race file's folder. Throws Error naming the file, the line and the fault (a race of more
// than 64 boats is refused before any track file is opened); the track files opened so
// far are closed then. Then the race's handicap (ApplyRaceHandicap, and a time-on-distance
// race's replay clocks from its results), unless state.ScoresOnly; its errors are thrown too.
void StartReplay(RaceState& state);

// After StartReplay: reads boat k's track file on to its end as the replay reads it,
// without placing the boat, and calls `onFix` with each fix in turn. Refuses what the
// replay refuses, with the replay's messages (naming the file, the line and the boat's
// entry): a line that cannot be read, a start more than kMaxStartBeforeTrackDays before
// the track's first fix, a last line without a fix that does not read as a track point.
// For the readers that need every fix of a race the replay would replay (the results).
void ReadTrackToEnd(RaceState& state, int k, const std::function<void(const TrackLine&)>& onFix);

// The legend caption of boat k: its display name, a blank and its LYS number ("Elsa.txt 1",
// "Saga.txt 1.05"), or its rating under another handicap system ("Elsa 1.025"), the name
// its pieces are drawn under.
std::string LegendCaption(const RaceState& state, int k);

// One tick of the replay: moves the race clock on by the resolution after placing every
// boat, and says what it did in `outcome`. Throws Error naming the file, line and fault.
void ReplayStep(RaceState& state, const ReplaySettings& settings, StepOutcome& outcome);

// The race state between two steps, without its open files: where each track file is read
// to, and everything the next step uses. A replay goes back (or on) to it with
// RestoreCheckpoint, and its next steps are those it took from there before.
struct RaceCheckpoint {
    struct Boat {
        TrackLineReader::Position File;
        bool Open = false;
        std::string NextLine, PrevLine;
        TrackPoint PrevPoint, NextPoint, LastPlotted;
        double LastDistance = 0;
        bool HasLastDistance = false;
    };
    double RaceClock = 0;
    std::int16_t PlotCountdown = 0;
    std::int16_t LineWidth = 1;
    bool ViewBoxSet = false;
    TrackPoint ViewBoxMin, ViewBoxMax;
    std::vector<Boat> Boats;
};
RaceCheckpoint SaveCheckpoint(const RaceState& state);
// Throws Error when a track file cannot go back (a pipe).
void RestoreCheckpoint(RaceState& state, const RaceCheckpoint& checkpoint);

// Closes every open track file.
void CloseTrackFiles(RaceState& state);

// True when every loaded boat's track file is at its end (nothing is left to draw).
bool AllTrackFilesAtEnd(RaceState& state);

// What to say when an open track file was written to since the race was opened (its lines
// no longer stand where the replay found them): "\"boat1.txt\" was changed while the replay
// had it open; Start the replay again to replay it as it is now". "" when none was.
std::string ChangedTrackFileText(const RaceState& state);

// The path of a track file named in a boat entry: a relative name is taken from the
// race file's folder; "\" separates folders as well as "/".
std::string ResolveTrackFile(const std::string& raceFileName, const std::string& trackFile);

} // namespace tideplot
