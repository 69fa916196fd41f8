#include "app/args.h"
#include "app/commands.h"
#include "core/error.h"
#include "core/outputfile.h"
#include "core/racecheck.h"
#include "core/text.h"
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartmap.h"
#include "earth/earthfactory.h"
#include "earth/googleearth.h"
#include "earth/kmlfile.h"
#include "earth/map/mapchoice.h"
#include "replay/earthobserver.h"
#include "replay/replaysession.h"
#include "replay/trace.h"
#include "share/animatedkml.h"
#include "share/htmlpage.h"
#include "share/interrupt.h"
#include "share/replayvideo.h"
#include "share/videofile.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

namespace tideplot {

namespace {

const char* kReplayUsage = "Usage: tideplot replay RACE.TP1 [options]\n"
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
                           "  --tail MIN          the web page draws the last MIN minutes of race time (0: all)\n"
                           "  --map SOURCE        draw the screenshot over a map: a tile server's URL template with\n"
                           "                      {z}, {x} and {y}, an .mbtiles file, openstreetmap, openseamap or\n"
                           "                      none (the default); waits up to 10 s for the tiles; the web page\n"
                           "                      has its browser load the tiles of a tile server\n";

struct ReplayOptions {
    std::string raceFile;
    std::string resolution = "10";
    std::string points = "90";
    ReplaySettings settings;
    double headingDeg = 0;
    double tiltDeg = 0;
    long long maxSteps = -1;
    std::string kmlFile;
    std::string traceFile;
    bool chart = false;
    std::string screenshot;
    std::string video;
    std::optional<QSize> sizePx;
    int framesPerSecond = 30;
    std::string kmlAnimated;
    MapChoice map;
    std::string html;
    double tailMinutes = 0;
};

// --video, --size, --fps and --kml-animated. The video's size must be even (yuv420p);
// a --screenshot picture alone may have any size in the same range.
void ParseShareOptions(const ParsedArgs& parsed, ReplayOptions& options)
{
    options.video = parsed.value("--video", "");
    options.kmlAnimated = parsed.value("--kml-animated", "");
    if (parsed.has("--fps") && options.video.empty())
        throw UsageError("--fps sets the frame rate of --video");
    if (parsed.has("--size") && options.video.empty() && parsed.value("--screenshot", "").empty())
        throw UsageError("--size sets the picture size of --video and --screenshot");
    const std::string fps = parsed.value("--fps", "30");
    if (fps.empty() || fps.size() > 4 || fps.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError("--fps: \"" + fps + "\" is not a whole number of frames a second");
    options.framesPerSecond = std::stoi(fps);
    if (options.framesPerSecond < 1 || options.framesPerSecond > kMaxFramesPerSecond)
        throw UsageError("--fps: " + fps + " is not a number of frames a second from 1 to " +
                         std::to_string(kMaxFramesPerSecond));
    try {
        if (parsed.has("--size"))
            options.sizePx = ParseVideoSize(parsed.value("--size", ""));
        if (!options.video.empty()) {
            CheckVideoSettings({options.sizePx.value_or(VideoSettings().SizePx), options.framesPerSecond});
        } else if (options.sizePx) {
            const QSize even((options.sizePx->width() + 1) / 2 * 2, (options.sizePx->height() + 1) / 2 * 2);
            CheckVideoSettings({even, options.framesPerSecond});
        }
    } catch (const Error& e) {
        throw UsageError(std::string("--size: ") + e.what());
    }
}

ReplayOptions ParseReplayOptions(const std::vector<std::string>& args)
{
    const ParsedArgs parsed =
        ParseArgs(args,
                  {"--resolution", "--points", "--heading", "--tilt", "--max-steps", "--kml", "--trace", "--earth",
                   "--screenshot", "--video", "--size", "--fps", "--kml-animated", "--map", "--html", "--tail"},
                  {});
    if (parsed.positional.empty())
        throw UsageError("no race file given");
    if (parsed.positional.size() > 1)
        throw UsageError("more than one race file: " + parsed.positional[0] + " and " + parsed.positional[1]);
    ReplayOptions options;
    options.raceFile = parsed.positional[0];
    options.resolution = parsed.value("--resolution", options.resolution);
    if (const std::string problem = ResolutionProblem(options.resolution); !problem.empty())
        throw UsageError("--resolution: " + problem);
    options.points = parsed.value("--points", options.points);
    options.settings.ResolutionSeconds = NumberOfText(options.resolution);
    try {
        options.settings.StepsPerWidePlot = RoundToInt16(NumberOfText(options.points));
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
    options.kmlFile = parsed.value("--kml", "");
    options.traceFile = parsed.value("--trace", "");
    options.screenshot = parsed.value("--screenshot", "");
    if (parsed.has("--map")) {
        try {
            options.map = ParseMapChoice(QString::fromLocal8Bit(parsed.value("--map", "").c_str()));
        } catch (const Error& e) {
            throw UsageError(std::string("--map: ") + e.what());
        }
    }
    if (parsed.has("--earth")) {
        EarthChoice choice;
        try {
            choice = ParseEarthChoice(QString::fromLocal8Bit(parsed.value("--earth", "").c_str()));
        } catch (const Error& e) {
            throw UsageError(std::string("--earth: ") + e.what());
        }
        if (choice.kind == EarthChoice::Kind::GoogleEarth || choice.kind == EarthChoice::Kind::Automatic)
            throw UsageError("--earth: the replay without windows draws into chart or kml:FILE; "
                             "\"tideplot link\" replays a race live in Google Earth Pro");
        if (choice.kind == EarthChoice::Kind::KmlFile) {
            if (!options.kmlFile.empty())
                throw UsageError("--earth=kml:FILE and --kml FILE both name a KML file");
            options.kmlFile = choice.kmlPath.toLocal8Bit().toStdString();
        }
        options.chart = choice.kind == EarthChoice::Kind::Chart;
    }
    ParseShareOptions(parsed, options);
    options.html = parsed.value("--html", "");
    options.tailMinutes = parsed.number("--tail", 0);
    if (parsed.has("--tail") && (options.html.empty() || !(options.tailMinutes >= 0 && options.tailMinutes <= 1e9)))
        throw UsageError("--tail sets the minutes of track the --html page draws, 0 (all of it) or more");
    try {
        if (!options.html.empty())
            CheckPageMap(options.map);
    } catch (const Error& e) {
        throw UsageError(std::string("--map: ") + e.what());
    }
    if (!options.screenshot.empty() || !options.video.empty())
        options.chart = true;
    const std::pair<const char*, const std::string*> outputs[] = {
        {"--kml", &options.kmlFile}, {"--trace", &options.traceFile},          {"--screenshot", &options.screenshot},
        {"--video", &options.video}, {"--kml-animated", &options.kmlAnimated}, {"--html", &options.html}};
    for (std::size_t i = 0; i < std::size(outputs); ++i) {
        const auto& [name, path] = outputs[i];
        if (path->empty())
            continue;
        if (SameFile(*path, options.raceFile))
            throw UsageError(std::string(name) + " names the race file");
        for (std::size_t j = i + 1; j < std::size(outputs); ++j)
            if (!outputs[j].second->empty() && SameFile(*path, *outputs[j].second))
                throw UsageError(std::string(name) + " and " + outputs[j].first + " name the same file");
    }
    if (!options.screenshot.empty()) {
        const std::string world = WorldFilePath(QString::fromLocal8Bit(options.screenshot.c_str())).toStdString();
        for (const auto& [name, path] : outputs) {
            if (path == &options.screenshot && SameFile(world, *path))
                throw UsageError("--screenshot: a picture named .pgw would be its own world file");
            if (!path->empty() && SameFile(world, *path))
                throw UsageError(std::string(name) + " names the world file of --screenshot, " + world);
        }
        if (SameFile(world, options.raceFile))
            throw UsageError("the world file of --screenshot, " + world + ", is the race file");
    }
    return options;
}

// An output that names a boat's track file would replace it: refused before anything is
// written.
void CheckOutputsAreNoTrackFile(const ReplayOptions& options, const RaceState& state)
{
    for (const std::string* path : {&options.kmlFile, &options.traceFile, &options.screenshot, &options.video,
                                    &options.kmlAnimated, &options.html}) {
        for (int k = 0; k < state.BoatCount; ++k)
            if (!path->empty() && state.TrackFile[k] && SameFile(*path, state.TrackFile[k]->Path()))
                throw Error("the output file \"" + *path + "\" is the track file of boat " + std::to_string(k + 1) +
                            "; choose another name");
    }
}

} // namespace

int RunReplayCommand(const std::vector<std::string>& args, int& argc, char** argv)
{
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(kReplayUsage, stdout);
            return 0;
        }
    }
    ReplayOptions options;
    try {
        options = ParseReplayOptions(args);
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot replay: %s (tideplot replay --help)\n", e.what());
        return 2;
    }

