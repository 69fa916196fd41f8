#include "earth/chart/chartapplication.h"

#include "core/error.h"
#include "core/outputfile.h"
#include "earth/chart/chartview.h"
#include "earth/chart/chartwidget.h"
#include "earth/kmldocument.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tideplot {

ChartApplication::ChartApplication() : widget_(std::make_unique<ChartWidget>()) {}

ChartApplication::~ChartApplication() = default;

void ChartApplication::LoadKmlData(const std::string& kmlText)
{
    widget_->addLines(ParseKmlLines(kmlText));
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

QImage ChartApplication::renderImage(const QSize& sizePx) const
{
    return widget_->renderImage(sizePx);
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
    DrawChart(painter, widget_->viewport(size), widget_->tracks());
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
