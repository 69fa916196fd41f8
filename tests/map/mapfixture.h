// The map tests' tools: the tile under a latitude and longitude, which colour a pixel shows,
// a camera and a boat's segment, an MBTiles file of coloured tiles.
#pragma once

#include "core/error.h"
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartmap.h"
#include "earth/chart/chartwidget.h"
#include "earth/chart/mapmenu.h"
#include "earth/kmldocument.h"
#include "earth/map/mapchoice.h"
#include "earth/map/mapsource.h"
#include "earth/map/mbtilessource.h"
#include "earth/map/tilenetwork.h"
#include "earth/map/xyzsource.h"
#include "map/tileserver.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QMenu>
#include <QSet>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <tuple>

namespace tideplot {

using testing::SolidPng;
using testing::TileColour;
using testing::TileServer;
using namespace std::chrono_literals;

inline const QColor kSea(0xa4, 0xc3, 0xd8);
inline const QSize kPicture(800, 600);

/* The slippy-map tile under a latitude and longitude, as the OpenStreetMap wiki's "Slippy
 * map tilenames" computes it: x = (lon + 180) / 360 2^z, y = (1 - asinh(tan lat) / pi) / 2 2^z;
 * the whole parts name the tile, the fractions say where in it the point lies. */
struct TileUnder {
    int X, Y;
    double FracX, FracY;
};
inline TileUnder SlippyTile(double latDeg, double lonDeg, int z)
{
    const double n = std::pow(2.0, z), lat = latDeg * std::numbers::pi / 180;
    const double x = (lonDeg + 180) / 360 * n, y = (1 - std::asinh(std::tan(lat)) / std::numbers::pi) / 2 * n;
    return {static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)), x - std::floor(x), y - std::floor(y)};
}

inline int Distance(QRgb pixel, const QColor& colour)
{
    return std::abs(qRed(pixel) - colour.red()) + std::abs(qGreen(pixel) - colour.green()) +
           std::abs(qBlue(pixel) - colour.blue());
}

// Whether the pixel or one beside it (a grid line may cross it) has the colour.
inline bool ShowsNear(const QImage& image, QPoint at, const QColor& colour, int tolerance = 6)
{
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (image.valid(at + QPoint(dx, dy)) && Distance(image.pixel(at + QPoint(dx, dy)), colour) <= tolerance)
                return true;
    return false;
}

struct Checked {
    int Pixels = 0;
    QSet<QString> Tiles;
};

// Every 29th pixel of the picture's middle 80 %, away from the edges of its tile and from
// tracks (red), shows
// the colour `expected` gives its tile, found from the pixel's latitude and longitude.
inline Checked ExpectTilesUnderPixels(const QImage& image, const ChartViewport& viewport, int zoom,
                                      const std::function<QColor(int, int, int)>& expected)
{
    const QTransform toProjected = viewport.projectedToScreen().inverted();
    Checked checked;
    for (int y = image.height() / 10; y < image.height() * 9 / 10; y += 29) {
        for (int x = image.width() / 10; x < image.width() * 9 / 10; x += 29) {
            const LatLon at = UnprojectPoint(toProjected.map(QPointF(x + 0.5, y + 0.5)));
            const TileUnder t = SlippyTile(at.LatDeg, at.LonDeg, zoom);
            if (std::min({t.FracX, t.FracY, 1 - t.FracX, 1 - t.FracY}) < 0.05 || ShowsNear(image, {x, y}, Qt::red, 150))
                continue; // the edge of a tile, or a boat's track
            ++checked.Pixels;
            checked.Tiles.insert(QStringLiteral("%1/%2/%3").arg(zoom).arg(t.X).arg(t.Y));
            const QColor colour = expected(zoom, t.X, t.Y);
            EXPECT_TRUE(ShowsNear(image, {x, y}, colour))
                << "pixel " << x << "," << y << " at " << at.LatDeg << "," << at.LonDeg << " in tile " << zoom << "/"
                << t.X << "/" << t.Y << " shows " << std::hex << image.pixel(x, y) << " not " << colour.rgb();
        }
    }
    return checked;
}

// The zoom a tile-coloured picture shows, from the blue of its centre (TileColour).
inline int ZoomShown(const QImage& image)
{
    return (qBlue(image.pixel(image.width() / 2 + 7, image.height() / 2 + 7)) - 20 + 4) / 9;
}

inline CameraInfoGE Camera(double lat, double lon, double range, double azimuth = 0)
{
    return {.FocusPointLatitude = lat, .FocusPointLongitude = lon, .Range = range, .Azimuth = azimuth};
}

// A boat's segment as the replay loads it.
inline std::string Segment(double lat0, double lon0, double lat1, double lon1)
{
    auto n = [](double v) { return KmlNumberText(v).toStdString(); };
    return "<Document><name>Elsa</name><Style id=\"Style\"><LineStyle><width>3</width><color>ff0000ff</color>"
           "</LineStyle></Style><Placemark><styleUrl>#Style</styleUrl><LineString><coordinates>" +
           n(lon1) + "," + n(lat1) + ",0," + n(lon0) + "," + n(lat0) +
           ",0</coordinates></LineString></Placemark>"
           "</Document>";
}

// An MBTiles file: for each zoom, the tiles over the box from the south-west to the
// north-east corner, each stored at its row counted from the south and coloured by
// `colour` (x and y counted from the north).
inline void WriteMbtiles(const QString& path, int minZoom, int maxZoom, double south, double west, double north,
                         double east, const std::vector<std::pair<QString, QString>>& metadata,
                         const std::function<QColor(int, int, int)>& colour = TileColour)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE metadata (name TEXT, value TEXT)")));
        ASSERT_TRUE(q.exec(QStringLiteral(
            "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_data BLOB)")));
        db.transaction();
        q.prepare(QStringLiteral("INSERT INTO metadata VALUES (?, ?)"));
        for (const auto& [name, value] : metadata) {
            q.addBindValue(name);
            q.addBindValue(value);
            ASSERT_TRUE(q.exec());
        }
        q.prepare(QStringLiteral("INSERT INTO tiles VALUES (?, ?, ?, ?)"));
        QHash<QRgb, QByteArray> pngs;
        for (int z = minZoom; z <= maxZoom; ++z) {
            const TileUnder nw = SlippyTile(north, west, z), se = SlippyTile(south, east, z);
            for (int x = nw.X; x <= se.X; ++x) {
                for (int y = nw.Y; y <= se.Y; ++y) {
                    const QColor c = colour(z, x, y);
                    if (!pngs.contains(c.rgb()))
                        pngs.insert(c.rgb(), SolidPng(c, 64));
                    q.addBindValue(z);
                    q.addBindValue(x);
                    q.addBindValue((1 << z) - 1 - y);
                    q.addBindValue(pngs.value(c.rgb()));
                    ASSERT_TRUE(q.exec());
                }
            }
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("writer"));
}

} // namespace tideplot