    // Ctrl+C or SIGTERM stops the replay at its next step, as a failure does: no output
    // file is written, the temporary ones are removed.
    InterruptCatcher interrupts;
    const QSize pictureSize =
        options.sizePx.value_or(options.video.empty() ? kScreenshotSizePx : VideoSettings().SizePx);
    if (options.map.kind != MapChoice::Kind::None && options.screenshot.empty() && options.video.empty() &&
        options.html.empty())
        std::fputs("warning: --map draws under the --screenshot and --video pictures; without one it has nothing to "
                   "do\n",
                   stderr);

    const auto started = std::chrono::steady_clock::now();
    // Every output goes to a temporary file beside it, and replaces the old file only
    // when the whole replay has succeeded and every output is written whole: a replay
    // that cannot start, fails midway or cannot write leaves the old files as they were
    // (and creates none). Opening them first finds an unwritable folder at once.
    std::unique_ptr<OutputFile> traceOut, kmlOut, pictureOut, worldOut, animatedOut, htmlOut;
    std::unique_ptr<VideoFile> video;
    try {
        if (!options.traceFile.empty())
            traceOut =
                std::make_unique<OutputFile>(QString::fromLocal8Bit(options.traceFile.c_str()), "the trace file");
        if (!options.kmlFile.empty())
            kmlOut = std::make_unique<OutputFile>(QString::fromLocal8Bit(options.kmlFile.c_str()), "the KML file");
        if (!options.screenshot.empty()) {
            const QString picture = QString::fromLocal8Bit(options.screenshot.c_str());
            pictureOut = std::make_unique<OutputFile>(picture, "the chart picture");
            // A picture sent to a pipe or a device has no folder to hold its world file.
            if (QFileInfo(picture).isFile() || !QFileInfo::exists(picture))
                worldOut = std::make_unique<OutputFile>(WorldFilePath(picture), "the world file of the chart picture");
        }
        if (!options.kmlAnimated.empty())
            animatedOut = std::make_unique<OutputFile>(QString::fromLocal8Bit(options.kmlAnimated.c_str()),
                                                       "the animated KML file");
        if (!options.html.empty())
            htmlOut = std::make_unique<OutputFile>(QString::fromLocal8Bit(options.html.c_str()), "the web page");
        if (!options.video.empty())
            video = std::make_unique<VideoFile>(QString::fromLocal8Bit(options.video.c_str()),
                                                VideoSettings{pictureSize, options.framesPerSecond});
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot replay: %s\n", e.what());
        return 1;
    }
    std::optional<TraceWriter> trace;
    if (traceOut)
        trace.emplace(*traceOut);

