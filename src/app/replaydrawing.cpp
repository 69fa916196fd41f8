#include "app/guimodule.h"
#include "app/replayoptions.h"
#include "core/error.h"
#include "earth/chart/chartmap.h"
#include "earth/map/mapchoice.h"
#include "share/pictureexporters.h"
#include "share/replayvideo.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

namespace tideplot {

namespace {

// --video, --size and --fps. The video's size must be even (yuv420p); a --screenshot
// picture alone may have any size in the same range.
void ParseShareOptions(const ParsedArgs& parsed, ReplayOptions& options)
{
    const bool video = parsed.has("--video");
    if (parsed.has("--fps") && !video)
        throw UsageError("--fps sets the frame rate of --video");
    if (parsed.has("--size") && !video && !parsed.has("--screenshot"))
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
        if (video) {
            CheckVideoSettings({options.sizePx.value_or(VideoSettings().SizePx), options.framesPerSecond});
            CheckVideoPlayable(options.sizePx.value_or(VideoSettings().SizePx));
        } else if (options.sizePx) {
            const QSize even((options.sizePx->width() + 1) / 2 * 2, (options.sizePx->height() + 1) / 2 * 2);
            CheckVideoSettings({even, options.framesPerSecond});
        }
    } catch (const Error& e) {
        throw UsageError(std::string("--size: ") + e.what());
    }
}

std::unique_ptr<ReplayExporter> MakeExporter(const std::string& option, const QString& path,
                                             const ReplayOptions& options)
{
    if (option == "--video")
        return std::make_unique<VideoExporter>(path, options.framesPerSecond);
    return std::make_unique<PictureExporter>(path);
}

// Without a session (a build server, say) Qt picks a runtime folder of its own and warns
// about it; the same folder is picked quietly.
std::shared_ptr<void> OffscreenApplication(int& argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime =
            QDir::tempPath() + QStringLiteral("/runtime-") + qEnvironmentVariable("USER", "tideplot");
        if (QDir().mkpath(runtime) &&
            QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
            qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    return std::make_shared<QGuiApplication>(argc, argv);
}

std::shared_ptr<void> Prepare(ExportRun& run, const ReplayOptions& options, int& argc, char** argv)
{
    std::shared_ptr<void> application = OffscreenApplication(argc, argv);
    run.PictureSize =
        options.sizePx.value_or(options.output("--video").empty() ? kScreenshotSizePx : VideoSettings().SizePx);
    run.MakeChart = MakeExportChart;
    try {
        run.Map = OpenMap(options.map);
    } catch (const Error& e) {
        throw Error(std::string("--map: ") + e.what());
    }
    return application;
}

} // namespace

const ReplayDrawing& ReplayChartDrawing()
{
    static const ReplayDrawing drawing{ParseShareOptions, MakeExporter, WorldFilePath, Prepare};
    return drawing;
}

} // namespace tideplot
