#include "app/args.h"
#include "app/commands.h"
#include "core/coursefile.h"
#include "core/error.h"
#include "core/racecheck.h"
#include "core/text.h"
#include "earth/gelink/googleearthlink.h"
#include "earth/googleearth.h"
#include "earth/map/mapchoice.h"
#include "replay/earthobserver.h"
#include "replay/replaysession.h"
#include "replay/valuetext.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace tideplot {

namespace {

const char* kLinkUsage = "Usage: tideplot link RACE.TP1 [options]\n"
                         "Replays a race live in Google Earth Pro at the control window's pace: writes a link file\n"
                         "that Google Earth Pro opens and polls every second, and serves the race to it from\n"
                         "127.0.0.1. The link keeps its address from run to run: saved in Google Earth Pro once, it\n"
                         "shows every later replay (then run with --no-open). After the last step the race stays\n"
                         "served until the program is stopped (Ctrl+C).\n"
                         "  --resolution TEXT   seconds of race time per step, 0.01 to 86400 (10)\n"
                         "  --points TEXT       steps from one wide plot to the next (90)\n"
                         "  --playspeed MS      milliseconds between steps (10)\n"
                         "  --no-open           do not open the link file; open it in Google Earth Pro by hand\n"
                         "  --exit-at-end       stop once Google Earth Pro has fetched the end of the race (or has\n"
                         "                      not polled for 5 seconds)\n"
                         "  --map none          the only map here: Google Earth Pro draws its own imagery\n";

struct LinkOptions {
    std::string raceFile;
    ReplaySettings settings;
    int playspeedMs = 10;
    bool open = true;
    bool exitAtEnd = false;
};

// Only "--map none" is taken: Google Earth Pro draws its own imagery.
void CheckLinkMap(const ParsedArgs& parsed)
{
    if (!parsed.has("--map"))
        return;
    MapChoice map;
    try {
        map = ParseMapChoice(QString::fromLocal8Bit(parsed.value("--map", "").c_str()));
    } catch (const Error& e) {
        throw UsageError(std::string("--map: ") + e.what());
    }
    if (map.kind != MapChoice::Kind::None)
        throw UsageError("--map: Google Earth Pro draws its own imagery under the race, so the link "
                         "serves no map; maps are drawn by the chart view (its Map menu, or "
                         "\"tideplot replay RACE.TP1 --screenshot FILE --map SOURCE\")");
}

LinkOptions ParseLinkOptions(const ParsedArgs& parsed)
{
    CheckLinkMap(parsed);
    if (parsed.positional.size() != 1)
        throw UsageError(parsed.positional.empty() ? "no race file given" : "more than one race file");
    LinkOptions options;
    options.raceFile = parsed.positional[0];
    if (const std::string problem = ResolutionProblem(parsed.value("--resolution", "10")); !problem.empty())
        throw UsageError("--resolution: " + problem);
    options.settings.ResolutionSeconds = NumberOfText(parsed.value("--resolution", "10"));
    try {
        options.settings.StepsPerWidePlot = RoundToInt16(NumberOfText(parsed.value("--points", "90")));
    } catch (const Error& e) {
        throw UsageError(std::string("--points: ") + e.what());
    }
    const double speed = parsed.number("--playspeed", 10);
    if (speed < 1 || speed > 65535)
        throw UsageError("--playspeed needs milliseconds from 1 to 65535");
    options.playspeedMs = RoundToInt32(speed);
    options.open = parsed.flags.count("--no-open") == 0;
    options.exitAtEnd = parsed.flags.count("--exit-at-end") > 0;
    return options;
}

// Follows the replay on the terminal and ends the program's event loop as the options say:
// the progress line while it plays, the summary at the end, the failure's message.
class LinkProgress : public FrameObserver {
public:
    LinkProgress(ReplaySession& session, GoogleEarthLink& link, bool exitAtEnd)
        : session_(session), link_(link), exitAtEnd_(exitAtEnd)
    {
    }
    int status() const { return status_; }

