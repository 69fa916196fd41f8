#include "earth/chart/chartmap.h"

#include "earth/map/mapsource.h"

#include <QFileInfo>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>

namespace tideplot {

namespace {

constexpr double kWorldHalfWidth = std::numbers::pi * kChartEarthRadiusMetres; // projected metres

double TileSize(int zoom)
{
    return 2 * kWorldHalfWidth / TilesAcross(zoom);
}

using Quad = std::array<QPointF, 4>;

// Whether the parallelogram `quad` and the axis-parallel `rect` overlap, by separating axes:
// the rectangle's own axes are those of the bounds the caller took the tiles from, so only
// the parallelogram's two remain to be tried.
bool Overlaps(const Quad& quad, const QRectF& rect)
{
    const Quad corners = {rect.topLeft(), rect.topRight(), rect.bottomRight(), rect.bottomLeft()};
    for (int edge = 0; edge < 2; ++edge) {
        const QPointF d = quad[edge + 1] - quad[edge];
        const QPointF normal(-d.y(), d.x());
        auto project = [&](const Quad& points) {
            double low = INFINITY, high = -INFINITY;
            for (const QPointF& p : points) {
                const double v = QPointF::dotProduct(p, normal);
                low = std::min(low, v);
                high = std::max(high, v);
            }
            return std::pair{low, high};
        };
        const auto [quadLow, quadHigh] = project(quad);
        const auto [rectLow, rectHigh] = project(corners);
        if (rectHigh <= quadLow || rectLow >= quadHigh)
            return false;
    }
    return true;
}

} // namespace

int MapZoomFor(double pixelsPerProjectedMetre, int minZoom, int maxZoom)
{
    const double tilesAtZoomZero = pixelsPerProjectedMetre * 2 * kWorldHalfWidth / kTilePixels;
    const double best =
        std::isfinite(tilesAtZoomZero) && tilesAtZoomZero > 0 ? std::round(std::log2(tilesAtZoomZero)) : 0;
    const int low = std::clamp(minZoom, 0, kMaxTileZoom);
    const int high = std::clamp(maxZoom, low, kMaxTileZoom);
    return static_cast<int>(std::clamp(best, static_cast<double>(low), static_cast<double>(high)));
}

QRectF MapTileProjectedRect(const TileKey& key)
{
    const double size = TileSize(key.Z);
    const double west = -kWorldHalfWidth + key.X * size;
    const double north = kWorldHalfWidth - key.Y * size;
    return QRectF(west, north - size, size, size);
}

namespace {

// The tiles of MapTilesCovering; nothing when there are more than kMaxMapTilesPerPicture.
std::optional<std::vector<TileKey>> TilesCovering(const QTransform& projectedToPicture, const QRectF& areaPx, int zoom)
{
    bool invertible = false;
    const QTransform toProjected = projectedToPicture.inverted(&invertible);
    if (!invertible || areaPx.isEmpty() || zoom < 0 || zoom > kMaxTileZoom)
        return std::vector<TileKey>{};
    const Quad quad = {toProjected.map(areaPx.topLeft()), toProjected.map(areaPx.topRight()),
                       toProjected.map(areaPx.bottomRight()), toProjected.map(areaPx.bottomLeft())};
    const QRectF bounds = QPolygonF(QList<QPointF>(quad.begin(), quad.end())).boundingRect();
    const int n = TilesAcross(zoom);
    const double size = TileSize(zoom);
    // Columns over at most the world and a copy on either side; rows within the world.
    const double xFirst = std::max(std::floor((bounds.left() + kWorldHalfWidth) / size), -1.0 * n);
    const double xLast = std::min(std::floor((bounds.right() + kWorldHalfWidth) / size), 2.0 * n - 1);
    const double yFirst = std::max(std::floor((kWorldHalfWidth - bounds.bottom()) / size), 0.0);
    const double yLast = std::min(std::floor((kWorldHalfWidth - bounds.top()) / size), n - 1.0);
    if (xLast < xFirst || yLast < yFirst)
        return std::vector<TileKey>{};
    if ((xLast - xFirst + 1) * (yLast - yFirst + 1) > 4.0 * kMaxMapTilesPerPicture)
        return std::nullopt;

    std::vector<std::pair<double, TileKey>> found;
    const QPointF centre = toProjected.map(areaPx.center());
    for (int y = static_cast<int>(yFirst); y <= static_cast<int>(yLast); ++y) {
        for (int x = static_cast<int>(xFirst); x <= static_cast<int>(xLast); ++x) {
            const TileKey key{zoom, x, y};
            const QRectF rect = MapTileProjectedRect(key);
            if (!Overlaps(quad, rect))
                continue;
            const QPointF d = rect.center() - centre;
            found.emplace_back(QPointF::dotProduct(d, d), key);
        }
    }
    if (found.size() > static_cast<std::size_t>(kMaxMapTilesPerPicture))
        return std::nullopt;
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<TileKey> keys;
    keys.reserve(found.size());
    for (const auto& [distance, key] : found)
        keys.push_back(key);
    return keys;
}

} // namespace

std::vector<TileKey> MapTilesCovering(const QTransform& projectedToPicture, const QRectF& areaPx, int zoom)
{
    return TilesCovering(projectedToPicture, areaPx, zoom).value_or(std::vector<TileKey>{});
}

int MapZoomFitting(const QTransform& projectedToPicture, const QRectF& areaPx, int zoom, int minZoom)
{
    for (int z = zoom; z >= std::max(minZoom, 0); --z)
        if (TilesCovering(projectedToPicture, areaPx, z))
            return z;
    return -1;
}

std::vector<TileKey> MapTilesToLoad(const QTransform& projectedToPicture, const QRectF& areaPx, int zoom)
{
    std::vector<TileKey> keys;
    for (const TileKey& key : MapTilesCovering(projectedToPicture, areaPx, zoom)) {
        const TileKey wrapped = WrappedTile(key);
        if (std::find(keys.begin(), keys.end(), wrapped) == keys.end())
            keys.push_back(wrapped);
    }
    return keys;
}

void DrawMapTiles(QPainter& painter, const MapSource& map, int zoom, const QTransform& projectedToPicture,
                  const QRectF& areaPx)
{
    const std::vector<TileKey> keys = MapTilesCovering(projectedToPicture, areaPx, zoom);
    if (keys.empty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false); // antialiased edges would show seams
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QTransform base = painter.worldTransform();
    for (const TileKey& key : keys) {
        const TileKey tile = WrappedTile(key);
        QImage image = map.tile(tile);
        QRectF source = image.rect();
        for (int up = 1; image.isNull() && up <= kMapParentLevels && up <= tile.Z; ++up) {
            image = map.tile({tile.Z - up, tile.X >> up, tile.Y >> up});
            if (image.isNull())
                continue;
            const double w = image.width() / double(1 << up), h = image.height() / double(1 << up);
            const int mask = (1 << up) - 1;
            source = QRectF((tile.X & mask) * w, (tile.Y & mask) * h, w, h);
        }
        if (image.isNull())
            continue;
        const QRectF rect = MapTileProjectedRect(key);
        const double scale = rect.width() / kTilePixels;
        const QTransform tileToProjected(scale, 0, 0, -scale, rect.left(), rect.bottom());
        painter.setWorldTransform(tileToProjected * projectedToPicture * base);
        painter.drawImage(QRectF(0, 0, kTilePixels, kTilePixels), image, source);
    }
    painter.restore();
}

WorldFile WorldFileFor(const ChartViewport& viewport)
{
    const QTransform toProjected = viewport.projectedToScreen().inverted();
    const double k = kWebMercatorMetresPerChartMetre;
    const QPointF topLeft = toProjected.map(QPointF(0.5, 0.5));
    return {.A = k * toProjected.m11(),
            .D = k * toProjected.m12(),
            .B = k * toProjected.m21(),
            .E = k * toProjected.m22(),
            .C = k * topLeft.x(),
            .F = k * topLeft.y()};
}

QByteArray WorldFileText(const WorldFile& world)
{
    QByteArray text;
    for (const double v : {world.A, world.D, world.B, world.E, world.C, world.F})
        text += QByteArray::number(v, 'f', 10) + "\r\n";
    return text;
}

QString WorldFilePath(const QString& picturePath)
{
    const QString suffix = QFileInfo(picturePath).suffix();
    if (suffix.isEmpty())
        return picturePath + QStringLiteral(".pgw");
    return picturePath.left(picturePath.size() - suffix.size()) + QStringLiteral("pgw");
}

} // namespace tideplot
