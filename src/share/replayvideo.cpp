#include "share/replayvideo.h"

#include "core/colour.h"
#include "core/error.h"
#include "replay/valuetext.h"
#include "share/exportloop.h"
#include "share/pictureexporters.h"

#include <QPainter>

#include <algorithm>

namespace tideplot {

std::vector<ReplayLegendRow> LegendRows(const FleetInfo& fleet, const FleetFrame& frame)
{
    std::vector<ReplayLegendRow> rows;
    for (std::size_t k = 0; k < fleet.Boats.size(); ++k) {
        const std::uint32_t colour = fleet.Boats[k].WindowColour;
        const std::string distance = k > 0 && k < frame.Boats.size() ? BoatDistanceText(frame.Boats[k]) : std::string();
        rows.push_back({QString::fromLocal8Bit(fleet.Boats[k].Caption),
                        QColor(WindowColourRed(colour), WindowColourGreen(colour), WindowColourBlue(colour)),
                        QString::fromLocal8Bit(distance)});
    }
    return rows;
}

QImage ReplayPicture(ChartPicture& chart, const FleetInfo& fleet, const FleetFrame& frame, const QSize& sizePx,
                     ChartDrawing drawing)
{
    QImage picture = drawing == ChartDrawing::Fresh ? chart.renderImage(sizePx) : chart.paintedImage(sizePx);
    if (picture.isNull())
        return picture;
    QPainter painter(&picture);
    DrawReplayLegend(painter, picture.rect(), QString::fromLocal8Bit(RaceTimeText(frame.Step, frame.RaceClock)),
                     LegendRows(fleet, frame));
    return picture;
}

void FrameWholeRace(ChartPicture& chart, const TrackPoint& southWest, const TrackPoint& northEast, const QSize& sizePx)
{
    chart.SetCamera(chart.cameraShowing(southWest.Lat, southWest.Lon, northEast.Lat, northEast.Lon, sizePx), 10.0);
}

bool ExportReplayVideo(const std::string& raceFile, const QString& outPath, const ReplayVideoOptions& options,
                       const VideoProgress& progress)
{
    CheckVideoSettings(options.video);
    const long long total = CountReplaySteps(raceFile, options.settings, options.maxSteps);
    if (total == 0)
        throw Error("the replay of \"" + raceFile + "\" takes no step: the video would have no frame");
    ExportRun run;
    run.RaceFile = raceFile;
    run.Settings = options.settings;
    run.HeadingDeg = options.headingDeg;
    run.TiltDeg = options.tiltDeg;
    run.MaxSteps = options.maxSteps;
    run.PictureSize = options.video.SizePx;
    run.Map = options.map;
    run.RaceCourse = options.course;
    run.MakeChart = MakeExportChart;
    VideoExporter video(outPath, options.video.FramesPerSecond);
    ExportHooks hooks;
    if (progress)
        hooks.stepDone = [&](const FleetFrame& frame) { return progress(frame.Step, std::max(total, frame.Step)); };
    return !RunExport(run, {&video}, hooks).Cancelled;
}

} // namespace tideplot
