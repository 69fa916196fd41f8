#include "app/args.h"
#include "app/commands.h"
#include "core/coursefile.h"
#include "core/datetime.h"
#include "core/error.h"
#include "core/handicapfile.h"
#include "core/outputfile.h"
#include "core/results.h"
#include "core/resultsjson.h"
#include "core/text.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace tideplot {

namespace {

const char* kResultsUsage =
    "Usage: tideplot results RACE.TP1 [--finish LAT1,LON1,LAT2,LON2] [--handicap SYSTEM]\n"
    "                        [--ratings FILE] [--csv FILE] [--json FILE]\n"
    "Prints the results of a race by its course file RACE.TP1.course: the start line, the marks\n"
    "and gates a boat rounds in order, lap after lap, and the finish line (README, \"Results\").\n"
    "Lines run from P1 (LAT1,LON1) to P2 (LAT2,LON2) in decimal degrees; a boat crosses them\n"
    "from the left of P1->P2 to its right (standing at P1 and looking at P2: from your left to\n"
    "your right). A boat starts at its first crossing of the start line at or after its gun\n"
    "(OCS when over the line at the gun and it never comes back), rounds a mark by passing it on\n"
    "the side the course file names, and finishes at its first crossing of the finish line after\n"
    "the last mark; with the finish line alone, at its first crossing after its start. Moments\n"
    "are interpolated between the fixes either side. elapsed = finish - gun, corrected = elapsed\n"
    "x LYS, or under the course file's handicap system (README, \"Handicap systems\"); boats\n"
    "rank by corrected time, and times equal to the second share a rank. A boat\n"
    "that crossed the finish line having missed a mark is not ranked (missed W lap 2), one that\n"
    "never finishes is DNF.\n"
    "  --finish LAT1,LON1,LAT2,LON2   the finish line, in place of the course file's line\n"
    "                 \"finish LAT1 LON1 LAT2 LON2\" (the rest of the course file still counts)\n"
    "  --handicap SYSTEM  score by SYSTEM in place of the course file's handicap line: lys, tcf,\n"
    "                 phrf-tot (or \"phrf-tot A B\"), portsmouth, phrf-tod or orc-pl\n"
    "  --ratings FILE  take the lines of FILE (\"rating TRACKFILE VALUE\", \"name TRACKFILE TEXT\",\n"
    "                 \"handicap ...\", \"distance NM\", as in the course file) over the course file's\n"
    "  --csv FILE     also write the results as CSV (UTF-8, CR LF line ends), the columns\n"
    "                 rank,boat,lys,start,finish,elapsed,corrected,file,status: finishers by\n"
    "                 rank, then the other boats in race file order\n"
    "  --json FILE    also write the course and the results, every rounding with its time and\n"
    "                 rank, as JSON (README, \"Results\")\n"
    "Exit status: 0 on success, 1 when the race or its course file cannot be read or an output\n"
    "cannot be written, 2 for a usage error.\n";

struct ResultsOptions {
    std::string raceFile;
    std::optional<FinishLine> finish;
    std::string csvFile;
    std::string jsonFile;
    std::string handicap;
    std::string ratingsFile;
};

ResultsOptions ParseResultsOptions(const std::vector<std::string>& args)
{
    const ParsedArgs parsed = ParseArgs(args, {"--finish", "--csv", "--json", "--handicap", "--ratings"}, {});
    if (parsed.positional.empty())
        throw UsageError("no race file given");
    if (parsed.positional.size() > 1)
        throw UsageError("more than one race file: " + parsed.positional[0] + " and " + parsed.positional[1]);
    ResultsOptions options;
    options.raceFile = parsed.positional[0];
    if (parsed.has("--finish")) {
        try {
            options.finish = FinishLineFromText(parsed.value("--finish", ""));
        } catch (const Error& e) {
            throw UsageError(std::string("--finish: ") + e.what());
        }
    }
    options.handicap = parsed.value("--handicap", "");
    if (parsed.has("--handicap") &&
        !HandicapSystemOfName(options.handicap.substr(0, options.handicap.find_first_of(" \t"))))
        throw UsageError("--handicap: " + QuotedText(options.handicap) +
                         " is no handicap system: " + HandicapSystemNames());
    options.ratingsFile = parsed.value("--ratings", "");
    if (parsed.has("--ratings") && options.ratingsFile.empty())
        throw UsageError("--ratings needs a file name");
    for (const auto& [option, file] : {std::pair{"--csv", &options.csvFile}, std::pair{"--json", &options.jsonFile}}) {
        *file = parsed.value(option, "");
        if (parsed.has(option) && file->empty())
            throw UsageError(std::string(option) + " needs a file name");
        if (!file->empty() && SameFile(*file, options.raceFile))
            throw UsageError(std::string(option) + " names the race file");
        if (!file->empty() && SameFile(*file, CourseFilePath(options.raceFile)))
            throw UsageError(std::string(option) + " names the course file");
        if (!file->empty() && !options.ratingsFile.empty() && SameFile(*file, options.ratingsFile))
            throw UsageError(std::string(option) + " names the ratings file");
    }
    if (!options.csvFile.empty() && SameFile(options.csvFile, options.jsonFile))
        throw UsageError("--csv and --json name the same file");
    return options;
}

// The course the race is ranked by: its course file's, the finish line taken from --finish
// when it is given (a finish line alone without a course file).
Course RaceCourse(const ResultsOptions& options)
{
    if (!options.finish)
        return ReadCourse(options.raceFile);
    Course course;
    std::error_code error;
    if (std::filesystem::exists(CourseFilePath(options.raceFile), error))
        course = ReadCourseFile(CourseFilePath(options.raceFile)).Plan;
    course.Finish = options.finish;
    return course;
}

// The number of characters a terminal shows for a UTF-8 text (one per character).
std::size_t ShownWidth(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// UTF-8 text for a terminal: control characters (C0, DEL and C1, which start a
// terminal's escape sequences) shown as "?".
std::string TerminalText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool c1 = byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (byte < 0x20 || byte == 0x7F || c1) {
            out += '?';
            i += c1 ? 1 : 0;
        } else {
            out += text[i];
        }
    }
    return out;
}

