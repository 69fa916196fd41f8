#include "app/args.h"
#include "app/commands.h"
#include "app/replayoptions.h"
#include "core/coursefile.h"
#include "core/error.h"
#include "core/handicapfile.h"
#include "core/replay.h"
#include "core/text.h"
#include "earth/earthchoice.h"
#include "earth/map/mapchoice.h"
#include "replay/valuetext.h"
#include "share/exportloop.h"
#include "share/fileexporters.h"
#include "share/htmlpage.h"
#include "share/interrupt.h"
#include "share/replaysteps.h"

#include <QFileInfo>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

namespace tideplot {

namespace {

const char* kReplayUsage =
    "Usage: tideplot replay RACE.TP1 [options]\n"
    "Replays a race without windows, from the race clock at minus five minutes until every\n"
    "track file is at its end.\n"
    "  --resolution TEXT   seconds of race time per step, 0.01 to 86400, as typed in the\n"
    "                      control window (10)\n"
    "  --points TEXT       steps from one wide plot to the next (90)\n"
    "  --heading DEG       the heading the view reports (0)\n"
    "  --tilt DEG          the tilt the view reports (0)\n"
    "  --max-steps N       stop after N steps\n"
    "  --kml FILE          write everything drawn into one KML file\n"
    "  --trace FILE        write every event of the replay, one line each\n"
    "  --video FILE.mp4    write the chart of every step as one frame of an H.264 video\n"
    "  --size WxH          the video's picture size, even numbers (1280x720), and that of\n"
    "                      --screenshot (1280x960 without a video)\n"
    "  --fps N             the video's frames a second (30)\n"
    "  --kml-animated FILE write every boat's track as a gx:Track on the race clock, for\n"
    "                      Google Earth Pro's time slider\n"
    "  --screenshot FILE   save the chart of the whole race as a PNG, and beside it its world\n"
    "                      file FILE.pgw (Web Mercator, EPSG:3857) for GIS programs\n"
    "  --html FILE         write the replay as one web page: chart, controls, the boats'\n"
    "                      distances and, with a finish line, the leaderboard and results\n"
    "  --tail MIN          the web page draws the last MIN minutes of race time, 0.1 to\n"
    "                      1000000 (0: all, the default)\n"
    "  --title TEXT        the web page's title (the race file's name without extension)\n"
    "  --map SOURCE        draw the screenshot over a map: a tile server's URL template with\n"
    "                      {z}, {x} and {y}, an .mbtiles file, openstreetmap, openseamap or\n"
    "                      none (the default); waits up to 10 s for the tiles; the web page\n"
    "                      has its browser load the tiles of a tile server\n"
    "  --handicap SYSTEM   replay on corrected time by SYSTEM in place of the course file's\n"
    "                      handicap line: lys, tcf, phrf-tot, portsmouth, phrf-tod, orc-pl\n"
    "  --ratings FILE      take the rating, name, handicap and distance lines of FILE over\n"
    "                      the course file's\n"
    "A race with a course file (RACE.TP1.course) has its course drawn on the pictures, in the KML\n"
    "file and on the web page: the start line, the marks and gates, the finish line.\n";

// Every output option and the exporter that writes it.
// Those without one (the pictures) are made by the replay's drawing.
struct OutputOption {
    const char* Name;
    std::unique_ptr<ReplayExporter> (*Make)(const QString& path, const ReplayOptions& options);
};

template <class Exporter> std::unique_ptr<ReplayExporter> Make(const QString& path, const ReplayOptions&)
{
    return std::make_unique<Exporter>(path);
}

std::unique_ptr<ReplayExporter> MakePage(const QString& path, const ReplayOptions& options)
{
    std::vector<std::string> warnings;
    HtmlPageOptions page{QString::fromLocal8Bit(options.pageTitle.c_str()), options.tailMinutes, options.map,
                         options.pageMbtiles, PageCourse(options.raceFile, warnings)};
    for (const std::string& warning : warnings)
        std::fprintf(stderr, "warning: %s\n", warning.c_str());
    return std::make_unique<HtmlPageExporter>(path, std::move(page));
}

const OutputOption kOutputs[] = {
    {"--kml", Make<KmlFileExporter>},
    {"--trace", Make<TraceExporter>},
    {"--screenshot", nullptr},
    {"--video", nullptr},
    {"--kml-animated", Make<AnimatedKmlExporter>},
    {"--html", MakePage},
};

// --tail, and a map the web page can show.
void ParsePageOptions(const ParsedArgs& parsed, ReplayOptions& options)
{
    const bool page = parsed.has("--html");
    if (parsed.has("--tail") && !page)
        throw UsageError("--tail sets the minutes of track the --html page draws");
    options.tailMinutes = parsed.number("--tail", 0);
    if (parsed.has("--title") && !page)
        throw UsageError("--title sets the title of the --html page");
    options.pageTitle = parsed.value("--title", "");
    const double tail = options.tailMinutes;
    if (!TailMinutesAccepted(tail))
        throw UsageError("--tail: " + parsed.value("--tail", "") +
                         " is no number of minutes for the page's tail: give " + kTailRangeText);
    try {
        if (page)
            options.pageMbtiles = CheckPageMap(options.map);
    } catch (const Error& e) {
        throw UsageError(std::string("--map: ") + e.what());
    }
}

// --earth=chart draws into the chart; --earth=kml:FILE is --kml FILE.
void ParseEarthOption(const ParsedArgs& parsed, ReplayOptions& options, std::string& kmlFile)
{
    if (!parsed.has("--earth"))
        return;
    EarthChoice choice;
    try {
        choice = ParseEarthChoice(LocalText(parsed.value("--earth", "")));
    } catch (const Error& e) {
        throw UsageError(std::string("--earth: ") + e.what());
    }
    if (choice.kind == EarthChoice::Kind::GoogleEarth || choice.kind == EarthChoice::Kind::Automatic)
        throw UsageError("--earth: the replay without windows draws into chart or kml:FILE; "
                         "\"tideplot link\" replays a race live in Google Earth Pro");
    if (choice.kind == EarthChoice::Kind::KmlFile) {
        if (!kmlFile.empty())
            throw UsageError("--earth=kml:FILE and --kml FILE both name a KML file");
        kmlFile = choice.kmlPath.toLocal8Bit().toStdString();
    }
    options.chart = choice.kind == EarthChoice::Kind::Chart;
}

// No output names the race file, its course file, another output or the picture's world file.
void CheckOutputNames(const ReplayOptions& options, const ReplayDrawing* drawing)
{
    std::vector<std::pair<std::string, std::string>> named = options.outputs;
    if (const std::string picture = options.output("--screenshot"); !picture.empty() && drawing) {
        const std::string world = drawing->WorldFile(LocalText(picture)).toStdString();
        if (SameFile(world, picture))
            throw UsageError("--screenshot: a picture named .pgw would be its own world file");
        named.emplace_back("the world file of --screenshot, " + world + ",", world);
    }
    const std::string course = CourseFilePath(options.raceFile);
    for (std::size_t i = 0; i < named.size(); ++i) {
        const auto& [name, path] = named[i];
        if (SameFile(path, options.raceFile))
            throw UsageError(name + " names the race file");
        if (!options.ratingsFile.empty() && SameFile(path, options.ratingsFile))
            throw UsageError(name + " names the ratings file");
        if (SameFile(path, course))
            throw UsageError(name + " names the race's course file, " + course);
        for (std::size_t j = i + 1; j < named.size(); ++j)
            if (SameFile(path, named[j].second))
                throw UsageError(named[j].first.rfind("the world file", 0) == 0
                                     ? name + " names " + named[j].first.substr(0, named[j].first.size() - 1)
                                     : name + " and " + named[j].first + " name the same file");
    }
}

ParsedArgs ParseReplayArgs(const std::vector<std::string>& args)
{
    return ParseArgs(args,
                     {"--resolution", "--points", "--heading", "--tilt", "--max-steps", "--kml", "--trace", "--earth",
                      "--screenshot", "--video", "--size", "--fps", "--kml-animated", "--map", "--html", "--tail",
                      "--title", "--handicap", "--ratings"},
                     {});
}

ReplayOptions ParseReplayOptions(const std::vector<std::string>& args, const ReplayDrawing* drawing)
{
    const ParsedArgs parsed = ParseReplayArgs(args);
    if (!drawing && ReplayDraws(args))
        throw UsageError("the chart is drawn by the module that draws (tideplot-gui.so), which is not loaded here");
    if (parsed.positional.empty())
        throw UsageError("no race file given");
    if (parsed.positional.size() > 1)
        throw UsageError("more than one race file: " + parsed.positional[0] + " and " + parsed.positional[1]);
    ReplayOptions options;
    options.raceFile = parsed.positional[0];
    options.handicap = parsed.value("--handicap", "");
    if (parsed.has("--handicap") &&
        !HandicapSystemOfName(options.handicap.substr(0, options.handicap.find_first_of(" \t"))))
        throw UsageError("--handicap: " + QuotedText(options.handicap) +
                         " is no handicap system: " + HandicapSystemNames());
    options.ratingsFile = parsed.value("--ratings", "");
    if (parsed.has("--ratings") && options.ratingsFile.empty())
        throw UsageError("--ratings needs a file name");
    const std::string resolution = parsed.value("--resolution", "10");
    if (const std::string problem = ResolutionProblem(resolution); !problem.empty())
        throw UsageError("--resolution: " + problem);
    options.settings.ResolutionSeconds = NumberOfText(resolution);
    try {
        options.settings.StepsPerWidePlot = RoundToInt16(NumberOfText(parsed.value("--points", "90")));
    } catch (const Error& e) {
        throw UsageError(std::string("--points: ") + e.what());
    }
    options.headingDeg = parsed.number("--heading", 0);
    options.tiltDeg = parsed.number("--tilt", 0);
    const double maxSteps = parsed.number("--max-steps", -1);
    if (parsed.has("--max-steps") &&
        (maxSteps < 0 || maxSteps > 1e15 || maxSteps != static_cast<double>(static_cast<long long>(maxSteps))))
        throw UsageError("--max-steps needs a whole number of 0 or more");
    options.maxSteps = static_cast<long long>(maxSteps);
    if (parsed.has("--map")) {
        try {
            options.map = ParseMapChoice(LocalText(parsed.value("--map", "")));
        } catch (const Error& e) {
            throw UsageError(std::string("--map: ") + e.what());
        }
    }
    std::string kmlFile = parsed.value("--kml", "");
    ParseEarthOption(parsed, options, kmlFile);
    if (drawing)
        drawing->ParseOptions(parsed, options);
    ParsePageOptions(parsed, options);
    for (const OutputOption& output : kOutputs) {
        const std::string path = std::string(output.Name) == "--kml" ? kmlFile : parsed.value(output.Name, "");
        if (!path.empty())
            options.outputs.emplace_back(output.Name, path);
    }
    CheckOutputNames(options, drawing);
    return options;
}

// On a terminal: how far the replay is, at most every 200 ms; with a video, its frames
// and the time left.
class ProgressLine {
public:
    ProgressLine(const ReplayOptions& options, const ExportRun& run) : shown_(std::chrono::steady_clock::now())
    {
        if (!StderrIsTerminal())
            return;
        on_ = true;
        if (!options.output("--video").empty())
            video_.emplace(stderr, CountReplaySteps(run.RaceFile, run.Settings, run.MaxSteps));
    }
    ~ProgressLine() { clear(); }
    void update(const FleetFrame& frame)
    {
        if (video_) {
            video_->update(frame.Step);
        } else if (on_ && (frame.Step & 255) == 0 && std::chrono::steady_clock::now() - shown_ > kEvery) {
            shown_ = std::chrono::steady_clock::now();
            std::fprintf(stderr, "\rstep %lld, race time %s ", frame.Step,
                         RaceTimeText(frame.Step, frame.RaceClock).c_str());
            drawn_ = true;
        }
    }
    void clear()
    {
        if (video_)
            video_->clear();
        else if (drawn_)
            std::fputs("\r\033[K", stderr);
        drawn_ = false;
    }

private:
    static constexpr std::chrono::milliseconds kEvery{200};
    bool on_ = false;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point shown_;
    std::optional<VideoProgressLine> video_;
};

// The race and its settings as the run of every exporter takes them, with the race's
// course when the chart is shown or the KML file written.
ExportRun RunOf(const ReplayOptions& options, bool chart)
{
    ExportRun run;
    run.RaceFile = options.raceFile;
    run.Settings = options.settings;
    run.HeadingDeg = options.headingDeg;
    run.TiltDeg = options.tiltDeg;
    run.MaxSteps = options.maxSteps;
    run.DrawChart = options.chart;
    // The course is drawn on the pictures and in the KML file; a course file that cannot be
    // read is passed over with a warning, as the windows do.
    const bool drawsCourse = chart || !options.output("--kml").empty();
    if (drawsCourse && QFileInfo::exists(LocalText(CourseFilePath(options.raceFile)))) {
        try {
            Course course = ReadCourseFile(CourseFilePath(options.raceFile)).Plan;
            if (course.FinishOnly() && !course.Finish && chart)
                ReadCourseFinishLine(options.raceFile); // says how to set one
            if (!(course == Course{}))
                run.RaceCourse = std::move(course);
        } catch (const Error& e) {
            std::fprintf(stderr, "warning: %s; %s\n", e.what(),
                         chart ? "the pictures show no finish line" : "the KML file shows no course");
        }
    }
    return run;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "tideplot replay: %s\n", message.c_str());
    return InterruptSignal() != 0 ? 128 + InterruptSignal() : 1;
}

} // namespace

