#pragma once

#include "earth/map/tilesource.h"

#include <QTimer>

#include <deque>
#include <memory>
#include <utility>

class QSqlDatabase;
class QSqlQuery;

namespace tideplot {

// Tiles from an MBTiles file, the SQLite database in which map programs keep tiles for use
// offline (Mapbox's MBTiles format, version 1.3): table `tiles` (zoom_level,
// tile_column, tile_row, tile_data) with rows counted from the south, so tile y of zoom z
// is row 2^z - 1 - y; table `metadata` (name, value) with, among others, attribution,
// minzoom, maxzoom and format. A tile the file does not hold is no failure: the file covers
// what it covers. Tiles are read from the event loop a few at a time, never while the chart
// is drawn.
class MbtilesTileSource final : public TileSource {
public:
    // Opens the file read-only. Throws Error naming the file when it cannot be opened, is no
    // MBTiles file, holds no tiles or holds vector tiles (format pbf).
    explicit MbtilesTileSource(const QString& path);
    ~MbtilesTileSource() override;

    QString description() const override;
    QString attribution() const override { return attribution_; }
    int minZoom() const override { return minZoom_; }
    int maxZoom() const override { return maxZoom_; }
    void fetch(const TileKey& key, Done done) override;
    bool started(const TileKey&) const override { return false; }
    void cancel(const TileKey& key) override;

    // The metadata's format ("png", "jpg", "webp"), or empty when it names none.
    const QByteArray& format() const { return format_; }
    // The file's read-only connection, for reading it otherwise than tile by tile: on the
    // thread that opened it, while the source lives.
    QSqlDatabase database() const;

private:
    [[noreturn]] void fail(const QString& reason) const;
    TileBytes read(const TileKey& key);
    void readWaiting();

    QString path_;
    QString connection_;
    std::unique_ptr<QSqlQuery> query_;
    QString attribution_;
    QByteArray format_;
    int minZoom_ = 0;
    int maxZoom_ = 0;
    std::deque<std::pair<TileKey, Done>> waiting_;
    QTimer timer_;
};

} // namespace tideplot
