#include "share/replayvideo.h"

#include "core/colour.h"
#include "core/error.h"
#include "replay/valuetext.h"
#include "share/exportloop.h"
#include "share/pictureexporters.h"

#include <QPainter>

#include <algorithm>

namespace tideplot {

namespace {

QString Minutes(double seconds)
{
    const auto whole = static_cast<long long>(std::max(0.0, std::round(seconds)));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

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

long long CountReplaySteps(const std::string& raceFile, const ReplaySettings& settings, long long maxSteps)
{
    RaceState state;
    state.RaceFileName = raceFile;
    state.RaceClock = kRaceClockAtStart;
    StartReplay(state);
    StepOutcome outcome;
    long long steps = 0;
    while ((maxSteps < 0 || steps < maxSteps) && !AllTrackFilesAtEnd(state)) {
        ReplayStep(state, settings, outcome);
        ++steps;
    }
    CloseTrackFiles(state);
    return steps;
}

VideoProgressLine::VideoProgressLine(std::FILE* terminal, long long totalFrames)
    : terminal_(terminal), total_(std::max(totalFrames, 1LL)), started_(std::chrono::steady_clock::now()),
      shown_(started_)
{
}

void VideoProgressLine::update(long long framesDone)
{
    const auto now = std::chrono::steady_clock::now();
    if (now - shown_ < std::chrono::milliseconds(200) && framesDone < total_)
        return;
    shown_ = now;
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    const double left = framesDone > 0 ? elapsed / static_cast<double>(framesDone) *
                                             static_cast<double>(std::max(total_ - framesDone, 0LL))
                                       : 0;
    const QString line = QStringLiteral("\rvideo: %1 % (%2 of %3 frames), %4 left ")
                             .arg(std::min(framesDone * 100 / total_, 100LL))
                             .arg(framesDone)
                             .arg(total_)
                             .arg(Minutes(left));
    std::fputs(line.toLocal8Bit().constData(), terminal_);
    std::fflush(terminal_);
    drawn_ = true;
}

void VideoProgressLine::clear()
{
    if (drawn_)
        std::fputs("\r\033[K", terminal_);
    drawn_ = false;
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
    VideoExporter video(outPath, options.video.FramesPerSecond);
    ExportHooks hooks;
    if (progress)
        hooks.stepDone = [&](const FleetFrame& frame) { return progress(frame.Step, std::max(total, frame.Step)); };
    return !RunExport(run, {&video}, hooks).Cancelled;
}

} // namespace tideplot
