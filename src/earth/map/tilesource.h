#pragma once

#include "earth/map/tilekey.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Where a map's tiles come from: a tile server, an MBTiles file. A source hands over the
// bytes of a picture; the map (mapsource.h) decodes, stacks and keeps them.
namespace tideplot {

struct TileBytes {
    QByteArray Bytes;     // a PNG, JPEG, ... picture
    QByteArray Format;    // "png", "jpg", ... when the source knows it; empty: told by the bytes
    bool Missing = false; // the source has no such tile, and that is no failure (an overlay's empty tile)
    QString Error;        // why the tile could not be had, in one line; empty when it could
};

class TileSource {
public:
    virtual ~TileSource() = default;

    // What the source is, for messages: "tile.openstreetmap.org", "harbour.mbtiles".
    virtual QString description() const = 0;
    // The credit drawn on every picture; may be empty.
    virtual QString attribution() const = 0;
    virtual int minZoom() const = 0;
    virtual int maxZoom() const = 0;

    using Done = std::function<void(const TileBytes&)>;
    // Starts loading a tile of the map (0 <= X, Y < 2^Z). `done` is called once, later,
    // from the event loop (never from inside fetch), unless the fetch is cancelled first.
    virtual void fetch(const TileKey& key, Done done) = 0;
    // Whether loading the tile has begun (a request went out); a fetch still queued has not.
    virtual bool started(const TileKey& key) const = 0;
    // Forgets a fetch: `done` is not called. A request already out is let finish.
    virtual void cancel(const TileKey& key) = 0;
};

} // namespace tideplot
