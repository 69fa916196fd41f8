#include "share/exportloop.h"

#include "core/coursefile.h"
#include "core/error.h"
#include "core/racecheck.h"
#include "replay/earthobserver.h"
#include "replay/replaysession.h"
#include "replay/trace.h"
#include "replay/valuetext.h"

#include <memory>
#include <optional>

namespace tideplot {

namespace {

std::string Named(const QString& path)
{
    return "\"" + path.toLocal8Bit().toStdString() + "\"";
}

// An output that names a boat's track file would replace it: refused before anything is
// written.
void CheckOutputsAreNoTrackFile(const std::vector<ReplayExporter*>& exporters, const FleetInfo& fleet)
{
    for (const ReplayExporter* exporter : exporters)
        for (const QString& path : exporter->paths())
            for (std::size_t k = 0; k < fleet.Boats.size(); ++k)
                if (SameFile(path.toLocal8Bit().toStdString(), fleet.Boats[k].TrackFile))
                    throw Error("the output file " + Named(path) + " is the track file of boat " +
                                std::to_string(k + 1) + "; choose another name");
}

// How the replay's KML documents reach the exporters' views: one drawing observer over
// every view (the chart first: the camera is read from it), with the trace's events.
class Drawing {
public:
    Drawing(ExportRun& run, ApplicationGE* chart, const std::vector<ReplayExporter*>& exporters)
        : nothing_(run.HeadingDeg, run.TiltDeg)
    {
        std::vector<ApplicationGE*> views;
        if (chart)
            views.push_back(chart);
        TraceWriter* trace = nullptr;
        for (ReplayExporter* exporter : exporters) {
            if (ApplicationGE* view = exporter->view())
                views.push_back(view);
            if (!trace)
                trace = exporter->traceWriter();
        }
        // With no view and no trace nobody reads the documents: none are made.
        if (views.empty() && !trace)
            return;
        if (views.empty())
            views.push_back(&nothing_);
        fanOut_.emplace(std::move(views));
        ApplicationGE* application = &*fanOut_;
        if (trace) {
            tracing_.emplace(*application, *trace);
            application = &*tracing_;
        }
        observer_.emplace(*application, trace);
    }
    FrameObserver* observer() { return observer_ ? &*observer_ : nullptr; }

private:
    NullApplication nothing_; // the view of a trace alone: it reports the run's heading and tilt
    std::optional<FanOutApplication> fanOut_;
    std::optional<TracingApplication> tracing_;
    std::optional<GoogleEarthObserver> observer_;
};

// Plays the loaded race to its end (or the run's last step), showing every step to the
// exporters; false when the hooks stopped it.
bool PlayAll(ReplaySession& session, const ExportRun& run, const std::vector<ReplayExporter*>& exporters,
             const ExportHooks& hooks, ExportResult& result)
{
    while ((run.MaxSteps < 0 || result.Steps < run.MaxSteps) && session.step()) {
        ++result.Steps;
        const bool last = (run.MaxSteps >= 0 && result.Steps >= run.MaxSteps) || session.atEnd();
        for (ReplayExporter* exporter : exporters)
            exporter->stepShown(session.lastFrame(), last);
        if (hooks.stepDone && !hooks.stepDone(session.lastFrame()))
            return false;
    }
    return true;
}

} // namespace

void CheckOutputNames(const std::string& raceFile, const std::vector<ReplayExporter*>& exporters)
{
    const std::string course = CourseFilePath(raceFile);
    std::vector<QString> paths;
    for (const ReplayExporter* exporter : exporters)
        for (const QString& path : exporter->paths())
            paths.push_back(path);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string path = paths[i].toLocal8Bit().toStdString();
        if (SameFile(path, raceFile))
            throw Error("the output file " + Named(paths[i]) + " is the race file; choose another name");
        if (SameFile(path, course))
            throw Error("the output file " + Named(paths[i]) +
                        " is the race's course file (its finish line); choose another name");
        for (std::size_t j = i + 1; j < paths.size(); ++j)
            if (SameFile(path, paths[j].toLocal8Bit().toStdString()))
                throw Error("two outputs name the same file, " + Named(paths[i]));
    }
}

ExportResult RunExport(ExportRun& run, const std::vector<ReplayExporter*>& exporters, const ExportHooks& hooks)
{
    CheckOutputNames(run.RaceFile, exporters);
    for (ReplayExporter* exporter : exporters)
        exporter->open(run);
    std::unique_ptr<ApplicationGE> chart;
    bool showsChart = run.DrawChart;
    for (const ReplayExporter* exporter : exporters)
        showsChart = showsChart || exporter->showsChart();
    run.Chart = nullptr;
    if (showsChart) {
        if (!run.MakeChart)
            throw Error("the chart cannot be drawn here: no pictures are drawn without the windows' module");
        chart = run.MakeChart(run);
    }
    DrawnBox box;
    run.Drawn = &box;

    Drawing drawing(run, chart.get(), exporters);
    ReplaySession session;
    if (FrameObserver* observer = drawing.observer())
        session.addObserver(observer);
    session.addObserver(&box);
    for (ReplayExporter* exporter : exporters)
        session.addObserver(exporter);

    // With no output and no chart the replay only checks the race and counts what it draws.
    session.state().MeasureDistances = !exporters.empty() || chart != nullptr;
    ExportResult result;
    try {
        session.start(run.RaceFile, run.Settings, false);
        run.Fleet = session.fleet();
        result.Boats = static_cast<int>(run.Fleet.Boats.size());
        CheckOutputsAreNoTrackFile(exporters, run.Fleet);
        if (hooks.warning)
            for (const std::string& warning : StartTimeWarnings(session.state()))
                hooks.warning(warning);
        result.Cancelled = !PlayAll(session, run, exporters, hooks, result);
    } catch (const std::exception& e) {
        throw Error(std::string(e.what()) +
                    (exporters.empty() ? "" : " (no output file was written; older ones are as they were)"));
    }
    result.Segments = box.segments;
    result.RaceTime = RaceTimeText(session.lastFrame().Step, session.lastFrame().RaceClock);
    session.close();
    if (result.Cancelled)
        return result;

    std::vector<PreparedFile> files;
    for (ReplayExporter* exporter : exporters)
        for (PreparedFile& file : exporter->finish(run))
            files.push_back(std::move(file));
    if (chart && hooks.warning)
        for (const std::string& warning : chart->TakeWarnings())
            hooks.warning(warning);
    if (hooks.beforeCommit)
        hooks.beforeCommit();
    CommitTogether(files);
    return result;
}

} // namespace tideplot
