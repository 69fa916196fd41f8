#pragma once

#include "core/course.h"
#include "core/outputfile.h"
#include "core/replay.h"
#include "core/results.h"
#include "earth/applicationge.h"
#include "replay/fleetframe.h"

#include <QSize>
#include <QString>

#include <functional>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The outputs of a replay: each a file the replay writes (the KML file, the trace, the
// picture with its world file, the video, the animated KML, the web page) behind one
// interface. One loop (exportloop.h) plays the race once without windows and feeds every
// exporter chosen; their files are put in place only when all of them are written.
namespace tideplot {

class ChartPicture;
class DrawnBox;
class MapSource;
class TraceWriter;

// What every exporter of one run shares.
struct ExportRun {
    std::string RaceFile;
    ReplaySettings Settings;
    double HeadingDeg = 0; // the heading and tilt the view reports
    double TiltDeg = 0;
    long long MaxSteps = -1;          // all steps
    QSize PictureSize{1280, 960};     // of the picture and the video
    std::shared_ptr<MapSource> Map;   // under the chart's pictures; none: the sea
    std::optional<Course> RaceCourse; // drawn on the pictures and in the KML file, when the race has one
    bool DrawChart = false;           // the chart is drawn even when no exporter shows it
    // Makes the chart, and sets Chart: given where the pictures are drawn (MakeExportChart,
    // share/pictureexporters.h), for the loop to call once when the chart is shown.
    std::function<std::unique_ptr<ApplicationGE>(ExportRun& run)> MakeChart;
    // Filled by the loop: the race's boats once it is loaded, the chart when an exporter
    // shows it, the box of everything drawn so far.
    FleetInfo Fleet;
    ChartPicture* Chart = nullptr;
    const DrawnBox* Drawn = nullptr;
};

class ReplayExporter : public FrameObserver {
public:
    // The files it writes, for the checks that no output names one of the race's own files
    // or another output.
    virtual std::vector<QString> paths() const = 0;
    // Whether it shows the chart (the loop makes one for all of them).
    virtual bool showsChart() const { return false; }
    // Opens its temporary files, before the race is loaded, so that a folder that cannot
    // be written is found at once. Throws Error naming the file.
    virtual void open(ExportRun& run) = 0;
    // The view it draws the replay's KML documents into; null when it reads frames only.
    virtual ApplicationGE* view() { return nullptr; }
    // The trace the drawing writes its events into, for the trace.
    virtual TraceWriter* traceWriter() { return nullptr; }
    // After every observer was shown the step (the chart holds its pieces): `last` when the
    // replay stops after it. Throws Error.
    virtual void stepShown(const FleetFrame& /*frame*/, bool /*last*/) {}
    // After the last step: writes everything to its temporary files and hands them over to
    // be put in place. Throws Error naming the file.
    virtual std::vector<PreparedFile> finish(ExportRun& run) = 0;
    // What it wrote, one line each ("KML file: k.kml"), once its files are in place.
    virtual std::vector<std::string> summary() const = 0;
};

} // namespace tideplot
