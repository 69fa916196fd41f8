#include "replay.h"

#include "racehandicap.h"

#include "colour.h"
#include "datetime.h"
#include "error.h"
#include "text.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>

namespace tideplot {

namespace {

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

bool HasPosition(const TrackPoint& p)
{
    return p.Lat * p.Lon != 0;
}

// A boat entry as the race file holds it, for messages about one that cannot be read.
constexpr const char* kEntryExample = "Elsa.txt , 2008-06-21 11:00:00 , 1.05 , 0 , ,";

std::string SeparatorName(char sep)
{
    if (sep == '\t')
        return "'\\t' (a tab)";
    if (sep == ' ')
        return "' ' (a blank)";
    if (static_cast<unsigned char>(sep) < 0x20 || sep == '\x7F')
        return "the control character " + QuotedText(std::string_view(&sep, 1));
    return std::string("'") + sep + "'";
}

// The separator a track line seems to use instead of `sep`: one of the usual ones found
// three times or more (the fields of a track line need three), or 0.
char LikelySeparator(std::string_view line, char sep)
{
    char best = 0;
    std::ptrdiff_t most = 2;
    for (const char candidate : {',', ';', '\t', '|', ' '}) {
        const auto count = std::count(line.begin(), line.end(), candidate);
        if (candidate != sep && count > most) {
            best = candidate;
            most = count;
        }
    }
    return best;
}

// What is wrong with a track line that cannot be read, in full: the line, what a track
// line looks like with the boat's separator, and the separator the line seems to use.
std::string TrackLineProblem(const RaceState& state, int k, std::string_view line, const std::string& reason)
{
    const char sep = state.SepChar[k];
    const auto fields = std::count(line.begin(), line.end(), sep) + 1;
    std::string text;
    if (fields < 4)
        text = "the line " + QuotedText(line) + " has " + std::to_string(fields) +
               (fields == 1 ? " field" : " fields") + " separated by " + SeparatorName(sep) +
               ", not the four of a track line";
    else
        text = reason + "; the line is " + QuotedText(line);
    const std::string example = std::string("57.70") + sep + "11.90" + sep + "20080621" + sep + "143005";
    text += ": expected a line such as " + example + " with the separator " + SeparatorName(sep) +
            " (the last character of its boat entry, " + FileLabel(state.RaceFileName) + " line " +
            std::to_string(state.EntryLine[k]) + ")";
    if (const char other = LikelySeparator(line, sep))
        text += "; this line seems to use " + SeparatorName(other);
    return text;
}

// The start of a file that is a log rather than a track file: XML (KML, GPX) or a zip
// archive (KMZ).
bool LooksLikeLog(std::string_view firstLine)
{
    const auto start = firstLine.find_first_not_of(" \t");
    return (start != std::string_view::npos && firstLine[start] == '<') || firstLine.substr(0, 4) == "PK\x03\x04";
}

void RequireFinite(double value, const TrackLineReader& file, const char* what)
{
    if (!std::isfinite(value))
        ThrowAt(FileLabel(file.Path()), file.LineNumber(), std::string(what) + " is not a finite number");
}

} // namespace

std::string ResolveTrackFile(const std::string& raceFileName, const std::string& trackFile)
{
    std::string name = trackFile;
#ifndef _WIN32
    for (char& c : name)
        if (c == '\\')
            c = '/';
#endif
    const std::filesystem::path path(name);
    if (path.is_absolute() || name.empty())
        return name;
    return (std::filesystem::path(raceFileName).parent_path() / path).lexically_normal().string();
}

OpenTrackFiles::OpenTrackFiles(const OpenTrackFiles& other)
{
    for (std::size_t k = 0; k < size(); ++k)
        if (other[k])
            (*this)[k] = other[k]->share();
}

void CloseTrackFiles(RaceState& state)
{
    for (auto& file : state.TrackFile)
        file.reset();
}

bool AllTrackFilesAtEnd(RaceState& state)
{
    for (int k = 0; k < state.BoatCount; ++k)
        if (state.TrackFile[k] && !state.TrackFile[k]->AtEnd())
            return false;
    return true;
}

std::string ChangedTrackFileText(const RaceState& state)
{
    for (int k = 0; k < state.BoatCount; ++k)
        if (const auto& file = state.TrackFile[static_cast<std::size_t>(k)]; file && file->Changed())
            return QuotedText(FileLabel(file->Path())) +
                   " was changed while the replay had it open; Start the replay again to replay it as it is now";
    return {};
}

std::string LegendCaption(const RaceState& state, int k)
{
    if (state.Handicap)
        return state.BoatName[static_cast<std::size_t>(k)] + " " + state.Handicap->RatingShown(k);
    return state.BoatName[static_cast<std::size_t>(k)] + " " +
           ShortNumberText(state.BoatLys[static_cast<std::size_t>(k)]);
}

RaceCheckpoint SaveCheckpoint(const RaceState& state)
{
    RaceCheckpoint checkpoint;
    checkpoint.RaceClock = state.RaceClock;
    checkpoint.PlotCountdown = state.PlotCountdown;
    checkpoint.LineWidth = state.LineWidth;
    checkpoint.ViewBoxSet = state.ViewBoxSet;
    checkpoint.ViewBoxMin = state.ViewBoxMin;
    checkpoint.ViewBoxMax = state.ViewBoxMax;
    checkpoint.Boats.resize(static_cast<std::size_t>(state.BoatCount));
    for (int k = 0; k < state.BoatCount; ++k) {
        RaceCheckpoint::Boat& boat = checkpoint.Boats[static_cast<std::size_t>(k)];
        const int n = k + kFirstBoatNumber;
        if (state.TrackFile[k]) {
            boat.File = state.TrackFile[k]->position();
            boat.Open = true;
        }
        boat.NextLine = state.NextLine[k];
        boat.PrevLine = state.PrevLine[k];
        boat.PrevPoint = state.PrevPoint[n];
        boat.NextPoint = state.NextPoint[n];
        boat.LastPlotted = state.LastPlotted[n];
        boat.LastDistance = state.LastDistance[k];
        boat.HasLastDistance = state.HasLastDistance[k];
    }
    return checkpoint;
}

void RestoreCheckpoint(RaceState& state, const RaceCheckpoint& checkpoint)
{
    state.RaceClock = checkpoint.RaceClock;
    state.PlotCountdown = checkpoint.PlotCountdown;
    state.LineWidth = checkpoint.LineWidth;
    state.ViewBoxSet = checkpoint.ViewBoxSet;
    state.ViewBoxMin = checkpoint.ViewBoxMin;
    state.ViewBoxMax = checkpoint.ViewBoxMax;
    for (int k = 0; k < state.BoatCount && k < static_cast<int>(checkpoint.Boats.size()); ++k) {
        const RaceCheckpoint::Boat& boat = checkpoint.Boats[static_cast<std::size_t>(k)];
        const int n = k + kFirstBoatNumber;
        if (boat.Open && state.TrackFile[k])
            state.TrackFile[k]->restore(boat.File);
        state.NextLine[k] = boat.NextLine;
        state.PrevLine[k] = boat.PrevLine;
        state.PrevPoint[n] = boat.PrevPoint;
        state.NextPoint[n] = boat.NextPoint;
        state.LastPlotted[n] = boat.LastPlotted;
        state.LastDistance[k] = boat.LastDistance;
        state.HasLastDistance[k] = boat.HasLastDistance;
    }
}

std::vector<RaceFileEntry> ReadRaceFileEntries(const std::string& raceFileName, std::string_view limitWording)
{
    const std::string raceLabel = FileLabel(raceFileName);
    if (const std::string kind = NotARegularFile(raceFileName); !kind.empty())
        throw Error("the race file " + Quoted(raceFileName) + " is " + kind +
                    ", not a file: a race file is a text file of boat entries, one a line");
    std::unique_ptr<LineReader> race;
    try {
        race = std::make_unique<LineReader>(raceFileName);
    } catch (const Error& e) {
        throw Error(std::string("the race file cannot be read: ") + e.what());
    }
    std::vector<RaceFileEntry> entries;
    // Blank lines at the end (an editor's) are no entries; one followed by an entry is
    // refused as the entry it would be.
    long firstBlank = 0;
    std::string blankText;
    const auto refuse = [&](long line, std::string_view text, const std::string& why) {
        ThrowAt(raceLabel, line,
                why + "; the line is " + QuotedText(text) + ": expected a boat entry such as " +
                    QuotedText(kEntryExample) +
                    " (track file, start time, LYS number, colour number and the separator of the track "
                    "lines, joined by \" , \")");
    };
    while (!race->AtEnd()) {
        const std::string_view line = race->ReadLine();
        if (TrimBlanks(line).empty()) {
            if (firstBlank == 0) {
                firstBlank = race->LineNumber();
                blankText = line;
            }
            continue;
        }
        if (firstBlank != 0) {
            try {
                ReadBoatEntry(blankText);
            } catch (const Error& e) {
                refuse(firstBlank, blankText, e.what());
            }
        }
        if (entries.size() == static_cast<std::size_t>(kMaxBoats))
            ThrowAt(raceLabel, race->LineNumber(),
                    "a " + std::to_string(kMaxBoats + 1) + "th boat entry; " + std::string(limitWording) + " " +
                        std::to_string(kMaxBoats) + " boats");
        try {
            entries.push_back(RaceFileEntry{ReadBoatEntry(line), race->LineNumber()});
        } catch (const Error& e) {
            refuse(race->LineNumber(), line, e.what());
        }
    }
    if (entries.empty())
        throw Error(raceLabel + " holds no boat entry");
    return entries;
}

void RefuseLogForTrackFile(std::string_view firstLine, const std::string& raceLabel, long line, const std::string& path,
                           const std::string& trackFile)
{
    if (LooksLikeLog(firstLine))
        ThrowAt(raceLabel, line,
                "the track file " + Quoted(path) +
                    " is a log (KML, KMZ or GPX), not a track file of lines: import the log first (tideplot import " +
                    trackFile + ") and name the track file the import writes beside it, " + Quoted(trackFile + ".txt"));
}

void StartReplay(RaceState& state)
{
    const std::string raceLabel = FileLabel(state.RaceFileName);
    // The entries first, one line at a time: a 65th entry stops the reading at once,
    // before any track file is opened.
    const std::vector<RaceFileEntry> entries = ReadRaceFileEntries(state.RaceFileName, "a race can replay at most");

    CloseTrackFiles(state);
    state.BoatCount = 0;
    state.ViewBoxSet = false;
    try {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const BoatEntry& entry = entries[i].Entry;
            const long line = entries[i].Line;
            const int k = static_cast<int>(i);
            const int n = k + kFirstBoatNumber;
            state.StartTime[k] = entry.StartTime;
            state.BoatLys[k] = entry.Lys;
            state.BoatColour[k] = entry.Colour;
            state.SepChar[k] = entry.SepChar;
            state.BoatName[k] = entry.Name;
            state.EntryTrackFile[k] = entry.TrackFile;
            state.EntryLine[k] = line;

            const std::string path = ResolveTrackFile(state.RaceFileName, entry.TrackFile);
            if (const std::string kind = NotARegularFile(path); !kind.empty())
                ThrowAt(raceLabel, line,
                        "the track file " + Quoted(path) + " is " + kind +
                            ", not a file: a track file is a text file of lines, one GPS point each");
            try {
                state.TrackFile[k] = std::make_unique<TrackLineReader>(path, entry.SepChar);
            } catch (const Error& e) {
                ThrowAt(raceLabel, line, std::string("the track file ") + e.what());
            }
            LineReader& file = state.TrackFile[k]->HeaderLines();
            // Header lines hold "#"; the first line without one goes with them.
            do {
                if (file.AtEnd())
                    ThrowAt(raceLabel, line, "the track file " + Quoted(path) + " is empty");
                state.NextLine[k] = file.ReadLine();
                if (file.LineNumber() == 1)
                    RefuseLogForTrackFile(state.NextLine[k], raceLabel, line, path, entry.TrackFile);
            } while (state.NextLine[k].find('#') != std::string::npos && !file.AtEnd());
            state.NextLine[k].clear();
            state.PrevLine[k].clear();
            state.LastPlotted[n].Lat = state.LastPlotted[n].Lon = 0;
            state.HasLastDistance[k] = false;
            state.NextPoint[n] = TrackPoint{0, 0, -entry.StartTime}; // the empty line read: day 0
            ++state.BoatCount;
        }
        if (!state.ScoresOnly)
            PrepareReplayHandicap(state);
    } catch (...) {
        CloseTrackFiles(state);
        throw;
    }
}

