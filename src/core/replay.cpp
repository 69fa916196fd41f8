#include "replay.h"

#include "colour.h"
#include "datetime.h"
#include "error.h"
#include "text.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
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

// What a track file that is no regular file is, or "" for a regular file or a pipe (which
// ends when its writer does). A device such as /dev/urandom never ends.
std::string NotAFile(const std::string& path)
{
    std::error_code error;
    switch (std::filesystem::status(path, error).type()) {
    case std::filesystem::file_type::character:
    case std::filesystem::file_type::block:
        return "a device";
    case std::filesystem::file_type::directory:
        return "a folder";
    case std::filesystem::file_type::socket:
        return "a socket";
    default:
        return {};
    }
}

} // namespace

bool ValidResolution(double seconds)
{
    return seconds >= kMinResolutionSeconds && seconds <= kMaxResolutionSeconds;
}

std::string ResolutionProblem(std::string_view text)
{
    double seconds = 0;
    bool number = false;
    try {
        number = TryNumberOfText(text, seconds);
    } catch (const Error&) {
        number = false; // too large
    }
    if (number && ValidResolution(seconds))
        return {};
    return QuotedText(text) + " is not a number of seconds from " + ShortNumberText(kMinResolutionSeconds) + " to " +
           ShortNumberText(kMaxResolutionSeconds);
}

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

void CloseTrackFiles(RaceState& state)
{
    for (auto& file : state.TrackFile)
        file.reset();
}

void ControlPanel::CheckLegendRow(int row)
{
    if (row < 0 || row >= kMaxBoats)
        throw Error("the control window has no legend row " + std::to_string(row));
}

void ControlPanel::CheckDistanceRow(int row)
{
    if (row < 1 || row >= kMaxBoats)
        throw Error("the control window has no distance row " + std::to_string(row));
}

bool AllTrackFilesAtEnd(RaceState& state)
{
    for (int k = 0; k < state.BoatCount; ++k)
        if (state.TrackFile[k] && !state.TrackFile[k]->AtEnd())
            return false;
    return true;
}

void StartReplay(RaceState& state, ControlPanel& control)
{
    const std::string raceLabel = FileLabel(state.RaceFileName);
    // The entries first, one line at a time: an eighth entry stops the reading at once,
    // before any track file is opened.
    std::vector<BoatEntry> entries;
    std::vector<long> entryLines;
    {
        std::unique_ptr<LineReader> race;
        try {
            race = std::make_unique<LineReader>(state.RaceFileName);
        } catch (const Error& e) {
            throw Error(std::string("the race file cannot be read: ") + e.what());
        }
        while (!race->AtEnd()) {
            const std::string_view line = race->ReadLine();
            if (entries.size() == static_cast<std::size_t>(kMaxBoats))
                ThrowAt(raceLabel, race->LineNumber(),
                        "an eighth boat entry; a race can replay at most " + std::to_string(kMaxBoats) + " boats");
            try {
                entries.push_back(ReadBoatEntry(line));
            } catch (const Error& e) {
                ThrowAt(raceLabel, race->LineNumber(),
                        std::string(e.what()) + "; the line is " + QuotedText(line) +
                            ": expected a boat entry such as " + QuotedText(kEntryExample) +
                            " (track file, start time, LYS number, colour number and the separator of the "
                            "track lines, joined by \" , \")");
            }
            entryLines.push_back(race->LineNumber());
        }
    }
    if (entries.empty())
        throw Error(raceLabel + " holds no boat entry");

    CloseTrackFiles(state);
    state.BoatCount = 0;
    try {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const BoatEntry& entry = entries[i];
            const long line = entryLines[i];
            const int k = static_cast<int>(i);
            const int n = k + kFirstBoatNumber;
            state.StartTime[k] = entry.StartTime;
            state.BoatLys[k] = entry.Lys;
            state.BoatColour[k] = entry.Colour;
            state.SepChar[k] = entry.SepChar;
            state.BoatName[k] = entry.Name;
            state.EntryLine[k] = line;

            control.SetTrackInfo(state.BoatCount, entry.Name + " " + ShortNumberText(entry.Lys),
                                 WindowColour(ColourHex(entry.Colour)));

            const std::string path = ResolveTrackFile(state.RaceFileName, entry.TrackFile);
            if (const std::string kind = NotAFile(path); !kind.empty())
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
                if (file.LineNumber() == 1 && LooksLikeLog(state.NextLine[k]))
                    ThrowAt(raceLabel, line,
                            "the track file " + Quoted(path) +
                                " is a log (KML, KMZ or GPX), not a track file of lines: import the log first "
                                "(tideplot import " +
                                entry.TrackFile + ") and name the track file the import writes beside it, " +
                                Quoted(entry.TrackFile + ".txt"));
            } while (state.NextLine[k].find('#') != std::string::npos && !file.AtEnd());
            state.NextLine[k].clear();
            state.PrevLine[k].clear();
            state.LastPlotted[n].Lat = state.LastPlotted[n].Lon = 0;
            state.NextPoint[n] = TrackPoint{0, 0, -entry.StartTime}; // the empty line read: day 0
            ++state.BoatCount;
        }
    } catch (...) {
        CloseTrackFiles(state);
        throw;
    }
}