using TableRow = std::vector<std::string>;

// A table a person reads: a column per field, padded to its widest text, those marked
// right-aligned; on a terminal, control characters shown as "?".
std::string TextTable(std::vector<TableRow> rows, const std::vector<bool>& rightAligned, bool terminal)
{
    std::vector<std::size_t> widths(rows.empty() ? 0 : rows[0].size());
    for (TableRow& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (terminal)
                row[i] = TerminalText(row[i]);
            widths[i] = std::max(widths[i], ShownWidth(row[i]));
        }
    std::string table;
    for (const TableRow& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string pad(widths[i] - ShownWidth(row[i]), ' ');
            if (i > 0)
                line += "  ";
            line += i < rightAligned.size() && rightAligned[i] ? pad + row[i] : row[i] + pad;
        }
        line.erase(line.find_last_not_of(' ') + 1);
        table += line + "\n";
    }
    return table;
}

// "hh:mm:ss" of `seconds` after the date value `gun`, rounded to the second.
std::string ClockText(double gun, double seconds)
{
    return DateText(gun + static_cast<double>(std::llround(seconds)) / kSecondsPerDay).substr(11);
}

// The results table: the columns of the CSV (the status before the file); with a start line,
// the start crossing after the gun. A course of a finish line alone shows no status.
std::string ResultsTable(const std::vector<BoatResult>& results, const Course& course, const Handicap& handicap,
                         bool terminal)
{
    const bool status = !course.FinishOnly(), started = course.Start.has_value();
    TableRow headings{"Rank", "Boat", handicap.System == HandicapSystem::Lys ? "LYS" : "Rating", "Start"};
    std::vector<bool> right{true, false, false, false};
    if (started) {
        headings.push_back("Started");
        right.push_back(false);
    }
    for (const char* heading : {"Finish", "Elapsed", "Corrected"})
        headings.push_back(heading);
    right.insert(right.end(), {false, true, true});
    if (status) {
        headings.push_back("Status");
        right.push_back(false);
    }
    headings.push_back("File");
    std::vector<TableRow> rows{headings};
    for (const BoatResult& result : results) {
        const auto texts = ResultTexts(result);
        TableRow row(texts.begin(), texts.begin() + 4);
        if (started)
            row.push_back(!result.StartedSeconds
                              ? std::string("-")
                              : ClockText(result.StartTime, *result.StartedSeconds) + (result.Ocs ? " (OCS)" : ""));
        row.insert(row.end(), texts.begin() + 4, texts.begin() + 7);
        if (status)
            row.push_back(texts[8]);
        row.push_back(texts[7]);
        rows.push_back(std::move(row));
    }
    return TextTable(std::move(rows), right, terminal);
}

