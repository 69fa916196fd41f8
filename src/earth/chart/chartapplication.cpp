#include "earth/chart/chartapplication.h"

#include "core/error.h"
#include "core/outputfile.h"
#include "earth/chart/chartmap.h"
#include "earth/chart/chartview.h"
#include "earth/chart/chartwidget.h"
#include "earth/kmldocument.h"

#include <QMainWindow>

namespace tideplot {

ChartApplication::ChartApplication() : widget_(std::make_unique<ChartWidget>())
{
    widget_->setMapMessageHandler([this](const QString& message) {
        if (window_)
            ShowChartStatus(*window_, message);
    });
    widget_->setMapLeftOutHandler([this](const QString& message) {
        if (window_)
            ShowChartStatus(*window_, message);
    });
}

ChartApplication::~ChartApplication()
{
    if (window_)
        (void)widget_.release(); // the window deletes the chart with itself
}

void ChartApplication::LoadKmlData(const std::string& kmlText)
{
    widget_->addLines(ParseKmlLines(kmlText));
}

void ChartApplication::ClearKmlData()
{
    widget_->clearLines();
}

CameraInfoGE ChartApplication::GetCamera(int)
{
    return widget_->camera();
}

void ChartApplication::SetCamera(const CameraInfoGE& camera, double)
{
    widget_->setCamera(camera);
}

CameraInfoGE ChartApplication::cameraShowing(double southLat, double westLon, double northLat, double eastLon,
                                             const QSize& sizePx, double marginFraction) const
{
    return widget_->picture().cameraShowing(southLat, westLon, northLat, eastLon, sizePx, marginFraction);
}

void ChartApplication::setMapSource(std::shared_ptr<MapSource> map, std::chrono::milliseconds wait)
{
    widget_->setMapSource(std::move(map));
    widget_->picture().setMapWait(wait);
}

std::vector<std::string> ChartApplication::takeMapWarnings()
{
    return widget_->picture().takeMapWarnings();
}

QImage ChartApplication::renderImage(const QSize& sizePx) const
{
    return widget_->picture().renderImage(sizePx);
}

QByteArray ChartApplication::worldFile(const QSize& sizePx) const
{
    return widget_->picture().worldFile(sizePx);
}

QByteArray ChartApplication::pngImage(const QSize& sizePx) const
{
    return widget_->picture().pngImage(sizePx);
}

QImage ChartApplication::paintedImage(const QSize& sizePx)
{
    return widget_->picture().paintedImage(sizePx);
}

QImage ChartApplication::viewImage() const
{
    if (widget_->size().isEmpty())
        return {};
    return widget_->grab().toImage();
}

QStringList ChartApplication::saveView(const QString& path)
{
    const QImage image = viewImage();
    OutputFile picture(path, "the chart picture");
    picture.Write(PngBytes(image));
    const QString worldPath = WorldFilePath(path);
    OutputFile world(worldPath, "the world file of the chart picture");
    world.Write(WorldFileText(WorldFileFor(widget_->viewport(QSizeF(image.size())))));
    CommitTogether({picture.Prepare(), world.Prepare()});
    return {path, worldPath};
}

void ChartApplication::saveImage(const QString& path, const QSize& sizePx) const
{
    widget_->picture().saveImage(path, sizePx);
}

} // namespace tideplot
