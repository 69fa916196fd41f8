#include "share/pagetiles.h"

#include "core/error.h"
#include "earth/map/mbtilessource.h"
#include "earth/map/tilekey.h"
#include "share/pagedata.h"
#include "share/picturesize.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <set>

namespace tideplot {

namespace {

constexpr double kMercatorLatitude = 85.05112878;
constexpr int kCoarserZooms = 2, kFinerZooms = 3;
constexpr long long kMostTilesAZoom = 4096; // a zoom that would need more is not looked at

// Web Mercator in world units: 0 to 1 from 180 W eastwards and from the top down, as the
// page's chart has it.
struct Area {
    double x0, y0, x1, y1;
};

double WorldX(double lon)
{
    return lon / 360 + 0.5;
}

double WorldY(double lat)
{
    const double phi = std::clamp(lat, -kMercatorLatitude, kMercatorLatitude) * std::numbers::pi / 180;
    return 0.5 - std::log(std::tan(std::numbers::pi / 4 + phi / 2)) / (2 * std::numbers::pi);
}

Area Grown(const Area& a, double byX, double byY)
{
    return {a.x0 - byX, a.y0 - byY, a.x1 + byX, a.y1 + byY};
}

// The tiles of zoom z over an area: columns from x0 (beyond the world's when it crosses 180
// degrees) and rows from the north.
struct TileRange {
    int z = 0;
    long long x0 = 0, x1 = -1, y0 = 0, y1 = -1;
    long long count() const { return std::max(0LL, x1 - x0 + 1) * std::max(0LL, y1 - y0 + 1); }
};

TileRange RangeOver(int z, const Area& a)
{
    const long long n = TilesAcross(z);
    TileRange r{z, static_cast<long long>(std::floor(a.x0 * n)), static_cast<long long>(std::floor(a.x1 * n)),
                std::max(0LL, static_cast<long long>(std::floor(a.y0 * n))),
                std::min(n - 1, static_cast<long long>(std::floor(a.y1 * n)))};
    r.x1 = std::min(r.x1, r.x0 + n - 1);
    return r;
}

// The picture's MIME type and its format's name in messages, or null for no picture the
// page takes.
std::pair<const char*, const char*> PictureKind(const QByteArray& bytes)
{
    switch (PictureFormatOf(bytes)) {
    case PictureFormat::Png:
        return {"image/png", "png"};
    case PictureFormat::Jpeg:
        return {"image/jpeg", "jpeg"};
    case PictureFormat::Webp:
        return {"image/webp", "webp"};
    case PictureFormat::None:
        break;
    }
    return {nullptr, nullptr};
}

class TileReader {
public:
    explicit TileReader(const PageMbtiles& file) : path_(file.path()), query_(file.source().database()) {}

    [[noreturn]] void fail(const std::string& reason) const
    {
        throw Error("cannot put the MBTiles file \"" + path_.toStdString() + "\" into the web page: " + reason);
    }

    // The bytes of the range's tiles, checking that none is too large; each column range
    // within the world's, so that a range across 180 degrees is read in two.
    std::size_t bytesOf(const TileRange& r) { return each(r, false, nullptr); }
    void read(const TileRange& r, PageMap& map) { each(r, true, &map); }

private:
    std::size_t each(const TileRange& r, bool withData, PageMap* map);
    void keep(int z, long long x, long long y, const QByteArray& bytes, PageMap& map);