namespace {

// A line without a fix, taken as the boat's point at the end of the file.
TrackPoint LastLinePoint(const RaceState& state, int k, const TrackLine& line)
{
    try {
        return ReadTrackPoint(line.Text, state.SepChar[k], state.StartTime[k]);
    } catch (const Error& e) {
        ThrowAt(FileLabel(state.TrackFile[k]->Path()), line.Number, TrackLineProblem(state, k, line.Text, e.what()));
    }
}

// The track line the advance stopped at becomes the boat's next point.
void TakeNextLine(RaceState& state, int k, const TrackLine& line)
{
    const int n = k + kFirstBoatNumber;
    state.NextLine[k] = line.Text;
    if (line.Fix) {
        state.NextPoint[n] = TrackPoint{line.Lat(), line.Lon(), line.Time - state.StartTime[k]};
        return;
    }
    state.NextPoint[n] = LastLinePoint(state, k, line);
}

// A start typed years too early would replay every empty step up to the track: refused.
void CheckStartBeforeFirstFix(const RaceState& state, int k, const TrackLine& firstFix)
{
    const double before = firstFix.Time - state.StartTime[k];
    if (before <= kMaxStartBeforeTrackDays)
        return;
    ThrowAt(FileLabel(state.RaceFileName), state.EntryLine[k],
            "boat " + QuotedText(state.BoatName[k]) + " starts at " + DateText(state.StartTime[k]) + ", " +
                std::to_string(static_cast<long long>(before)) + " days before the first fix of its track " +
                QuotedText(FileLabel(state.TrackFile[k]->Path())) + " (line " + std::to_string(firstFix.Number) + ", " +
                DateText(firstFix.Time) + "); a start more than " + ShortNumberText(kMaxStartBeforeTrackDays) +
                " days before its track is refused: is the start time's date right?");
}

// A boat whose track file is at its end stays where its last step showed it.
void KeepEndedBoat(const RaceState& state, int k, BoatStep& out)
{
    out.TrackEnded = true;
    out.Position = state.LastPlotted[k + kFirstBoatNumber];
    out.HasPosition = HasPosition(out.Position);
    out.HasDistance = state.HasLastDistance[k];
    out.DistanceNm = state.LastDistance[k];
}

// The boat's elapsed time since its own start at this step's race clock (days): the race
// clock divided by its LYS number.
double HandicapTime(const RaceState& state, int k)
{
    if (state.Handicap) {
        const double elapsed = state.Handicap->ElapsedAtClock(k, state.RaceClock);
        if (!std::isfinite(elapsed))
            throw Error("boat " + std::to_string(k + 1) + " (" + state.BoatName[k] +
                        "): the handicap time is not finite");
        return elapsed;
    }
    if (state.BoatLys[k] == 0)
        throw Error("boat " + std::to_string(k + 1) + " (" + state.BoatName[k] +
                    ") has the LYS number 0: its handicap time cannot be computed");
    const double h = state.RaceClock / state.BoatLys[k];
    if (!std::isfinite(h))
        throw Error("boat " + std::to_string(k + 1) + " (" + state.BoatName[k] + "): the handicap time is not finite");
    return h;
}

// The next point becomes the previous one once per step, then lines are read until a fix
// lies after `h` (a line without a fix never does while lines remain); the line that
// stopped the reading is the next point.
void AdvanceTrack(RaceState& state, int k, TrackLineReader& file, double h)
{
    const int n = k + kFirstBoatNumber;
    state.PrevPoint[n] = state.NextPoint[n];
    std::swap(state.PrevLine[k], state.NextLine[k]);
    const bool firstAdvance = state.PrevLine[k].empty();
    bool fixPassed = false;
    const TrackLine* line = nullptr;
    try {
        line = &file.ReadPast(state.StartTime[k], h, fixPassed);
    } catch (const TrackLineError& e) {
        ThrowAt(FileLabel(file.Path()), e.Line, TrackLineProblem(state, k, e.Text, e.Reason));
    }
    TakeNextLine(state, k, *line);
    if (firstAdvance && line->Fix && !fixPassed)
        CheckStartBeforeFirstFix(state, k, *line);
}

// Places the boat at `h` on the leg from its previous to its next point (state.StepLeg,
// state.StepPosition), with its course and speed over ground on that leg. Returns the
// leg's span in days.
double PlaceOnLeg(RaceState& state, int k, const TrackLineReader& file, double h, BoatStep& out)
{
    const int n = k + kFirstBoatNumber;
    const TrackPoint& prev = state.PrevPoint[n];
    const TrackPoint& next = state.NextPoint[n];
    // The leg from the next point back to the previous one places the boat; the leg on to
    // the next point is its course and speed over ground.
    Leg ahead;
    if (HasPosition(prev) && HasPosition(next)) {
        const LegPair legs = CourseAndDistanceBothWays(prev, next);
        state.StepLeg = legs.FromP2;
        ahead = legs.FromP1;
    } else {
        state.StepLeg = CourseAndDistance(prev, next);
    }
    // Fixes one after the other never share a time (a repeat is passed over), but the last
    // line of a file may be one without a fix, or earlier than the fix before it.
    const double span = next.Elapsed - prev.Elapsed;
    if (span == 0)
        ThrowAt(FileLabel(file.Path()), file.LineNumber(),
                "this line, the last of the file, has the same time as the boat's previous track point, so the boat "
                "cannot be placed between them; the line is " +
                    QuotedText(state.NextLine[k]));
    state.StepLeg.Distance = (h - prev.Elapsed) * state.StepLeg.Distance / span;
    RequireFinite(state.StepLeg.Distance, file, "the boat's distance along its leg");

    if (HasPosition(prev)) {
        state.StepPosition = LegStart(prev, state.StepLeg);
        RequireFinite(state.StepPosition.Lat, file, "the boat's latitude");
        RequireFinite(state.StepPosition.Lon, file, "the boat's longitude");
        if (HasPosition(next)) {
            out.CourseDeg = ahead.Bearing;
            out.SpeedKnots = span > 0 ? ahead.Distance / (span * 24) : 0;
        }
    } else {
        state.StepPosition = TrackPoint{};
    }
    out.HasPosition = HasPosition(state.StepPosition);
    out.Position = state.StepPosition;
    return span;
}

// The distance of a boat after the first to the first boat's next point, kept for the
// steps after its track ends.
void MeasureToFirstBoat(RaceState& state, int k, const TrackLineReader& file, BoatStep& out)
{
    const TrackPoint& first = state.NextPoint[kFirstBoatNumber];
    if (HasPosition(state.StepPosition) && HasPosition(first)) {
        const double distance = CourseAndDistance(first, state.StepPosition).Distance;
        RequireFinite(distance, file, "the distance to the first boat");
        out.HasDistance = true;
        out.DistanceNm = distance;
    }
    state.HasLastDistance[k] = out.HasDistance;
    state.LastDistance[k] = out.DistanceNm;
}

// The piece from where the boat was drawn last to where it is now, unless either is no
// position or the leg spans a gap in the log; the step's box takes the piece in.
void DrawPiece(RaceState& state, int k, double span, BoatStep& out)
{
    TrackPoint& last = state.LastPlotted[k + kFirstBoatNumber];
    // Whole seconds apart, so a millisecond decides a gap of exactly five minutes.
    const bool inGap = span * kSecondsPerDay >= kGapDays * kSecondsPerDay - 1e-3;
    if (HasPosition(state.StepPosition) && HasPosition(last) && !inGap) {
        out.Drawn = true;
        out.From = last;
        out.To = state.StepPosition;
        if (!state.BoxHasReference) {
            state.BoxReferenceLon = state.StepPosition.Lon;
            state.BoxHasReference = true;
        }
        const double stepLon = UnwrapLongitude(state.StepPosition.Lon, state.BoxReferenceLon);
        const double lastLon = UnwrapLongitude(last.Lon, state.BoxReferenceLon);
        state.BoxMin.Lat = MinOf(state.BoxMin.Lat, MinOf(state.StepPosition.Lat, last.Lat));
        state.BoxMin.Lon = MinOf(state.BoxMin.Lon, MinOf(stepLon, lastLon));
        state.BoxMax.Lat = MaxOf(state.BoxMax.Lat, MaxOf(state.StepPosition.Lat, last.Lat));
        state.BoxMax.Lon = MaxOf(state.BoxMax.Lon, MaxOf(stepLon, lastLon));
    }
    last = state.StepPosition;
}

void MoveBoat(RaceState& state, int k, BoatStep& out)
{
    const int n = k + kFirstBoatNumber;
    out = BoatStep{};
    TrackLineReader& file = *state.TrackFile[k];
    if (file.AtEnd()) {
        KeepEndedBoat(state, k, out);
        return;
    }
    out.Moved = true;
    const double h = HandicapTime(state, k);
    if (state.NextPoint[n].Elapsed < h)
        AdvanceTrack(state, k, file, h);
    // An empty previous line reads as no position (day 0 as its time).
    if (state.PrevLine[k].empty())
        state.PrevPoint[n] = TrackPoint{0, 0, -state.StartTime[k]};
    const double span = PlaceOnLeg(state, k, file, h, out);
    if (k >= 1 && state.MeasureDistances)
        MeasureToFirstBoat(state, k, file, out);
    DrawPiece(state, k, span, out);
    out.TrackEnded = file.AtEnd();
}

} // namespace

