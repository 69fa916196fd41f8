#include "earth/chart/chartapplication.h"

#include "core/error.h"
#include "core/outputfile.h"
#include "earth/chart/chartmap.h"
#include "earth/chart/chartview.h"
#include "earth/chart/chartwidget.h"
#include "earth/kmldocument.h"
#include "earth/map/mapsource.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImageWriter>
#include <QMainWindow>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tideplot {

ChartApplication::ChartApplication() : widget_(std::make_unique<ChartWidget>())
{
    widget_->setMapMessageHandler([this](const QString& message) {
        mapFailures_.push_back(message);
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
    CameraInfoGE camera = widget_->camera();
    const QPointF southWest = ProjectLatLon(southLat, westLon);
    const QPointF northEast = ProjectLatLon(northLat, eastLon);
    const LatLon focus = UnprojectPoint((southWest + northEast) / 2);
    camera.FocusPointLatitude = focus.LatDeg;
    camera.FocusPointLongitude = focus.LonDeg;
    // Half the box in projected metres, turned by the heading: the half it needs across
    // the picture and down it.
    const double halfEast = std::abs(northEast.x() - southWest.x()) / 2;
    const double halfNorth = std::abs(northEast.y() - southWest.y()) / 2;
    const double heading = camera.Azimuth * std::numbers::pi / 180;
    const double c = std::abs(std::cos(heading)), s = std::abs(std::sin(heading));
    const double halfAcross = halfEast * c + halfNorth * s;
    const double halfDown = halfEast * s + halfNorth * c;
    // A picture W pixels wide shows kChartGroundWidthPerRange * range / cos(focus
    // latitude) projected metres across (ChartViewport::pixelsPerProjectedMetre).
    const double width = std::max(sizePx.width(), 1), height = std::max(sizePx.height(), 1);
    const double across = std::max(2 * halfAcross, 2 * halfDown * width / height) * (1 + marginFraction);
    camera.Range =
        std::max(across * std::cos(focus.LatDeg * std::numbers::pi / 180) / kChartGroundWidthPerRange, 1000.0);
    return camera;
}

void ChartApplication::setMapSource(std::shared_ptr<MapSource> map, std::chrono::milliseconds wait)
{
    widget_->setMapSource(std::move(map));
    mapWait_ = wait;
}

std::vector<std::string> ChartApplication::takeMapWarnings()
{
    std::vector<std::string> warnings;
    if (mapFailures_.size() == 1)
        warnings.push_back(mapFailures_.front().toStdString());
    else if (mapFailures_.size() > 1)
        warnings.push_back(std::to_string(mapFailures_.size()) +
                           " map tiles could not be loaded; the first: " + mapFailures_.front().toStdString());
    warnings.insert(warnings.end(), mapLateWarnings_.begin(), mapLateWarnings_.end());
    mapFailures_.clear();
    mapLateWarnings_.clear();
    return warnings;
}

void ChartApplication::waitForMap(const QSize& sizePx) const
{
    MapSource* map = widget_->mapSource().get();
    const std::vector<TileKey> keys = widget_->mapTilesFor(sizePx);
    if (!map || keys.empty())
        return;
    map->request(keys);
    if (!map->loading(keys))
        return;
    QElapsedTimer waited;
    waited.start();
    QEventLoop loop;
    QTimer poll;
    poll.callOnTimeout([&] {
        if (!map->loading(keys) || waited.elapsed() >= mapWait_.count())
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    if (map->loading(keys)) {
        const auto late = std::count_if(keys.begin(), keys.end(), [&](const TileKey& k) { return map->loading({k}); });
        mapLateWarnings_.push_back(std::to_string(late) + " of the " + std::to_string(keys.size()) +
                                   " map tiles of the picture did not arrive within " +
                                   QString::number(mapWait_.count() / 1000.0).toStdString() +
                                   " s; the picture shows the sea in their place");
    }
}

QImage ChartApplication::renderImage(const QSize& sizePx) const
{
    waitForMap(sizePx);
    return widget_->renderImage(sizePx);
}

QByteArray ChartApplication::worldFile(const QSize& sizePx) const
{
    return WorldFileText(WorldFileFor(widget_->viewport(QSizeF(sizePx))));
}

QByteArray PngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        throw Error("the chart picture cannot be made as PNG: " + writer.errorString().toStdString());
    return bytes;
}

QByteArray ChartApplication::pngImage(const QSize& sizePx) const
{
    return PngBytes(renderImage(sizePx));
}

QImage ChartApplication::paintedImage(const QSize& sizePx)
{
    const QSize minimum = widget_->minimumSize();
    if (sizePx.width() < minimum.width() || sizePx.height() < minimum.height())
        return renderImage(sizePx);
    if (widget_->size() != sizePx)
        widget_->resize(sizePx);
    QImage image(sizePx, QImage::Format_ARGB32_Premultiplied);
    widget_->render(&image);
    return image;
}

QImage ChartApplication::viewImage() const
{
    const QSize size = widget_->size();
    const double ratio = widget_->devicePixelRatioF();
    if (size.isEmpty())
        return {};
    QImage image(
        QSize(static_cast<int>(std::ceil(size.width() * ratio)), static_cast<int>(std::ceil(size.height() * ratio))),
        QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    DrawChart(painter, widget_->viewport(size), widget_->tracks(), &widget_->series(), nullptr, widget_->tail());
    if (!widget_->manoeuvreMarks().empty())
        DrawManoeuvreMarks(painter, widget_->viewport(size), widget_->manoeuvreMarks(), widget_->series(),
                           widget_->tail());
    return image;
}

void ChartApplication::saveView(const QString& path) const
{
    OutputFile file(path, "the chart picture");
    file.Write(PngBytes(viewImage()));
    file.Commit();
}

void ChartApplication::saveImage(const QString& path, const QSize& sizePx) const
{
    OutputFile file(path, "the chart picture");
    file.Write(pngImage(sizePx));
    file.Commit();
}

} // namespace tideplot
