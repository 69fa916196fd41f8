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

void RequireFinite(double value, const LineReader& file, const char* what)
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
            try {
                state.TrackFile[k] = std::make_unique<LineReader>(path);
            } catch (const Error& e) {
                ThrowAt(raceLabel, line, std::string("the track file ") + e.what());
            }
            LineReader& file = *state.TrackFile[k];
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
            state.NextPointRead[k] = false;
            state.LastPlotted[n].Lat = state.LastPlotted[n].Lon = 0;
            state.NextPoint[n].Lat = state.NextPoint[n].Lon = 0;
            ++state.BoatCount;
        }
    } catch (...) {
        CloseTrackFiles(state);
        throw;
    }
}

namespace {

// Reads NextLine(k) into NextPoint(n) unless that is already done: each track line is
// read into a point once, though the step looks at it again while it stays next.
void ReadNextPoint(RaceState& state, int k)
{
    if (state.NextPointRead[k])
        return;
    try {
        state.NextPoint[k + kFirstBoatNumber] = ReadTrackPoint(state.NextLine[k], state.SepChar[k], state.StartTime[k]);
    } catch (const Error& e) {
        const LineReader& file = *state.TrackFile[k];
        ThrowAt(FileLabel(file.Path()), file.LineNumber(), TrackLineProblem(state, k, state.NextLine[k], e.what()));
    }
    state.NextPointRead[k] = true;
}

void MoveBoat(RaceState& state, ControlPanel& control, TrackPlotter& plotter, int k)
{
    const int n = k + kFirstBoatNumber;
    LineReader& file = *state.TrackFile[k];
    if (file.AtEnd())
        return;

    if (state.BoatLys[k] == 0)
        throw Error("boat " + std::to_string(k + 1) + " (" + state.BoatName[k] +
                    ") has the LYS number 0: its handicap time cannot be computed");
    const double h = state.RaceClock / state.BoatLys[k];
    if (!std::isfinite(h))
        throw Error("boat " + std::to_string(k + 1) + " (" + state.BoatName[k] + "): the handicap time is not finite");

    // Advance: the next point becomes the previous one once per step, then lines are
    // read until one lies after h (a latitude-0 line never does while lines remain).
    ReadNextPoint(state, k);
    if (state.NextPoint[n].Elapsed < h) {
        state.PrevPoint[n] = state.NextPoint[n];
        std::swap(state.PrevLine[k], state.NextLine[k]);
        const char sep = state.SepChar[k];
        std::string& line = state.NextLine[k];
        for (;;) {
            line = file.ReadLine();
            if (file.AtEnd())
                break;
            // The line ends the advance when its latitude is not 0 and its time lies
            // after h. A line whose time cannot be read only fails when its latitude is
            // not 0; a position off the globe fails in every line.
            try {
                const TrackLineFields fields = SplitTrackLine(line, sep);
                CheckOnGlobe(fields);
                double date = 0;
                const bool dated = line.empty() || state.TimeReader[k].read(fields.Date, fields.Time, date);
                if (dated && date - state.StartTime[k] <= h)
                    continue;
                if (LeadingNumber(fields.Lat) == 0)
                    continue;
                if (!dated)
                    TrackFieldsTime(fields.Date, fields.Time); // throws with the reason
                break;
            } catch (const Error& e) {
                ThrowAt(FileLabel(file.Path()), file.LineNumber(), TrackLineProblem(state, k, line, e.what()));
            }
        }
        state.NextPointRead[k] = false;
        ReadNextPoint(state, k);
    }
    // An empty previous line reads as no position (day 0 as its time).
    if (state.PrevLine[k].empty())
        state.PrevPoint[n] = TrackPoint{0, 0, -state.StartTime[k]};

    const TrackPoint& prev = state.PrevPoint[n];
    const TrackPoint& next = state.NextPoint[n];
    state.StepLeg = CourseAndDistance(prev, next);
    const double span = next.Elapsed - prev.Elapsed;
    if (span == 0)
        ThrowAt(FileLabel(file.Path()), file.LineNumber(),
                "this line and the track point before it have the same time, so the boat cannot be placed "
                "between them");
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
        state.BoxMin.Lat = MinOf(state.BoxMin.Lat, MinOf(state.StepPosition.Lat, last.Lat));
        state.BoxMin.Lon = MinOf(state.BoxMin.Lon, MinOf(state.StepPosition.Lon, last.Lon));
        state.BoxMax.Lat = MaxOf(state.BoxMax.Lat, MaxOf(state.StepPosition.Lat, last.Lat));
        state.BoxMax.Lon = MaxOf(state.BoxMax.Lon, MaxOf(state.StepPosition.Lon, last.Lon));
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

    for (int k = 0; k < state.BoatCount; ++k)
        MoveBoat(state, control, plotter, k);

    if (state.BoxMin.Lat != 90 && state.BoxMin.Lon != 180 && state.BoxMax.Lat != -90 && state.BoxMax.Lon != -180)
        plotter.FrameCamera(state.BoxMin, state.BoxMax);

    double resolution = 0;
    try {
        resolution = NumberOfText(control.ResolutionText());
    } catch (const Error& e) {
        throw Error(std::string("Resolution: ") + e.what());
    }
    const double clock = state.RaceClock + resolution / 3600 / 24;
    if (!std::isfinite(clock))
        throw Error("Resolution: the race clock is no longer a finite number");
    state.RaceClock = clock;
}

} // namespace tideplot
