#include "share/replayvideo.h"

#include "core/colour.h"
#include "core/error.h"
#include "earth/googleearth.h"
#include "share/videofile.h"

#include <QPainter>

#include <algorithm>

namespace tideplot {

namespace {

class NoPlotter : public TrackPlotter {
public:
    void PlotTrackSegment(const std::string&, const TrackPoint&, const TrackPoint&, std::int32_t, std::int16_t) override
    {
    }
    void FrameCamera(const TrackPoint&, const TrackPoint&) override {}
};

// Passes the segments on and keeps the box they cover.
class BoxPlotter : public TrackPlotter {
public:
    explicit BoxPlotter(TrackPlotter& inner) : inner_(inner) {}
    void PlotTrackSegment(const std::string& name, const TrackPoint& from, const TrackPoint& to,
                          std::int32_t colourNumber, std::int16_t width) override
    {
        inner_.PlotTrackSegment(name, from, to, colourNumber, width);
        drawn = true;
        for (const TrackPoint* p : {&from, &to}) {
            southWest.Lat = std::min(southWest.Lat, p->Lat);
            southWest.Lon = std::min(southWest.Lon, p->Lon);
            northEast.Lat = std::max(northEast.Lat, p->Lat);
            northEast.Lon = std::max(northEast.Lon, p->Lon);
        }
    }
    void FrameCamera(const TrackPoint& corner1, const TrackPoint& corner2) override
    {
        inner_.FrameCamera(corner1, corner2);
    }

    bool drawn = false;
    TrackPoint southWest{90, 180, 0};
    TrackPoint northEast{-90, -180, 0};

private:
    TrackPlotter& inner_;
};

bool LastStep(RaceState& state, long long steps, long long maxSteps)
{
    return (maxSteps >= 0 && steps >= maxSteps) || AllTrackFilesAtEnd(state);
}

QString Minutes(double seconds)
{
    const auto whole = static_cast<long long>(std::max(0.0, std::round(seconds)));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

std::vector<ReplayLegendRow> LegendRows(const HeadlessControlPanel& panel, int boatCount)
{
    std::vector<ReplayLegendRow> rows;
    const int count = std::clamp(boatCount, 0, static_cast<int>(panel.trackInfo.size()));
    for (int k = 0; k < count; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const std::uint32_t colour = panel.trackColour[i];
        rows.push_back({QString::fromLocal8Bit(panel.trackInfo[i]),
                        QColor(WindowColourRed(colour), WindowColourGreen(colour), WindowColourBlue(colour)),
                        k > 0 ? QString::fromLocal8Bit(panel.distance[i]) : QString()});
    }
    return rows;
}

QImage ReplayPicture(ChartApplication& chart, const HeadlessControlPanel& panel, int boatCount, const QSize& sizePx,
                     ChartDrawing drawing)
{
    QImage picture = drawing == ChartDrawing::Fresh ? chart.renderImage(sizePx) : chart.paintedImage(sizePx);
    if (picture.isNull())
        return picture;
    QPainter painter(&picture);
    DrawReplayLegend(painter, picture.rect(), QString::fromLocal8Bit(panel.raceTime), LegendRows(panel, boatCount));
    return picture;
}

void FrameWholeRace(ChartApplication& chart, const TrackPoint& southWest, const TrackPoint& northEast,
                    const QSize& sizePx)
{
    chart.SetCamera(chart.cameraShowing(southWest.Lat, southWest.Lon, northEast.Lat, northEast.Lon, sizePx), 10.0);
}

long long CountReplaySteps(const std::string& raceFile, const std::string& resolutionText,
                           const std::string& pointsText, long long maxSteps)
{
    RaceState state;
    state.RaceFileName = raceFile;
    state.RaceClock = kRaceClockAtStart;
    HeadlessControlPanel panel;
    panel.resolution = resolutionText;
    panel.pointPlot = pointsText;
    NoPlotter nowhere;
    StartReplay(state, panel);
    long long steps = 0;
    while ((maxSteps < 0 || steps < maxSteps) && !AllTrackFilesAtEnd(state)) {
        ReplayStep(state, panel, nowhere);
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
    const QSize size = options.video.SizePx;
    const long long total = CountReplaySteps(raceFile, options.resolutionText, options.pointsText, options.maxSteps);
    if (total == 0)
        throw Error("the replay of \"" + raceFile + "\" takes no step: the video would have no frame");
    VideoFile video(outPath, options.video);

    ChartApplication chart;
    CameraInfoGE start = chart.GetCamera(2);
    start.Azimuth = options.headingDeg;
    start.Tilt = options.tiltDeg;
    chart.SetCamera(start, 10.0);
    GoogleEarthOutput output(chart);
    BoxPlotter plotter(output);
    HeadlessControlPanel panel;
    panel.resolution = options.resolutionText;
    panel.pointPlot = options.pointsText;

    RaceState state;
    state.RaceFileName = raceFile;
    state.RaceClock = kRaceClockAtStart;
    StartReplay(state, panel);
    long long steps = 0;
    while ((options.maxSteps < 0 || steps < options.maxSteps) && !AllTrackFilesAtEnd(state)) {
        ReplayStep(state, panel, plotter);
        ++steps;
        const bool last = LastStep(state, steps, options.maxSteps);
        if (last && plotter.drawn)
            FrameWholeRace(chart, plotter.southWest, plotter.northEast, size);
        video.addFrame(
            ReplayPicture(chart, panel, state.BoatCount, size, last ? ChartDrawing::Fresh : ChartDrawing::Painted));
        if (progress && !progress(steps, std::max(total, steps)))
            return false;
    }
    CloseTrackFiles(state);
    video.commit();
    return true;
}

} // namespace tideplot