    QString path_;
    QSqlQuery query_; // through the file's own connection
    std::set<std::string> kept_;
};

std::size_t TileReader::each(const TileRange& r, bool withData, PageMap* map)
{
    const long long n = TilesAcross(r.z);
    std::size_t total = 0;
    QSqlQuery& q = query_;
    const QString what = withData ? QStringLiteral("tile_data") : QStringLiteral("length(tile_data)");
    if (!q.prepare(QStringLiteral("SELECT tile_column, tile_row, %1 FROM tiles WHERE zoom_level = ? AND "
                                  "tile_column BETWEEN ? AND ? AND tile_row BETWEEN ? AND ?")
                       .arg(what)))
        fail("it is no MBTiles file (" + q.lastError().text().toStdString() + ")");
    for (long long from = r.x0; from <= r.x1;) {
        const long long wrapped = ((from % n) + n) % n;
        const long long to = std::min(r.x1, from + (n - 1 - wrapped));
        q.addBindValue(r.z);
        q.addBindValue(wrapped);
        q.addBindValue(wrapped + (to - from));
        q.addBindValue(n - 1 - r.y1);
        q.addBindValue(n - 1 - r.y0);
        if (!q.exec())
            fail("its tiles cannot be read (" + q.lastError().text().toStdString() + ")");
        while (q.next()) {
            const long long x = q.value(0).toLongLong(), y = n - 1 - q.value(1).toLongLong();
            const QByteArray bytes = withData ? q.value(2).toByteArray() : QByteArray();
            const qint64 size = withData ? bytes.size() : q.value(2).toLongLong();
            if (size > static_cast<qint64>(kPageTileBytes))
                fail("its tile " + std::to_string(r.z) + "/" + std::to_string(x) + "/" + std::to_string(y) + " is " +
                     std::to_string(size) + " bytes, more than a map tile's " + std::to_string(kPageTileBytes));
            total += static_cast<std::size_t>(std::max<qint64>(size, 0));
            if (withData && !bytes.isEmpty())
                keep(r.z, x, y, bytes, *map);
        }
        q.finish();
        from = to + 1;
    }
    return total;
}

void TileReader::keep(int z, long long x, long long y, const QByteArray& bytes, PageMap& map)
{
    const std::string name = std::to_string(z) + "/" + std::to_string(x) + "/" + std::to_string(y);
    if (!kept_.insert(name).second)
        return; // a tile the file holds twice: the first
    const auto [mime, format] = PictureKind(bytes);
    if (!mime)
        fail("its tile " + name + " is no PNG, JPEG or WebP picture");
    std::string why;
    const std::optional<PictureSize> read = ReadPictureSize(bytes, why);
    if (!read)
        fail("its tile " + name + " is no " + std::string(format) + " picture that can be read (" + why + ")");
    const PictureSize size = *read;
    if (size.Width > kPageTilePixels || size.Height > kPageTilePixels)
        fail("its tile " + name + " is " + std::to_string(size.Width) + "x" + std::to_string(size.Height) +
             " pixels, more than a map tile's " + std::to_string(kPageTilePixels) + " each way");
    map.Tiles.emplace_back(name, std::string("data:") + mime + ";base64," + bytes.toBase64().toStdString());
    map.TileBytes += static_cast<std::size_t>(bytes.size());
}

// The zooms to look at, first to last: the whole race's, the coarser, then the finer;
// each with the area it covers.
std::vector<std::pair<int, Area>> ZoomsFor(const PageBox& box, int fileMin, int fileMax)
{
    const Area race{WorldX(box.West), WorldY(box.North), WorldX(box.East), WorldY(box.South)};
    const double dx = std::max(race.x1 - race.x0, 1e-9), dy = std::max(race.y1 - race.y0, 1e-9);
    // The page's scale showing the whole race, in pixels per world unit, and its zoom.
    const double scale = std::clamp(0.9 * std::min(kPageChartWidth / dx, kPageChartHeight / dy), 64.0,
                                    std::ldexp(static_cast<double>(kTilePixels), kMaxTileZoom));
    const int whole = static_cast<int>(std::lround(std::log2(scale / kTilePixels)));
    const double cx = (race.x0 + race.x1) / 2, cy = (race.y0 + race.y1) / 2;
    const double halfX = 0.75 * kPageChartWidth / scale, halfY = 0.75 * kPageChartHeight / scale;
    const Area shown{cx - halfX, cy - halfY, cx + halfX, cy + halfY};
    const Area tracks = Grown(race, dx / 10, dy / 10);

    const int lo = std::clamp(whole - kCoarserZooms, fileMin, fileMax);
    const int hi = std::clamp(whole + kFinerZooms, fileMin, fileMax);
    const int first = std::clamp(whole, lo, hi);
    std::vector<std::pair<int, Area>> zooms;
    for (int z = first; z >= lo; --z)
        zooms.emplace_back(z, shown);
    for (int z = first + 1; z <= hi; ++z)
        zooms.emplace_back(z, tracks);
    return zooms;
}

std::string KilobytesText(std::size_t bytes)
{
    return std::to_string((bytes + 512) / 1024) + " KB";
}

} // namespace

void PageBox::add(double lat, double lon)
{
    if (Empty) {
        South = North = lat;
        West = East = lon;
        Empty = false;
        return;
    }
    South = std::min(South, lat);
    North = std::max(North, lat);
    West = std::min(West, lon);
    East = std::max(East, lon);
}

PageMbtiles::PageMbtiles(const QString& path) : path_(path), source_(std::make_unique<MbtilesTileSource>(path)) {}

PageMbtiles::~PageMbtiles() = default;

PageMap ReadPageMap(const PageMbtiles& file, const PageBox& box)
{
    PageMap map;
    map.Attribution = file.source().attribution();
    map.MinZoom = file.source().minZoom();
    map.MaxZoom = file.source().maxZoom();
    map.File = QFileInfo(file.path()).fileName();
    if (box.Empty)
        return map;
    TileReader reader(file);
    int minKept = kMaxTileZoom + 1, maxKept = -1;
    int tooLarge = -1; // the coarsest zoom left out for its size, and its bytes
    std::size_t tooLargeBytes = 0, total = 0;
    for (const auto& [z, area] : ZoomsFor(box, map.MinZoom, map.MaxZoom)) {
        const TileRange range = RangeOver(z, area);
        if (range.count() > kMostTilesAZoom)
            continue;
        const std::size_t bytes = reader.bytesOf(range);
        if (bytes == 0)
            continue;
        if (total + bytes > kPageMapBytes) {
            if (tooLarge < 0 || z < tooLarge) {
                tooLarge = z;
                tooLargeBytes = bytes;
            }
            continue;
        }
        reader.read(range, map);
        total += bytes;
        minKept = std::min(minKept, z);
        maxKept = std::max(maxKept, z);
    }
    if (maxKept < 0 && tooLarge >= 0)
        reader.fail("its tiles of the race's waters at zoom " + std::to_string(tooLarge) + " are " +
                    KilobytesText(tooLargeBytes) + ", more than a page's map of " + KilobytesText(kPageMapBytes) +
                    "; give a file with coarser zooms");
    if (maxKept < 0)
        reader.fail("it holds no tile of the race's waters at zooms " + std::to_string(map.MinZoom) + " to " +
                    std::to_string(map.MaxZoom));
    map.MinZoom = minKept;
    map.MaxZoom = maxKept;
    return map;
}

std::string PageMap::json() const
{
    using page::JsonString;
    std::string json = "{\"attribution\":" + JsonString(Attribution.toStdString());
    json += ",\"minZoom\":" + std::to_string(MinZoom) + ",\"maxZoom\":" + std::to_string(MaxZoom);
    json += ",\"tiles\":{";
    for (std::size_t i = 0; i < Tiles.size(); ++i) {
        if (i > 0)
            json += ',';
        json += JsonString(Tiles[i].first) + ":" + JsonString(Tiles[i].second);
    }
    return json + "}}";
}

std::string PageMap::summary(std::size_t added) const
{
    if (Tiles.empty())
        return "Map in the web page: none, the page holds no track to put it around";
    return "Map in the web page: " + std::to_string(Tiles.size()) + " tiles of zooms " + std::to_string(MinZoom) +
           " to " + std::to_string(MaxZoom) + " from " + File.toStdString() + ", " + KilobytesText(TileBytes) +
           " of pictures, " + KilobytesText(added) + " added to the page";
}

} // namespace tideplot