// Each boat's roundings: the time of day and, in brackets, its rank at that mark.
std::string RoundingsTable(const std::vector<BoatResult>& results, const Course& course, bool terminal)
{
    const std::vector<CourseLeg> sequence = course.Sequence();
    TableRow headings{"Boat"};
    for (const CourseLeg& leg : sequence)
        headings.push_back(course.Marks[leg.Mark].Name + " " + std::to_string(leg.Lap));
    std::vector<TableRow> rows{headings};
    for (const BoatResult& result : results) {
        TableRow row{ResultTexts(result)[1]};
        for (std::size_t p = 0; p < sequence.size(); ++p)
            row.push_back(p < result.Roundings.size()
                              ? ClockText(result.StartTime, result.Roundings[p].ElapsedSeconds) + " (" +
                                    std::to_string(result.Roundings[p].Rank) + ")"
                              : std::string("-"));
        rows.push_back(std::move(row));
    }
    return TextTable(std::move(rows), {}, terminal);
}

// The first line of the output, and the course's lines after it.
std::string CourseHeading(const ResultsOptions& options, const Course& course, std::size_t boats,
                          std::ptrdiff_t finished, const std::function<std::string(const std::string&)>& shown)
{
    const std::string courseFile = shown(FileLabel(CourseFilePath(options.raceFile)));
    const std::string finishSource = options.finish ? std::string("--finish") : courseFile;
    const std::string counts = std::to_string(boats) + " boats, " + std::to_string(finished) + " finished\n";
    if (course.FinishOnly())
        return "Results of " + shown(options.raceFile) + ": finish line " + FinishLineText(*course.Finish) + " (" +
               finishSource + "), " + counts;
    std::string text = "Results of " + shown(options.raceFile) + " by its course (" + courseFile + "): " + counts;
    if (course.Start)
        text += "Start line " + FinishLineText(*course.Start) + "\n";
    if (!course.Marks.empty()) {
        text += "Course";
        for (const std::size_t mark : course.Lap()) {
            const CourseMark& m = course.Marks[mark];
            text += ' ';
            text += shown(m.Name);
            text += m.Gate ? " (gate)" : m.Side == MarkSide::Port ? " (port)" : " (starboard)";
        }
        text += course.Laps == 1 ? ", 1 lap\n" : ", " + std::to_string(course.Laps) + " laps\n";
    }
    return text + "Finish line " + FinishLineText(*course.Finish) + " (" + finishSource + ")\n";
}

// "Handicap: phrf-tod (corrected = elapsed - rating x 6.4 nm)", on a line of its own.
std::string HandicapHeading(const ResultsHandicap& handicap)
{
    const Handicap& rule = handicap.Rule;
    std::string text = "Handicap: " + std::string(HandicapSystemCaption(rule.System)) + ", corrected = ";
    char nm[64] = "distance";
    if (handicap.DistanceNm)
        std::snprintf(nm, sizeof nm, "%.2f nm", *handicap.DistanceNm);
    const std::string distance = nm;
    switch (rule.System) {
    case HandicapSystem::Lys:
        return text + "elapsed x LYS\n";
    case HandicapSystem::Tcf:
        return text + "elapsed x rating\n";
    case HandicapSystem::PhrfTot:
        return text + "elapsed x " + ShortNumberText(rule.A) + " / (" + ShortNumberText(rule.B) + " + rating)\n";
    case HandicapSystem::Portsmouth:
        return text + "elapsed x 1000 / rating\n";
    case HandicapSystem::PhrfTod:
        return text + "elapsed - rating x " + distance + "\n";
    case HandicapSystem::OrcPl:
        return text + "PLT x elapsed - PLD x " + distance + "\n";
    }
    return text + "\n";
}

