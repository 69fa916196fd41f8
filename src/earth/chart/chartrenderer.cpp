#include "earth/chart/chartrenderer.h"

#include "core/error.h"
#include "earth/chart/chartmap.h"
#include "earth/chart/chartpainter.h"
#include "earth/map/mapsource.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tideplot {

ChartRenderer::~ChartRenderer()
{
    if (content_.Map) { // a map that outlives the chart calls it back no more
        content_.Map->setTileHandler(nullptr);
        content_.Map->setFailureHandler(nullptr);
    }
}

void ChartRenderer::addLines(const std::vector<KmlLineString>& lines)
{
    std::vector<ChartSegment>* pending = cache_.pendingSegments();
    content_.Tracks.add(lines, pending);
    if (pending)
        cache_.linesAdded();
}

void ChartRenderer::clearLines()
{
    content_.Tracks = ChartTracks{};
    cache_.clearLines();
}

void ChartRenderer::moveBuoy(const CourseBuoy& buoy, double lat, double lon)
{
    if (course_)
        MoveCourseBuoy(*course_, buoy, lat, lon);
}

void ChartRenderer::setManoeuvreMarks(std::vector<ManoeuvreMark> marks)
{
    std::stable_sort(marks.begin(), marks.end(),
                     [](const ManoeuvreMark& a, const ManoeuvreMark& b) { return a.RaceClockDays < b.RaceClockDays; });
    marks_ = std::move(marks);
}

std::size_t ChartRenderer::manoeuvreMarksShown() const
{
    return ManoeuvreMarksShown(marks_, content_.Tail).size();
}

void ChartRenderer::setFleet(const std::vector<FleetBoat>& boats)
{
    content_.Series.setFleet(boats);
    cache_.invalidate();
}

void ChartRenderer::setSeries(const ReplaySeries* series)
{
    content_.Series.setSeries(series);
    content_.Tail.RaceClockDays = content_.Series.raceClock();
    cache_.seriesSet();
}

void ChartRenderer::showStep(long long step, long long keptSteps)
{
    const long long before = content_.Series.shownStep();
    content_.Series.setShownStep(step);
    content_.Tail.RaceClockDays = content_.Series.raceClock();
    cache_.stepShown(content_, before, keptSteps);
}

void ChartRenderer::setTailMinutes(double minutes)
{
    if (!(minutes >= 0) || !std::isfinite(minutes))
        throw Error("the chart cannot draw a tail of " + QString::number(minutes).toStdString() +
                    " minutes: the tail is a number of minutes from 0 (0: the whole track)");
    const bool wasWhole = content_.Tail.whole();
    content_.Tail.Minutes = minutes;
    if (content_.Tail.whole() != wasWhole)
        cache_.invalidate();
}

void ChartRenderer::setMapSource(std::shared_ptr<MapSource> map)
{
    if (content_.Map) {
        content_.Map->setTileHandler(nullptr);
        content_.Map->setFailureHandler(nullptr);
    }
    content_.Map = std::move(map);
    mapRequested_.clear();
    if (content_.Map) {
        content_.Map->setTileHandler([this](const TileKey& key) {
            if (cache_.tileArrived(key) && onChanged_)
                onChanged_();
        });
        content_.Map->setFailureHandler([this](const QString& message) { reportMapMessage(message); });
    }
    cache_.invalidate();
}

std::vector<TileKey> ChartRenderer::mapTilesFor(const ChartViewport& viewport) const
{
    if (!content_.Map || viewport.SizePx.isEmpty())
        return {};
    const ChartMap map = ChartMapFor(content_.Map.get(), viewport);
    return MapTilesToLoad(viewport.projectedToScreen(), QRectF(QPointF(0, 0), viewport.SizePx), map.Zoom);
}

QString ChartRenderer::mapLeftOut(const ChartViewport& viewport) const
{
    if (!content_.Map || viewport.SizePx.isEmpty())
        return {};
    return ChartMapFor(content_.Map.get(), viewport).LeftOut;
}

void ChartRenderer::reportMapMessage(const QString& message)
{
    mapMessage_ = message;
    if (onMapMessage_)
        onMapMessage_(message);
}

void ChartRenderer::setMapLeftOutHandler(std::function<void(const QString&)> handler)
{
    cache_.setMapLeftOutHandler(std::move(handler));
}

void ChartRenderer::requestMapTiles(const ChartViewport& viewport)
{
    if (!content_.Map || cache_.mapZoom() < 0)
        return;
    std::vector<TileKey> keys =
        MapTilesToLoad(viewport.projectedToScreen(), QRectF(QPointF(0, 0), viewport.SizePx), cache_.mapZoom());
    if (keys == mapRequested_)
        return;
    content_.Map->request(keys);
    mapRequested_ = std::move(keys);
}

void ChartRenderer::paint(QPainter& painter, const ChartViewport& viewport)
{
    const QPaintDevice* device = painter.device();
    cache_.update(content_, viewport, device ? device->devicePixelRatioF() : 1.0);
    requestMapTiles(viewport);
    const QTransform toScreen = viewport.projectedToScreen();
    cache_.drawOnto(painter, toScreen);
    if (!content_.Tail.whole()) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing, true);
        content_.Series.drawTail(painter, toScreen, VisibleProjectedRect(viewport, maxWidth() + 2), content_.Tail, 0.5);
        painter.restore();
    }
    drawMarks(painter, viewport);
    DrawChartOverlay(painter, viewport, labels(), cache_.grid(),
                     content_.Map ? content_.Map->attribution() : QString());
}

void ChartRenderer::draw(QPainter& painter, const ChartViewport& viewport) const
{
    DrawChart(painter, viewport, content_.Tracks, &content_.Series, content_.Map.get(), content_.Tail,
              [this, &viewport](QPainter& p) { drawMarks(p, viewport); });
}

QImage ChartRenderer::drawnImage(const ChartViewport& viewport) const
{
    const QSize size = viewport.SizePx.toSize();
    if (size.isEmpty())
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    draw(painter, viewport);
    return image;
}

void ChartRenderer::drawMarks(QPainter& painter, const ChartViewport& viewport) const
{
    if (course_)
        DrawCourse(painter, viewport, *course_);
    if (!marks_.empty())
        DrawManoeuvreMarks(painter, viewport, marks_, content_.Series, content_.Tail);
    if (highlighted_)
        DrawHighlightedManoeuvre(painter, viewport, *highlighted_, content_.Series);
}

std::vector<ChartTrack> ChartRenderer::labels() const
{
    return ChartLabels(content_.Tracks, content_.Series);
}

} // namespace tideplot
