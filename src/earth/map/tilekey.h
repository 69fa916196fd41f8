#pragma once

#include <QHashFunctions>
#include <QString>

// The tiles of a slippy map: Web Mercator (EPSG:3857) cut into squares.
namespace tideplot {

/* Web Mercator is spherical Mercator on the sphere of radius R = 6378137 m (the semi-major
 * axis of WGS 84), latitudes and longitudes taken as WGS 84's:
 *   x = R lon,  y = R ln tan(pi/4 + lat/2)
 * Its square world runs from x = -pi R (180 W) to pi R and from y = -pi R to pi R (85.0511
 * degrees S to N). At zoom z the world is cut into 2^z by 2^z tiles, usually of 256 pixels;
 * tile x counts east from 180 W and tile y south from the top edge.
 * (EPSG Geodetic Parameter Dataset, code 3857; OpenStreetMap wiki, "Slippy map tilenames".)
 * An MBTiles file counts its tile rows from the south instead: row = 2^z - 1 - y. */
inline constexpr double kWebMercatorRadiusMetres = 6378137.0;
inline constexpr int kMaxTileZoom = 24;
inline constexpr int kTilePixels = 256;

struct TileKey {
    int Z = 0;
    int X = 0; // 0 to 2^Z - 1 for a tile of the map; beyond that a copy of the world east or west
    int Y = 0;
    bool operator==(const TileKey&) const = default;
};

inline size_t qHash(const TileKey& key, size_t seed = 0) noexcept
{
    return qHashMulti(seed, key.Z, key.X, key.Y);
}

inline int TilesAcross(int zoom)
{
    return 1 << zoom;
}

// The tile of the map that a copy of the world east or west shows.
inline TileKey WrappedTile(const TileKey& key)
{
    const int n = TilesAcross(key.Z);
    return {key.Z, ((key.X % n) + n) % n, key.Y};
}

// "12/2200/1240", as tile servers name tiles.
inline QString TileName(const TileKey& key)
{
    return QStringLiteral("%1/%2/%3").arg(key.Z).arg(key.X).arg(key.Y);
}

} // namespace tideplot