// The CSV and the JSON written whole, then put in place together: a run that fails or is
// interrupted leaves both older files as they were.
void SaveResultFiles(const ResultsOptions& options, const Course& course, const std::vector<BoatResult>& results,
                     const ResultsHandicap& handicap)
{
    std::vector<std::unique_ptr<OutputFile>> files;
    if (!options.csvFile.empty()) {
        files.push_back(
            std::make_unique<OutputFile>(QString::fromLocal8Bit(options.csvFile.c_str()), kResultsFileWhat));
        files.back()->Write(ResultsCsv(results));
    }
    if (!options.jsonFile.empty()) {
        files.push_back(
            std::make_unique<OutputFile>(QString::fromLocal8Bit(options.jsonFile.c_str()), kResultsJsonWhat));
        files.back()->Write(ResultsJson(course, results, handicap));
    }
    std::vector<PreparedFile> prepared;
    for (const auto& file : files)
        prepared.push_back(file->Prepare());
    CommitTogether(prepared);
}

} // namespace

int RunResultsCommand(const std::vector<std::string>& args)
{
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(kResultsUsage, stdout);
            return 0;
        }
    }
    ResultsOptions options;
    try {
        options = ParseResultsOptions(args);
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot results: %s (tideplot results --help)\n", e.what());
        return 2;
    }

    const bool terminal = isatty(STDOUT_FILENO) == 1;
    const bool stderrTerminal = StderrIsTerminal();
    try {
        // An output that is no file (a FIFO) is refused before the race is read.
        if (!options.csvFile.empty())
            CheckOutputPath(QString::fromLocal8Bit(options.csvFile.c_str()), kResultsFileWhat);
        if (!options.jsonFile.empty())
            CheckOutputPath(QString::fromLocal8Bit(options.jsonFile.c_str()), kResultsJsonWhat);
        const Course course = RaceCourse(options);
        const auto lines = std::make_shared<const HandicapLines>(
            RunHandicapLines(options.raceFile, options.ratingsFile, options.handicap));
        const std::vector<BoatResult> results = RaceResults(
            options.raceFile, course,
            [&](const std::string& warning) {
                std::fprintf(stderr, "warning: %s\n", (stderrTerminal ? TerminalText(warning) : warning).c_str());
            },
            lines);
        ResultsHandicap handicap{lines->Effective(), lines->DistanceNm};
        if (IsTimeOnDistance(handicap.Rule.System) && !handicap.DistanceNm)
            handicap.DistanceNm = CourseDistanceNm(course);
        for (const BoatResult& result : results)
            for (const auto& [option, file] : {std::pair{"--csv", &options.csvFile}, {"--json", &options.jsonFile}})
                if (!file->empty() && SameFile(*file, result.TrackPath))
                    throw Error(std::string(option) + " names the track file of " + result.Boat +
                                "; choose another name");
        SaveResultFiles(options, course, results, handicap);

        const auto finished = std::count_if(results.begin(), results.end(), [](const auto& r) { return r.Finished; });
        const auto shown = [&](const std::string& text) { return terminal ? TerminalText(text) : text; };
        std::fputs(CourseHeading(options, course, results.size(), finished, shown).c_str(), stdout);
        if (!lines->Neutral())
            std::fputs(HandicapHeading(handicap).c_str(), stdout);
        // (Each text by itself: GCC 12 warns of a false overlap in a prefix joined to a string.)
        std::fputs("\n", stdout);
        std::fputs(ResultsTable(results, course, handicap.Rule, terminal).c_str(), stdout);
        if (!course.Marks.empty()) {
            std::fputs("\nRoundings: the time of day, and the rank at the mark on corrected time\n", stdout);
            std::fputs(RoundingsTable(results, course, terminal).c_str(), stdout);
        }
        if (!options.csvFile.empty())
            std::printf("\nCSV: %s\n", shown(options.csvFile).c_str());
        if (!options.jsonFile.empty())
            std::printf("%sJSON: %s\n", options.csvFile.empty() ? "\n" : "", shown(options.jsonFile).c_str());
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot results: %s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace tideplot
