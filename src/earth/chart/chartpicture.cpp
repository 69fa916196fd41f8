#include "earth/chart/chartpicture.h"

#include "core/error.h"
#include "core/outputfile.h"
#include "earth/chart/chartmap.h"
#include "earth/kmldocument.h"
#include "earth/map/mapsource.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImageWriter>
#include <QPainter>
#include <QTimer>

#include <algorithm>

namespace tideplot {

ChartPicture::ChartPicture()
{
    renderer_.setMapMessageHandler([this](const QString& message) {
        mapFailures_.push_back(message);
        if (onMapMessage_)
            onMapMessage_(message);
    });
}

void ChartPicture::LoadKmlData(const std::string& kmlText)
{
    renderer_.addLines(ParseKmlLines(kmlText));
}

void ChartPicture::ClearKmlData()
{
    renderer_.clearLines();
}

CameraInfoGE ChartPicture::GetCamera(int)
{
    return camera_.info();
}

void ChartPicture::SetCamera(const CameraInfoGE& camera, double)
{
    camera_.set(camera);
}

void ChartPicture::SetCourse(const std::optional<Course>& course)
{
    renderer_.setCourse(course);
}

CameraInfoGE ChartPicture::cameraShowing(double southLat, double westLon, double northLat, double eastLon,
                                         const QSize& sizePx, double marginFraction) const
{
    return CameraShowing(camera_.info(), southLat, westLon, northLat, eastLon, QSizeF(sizePx), marginFraction);
}

void ChartPicture::setMapSource(std::shared_ptr<MapSource> map, std::chrono::milliseconds wait)
{
    renderer_.setMapSource(std::move(map));
    mapWait_ = wait;
}

std::vector<std::string> ChartPicture::takeMapWarnings()
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

void ChartPicture::waitForMap(const QSize& sizePx) const
{
    MapSource* map = renderer_.mapSource().get();
    const ChartViewport viewport = camera_.viewport(QSizeF(sizePx));
    if (const QString leftOut = renderer_.mapLeftOut(viewport); !leftOut.isEmpty()) {
        const std::string warning = leftOut.toStdString();
        if (std::find(mapLateWarnings_.begin(), mapLateWarnings_.end(), warning) == mapLateWarnings_.end())
            mapLateWarnings_.push_back(warning);
        return;
    }
    const std::vector<TileKey> keys = renderer_.mapTilesFor(viewport);
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

QImage ChartPicture::renderImage(const QSize& sizePx) const
{
    waitForMap(sizePx);
    return renderer_.drawnImage(camera_.viewport(QSizeF(sizePx)));
}

QImage ChartPicture::paintedImage(const QSize& sizePx)
{
    if (sizePx.isEmpty())
        return {};
    QImage image(sizePx, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    renderer_.paint(painter, camera_.viewport(QSizeF(sizePx)));
    return image;
}

QByteArray ChartPicture::worldFile(const QSize& sizePx) const
{
    return WorldFileText(WorldFileFor(camera_.viewport(QSizeF(sizePx))));
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

QByteArray ChartPicture::pngImage(const QSize& sizePx) const
{
    return PngBytes(renderImage(sizePx));
}

void ChartPicture::saveImage(const QString& path, const QSize& sizePx) const
{
    OutputFile file(path, "the chart picture");
    file.Write(pngImage(sizePx));
    file.Commit();
}

} // namespace tideplot
