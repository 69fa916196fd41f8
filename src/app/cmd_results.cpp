#include "app/args.h"
#include "app/commands.h"
#include "core/coursefile.h"
#include "core/error.h"
#include "core/results.h"
#include "core/text.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <unistd.h>

namespace tideplot {

namespace {

const char* kResultsUsage =
    "Usage: tideplot results RACE.TP1 [--finish LAT1,LON1,LAT2,LON2] [--csv FILE]\n"
    "Prints the results of a race from its finish line, the segment from P1 (LAT1,LON1) to\n"
    "P2 (LAT2,LON2) in decimal degrees. A boat finishes at its first crossing of the line after\n"
    "its own start going from the left of P1->P2 to its right (standing at P1 and looking at P2:\n"
    "from your left to your right); crossings the other way, such as the start on the same\n"
    "line, do not count. The finish time is interpolated between the fixes either side of the\n"
    "line. elapsed = finish - start, corrected = elapsed x LYS; boats rank by corrected time,\n"
    "and times equal to the second share a rank. A boat that never finishes is DNF.\n"
    "  --finish LAT1,LON1,LAT2,LON2   the finish line; without it, the line\n"
    "                 \"finish LAT1 LON1 LAT2 LON2\" of the course file RACE.TP1.course\n"
    "  --csv FILE     also write the results as CSV (UTF-8, CR LF line ends), the columns\n"
    "                 rank,boat,lys,start,finish,elapsed,corrected: finishers by rank, then\n"
    "                 the boats that did not finish in race file order\n"
    "Exit status: 0 on success, 1 when the race or its course file cannot be read or the CSV\n"
    "cannot be written, 2 for a usage error.\n";

struct ResultsOptions {
    std::string raceFile;
    std::optional<FinishLine> finish;
    std::string csvFile;
};

ResultsOptions ParseResultsOptions(const std::vector<std::string>& args)
{
    const ParsedArgs parsed = ParseArgs(args, {"--finish", "--csv"}, {});
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
    options.csvFile = parsed.value("--csv", "");
    if (parsed.has("--csv") && options.csvFile.empty())
        throw UsageError("--csv needs a file name");
    return options;
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

// The results as a table a person reads: a column per field, the numbers right-aligned;
// on a terminal, control characters shown as "?".
std::string ResultsTable(const std::vector<BoatResult>& results, bool terminal)
{
    const std::array<std::string, 8> headings{"Rank", "Boat", "LYS", "Start", "Finish", "Elapsed", "Corrected", "File"};
    constexpr std::array<bool, 8> rightAligned{true, false, false, false, false, true, true, false};
    std::vector<std::array<std::string, 8>> rows{headings};
    for (const BoatResult& result : results) {
        rows.push_back(ResultTexts(result));
        if (terminal)
            for (std::string& text : rows.back())
                text = TerminalText(text);
    }
    std::array<std::size_t, 8> widths{};
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], ShownWidth(row[i]));
    std::string table;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string pad(widths[i] - ShownWidth(row[i]), ' ');
            if (i > 0)
                line += "  ";
            line += rightAligned[i] ? pad + row[i] : row[i] + pad;
        }
        line.erase(line.find_last_not_of(' ') + 1);
        table += line + "\n";
    }
    return table;
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
        if (!options.csvFile.empty() && SameFile(options.csvFile, options.raceFile))
            throw UsageError("--csv names the race file");
        if (!options.csvFile.empty() && SameFile(options.csvFile, CourseFilePath(options.raceFile)))
            throw UsageError("--csv names the course file");
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot results: %s (tideplot results --help)\n", e.what());
        return 2;
    }

    const bool terminal = isatty(STDOUT_FILENO) == 1;
    const bool stderrTerminal = StderrIsTerminal();
    try {
        if (!options.csvFile.empty())
            CheckOutputPath(QString::fromLocal8Bit(options.csvFile.c_str()), kResultsFileWhat);
        const bool fromCourseFile = !options.finish;
        const FinishLine line = fromCourseFile ? ReadCourseFinishLine(options.raceFile) : *options.finish;
        const std::vector<BoatResult> results = RaceResults(options.raceFile, line, [&](const std::string& warning) {
            std::fprintf(stderr, "warning: %s\n", (stderrTerminal ? TerminalText(warning) : warning).c_str());
        });
        for (const BoatResult& result : results)
            if (!options.csvFile.empty() && SameFile(options.csvFile, result.TrackPath))
                throw Error("--csv names the track file of " + result.Boat + "; choose another name");
        if (!options.csvFile.empty())
            SaveResultsCsv(QString::fromLocal8Bit(options.csvFile.c_str()), results);

        const auto finished = std::count_if(results.begin(), results.end(), [](const auto& r) { return r.Finished; });
        const auto shown = [&](const std::string& text) { return terminal ? TerminalText(text) : text; };
        std::printf("Results of %s: finish line %s (%s), %zu boats, %td finished\n\n", shown(options.raceFile).c_str(),
                    FinishLineText(line).c_str(),
                    fromCourseFile ? shown(FileLabel(CourseFilePath(options.raceFile))).c_str() : "--finish",
                    results.size(), finished);
        std::fputs(ResultsTable(results, terminal).c_str(), stdout);
        if (!options.csvFile.empty())
            std::printf("\nCSV: %s\n", shown(options.csvFile).c_str());
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot results: %s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace tideplot
