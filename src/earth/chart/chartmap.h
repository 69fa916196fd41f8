#pragma once

#include "earth/chart/chartview.h"
#include "earth/map/tilekey.h"

#include <QByteArray>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <vector>

class QPainter;

// Map tiles on the chart, and the georeference of a chart picture.
namespace tideplot {

class MapSource;

/* The chart's Mercator (chartview.h) and Web Mercator (tilekey.h) are the same projection on
 * spheres of different radius, so Web Mercator metres are the chart's projected metres times
 * one constant, and a tile is a square of the chart's projected plane:
 *   tile (z, x, y) spans  x: R (2 pi x / 2^z - pi) .. R (2 pi (x+1) / 2^z - pi)
 *                         y: R (pi - 2 pi (y+1) / 2^z) .. R (pi - 2 pi y / 2^z)
 * with R the chart's radius. Web Mercator's square ends at 85.0511 degrees; beyond it the
 * chart shows the sea. */
inline constexpr double kWebMercatorMetresPerChartMetre = kWebMercatorRadiusMetres / kChartEarthRadiusMetres;

// At most this many tiles are drawn on one picture (a map whose lowest zoom is far too fine
// for the scale draws none).
inline constexpr int kMaxMapTilesPerPicture = 400;
// A tile not yet in memory is drawn from a coarser one, up to this many zoom levels up.
inline constexpr int kMapParentLevels = 4;

// The zoom whose tile pixels come closest to the picture's pixels (2^z tiles of 256 pixels
// across the world's 2 pi R projected metres), within the map's zoom levels.
int MapZoomFor(double pixelsPerProjectedMetre, int minZoom, int maxZoom);

// The tile's square on the chart's projected plane (y to the north; top() is its south
// edge). X may lie beyond 0 .. 2^Z - 1: a copy of the world east or west.
QRectF MapTileProjectedRect(const TileKey& key);

// The tiles of `zoom` that reach into `areaPx` of a picture drawn through `projectedToPicture`
// (turned or not), nearest the area's centre first; X as on the picture (WrappedTile gives
// the map's tile). Empty when more than kMaxMapTilesPerPicture.
std::vector<TileKey> MapTilesCovering(const QTransform& projectedToPicture, const QRectF& areaPx, int zoom);

// The finest zoom from `zoom` down to `minZoom` whose tiles covering `areaPx` are at most
// kMaxMapTilesPerPicture: a picture too large for its scale's tiles is drawn from coarser
// ones, each drawn larger. -1 when even `minZoom` needs more.
int MapZoomFitting(const QTransform& projectedToPicture, const QRectF& areaPx, int zoom, int minZoom);

// The same, as tiles of the map to ask for: wrapped, each once.
std::vector<TileKey> MapTilesToLoad(const QTransform& projectedToPicture, const QRectF& areaPx, int zoom);

// Draws the tiles of `zoom` that cover `areaPx` at full opacity, each from memory or, when
// it is not there yet, from the piece of a coarser tile in memory; leaves the rest as it was.
void DrawMapTiles(QPainter& painter, const MapSource& map, int zoom, const QTransform& projectedToPicture,
                  const QRectF& areaPx);

/* A world file (ESRI's; GDAL and QGIS read it) places a picture on the map: the centre of
 * the pixel in column c and row r, counted from 0 at the top left, lies at Web Mercator
 * (EPSG:3857) metres
 *   X = A c + B r + C,   Y = D c + E r + F,
 * so (C, F) is the centre of the top-left pixel. The file holds six lines: A, D, B, E, C, F.
 * On a chart turned by a heading, B and D are not 0. */
struct WorldFile {
    double A = 1, D = 0, B = 0, E = -1, C = 0, F = 0;
};
WorldFile WorldFileFor(const ChartViewport& viewport);
// The six lines, ending in CR LF.
QByteArray WorldFileText(const WorldFile& world);
// FILE.png -> FILE.pgw (any other name gets .pgw added in place of its last suffix).
QString WorldFilePath(const QString& picturePath);

} // namespace tideplot