    // The views: a KML file, the chart (drawn offscreen for the picture), or none.
    std::unique_ptr<KmlFileApplication> kmlFile;
    if (kmlOut) {
        kmlFile = std::make_unique<KmlFileApplication>(
            kmlOut->Path(), QFileInfo(QString::fromLocal8Bit(options.raceFile.c_str())).completeBaseName(),
            options.headingDeg, options.tiltDeg);
    }
    std::unique_ptr<QApplication> qtApp;
    std::unique_ptr<ChartApplication> chart;
    if (options.chart) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // Without a session (a build server, say) Qt picks a runtime folder of its own and
        // warns about it; pick the same folder quietly.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            const QString runtime =
                QDir::tempPath() + QStringLiteral("/runtime-") + qEnvironmentVariable("USER", "tideplot");
            if (QDir().mkpath(runtime) &&
                QFile::setPermissions(runtime,
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
                qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
        }
        qtApp = std::make_unique<QApplication>(argc, argv);
        chart = std::make_unique<ChartApplication>();
        try {
            chart->setMapSource(OpenMap(options.map));
        } catch (const Error& e) {
            std::fprintf(stderr, "tideplot replay: --map: %s\n", e.what());
            return 1;
        }
        CameraInfoGE start = chart->GetCamera(2);
        start.Azimuth = options.headingDeg;
        start.Tilt = options.tiltDeg;
        chart->SetCamera(start, 10.0);
    }
    NullApplication nothing(options.headingDeg, options.tiltDeg);
    std::optional<TeeApplication> both;
    if (chart && kmlFile)
        both.emplace(*chart, *kmlFile);
    ApplicationGE& backend = both      ? static_cast<ApplicationGE&>(*both)
                             : chart   ? static_cast<ApplicationGE&>(*chart)
                             : kmlFile ? static_cast<ApplicationGE&>(*kmlFile)
                                       : static_cast<ApplicationGE&>(nothing);
    std::optional<TracingApplication> tracingApp;
    if (trace)
        tracingApp.emplace(backend, *trace);
    ApplicationGE& application = tracingApp ? static_cast<ApplicationGE&>(*tracingApp) : backend;