namespace {

// The track line the advance stopped at becomes the boat's next point.
void TakeNextLine(RaceState& state, int k, const TrackLine& line)
{
    const int n = k + kFirstBoatNumber;
    state.NextLine[k] = line.Text;
    if (line.Fix) {
        state.NextPoint[n] = TrackPoint{line.Lat(), line.Lon(), line.Time - state.StartTime[k]};
        return;
    }
    // A line without a fix, taken at the end of the file.
    try {
        state.NextPoint[n] = ReadTrackPoint(line.Text, state.SepChar[k], state.StartTime[k]);
    } catch (const Error& e) {
        ThrowAt(FileLabel(state.TrackFile[k]->Path()), line.Number, TrackLineProblem(state, k, line.Text, e.what()));
    }
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

void MoveBoat(RaceState& state, ControlPanel& control, TrackPlotter& plotter, int k)
{
    const int n = k + kFirstBoatNumber;
    TrackLineReader& file = *state.TrackFile[k];
    if (file.AtEnd())
        return;

    if (state.BoatLys[k] == 0)
        throw Error("boat " + std::to_string(k + 1) + " (" + state.BoatName[k] +
                    ") has the LYS number 0: its handicap time cannot be computed");
    const double h = state.RaceClock / state.BoatLys[k];
    if (!std::isfinite(h))
        throw Error("boat " + std::to_string(k + 1) + " (" + state.BoatName[k] + "): the handicap time is not finite");

    // Advance: the next point becomes the previous one once per step, then lines are
    // read until a fix lies after h (a line without a fix never does while lines remain).
    if (state.NextPoint[n].Elapsed < h) {
        state.PrevPoint[n] = state.NextPoint[n];
        std::swap(state.PrevLine[k], state.NextLine[k]);
        const bool firstAdvance = state.PrevLine[k].empty();
        const double start = state.StartTime[k];
        bool fixPassed = false;
        const TrackLine* line = nullptr;
        try {
            for (;;) {
                line = &file.ReadLine();
                if (file.AtEnd() || (line->Fix && line->Time - start > h))
                    break;
                fixPassed = fixPassed || line->Fix;
            }
        } catch (const TrackLineError& e) {
            ThrowAt(FileLabel(file.Path()), e.Line, TrackLineProblem(state, k, e.Text, e.Reason));
        }
        TakeNextLine(state, k, *line);
        if (firstAdvance && line->Fix && !fixPassed)
            CheckStartBeforeFirstFix(state, k, *line);
    }
    // An empty previous line reads as no position (day 0 as its time).
    if (state.PrevLine[k].empty())
        state.PrevPoint[n] = TrackPoint{0, 0, -state.StartTime[k]};

    const TrackPoint& prev = state.PrevPoint[n];
    const TrackPoint& next = state.NextPoint[n];
    state.StepLeg = CourseAndDistance(prev, next);
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
    } else {
        state.StepPosition = TrackPoint{};
    }

    if (k >= 1 && k <= 6) {
        const TrackPoint& first = state.NextPoint[kFirstBoatNumber];
        std::string text;
        if (HasPosition(state.StepPosition) && HasPosition(first)) {
            const double distance = CourseAndDistance(first, state.StepPosition).Distance;
            RequireFinite(distance, file, "the distance to the first boat");
            text = DistanceText(distance);
        }
        control.SetDistance(k, text);
    }

    TrackPoint& last = state.LastPlotted[n];
    // Whole seconds apart, so a millisecond decides a gap of exactly five minutes.
    const bool inGap = span * kSecondsPerDay >= kGapDays * kSecondsPerDay - 1e-3;
    if (HasPosition(state.StepPosition) && HasPosition(last) && !inGap) {
        plotter.PlotTrackSegment(control.TrackInfoCaption(k), last, state.StepPosition, state.BoatColour[k],
                                 state.LineWidth);
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

} // namespace

void ReplayStep(RaceState& state, ControlPanel& control, TrackPlotter& plotter)
{
    if (state.PlotCountdown == std::numeric_limits<std::int16_t>::min())
        throw Error("the wide-plot countdown ran below -32768: the race clock has not passed 0 in 32768 steps");
    --state.PlotCountdown;
    if (state.RaceClock <= 0) {
        state.LineWidth = 1;
    } else if (state.PlotCountdown <= 0) {
        const std::string text = control.PointPlotText();
        try {
            state.PlotCountdown = RoundToInt16(NumberOfText(text));
        } catch (const Error& e) {
            throw Error(std::string("Points (steps between wide plots): ") + e.what());
        }
        state.LineWidth = 5;
    } else {
        state.LineWidth = 1;
    }

    control.SetRaceTime(RaceClockText(state.RaceClock));

    state.BoxMin = TrackPoint{90, 180, 0};
    state.BoxMax = TrackPoint{-90, -180, 0};
    state.BoxHasReference = false;

    for (int k = 0; k < state.BoatCount; ++k)
        MoveBoat(state, control, plotter, k);

    if (state.BoxMin.Lat != 90 && state.BoxMin.Lon != 180 && state.BoxMax.Lat != -90 && state.BoxMax.Lon != -180)
        plotter.FrameCamera(state.BoxMin, state.BoxMax);

    const std::string resolutionText = control.ResolutionText();
    if (const std::string problem = ResolutionProblem(resolutionText); !problem.empty())
        throw Error("Resolution: " + problem);
    const double resolution = NumberOfText(resolutionText);
    const double clock = state.RaceClock + resolution / 3600 / 24;
    if (!std::isfinite(clock))
        throw Error("Resolution: the race clock is no longer a finite number");
    state.RaceClock = clock;
}

} // namespace tideplot