void ReadTrackToEnd(RaceState& state, int k, const std::function<void(const TrackLine&)>& onFix)
{
    TrackLineReader& file = *state.TrackFile[k];
    bool first = true;
    try {
        while (!file.AtEnd()) {
            const TrackLine& line = file.ReadLine();
            if (line.Fix) {
                if (first)
                    CheckStartBeforeFirstFix(state, k, line);
                first = false;
                onFix(line);
            } else if (file.AtEnd()) {
                LastLinePoint(state, k, line);
            }
        }
    } catch (const TrackLineError& e) {
        ThrowAt(FileLabel(file.Path()), e.Line, TrackLineProblem(state, k, e.Text, e.Reason));
    }
}

void ReplayStep(RaceState& state, const ReplaySettings& settings, StepOutcome& outcome)
{
    if (state.PlotCountdown == std::numeric_limits<std::int16_t>::min())
        throw Error("the wide-plot countdown ran below -32768: the race clock has not passed 0 in 32768 steps");
    --state.PlotCountdown;
    if (state.RaceClock <= 0) {
        state.LineWidth = 1;
    } else if (state.PlotCountdown <= 0) {
        state.PlotCountdown = settings.StepsPerWidePlot;
        state.LineWidth = 5;
    } else {
        state.LineWidth = 1;
    }

    outcome.RaceClock = state.RaceClock;
    outcome.LineWidth = state.LineWidth;

    state.BoxMin = TrackPoint{90, 180, 0};
    state.BoxMax = TrackPoint{-90, -180, 0};
    state.BoxHasReference = false;

    outcome.Boats.resize(static_cast<std::size_t>(state.BoatCount));
    for (int k = 0; k < state.BoatCount; ++k)
        MoveBoat(state, k, outcome.Boats[static_cast<std::size_t>(k)]);

    outcome.CameraSet =
        state.BoxMin.Lat != 90 && state.BoxMin.Lon != 180 && state.BoxMax.Lat != -90 && state.BoxMax.Lon != -180;
    outcome.BoxMin = state.BoxMin;
    outcome.BoxMax = state.BoxMax;
    if (outcome.CameraSet) {
        state.ViewBoxSet = true;
        state.ViewBoxMin = state.BoxMin;
        state.ViewBoxMax = state.BoxMax;
    }
    outcome.ViewBoxSet = state.ViewBoxSet;
    outcome.ViewBoxMin = state.ViewBoxMin;
    outcome.ViewBoxMax = state.ViewBoxMax;

    if (!ValidResolution(settings.ResolutionSeconds))
        throw Error("Resolution: " + ShortNumberText(settings.ResolutionSeconds) + " is not a number of seconds from " +
                    ShortNumberText(kMinResolutionSeconds) + " to " + ShortNumberText(kMaxResolutionSeconds));
    const double clock = state.RaceClock + settings.ResolutionSeconds / 3600 / 24;
    if (!std::isfinite(clock))
        throw Error("Resolution: the race clock is no longer a finite number");
    state.RaceClock = clock;
}

} // namespace tideplot
