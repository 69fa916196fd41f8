#pragma once

#include <QString>

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A map inside the web page: the tiles of an MBTiles file that cover the race's waters, at
// the zooms a reader of the page uses, written into the page as pictures (data: URLs), so
// that the page shows a chart with no network, from a mailed file as from a USB stick.
//
// The zooms: the one at which the page shows the whole race on a wide window's chart
// (kPageChartWidth by kPageChartHeight pixels), two coarser (a phone's smaller chart, a
// zoom out) and three finer (zooming in, 8 times at most; beyond the deepest tile the page
// draws it larger). A zoom at or coarser than the whole race's covers what that chart shows
// of it and a quarter more on each side; a finer one the race's tracks and a tenth more.
// Zooms are taken whole, the whole race's first, then the coarser, then the finer, each
// when its tiles still fit within kPageMapBytes (a zoom that does not is left out, drawn
// from a coarser one): a small page beats a sharp harbour.
//
// The file is not trusted: each tile must be a PNG, JPEG or WebP picture by its own first
// bytes (the metadata's format is not believed), of at most kPageTileBytes bytes and at
// most kPageTilePixels pixels each way (a picture that would unpack into gigabytes is
// refused before the browser meets it).
namespace tideplot {

inline constexpr int kPageChartWidth = 1000;
inline constexpr int kPageChartHeight = 640;
inline constexpr std::size_t kPageMapBytes = 512 * 1024;
inline constexpr std::size_t kPageTileBytes = 256 * 1024;
inline constexpr int kPageTilePixels = 1024;

// The race's waters in degrees: longitudes the short way from one another, so the east may
// pass 180 for a race across that meridian.
struct PageBox {
    double South = 0, North = 0, West = 0, East = 0;
    bool Empty = true;
    void add(double lat, double lon);
};

struct PageMap {
    QString File;        // the MBTiles file's name, without its folder
    QString Attribution; // the file's own (its metadata), as plain text
    int MinZoom = 0, MaxZoom = 0;
    std::vector<std::pair<std::string, std::string>> Tiles; // "z/x/y" (rows from the north), data: URL
    std::size_t TileBytes = 0;                              // the pictures' own bytes

    // {"attribution", "minZoom", "maxZoom", "tiles": {"z/x/y": "data:image/...;base64,..."}}
    std::string json() const;
    // What the page's writer says of it, with the bytes `added` to the page.
    std::string summary(std::size_t added) const;
};

class MbtilesTileSource;

// An MBTiles file for a page's map, opened and checked once and kept open until its tiles
// are read: on one thread, the one that opened it.
class PageMbtiles {
public:
    // Throws Error naming the file when it cannot be a page's map: no MBTiles file, no tiles,
    // vector tiles (as MbtilesTileSource).
    explicit PageMbtiles(const QString& path);
    ~PageMbtiles();
    PageMbtiles(const PageMbtiles&) = delete;
    PageMbtiles& operator=(const PageMbtiles&) = delete;

    const QString& path() const { return path_; }
    const MbtilesTileSource& source() const { return *source_; }

private:
    QString path_;
    std::unique_ptr<MbtilesTileSource> source_;
};

// The tiles of `file` around `box`. Throws Error naming the file and the fault: a tile that
// is no picture of the three kinds, too large in bytes or pixels, no tile of the race's
// waters, or the whole race's zoom alone beyond kPageMapBytes.
PageMap ReadPageMap(const PageMbtiles& file, const PageBox& box);

} // namespace tideplot
