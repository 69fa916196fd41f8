#pragma once

#include "earth/map/tilenetwork.h"
#include "earth/map/tilesource.h"

#include <QHash>

#include <memory>

namespace tideplot {

// Tiles from a tile server, through the TileNetwork: the URL template's {z}, {x} and {y}
// are filled in with the tile's zoom, column and row counted from the north, e.g.
// https://tile.openstreetmap.org/{z}/{x}/{y}.png, and {s} with a subdomain (TileSubdomain). A tile the server does not
// have (an error such as 404) fails; for an overlay, whose server leaves out its empty tiles, a 404 is an empty tile.
class XyzTileSource final : public TileSource {
public:
    struct Options {
        QString UrlTemplate;
        QString Attribution; // empty: "Map tiles: HOST"
        int MinZoom = 0;
        int MaxZoom = 19;
        bool Overlay = false;
    };
    // Throws Error as CheckTileUrlTemplate.
    XyzTileSource(Options options, std::shared_ptr<TileNetwork> network);
    ~XyzTileSource() override;

    QString description() const override;
    QString attribution() const override { return options_.Attribution; }
    int minZoom() const override { return options_.MinZoom; }
    int maxZoom() const override { return options_.MaxZoom; }
    void fetch(const TileKey& key, Done done) override;
    bool started(const TileKey& key) const override;
    void cancel(const TileKey& key) override;

    // The template filled in for a tile.
    QUrl tileUrl(const TileKey& key) const;

private:
    Options options_;
    std::shared_ptr<TileNetwork> network_;
    QHash<TileKey, quint64> requests_;
};

} // namespace tideplot