bool ReplayDraws(const std::vector<std::string>& args)
{
    ParsedArgs parsed;
    try {
        parsed = ParseReplayArgs(args);
    } catch (const Error&) {
        return false;
    }
    for (const char* option : {"--screenshot", "--video", "--size", "--fps"})
        if (parsed.has(option))
            return true;
    return parsed.has("--earth") && parsed.value("--earth", "") == "chart";
}

int RunReplayCommand(const std::vector<std::string>& args, int& argc, char** argv, const ReplayDrawing* drawing)
{
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(kReplayUsage, stdout);
            return 0;
        }
    }
    ReplayOptions options;
    try {
        options = ParseReplayOptions(args, drawing);
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot replay: %s (tideplot replay --help)\n", e.what());
        return 2;
    }
    if (!options.handicap.empty() || !options.ratingsFile.empty()) {
        try {
            SetRunHandicapLines(options.raceFile, std::make_shared<const HandicapLines>(RunHandicapLines(
                                                      options.raceFile, options.ratingsFile, options.handicap)));
        } catch (const Error& e) {
            return Fail(e.what());
        }
    }
    std::vector<std::unique_ptr<ReplayExporter>> exporters;
    for (const OutputOption& output : kOutputs)
        if (const std::string path = options.output(output.Name); !path.empty())
            exporters.push_back(output.Make ? output.Make(LocalText(path), options)
                                            : drawing->MakeExporter(output.Name, LocalText(path), options));
    const bool chart = options.chart || !options.output("--screenshot").empty() || !options.output("--video").empty();
    if (options.map.kind != MapChoice::Kind::None && !chart && options.output("--html").empty())
        std::fputs("warning: --map draws under the --screenshot and --video pictures; without one it has nothing to "
                   "do\n",
                   stderr);

    // Ctrl+C or SIGTERM stops the replay at its next step, as a failure does: no output
    // file is written, the temporary ones are removed.
    InterruptCatcher interrupts;
    const auto started = std::chrono::steady_clock::now();
    std::shared_ptr<void> drawn; // what the chart draws with, kept while it draws
    ExportResult result;
    try {
        ExportRun run = RunOf(options, chart);
        if (chart)
            drawn = drawing->Prepare(run, options, argc, argv);
        ProgressLine progress(options, run);
        ExportHooks hooks;
        hooks.warning = [](const std::string& warning) { std::fprintf(stderr, "warning: %s\n", warning.c_str()); };
        hooks.stepDone = [&](const FleetFrame& frame) {
            ThrowIfInterrupted();
            progress.update(frame);
            return true;
        };
        hooks.beforeCommit = [&] {
            progress.clear();
            ThrowIfInterrupted();
        };
        std::vector<ReplayExporter*> all;
        for (const auto& exporter : exporters)
            all.push_back(exporter.get());
        result = RunExport(run, all, hooks);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("Replayed %s: %d boats, %lld steps, %lld segments drawn, race time reached %s, %.3f s\n",
                options.raceFile.c_str(), result.Boats, result.Steps, result.Segments,
                result.RaceTime.empty() ? "-" : result.RaceTime.c_str(), seconds);
    for (const auto& exporter : exporters)
        for (const std::string& line : exporter->summary())
            std::printf("%s\n", line.c_str());
    return 0;
}

} // namespace tideplot
