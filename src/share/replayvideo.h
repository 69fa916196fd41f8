#pragma once

#include "core/replay.h"
#include "core/results.h"
#include "earth/chart/chartlegend.h"
#include "earth/chart/chartpicture.h"
#include "replay/fleetframe.h"
#include "share/replaysteps.h"
#include "share/videoencoder.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The replay as pictures: each step's chart with the control window's texts over a
// corner, the video of a whole race, and its progress.
namespace tideplot {

class MapSource;

// The picture --screenshot writes when no --size is given and no video is made; with a
// video the picture takes the video's size, so that it equals the video's last frame.
inline constexpr QSize kScreenshotSizePx{1280, 960};

// The legend rows of the fleet's boats at a frame, as the control window shows them.
std::vector<ReplayLegendRow> LegendRows(const FleetInfo& fleet, const FleetFrame& frame);

// How the chart is drawn: every track afresh (the --screenshot picture, the video's last
// frame), or as the chart window paints itself, through its cached picture of the tracks
// (the video's other frames: the same chart, many times faster step after step).
enum class ChartDrawing { Fresh, Painted };

// The chart under its current camera on a picture of `sizePx`, with the frame's race time
// and the legend (captions on their colours, distances to the first boat) in a corner.
QImage ReplayPicture(ChartPicture& chart, const FleetInfo& fleet, const FleetFrame& frame, const QSize& sizePx,
                     ChartDrawing drawing = ChartDrawing::Fresh);

// Frames the chart on the box of everything drawn, as the --screenshot picture and the
// video's last frame show the whole race.
void FrameWholeRace(ChartPicture& chart, const TrackPoint& southWest, const TrackPoint& northEast, const QSize& sizePx);

struct ReplayVideoOptions {
    ReplaySettings settings;
    double headingDeg = 0;
    double tiltDeg = 0;
    long long maxSteps = -1; // all steps
    VideoSettings video;
    std::shared_ptr<MapSource> map; // under the chart; none: the sea
    std::optional<Course> course;   // drawn when given
};

// Called after every frame with the frames done and their total; returns false to stop.
using VideoProgress = std::function<bool(long long framesDone, long long totalFrames)>;

// Replays the race file from its start on a replay and chart of its own (a chart without
// a window: a QGuiApplication must exist; the windows' replay is not touched), and writes one
// frame per step to `outPath` as the replay command's --video does: the last frame shows
// the whole race. Returns true when the video is written, false when
// `progress` returned false (nothing is written then, an older file stays). Throws Error
// naming the file, line and fault; an older file stays then too. For a window: call it
// with a QProgressDialog, processEvents() in `progress`.
bool ExportReplayVideo(const std::string& raceFile, const QString& outPath, const ReplayVideoOptions& options,
                       const VideoProgress& progress);

} // namespace tideplot
