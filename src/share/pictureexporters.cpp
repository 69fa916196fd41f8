#include "share/pictureexporters.h"

#include "earth/chart/chartmap.h"
#include "earth/chart/chartpicture.h"
#include "replay/earthobserver.h"
#include "share/replayvideo.h"

#include <QFileInfo>

namespace tideplot {

std::unique_ptr<ApplicationGE> MakeExportChart(ExportRun& run)
{
    auto chart = std::make_unique<ChartPicture>();
    chart->setMapSource(run.Map);
    chart->SetCourse(run.RaceCourse);
    CameraInfoGE start = chart->GetCamera(2);
    start.Azimuth = run.HeadingDeg;
    start.Tilt = run.TiltDeg;
    chart->SetCamera(start, 10.0);
    run.Chart = chart.get();
    return chart;
}

namespace {

std::string Local(const QString& path)
{
    return path.toLocal8Bit().toStdString();
}

// The chart framed on everything drawn, as the picture and the video's last frame show it.
void FrameDrawn(const ExportRun& run)
{
    if (run.Drawn->drawn())
        FrameWholeRace(*run.Chart, run.Drawn->southWest, run.Drawn->northEast, run.PictureSize);
}

} // namespace

PictureExporter::PictureExporter(QString path) : path_(std::move(path)) {}

bool PictureExporter::withWorldFile() const
{
    // A picture sent to a pipe or a device has no folder to hold its world file.
    return QFileInfo(path_).isFile() || !QFileInfo::exists(path_);
}

std::vector<QString> PictureExporter::paths() const
{
    if (withWorldFile())
        return {path_, WorldFilePath(path_)};
    return {path_};
}

void PictureExporter::open(ExportRun&)
{
    picture_ = std::make_unique<OutputFile>(path_, "the chart picture");
    if (withWorldFile())
        world_ = std::make_unique<OutputFile>(WorldFilePath(path_), "the world file of the chart picture");
}

std::vector<PreparedFile> PictureExporter::finish(ExportRun& run)
{
    FrameDrawn(run);
    picture_->Write(PngBytes(ReplayPicture(*run.Chart, fleet_, last_, run.PictureSize)));
    std::vector<PreparedFile> files{picture_->Prepare()};
    if (world_) {
        world_->Write(run.Chart->worldFile(run.PictureSize));
        files.push_back(world_->Prepare());
    }
    return files;
}

std::vector<std::string> PictureExporter::summary() const
{
    std::vector<std::string> lines{"Chart picture: " + Local(path_)};
    if (world_)
        lines.push_back("World file: " + Local(world_->Path()));
    return lines;
}

void VideoExporter::open(ExportRun& run)
{
    run_ = &run;
    sizePx_ = run.PictureSize;
    video_ = std::make_unique<VideoFile>(path_, VideoSettings{run.PictureSize, framesPerSecond_});
}

void VideoExporter::stepShown(const FleetFrame& frame, bool last)
{
    if (last)
        FrameDrawn(*run_);
    video_->addFrame(ReplayPicture(*run_->Chart, fleet_, frame, run_->PictureSize,
                                   last ? ChartDrawing::Fresh : ChartDrawing::Painted));
}

std::vector<PreparedFile> VideoExporter::finish(ExportRun&)
{
    return {video_->prepare()};
}

std::vector<std::string> VideoExporter::summary() const
{
    return {"Video: " + Local(path_) + " (" + std::to_string(video_->frames()) + " frames, " +
            std::to_string(sizePx_.width()) + "x" + std::to_string(sizePx_.height()) + " at " +
            std::to_string(framesPerSecond_) + " frames a second, " + video_->encoderName() + ")"};
}

} // namespace tideplot