    // With no view, no KML file and no trace nobody reads the documents: none are made.
    ReplaySession session;
    GoogleEarthObserver drawing(application, trace ? &*trace : nullptr);
    if (kmlFile || chart || trace)
        session.addObserver(&drawing);
    DrawnBox box;
    ReplayTexts texts;
    session.addObserver(&box);
    session.addObserver(&texts);
    std::unique_ptr<HtmlPageExporter> page;
    if (htmlOut) {
        std::vector<std::string> warnings;
        page = std::make_unique<HtmlPageExporter>(
            HtmlPageOptions{{}, options.tailMinutes, options.map, PageFinishLine(options.raceFile, warnings)});
        for (const std::string& warning : warnings)
            std::fprintf(stderr, "warning: %s\n", warning.c_str());
        session.addObserver(page.get());
    }

    long long steps = 0;
    std::string failure;
    const bool progress = StderrIsTerminal();
    auto lastProgress = started;
    std::vector<AnimatedBoat> animatedBoats;
    std::optional<VideoProgressLine> videoProgress;
    try {
        session.start(options.raceFile, options.settings, false);
        RaceState& state = session.state();
        CheckOutputsAreNoTrackFile(options, state);
        for (const std::string& warning : StartTimeWarnings(state))
            std::fprintf(stderr, "warning: %s\n", warning.c_str());
        if (animatedOut)
            animatedBoats = AnimatedBoats(state);
        if (video && progress)
            videoProgress.emplace(stderr, CountReplaySteps(options.raceFile, options.settings, options.maxSteps));
        while ((options.maxSteps < 0 || steps < options.maxSteps) && session.step()) {
            ++steps;
            ThrowIfInterrupted();
            if (video) {
                // One frame a step, the screenshot's picture: the last one framed on the whole race.
                const bool last = (options.maxSteps >= 0 && steps >= options.maxSteps) || session.atEnd();
                if (last && box.drawn())
                    FrameWholeRace(*chart, box.southWest, box.northEast, pictureSize);
                video->addFrame(
                    ReplayPicture(*chart, texts, pictureSize, last ? ChartDrawing::Fresh : ChartDrawing::Painted));
                if (videoProgress)
                    videoProgress->update(steps);
            } else if (progress && (steps & 255) == 0) {
                const auto now = std::chrono::steady_clock::now();
                if (now - lastProgress > std::chrono::milliseconds(200)) {
                    lastProgress = now;
                    std::fprintf(stderr, "\rstep %lld, race time %s ", steps, texts.raceTime.c_str());
                }
            }
        }
    } catch (const std::exception& e) {
        failure = e.what();
    }
    const int boatCount = session.state().BoatCount;
    session.close();
    if (videoProgress)
        videoProgress->clear();
    else if (progress && steps >= 256)
        std::fputs("\r\033[K", stderr);

