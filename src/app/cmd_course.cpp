#include "analysis/courseproposal.h"
#include "analysis/raceanalysis.h"
#include "app/args.h"
#include "app/commands.h"
#include "core/coursefile.h"
#include "core/courseprogress.h"
#include "core/error.h"
#include "core/racecheck.h"
#include "core/replay.h"
#include "core/text.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tideplot {

namespace {

const char* kCourseUsage =
    "Usage: tideplot course RACE.TP1 [--write]\n"
    "Proposes the race's course from the fleet's tracks and prints it as lines of the course\n"
    "file RACE.TP1.course: the marks where the boats' turns of more than 60 degrees after their\n"
    "guns cluster, in the order they are sailed, each with the side the fleet left it on; the\n"
    "laps; and the start line, square to the leg to the first mark, just ahead of the fleet at\n"
    "its guns. The course file's finish line is kept, and with one the proposal is tried on the\n"
    "tracks. A proposal is never used for results until it is in the course file.\n"
    "  --write        write the proposal into RACE.TP1.course: its start, mark, gate, course\n"
    "                 and laps lines replaced, every other line (the finish line, notes) kept\n"
    "Exit status: 0 on success, 1 when the race or its course file cannot be read, no mark is\n"
    "found to write or the course file cannot be written, 2 for a usage error.\n";

struct CourseOptions {
    std::string raceFile;
    bool write = false;
};

CourseOptions ParseCourseOptions(const std::vector<std::string>& args)
{
    const ParsedArgs parsed = ParseArgs(args, {}, {"--write"});
    if (parsed.positional.empty())
        throw UsageError("no race file given");
    if (parsed.positional.size() > 1)
        throw UsageError("more than one race file: " + parsed.positional[0] + " and " + parsed.positional[1]);
    return {parsed.positional[0], parsed.flags.count("--write") > 0};
}

RaceAnalysis AnalyseRaceFile(const std::string& raceFile)
{
    RaceState state;
    state.RaceFileName = raceFile;
    StartReplay(state);
    for (const std::string& warning : StartTimeWarnings(state))
        std::fprintf(stderr, "warning: %s\n", warning.c_str());
    const std::vector<BoatSource> boats = BoatSources(state);
    CloseTrackFiles(state);
    return AnalyseRace(boats);
}

// How the boats sail the proposed course, each by its every fix.
std::string TryOut(const RaceAnalysis& race, const Course& course)
{
    const auto geometry = std::make_shared<const CourseGeometry>(course);
    int finished = 0, ocs = 0, missed = 0;
    for (const BoatAnalysis& boat : race.Boats) {
        CourseProgress progress(geometry);
        for (const MotionSample& s : boat.Motion.Samples)
            if (!progress.Finished())
                progress.Observe({s.Lat(), s.Lon(), static_cast<double>(s.Seconds)});
        finished += progress.Status() == RaceStatus::Finished;
        ocs += progress.Status() == RaceStatus::Ocs;
        missed += progress.Status() == RaceStatus::Missed;
    }
    const int boats = static_cast<int>(race.Boats.size());
    return "# Sailed by the tracks: " + std::to_string(finished) + " of " + std::to_string(boats) + " boats finish, " +
           std::to_string(missed) + " miss a mark, " + std::to_string(ocs) + " OCS, " +
           std::to_string(boats - finished - missed - ocs) + " DNF\n";
}

std::string ProposalText(const std::string& raceFile, const RaceAnalysis& race, const CourseProposal& proposal,
                         const Course& course)
{
    std::string text = "# The course of " + FileLabel(raceFile) + " proposed from the turns of " +
                       std::to_string(race.Boats.size()) + (race.Boats.size() == 1 ? " boat\n" : " boats\n");
    for (std::size_t i = 0; i < proposal.Marks.size(); ++i) {
        const ProposedMark& m = proposal.Marks[i];
        text += "# " + course.Marks[i].Name + ": turns of " + std::to_string(m.Boats) +
                (m.Boats == 1 ? " boat; " : " boats; ") + std::to_string(m.Inside) + " of its " +
                std::to_string(m.Turns) + " turns to " + std::string(MarkSideName(course.Marks[i].Side)) +
                " go round it\n";
    }
    if (course.Marks.empty())
        text += "# No turns of more than 60 degrees cluster: no mark found\n";
    for (const std::string& line : CourseTextLines(course))
        text += line + "\n";
    if (!course.Finish)
        text += "# No finish line in " + FileLabel(CourseFilePath(raceFile)) +
                ": add one (\"finish LAT1 LON1 LAT2 LON2\") to rank by this course\n";
    else if (!course.Marks.empty())
        text += TryOut(race, course);
    return text;
}

} // namespace

int RunCourseCommand(const std::vector<std::string>& args)
{
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(kCourseUsage, stdout);
            return 0;
        }
    }
    CourseOptions options;
    try {
        options = ParseCourseOptions(args);
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot course: %s (tideplot course --help)\n", e.what());
        return 2;
    }
    try {
        // The course file is read first: one that cannot be read is not written over.
        const std::string path = CourseFilePath(options.raceFile);
        std::error_code error;
        const std::optional<FinishLine> finish =
            std::filesystem::exists(path, error) ? ReadCourseFile(path).Plan.Finish : std::nullopt;
        const RaceAnalysis race = AnalyseRaceFile(options.raceFile);
        const CourseProposal proposal = ProposeCourse(race);
        Course course = proposal.Plan;
        course.Finish = finish;
        std::fputs(ProposalText(options.raceFile, race, proposal, course).c_str(), stdout);
        if (options.write) {
            if (course.Marks.empty())
                throw Error("no mark found: " + FileLabel(path) + " is left as it was");
            SaveCourse(options.raceFile, course);
            std::printf("Written into %s\n", path.c_str());
        }
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot course: %s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace tideplot
