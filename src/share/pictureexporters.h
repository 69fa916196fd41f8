#pragma once

#include "share/exporter.h"
#include "share/videofile.h"

#include <functional>
#include <memory>

// The replay's pictures: the chart of the whole race as a PNG with its world file, and
// the chart of every step as one frame of a video; both with the control window's texts
// (race time, legend, distances) in a corner and the finish line when the race has one.
namespace tideplot {

// The chart the pictures show, its camera at the run's heading and tilt (ExportRun's
// MakeChart); sets the run's Chart.
std::unique_ptr<ApplicationGE> MakeExportChart(ExportRun& run);

// --screenshot FILE: the chart of the whole race at the end, and FILE.pgw beside it
// (Web Mercator, for GIS programs) unless the picture goes to a pipe or a device.
class PictureExporter : public ReplayExporter {
public:
    explicit PictureExporter(QString path);
    std::vector<QString> paths() const override;
    bool showsChart() const override { return true; }
    void open(ExportRun& run) override;
    void raceStarted(const FleetInfo& fleet) override { fleet_ = fleet; }
    void frame(const FleetFrame& frame) override { last_ = frame; }
    std::vector<PreparedFile> finish(ExportRun& run) override;
    std::vector<std::string> summary() const override;

private:
    bool withWorldFile() const;

    QString path_;
    std::unique_ptr<OutputFile> picture_;
    std::unique_ptr<OutputFile> world_;
    FleetInfo fleet_;
    FleetFrame last_;
};

// --video FILE.mp4: one frame a step, the last one the whole race (the picture's view).
class VideoExporter : public ReplayExporter {
public:
    VideoExporter(QString path, int framesPerSecond) : path_(std::move(path)), framesPerSecond_(framesPerSecond) {}
    std::vector<QString> paths() const override { return {path_}; }
    bool showsChart() const override { return true; }
    void open(ExportRun& run) override;
    void raceStarted(const FleetInfo& fleet) override { fleet_ = fleet; }
    void stepShown(const FleetFrame& frame, bool last) override;
    std::vector<PreparedFile> finish(ExportRun& run) override;
    std::vector<std::string> summary() const override;

    long long frames() const { return video_ ? video_->frames() : 0; }

private:
    QString path_;
    int framesPerSecond_;
    std::unique_ptr<VideoFile> video_;
    ExportRun* run_ = nullptr; // while the replay runs
    QSize sizePx_;
    FleetInfo fleet_;
};

} // namespace tideplot