    // Every output written whole first, then each put in place.
    if (failure.empty()) {
        try {
            if (trace)
                trace->flush();
            if (kmlOut)
                kmlOut->Write(kmlFile->document());
            if (pictureOut) {
                if (box.drawn())
                    FrameWholeRace(*chart, box.southWest, box.northEast, pictureSize);
                pictureOut->Write(PngBytes(ReplayPicture(*chart, texts, pictureSize)));
                if (worldOut)
                    worldOut->Write(chart->worldFile(pictureSize));
            }
            if (chart)
                for (const std::string& warning : chart->takeMapWarnings())
                    std::fprintf(stderr, "warning: %s\n", warning.c_str());
            if (animatedOut)
                WriteAnimatedKml(animatedBoats,
                                 QFileInfo(QString::fromLocal8Bit(options.raceFile.c_str())).completeBaseName(),
                                 *animatedOut);
            if (page)
                page->write(*htmlOut);
            if (video)
                video->finish();
            ThrowIfInterrupted();
            for (OutputFile* out :
                 {traceOut.get(), kmlOut.get(), pictureOut.get(), worldOut.get(), animatedOut.get(), htmlOut.get()})
                if (out)
                    out->Commit();
            if (video)
                video->commit();
        } catch (const Error& e) {
            failure = e.what();
        }
    } else if (traceOut || kmlOut || pictureOut || animatedOut || htmlOut || video) {
        failure += " (no output file was written; older ones are as they were)";
    }
    if (!failure.empty()) {
        std::fprintf(stderr, "tideplot replay: %s\n", failure.c_str());
        return InterruptSignal() != 0 ? 128 + InterruptSignal() : 1;
    }

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("Replayed %s: %d boats, %lld steps, %lld segments drawn, race time reached %s, %.3f s\n",
                options.raceFile.c_str(), boatCount, steps, box.segments,
                texts.raceTime.empty() ? "-" : texts.raceTime.c_str(), seconds);
    if (kmlOut)
        std::printf("KML file: %s\n", options.kmlFile.c_str());
    if (traceOut)
        std::printf("Trace: %s\n", options.traceFile.c_str());
    if (pictureOut)
        std::printf("Chart picture: %s\n", options.screenshot.c_str());
    if (video)
        std::printf("Video: %s (%lld frames, %dx%d at %d frames a second, %s)\n", options.video.c_str(),
                    video->frames(), pictureSize.width(), pictureSize.height(), options.framesPerSecond,
                    video->encoderName().c_str());
    if (animatedOut)
        std::printf("Animated KML file: %s\n", options.kmlAnimated.c_str());
    if (worldOut)
        std::printf("World file: %s\n", worldOut->Path().toLocal8Bit().constData());
    if (htmlOut)
        std::printf("Web page: %s\n", options.html.c_str());
    return 0;
}

} // namespace tideplot
