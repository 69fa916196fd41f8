#pragma once

#include "geometry.h"
#include "records.h"
#include "trackfixes.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

// The replay engine: a race file becomes the race state, and every step moves each
// boat on corrected time, draws the piece of track it sailed since the last step and
// frames the camera on the fleet.
//
// Corrected time: at race clock T a boat with LYS number L is shown where it was T / L
// after its own start, so the boat that leads on the screen leads on handicap.
namespace tideplot {

// A race replays at most seven boats: the control window has seven legend rows.
inline constexpr int kMaxBoats = 7;
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

// The replay control window as the engine sees it: the texts it reads and writes.
class ControlPanel {
public:
    virtual ~ControlPanel() = default;
    virtual std::string PointPlotText() = 0;           // txtPointPlot: steps from one wide plot to the next
    virtual std::string ResolutionText() = 0;          // txtResolution: seconds of race time per step
    virtual std::string TrackInfoCaption(int row) = 0; // lblTrackInfo(row)
    // Legend row `row` (0 to 6): caption and window colour (0x00BBGGRR).
    virtual void SetTrackInfo(int row, const std::string& caption, std::uint32_t windowColour) = 0;
    virtual void SetRaceTime(const std::string& text) = 0;          // txtRaceTime
    virtual void SetDistance(int row, const std::string& text) = 0; // lblDst(row), rows 1 to 6

protected:
    // Throw Error when `row` is not a legend row (0 to 6) or not a distance row (1 to 6).
    static void CheckLegendRow(int row);
    static void CheckDistanceRow(int row);
};

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

// Where the replay draws: one straight segment per boat and step, and the camera.
class TrackPlotter {
public:
    virtual ~TrackPlotter() = default;
    virtual void PlotTrackSegment(const std::string& name, const TrackPoint& from, const TrackPoint& to,
                                  std::int32_t colourNumber, std::int16_t width) = 0;
    // Frames the view on the box between the south-west and the north-east corner.
    virtual void FrameCamera(const TrackPoint& corner1, const TrackPoint& corner2) = 0;
};

// Everything the replay keeps between steps. Per-boat values are indexed by boat
// index k (0 to 6); the three position arrays by boat number k + 2, as the track
// files are numbered (slots 0 and 1 belong to no boat).
struct RaceState {
    std::string RaceFileName;
    std::int16_t BoatCount = 0;

    std::array<double, kMaxBoats> StartTime{};
    std::array<double, kMaxBoats> BoatLys{};
    std::array<std::int32_t, kMaxBoats> BoatColour{};
    std::array<char, kMaxBoats> SepChar{};
    std::array<std::string, kMaxBoats> BoatName;
    std::array<long, kMaxBoats> EntryLine{}; // line of the boat's entry in the race file
    std::array<std::string, kMaxBoats> NextLine;
    std::array<std::string, kMaxBoats> PrevLine;
    std::array<std::unique_ptr<TrackLineReader>, kMaxBoats> TrackFile; // open track files

    std::array<TrackPoint, kMaxBoats + kFirstBoatNumber> PrevPoint{};
    std::array<TrackPoint, kMaxBoats + kFirstBoatNumber> NextPoint{};
    std::array<TrackPoint, kMaxBoats + kFirstBoatNumber> LastPlotted{};

    double RaceClock = 0;           // days of corrected time since the start
    std::int16_t PlotCountdown = 0; // steps left to the next wide plot; kept across replays
    std::int16_t LineWidth = 1;

    Leg StepLeg;
    TrackPoint StepPosition;
    TrackPoint BoxMin;
    TrackPoint BoxMax;
    // The longitude of the first position drawn in the step: the box's longitudes are
    // taken within 180 degrees of it, so a fleet across the 180th meridian has a small box.
    double BoxReferenceLon = 0;
    bool BoxHasReference = false;
};

// Loads the race file `state.RaceFileName`: reads every boat entry, opens every
// boat's track file past its header lines and writes the legend rows. Relative
// track file names are taken from the race file's folder. Throws Error naming the
// file, the line and the fault (a race of more than seven boats is refused before
// any track file is opened); the track files opened so far are closed then.
void StartReplay(RaceState& state, ControlPanel& control);

// One tick of the replay. Throws Error naming the file, line and fault.
void ReplayStep(RaceState& state, ControlPanel& control, TrackPlotter& plotter);

// Closes every open track file.
void CloseTrackFiles(RaceState& state);

// True when every loaded boat's track file is at its end (nothing is left to draw).
bool AllTrackFilesAtEnd(RaceState& state);

// The path of a track file named in a boat entry: a relative name is taken from the
// race file's folder; "\" separates folders as well as "/".
std::string ResolveTrackFile(const std::string& raceFileName, const std::string& trackFile);

} // namespace tideplot
