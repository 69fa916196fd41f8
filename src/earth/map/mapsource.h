#pragma once

#include "earth/map/tilekey.h"
#include "earth/map/tilesource.h"

#include <QCache>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The map under the chart: the tiles of one or more sources stacked (a base map, then
// overlays such as seamarks), loaded when the view asks for them and held in memory, each
// tile one picture with its overlays drawn on it.
//
// - Only the tiles asked for last are loaded: a tile asked for earlier whose request has not
//   gone out yet is dropped when the view no longer shows it.
// - At most MemoryBytes of tile pictures are held; the tiles used least lately go first.
// - A tile that cannot be had (the server failed, the bytes are no picture) is reported
//   once, in one line, through the failure handler, and is not asked for again for a
//   minute; the chart shows the sea where it would be.
namespace tideplot {

class MapSource {
public:
    static constexpr qint64 kDefaultMemoryBytes = 64LL * 1024 * 1024;
    static constexpr qint64 kRetryAfterMs = 60'000;

    // `layers` from the bottom up; the first is the base map. `attribution` is drawn on every
    // picture. Throws Error when there is no layer.
    MapSource(std::vector<std::unique_ptr<TileSource>> layers, QString attribution,
              qint64 memoryBytes = kDefaultMemoryBytes);
    ~MapSource();
    MapSource(const MapSource&) = delete;
    MapSource& operator=(const MapSource&) = delete;

    const QString& attribution() const { return attribution_; }
    // The base layer's: "tile.openstreetmap.org", "harbour.mbtiles".
    QString description() const;
    // The zoom levels of the base layer.
    int minZoom() const;
    int maxZoom() const;

    // The tile's picture when it is in memory (RGB32, or premultiplied ARGB when it has
    // transparent parts); a null image when it is
    // not, or when the map has no such tile. Asks for nothing.
    QImage tile(const TileKey& key) const;
    // Whether the tile is settled in memory: a picture, or known to be empty.
    bool holds(const TileKey& key) const { return memory_.contains(key); }

    // Asks for the tiles of the view (tiles of the map, 0 <= X, Y < 2^Z), the most wanted
    // first. Tiles in memory, on their way or failed within the last minute are not asked
    // for again.
    void request(const std::vector<TileKey>& keys);
    // Whether any of these tiles has been asked for and has neither arrived nor failed.
    bool loading(const std::vector<TileKey>& keys) const;
    bool loading() const { return !loading_.isEmpty(); }

    // Called when a tile has come into memory (a picture or an empty tile).
    void setTileHandler(std::function<void(const TileKey&)> handler) { onTile_ = std::move(handler); }
    // Called once for each tile that failed, with one line that says which and why.
    void setFailureHandler(std::function<void(const QString&)> handler) { onFailure_ = std::move(handler); }

    qint64 memoryBytes() const { return memory_.totalCost(); }
    qint64 memoryLimitBytes() const { return memory_.maxCost(); }
    int tilesInMemory() const { return static_cast<int>(memory_.size()); }

private:
    struct Loading {
        std::vector<std::optional<TileBytes>> Layers;
    };
    void layerDone(const TileKey& key, std::size_t layer, const TileBytes& bytes);
    void settle(const TileKey& key, const Loading& loading);
    void report(const TileKey& key, std::size_t layer, const QString& reason);

    std::vector<std::unique_ptr<TileSource>> layers_;
    QString attribution_;
    QCache<TileKey, QImage> memory_;
    QHash<TileKey, Loading> loading_;
    QHash<TileKey, qint64> failedAtMs_;
    QElapsedTimer clock_;
    std::function<void(const TileKey&)> onTile_;
    std::function<void(const QString&)> onFailure_;
};

} // namespace tideplot
