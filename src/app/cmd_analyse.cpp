#include "analysis/analysisfiles.h"
#include "analysis/analysistext.h"
#include "analysis/debrieffiles.h"
#include "analysis/raceanalysis.h"
#include "app/analysetables.h"
#include "app/args.h"
#include "app/commands.h"
#include "core/coursefile.h"
#include "core/error.h"
#include "core/outputfile.h"
#include "core/racecheck.h"
#include "core/replay.h"
#include "core/results.h"
#include "core/text.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tideplot {

namespace {

const char* kAnalyseUsage =
    "Usage: tideplot analyse RACE.TP1 [--wind DEG] [--legs] [--json FILE] [--csv FILE]\n"
    "                        [--legs-csv FILE] [--series FILE]\n"
    "Analyses every boat's track: its speed and course over ground at every fix (smoothed\n"
    "against the GPS's noise), its tacks and gybes with the metres each lost, and the wind.\n"
    "Prints a table per boat (distance sailed and mean speed from its start, tacks, gybes,\n"
    "mean tack loss, time on port and on starboard tack) and the wind. A tack is a turn whose\n"
    "course passes through the wind's eye, a gybe one through dead downwind; a turn at a mark\n"
    "of the course file RACE.TP1.course (without one, a bear-away or head-up of more than 60\n"
    "degrees that ends a beat or a run) is a rounding, never counted with tacks and gybes;\n"
    "other turns are plain turns. The loss of a tack or gybe is the distance\n"
    "lost along the wind's axis against sailing it at the velocity made good of before, from\n"
    "the start of the turn until the speed is regained.\n"
    "  --wind DEG     the direction the wind comes from, 0 to 360 degrees true; without it the\n"
    "                 wind over the race is the course file's wind lines (wind HH:MM:SS DEG,\n"
    "                 on the race clock from the first start, or HH:MM:SSZ DEG in UTC), else\n"
    "                 the boats' instruments' (a wind file LOG.wind.txt beside a track\n"
    "                 LOG.txt), else estimated from the fleet's tacks and gybes (at least three)\n"
    "  --legs         prints the start (with a start line in the course file) and each boat's\n"
    "                 legs of the course: kind, times, distance, speed, VMG, tacks, gybes, and\n"
    "                 the rank and corrected gap to the leader at the leg's end\n"
    "  --json FILE    everything but the series as JSON: the wind, and per boat its numbers\n"
    "                 and manoeuvres (times UTC ISO 8601, race_time on the replay's race clock)\n"
    "  --csv FILE     the manoeuvres as CSV, one line each: row,name,kind,time,race_time,lat,\n"
    "                 lon,course_before,course_after,speed_before_kn,min_speed_kn,\n"
    "                 speed_after_kn,duration_s,loss_m\n"
    "  --legs-csv FILE  the legs as CSV, one line each: row,name,from,to,lap,kind,start,end,\n"
    "                 seconds,distance_nm,mean_speed_kn,vmg_kn,tacks,gybes,mean_loss_m,port_s,\n"
    "                 starboard_s,rank,gap_s\n"
    "  --series FILE  every fix as CSV: row,time,race_time,lat,lon,sog_kn,cog_deg,vmg_kn\n"
    "                 (vmg_kn, the velocity made good towards the wind, empty without a wind)\n"
    "Files are UTF-8 with CR LF line ends, written whole and put in place together: a run\n"
    "that fails or is interrupted leaves every older file as it was.\n"
    "Exit status: 0 on success, 1 when the race cannot be read or a file cannot be written,\n"
    "2 for a usage error.\n";

struct AnalyseOptions {
    std::string raceFile;
    std::optional<double> wind;
    bool legs = false;
    std::string jsonFile, csvFile, legsCsvFile, seriesFile;
};

AnalyseOptions ParseAnalyseOptions(const std::vector<std::string>& args)
{
    const ParsedArgs parsed = ParseArgs(args, {"--wind", "--json", "--csv", "--legs-csv", "--series"}, {"--legs"});
    if (parsed.positional.empty())
        throw UsageError("no race file given");
    if (parsed.positional.size() > 1)
        throw UsageError("more than one race file: " + parsed.positional[0] + " and " + parsed.positional[1]);
    AnalyseOptions options;
    options.raceFile = parsed.positional[0];
    if (parsed.has("--wind")) {
        const double wind = parsed.number("--wind", 0);
        if (!(wind >= 0 && wind <= 360))
            throw UsageError("--wind: " + ShortNumberText(wind) +
                             " is no direction: give where the wind comes from, 0 to 360 degrees");
        options.wind = wind;
    }
    const auto file = [&](const char* option, std::string& into) {
        into = parsed.value(option, "");
        if (parsed.has(option) && into.empty())
            throw UsageError(std::string(option) + " needs a file name");
    };
    file("--json", options.jsonFile);
    file("--csv", options.csvFile);
    file("--legs-csv", options.legsCsvFile);
    file("--series", options.seriesFile);
    options.legs = parsed.flags.count("--legs") > 0;
    return options;
}

// The outputs' names in messages.
constexpr const char* kJsonWhat = "the JSON file";
constexpr const char* kCsvWhat = "the manoeuvres' CSV file";
constexpr const char* kLegsCsvWhat = "the legs' CSV file";
constexpr const char* kSeriesWhat = "the series' CSV file";

// The outputs asked for, with their options' names.
std::vector<std::pair<const char*, std::string>> Outputs(const AnalyseOptions& options)
{
    std::vector<std::pair<const char*, std::string>> outputs;
    for (const auto& [option, file] : {std::pair<const char*, const std::string&>{"--json", options.jsonFile},
                                       {"--csv", options.csvFile},
                                       {"--legs-csv", options.legsCsvFile},
                                       {"--series", options.seriesFile}})
        if (!file.empty())
            outputs.emplace_back(option, file);
    return outputs;
}

// The boats as a table a person reads: a column per number, numbers right-aligned.
std::string BoatTable(const RaceAnalysis& race)
{
    const bool wind = race.Wind.Known;
    std::vector<std::vector<std::string>> rows{
        {"Boat", "LYS", "Distance nm", "Mean kn", "Tacks", "Gybes", "Tack loss m", "Port", "Starboard"}};
    for (const BoatAnalysis& boat : race.Boats) {
        const BoatSummary& s = boat.Summary;
        rows.push_back({boat.Source.Name, ShortNumberText(boat.Source.Lys), FixedText(s.DistanceNm, 2),
                        FixedText(s.MeanSpeedKn, 2), wind ? std::to_string(s.Tacks) : "-",
                        wind ? std::to_string(s.Gybes) : "-",
                        std::isfinite(s.MeanTackLossMetres) ? FixedText(s.MeanTackLossMetres, 1) : "-",
                        wind ? DurationText(s.PortSeconds) : "-", wind ? DurationText(s.StarboardSeconds) : "-"});
    }
    return TextTable(rows, 2);
}

std::string Count(int n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string WindLine(const RaceAnalysis& race)
{
    const WindEstimate& wind = race.Wind;
    if (!wind.Known)
        return "wind unknown: fewer than three tacks and gybes to estimate it from; give its direction with "
               "--wind DEG";
    const std::string from = "wind from " + WindDegreesText(wind) + " degrees";
    if (wind.Source == WindSource::Given && wind.Series.empty())
        return from + ", given with --wind; " + Count(wind.Tacks, "tack", "tacks") + " and " +
               Count(wind.Gybes, "gybe", "gybes") + " found";
    return from + ", " + WindSourceText(race);
}

// No output may name the race file, its course file or another output's file.
void CheckOutputsApart(const AnalyseOptions& options)
{
    const auto outputs = Outputs(options);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (SameFile(outputs[i].second, options.raceFile))
            throw UsageError(std::string(outputs[i].first) + " names the race file");
        if (SameFile(outputs[i].second, CourseFilePath(options.raceFile)))
            throw UsageError(std::string(outputs[i].first) + " names the course file");
        for (std::size_t j = 0; j < i; ++j)
            if (SameFile(outputs[i].second, outputs[j].second))
                throw UsageError(std::string(outputs[j].first) + " and " + outputs[i].first + " name one file");
    }
}

// No output is a folder or a FIFO (which would wait for a reader): said before the work.
void CheckOutputsWritable(const AnalyseOptions& options)
{
    for (const auto& [file, what] : {std::pair<const std::string&, const char*>{options.jsonFile, kJsonWhat},
                                     {options.csvFile, kCsvWhat},
                                     {options.legsCsvFile, kLegsCsvWhat},
                                     {options.seriesFile, kSeriesWhat}})
        if (!file.empty())
            CheckOutputPath(QString::fromLocal8Bit(file.c_str()), what);
}

// The race's boats, opened as the replay opens the race: its entries, every track file, the
// same refusals and warnings; an output may not name a track file.
std::vector<BoatSource> OpenRace(const AnalyseOptions& options)
{
    RaceState state;
    state.RaceFileName = options.raceFile;
    StartReplay(state);
    for (const std::string& warning : StartTimeWarnings(state))
        std::fprintf(stderr, "warning: %s\n", warning.c_str());
    std::vector<BoatSource> boats = BoatSources(state);
    CloseTrackFiles(state);
    for (const BoatSource& boat : boats)
        for (const auto& [option, file] : Outputs(options))
            if (SameFile(file, boat.TrackPath))
                throw Error(std::string(option) + " names the track file of " + boat.Name + "; choose another name");
    return boats;
}

// The race's course file, when it has one: its wind lines, and its course when it has a finish
// line. Throws Error naming the file and the line of what is wrong in it.
void ReadRaceCourse(const std::string& raceFile, AnalysisOptions& analysis)
{
    const std::string path = CourseFilePath(raceFile);
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return;
    CourseFile file = ReadCourseFile(path);
    analysis.WindLines = std::move(file.WindLines);
    if (file.Plan.Finish)
        analysis.RaceCourse = std::move(file.Plan);
}

// Every file written to its temporary first; then all put in place together, or none.
void WriteFiles(const AnalyseOptions& options, const RaceAnalysis& race)
{
    std::vector<std::unique_ptr<OutputFile>> files;
    const auto open = [&](const std::string& path, const char* what) -> OutputFile& {
        files.push_back(std::make_unique<OutputFile>(QString::fromLocal8Bit(path.c_str()), what));
        return *files.back();
    };
    if (!options.jsonFile.empty())
        open(options.jsonFile, kJsonWhat).Write(AnalysisJson(race));
    if (!options.csvFile.empty())
        open(options.csvFile, kCsvWhat).Write(ManoeuvresCsv(race));
    if (!options.legsCsvFile.empty())
        open(options.legsCsvFile, kLegsCsvWhat).Write(LegsCsv(race));
    if (!options.seriesFile.empty()) {
        OutputFile& series = open(options.seriesFile, kSeriesWhat);
        WriteSeriesCsv(race, [&series](std::string_view piece) { series.Write(piece); });
    }
    std::vector<PreparedFile> prepared;
    for (const auto& file : files)
        prepared.push_back(file->Prepare());
    CommitTogether(prepared);
}

// The boats' table, the wind and the files written, on standard output.
void PrintReport(const AnalyseOptions& options, const RaceAnalysis& race)
{
    std::printf("Analysis of %s: %s\n\n", options.raceFile.c_str(),
                Count(static_cast<int>(race.Boats.size()), "boat", "boats").c_str());
    std::fputs(BoatTable(race).c_str(), stdout);
    std::printf("\n%s\n", WindLine(race).c_str());
    if (options.legs) {
        // Built by appending (GCC 12's -Wrestrict at -O3).
        std::string legs = StartTable(race);
        const std::string table = LegsTable(race);
        if (!legs.empty())
            legs += '\n';
        legs.append(table);
        if (legs.empty())
            legs = "Legs: the race has no course (a course file RACE.TP1.course with a finish line)\n";
        std::printf("\n%s", legs.c_str());
    }
    for (const auto& [option, file] : Outputs(options)) {
        const std::string_view name = option;
        std::printf("%s: %s\n",
                    name == "--json"       ? "JSON"
                    : name == "--csv"      ? "CSV"
                    : name == "--legs-csv" ? "Legs CSV"
                                           : "Series",
                    file.c_str());
    }
}

} // namespace

int RunAnalyseCommand(const std::vector<std::string>& args)
{
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(kAnalyseUsage, stdout);
            return 0;
        }
    }
    AnalyseOptions options;
    try {
        options = ParseAnalyseOptions(args);
        CheckOutputsApart(options);
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot analyse: %s (tideplot analyse --help)\n", e.what());
        return 2;
    }

    try {
        CheckOutputsWritable(options);
        const std::vector<BoatSource> boats = OpenRace(options);
        AnalysisOptions analysis;
        analysis.WindFromDeg = options.wind;
        ReadRaceCourse(options.raceFile, analysis);
        const RaceAnalysis race = AnalyseRace(boats, analysis);
        for (const std::string& warning : AnalysisWarnings(race))
            std::fprintf(stderr, "warning: %s\n", warning.c_str());
        WriteFiles(options, race);
        PrintReport(options, race);
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot analyse: %s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace tideplot