    void frame(const FleetFrame& frame) override { last_ = frame; }
    void ticked() override
    {
        if (StderrIsTerminal() && !session_.atEnd())
            std::fprintf(stderr, "\rstep %lld, race time %s ", last_.Step,
                         RaceTimeText(last_.Step, last_.RaceClock).c_str());
    }
    void reachedEnd() override { finished(); }
    void failed(const std::string& message) override
    {
        std::fprintf(stderr, "tideplot link: %s\n", message.c_str());
        status_ = 1;
        QCoreApplication::exit(1);
    }

    void finished()
    {
        session_.stop();
        const std::string raceTime = RaceTimeText(last_.Step, last_.RaceClock);
        std::printf("Replayed %s: %d boats, %lld steps, race time reached %s\n", session_.fleet().RaceFileName.c_str(),
                    static_cast<int>(session_.fleet().Boats.size()), session_.position(),
                    raceTime.empty() ? "-" : raceTime.c_str());
        if (exitAtEnd_) {
            std::puts("Serving until Google Earth Pro has fetched the end of the race.");
            link_.callWhenServed([] { QCoreApplication::quit(); });
        } else {
            std::puts("The race stays served until the program is stopped (Ctrl+C).");
        }
        std::fflush(stdout);
    }

private:
    ReplaySession& session_;
    GoogleEarthLink& link_;
    bool exitAtEnd_;
    FleetFrame last_;
    int status_ = 0;
};

} // namespace

int RunLinkCommand(const std::vector<std::string>& args, int& argc, char** argv)
{
    LinkOptions options;
    try {
        const ParsedArgs parsed = ParseArgs(args, {"--resolution", "--points", "--playspeed", "--map"},
                                            {"--no-open", "--exit-at-end", "--help"});
        if (parsed.flags.count("--help")) {
            std::fputs(kLinkUsage, stdout);
            return 0;
        }
        options = ParseLinkOptions(parsed);
    } catch (const Error& e) {
        std::fprintf(stderr, "tideplot link: %s (tideplot link --help)\n", e.what());
        return 2;
    }

    std::unique_ptr<QCoreApplication> app;
    // With a window system Google Earth Pro is opened through the file association when it
    // is not on the PATH.
    if (HaveWindowSystem())
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);

    std::unique_ptr<GoogleEarthLink> link;
    ReplaySession session;
    try {
        GoogleEarthLinkOptions linkOptions;
        linkOptions.OpenInGoogleEarth = options.open;
        link = std::make_unique<GoogleEarthLink>(linkOptions);
        for (const std::string& warning : link->TakeWarnings())
            std::fprintf(stderr, "warning: %s\n", warning.c_str());
        session.start(options.raceFile, options.settings, false);
        // The course drawn with the tracks; a course file that cannot be read is passed over
        // with a warning, as the windows do.
        const std::string coursePath = CourseFilePath(options.raceFile);
        std::error_code error;
        if (std::filesystem::exists(coursePath, error)) {
            try {
                const Course course = ReadCourseFile(coursePath).Plan;
                if (!(course == Course{}))
                    link->SetCourse(course);
            } catch (const Error& e) {
                std::fprintf(stderr, "warning: %s; Google Earth shows no course\n", e.what());
            }
        }
        for (const std::string& warning : StartTimeWarnings(session.state()))
            std::fprintf(stderr, "warning: %s\n", warning.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tideplot link: %s\n", e.what());
        return 1;
    }
    std::printf("Link file: %s\nServing at: %s\n%s\n", link->linkFilePath().toLocal8Bit().constData(),
                link->serverUrl().toString().toLocal8Bit().constData(), link->openReport().toLocal8Bit().constData());
    std::fflush(stdout);

    GoogleEarthObserver drawing(*link);
    session.addObserver(&drawing);
    LinkProgress progress(session, *link, options.exitAtEnd);
    session.addObserver(&progress);
    if (session.atEnd())
        progress.finished();
    else
        session.play(options.playspeedMs);
    const int loop = QCoreApplication::exec();
    session.close();
    return progress.status() != 0 ? progress.status() : loop;
}

} // namespace tideplot
