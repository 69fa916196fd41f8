// The web page's map from an MBTiles file, as the replay command writes it: the file's tiles
// around the race in the page, what it says of them, and the files it refuses, writing no
// page. How the page draws the tiles is tested in Chromium (tests/web/page_test.mjs).
#include "earth/map/mapchoice.h"
#include "share/htmlpage.h"
#include "share/pagetiles.h"
#include "support/process.h"
#include "support/racefiles.h"

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numbers>
#include <regex>
#include <tuple>

namespace tideplot {
namespace {

using testing::FilesIn;
using testing::Quote;
using testing::RunCommand;
using testing::Slurp;
using testing::TempDir;

const std::string kTideplot = TIDEPLOT_EXE;
const std::string kSampleRace = std::string(TIDEPLOT_SOURCE_DIR) + "/examples/sample-race/race.TP1";

using Tile = std::tuple<int, int, int>; // zoom, column, row from the north
using TileMaker = std::function<QByteArray(const Tile&)>;

QByteArray SolidPng(QRgb colour, int size = 16)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(colour);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

// A PNG whose header says it is `width` by `height` pixels (and holds one).
QByteArray PngClaiming(int width, int height)
{
    QByteArray png = SolidPng(qRgb(1, 2, 3), 1);
    qToBigEndian<quint32>(width, png.data() + 16);
    qToBigEndian<quint32>(height, png.data() + 20);
    quint32 crc = 0xffffffffu; // of the IHDR chunk's type and data
    for (int i = 12; i < 29; ++i) {
        crc ^= static_cast<unsigned char>(png[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    qToBigEndian<quint32>(~crc, png.data() + 29);
    return png;
}

// Every tile of zooms `from` to `to` over the sample race's waters (and a margin), made by
// `make`; `metadata` rows; no tiles table when `tiles` is false.
std::map<Tile, QByteArray> WriteMbtiles(const std::string& path, int from, int to, const TileMaker& make,
                                        const std::vector<std::pair<QString, QString>>& metadata = {},
                                        bool tiles = true)
{
    std::map<Tile, QByteArray> written;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("test-writer"));
        db.setDatabaseName(QString::fromStdString(path));
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        q.exec(QStringLiteral("CREATE TABLE metadata (name TEXT, value TEXT)"));
        for (const auto& [name, value] : metadata) {
            q.prepare(QStringLiteral("INSERT INTO metadata VALUES (?, ?)"));
            q.addBindValue(name);
            q.addBindValue(value);
            q.exec();
        }
        if (tiles)
            q.exec(QStringLiteral("CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, "
                                  "tile_data BLOB)"));
        db.transaction();
        for (int z = from; tiles && z <= to; ++z) {
            const int n = 1 << z;
            auto column = [n](double lon) { return static_cast<int>(std::floor((lon / 360 + 0.5) * n)); };
            auto row = [n](double lat) {
                const double phi = lat * std::numbers::pi / 180;
                return static_cast<int>(std::floor(
                    (0.5 - std::log(std::tan(std::numbers::pi / 4 + phi / 2)) / (2 * std::numbers::pi)) * n));
            };
            for (int x = column(11.3); x <= column(11.7); ++x) {
                for (int y = row(57.7); y <= row(57.5); ++y) {
                    const QByteArray bytes = make({z, x, y});
                    q.prepare(QStringLiteral("INSERT INTO tiles VALUES (?, ?, ?, ?)"));
                    q.addBindValue(z);
                    q.addBindValue(x);
                    q.addBindValue(n - 1 - y);
                    q.addBindValue(bytes);
                    EXPECT_TRUE(q.exec());
                    written[{z, x, y}] = bytes;
                }
            }
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("test-writer"));
    return written;
}

testing::CommandResult WritePage(const TempDir& dir, const std::string& page, const std::string& mbtiles)
{
    return RunCommand("cd " + Quote(dir.path().string()) + " && " + kTideplot + " replay " + Quote(kSampleRace) +
                      " --resolution 60 --html " + page + (mbtiles.empty() ? "" : " --map " + Quote(mbtiles)));
}

// The page holds the file's own tiles around the race (each as its bytes, the type by its
// bytes whatever the metadata says), its credit as text, and the command tells the bytes it
// added; a page without the map holds nothing of it.
TEST(PageTiles, ThePageHoldsTheTilesAroundTheRaceAndSaysWhatTheyAdd)
{
    TempDir dir;
    const auto written = WriteMbtiles(
        dir.file("waters.mbtiles"), 9, 15,
        [](const Tile& t) { return SolidPng(qRgb(std::get<0>(t) * 10, std::get<1>(t) % 256, std::get<2>(t) % 256)); },
        {{"attribution", "<a href=\"https://example.org\">&copy; Harbour charts</a>"}, {"format", "jpg"}});
    const auto run = WritePage(dir, "map.html", dir.file("waters.mbtiles"));
    ASSERT_EQ(run.status, 0) << run.output;
    const auto plain = WritePage(dir, "plain.html", "");
    ASSERT_EQ(plain.status, 0) << plain.output;
    // The windows' export writes the same page and says the same of its map.
    ReplayPageOptions windows;
    windows.settings.ResolutionSeconds = 60;
    std::vector<std::string> warnings;
    windows.page.RaceCourse = PageCourse(kSampleRace, warnings);
    windows.page.Map = ParseMapChoice(QString::fromStdString(dir.file("waters.mbtiles")));
    std::vector<std::string> notes;
    ASSERT_TRUE(ExportReplayPage(kSampleRace, QString::fromStdString(dir.file("windows.html")), windows, {}, &notes));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(run.output.find(notes[0]), std::string::npos) << notes[0];

    std::smatch said;
    ASSERT_TRUE(std::regex_search(run.output, said,
                                  std::regex("Map in the web page: (\\d+) tiles of zooms (\\d+) to (\\d+) from "
                                             "waters\\.mbtiles, \\d+ KB of pictures, (\\d+) KB added to the page")))
        << run.output;
    const std::string page = Slurp(dir.file("map.html")), without = Slurp(dir.file("plain.html"));
    EXPECT_EQ(Slurp(dir.file("windows.html")), page);
    EXPECT_EQ(std::stoul(said[4]), (page.size() - without.size() + 512) / 1024);
    EXPECT_EQ(without.find("embeddedMap"), std::string::npos);
    EXPECT_EQ(without.find("embedded-map"), std::string::npos);

    const std::string open = "<script type=\"application/json\" id=\"race-data\">";
    const std::size_t from = page.find(open) + open.size();
    const QJsonObject map =
        QJsonDocument::fromJson(QByteArray::fromStdString(page.substr(from, page.find("</script>", from) - from)))
            .object()
            .value(QStringLiteral("embeddedMap"))
            .toObject();
    EXPECT_EQ(map.value(QStringLiteral("attribution")).toString(), QStringLiteral("\u00a9 Harbour charts"));
    EXPECT_EQ(map.value(QStringLiteral("minZoom")).toInt(), std::stoi(said[2]));
    EXPECT_EQ(map.value(QStringLiteral("maxZoom")).toInt(), std::stoi(said[3]));
    const QJsonObject tiles = map.value(QStringLiteral("tiles")).toObject();
    EXPECT_EQ(tiles.size(), std::stoi(said[1]));
    EXPECT_GE(tiles.size(), 4);
    for (auto it = tiles.begin(); it != tiles.end(); ++it) {
        const QStringList zxy = it.key().split(QLatin1Char('/'));
        ASSERT_EQ(zxy.size(), 3);
        const auto tile = written.find({zxy[0].toInt(), zxy[1].toInt(), zxy[2].toInt()});
        ASSERT_NE(tile, written.end()) << it.key().toStdString();
        EXPECT_EQ(it.value().toString(), QStringLiteral("data:image/png;base64,") + tile->second.toBase64());
    }
}

// A file that is not what it says, or holds tiles a page must not hold, writes no page and
// says why.
// The file is opened once, when the page's map is checked, and its tiles are read through
// that opening: a file put in its place meanwhile is not read.
TEST(PageTiles, TheFileCheckedIsTheFileRead)
{
    TempDir dir;
    const QByteArray first = SolidPng(qRgb(10, 20, 30));
    WriteMbtiles(dir.file("w.mbtiles"), 9, 10, [&](const Tile&) { return first; });
    const PageMbtiles file(QString::fromStdString(dir.file("w.mbtiles")));
    WriteMbtiles(dir.file("other.mbtiles"), 9, 10, [](const Tile&) { return SolidPng(qRgb(200, 20, 30)); });
    std::filesystem::rename(dir.file("other.mbtiles"), dir.file("w.mbtiles"));
    PageBox box;
    box.add(57.6, 11.5);
    box.add(57.65, 11.55);
    const PageMap map = ReadPageMap(file, box);
    ASSERT_FALSE(map.Tiles.empty());
    for (const auto& [name, url] : map.Tiles)
        EXPECT_EQ(url, "data:image/png;base64," + first.toBase64().toStdString()) << name;
}

TEST(PageTiles, FilesThatCannotBeAPagesMapWriteNoPage)
{
    const QByteArray png = SolidPng(qRgb(200, 100, 50));
    struct Case {
        const char* what;
        std::function<void(const std::string&)> write;
        int status;
        std::string message;
    };
    auto all = [](QByteArray bytes, std::vector<std::pair<QString, QString>> metadata = {}) {
        return [=](const std::string& path) {
            WriteMbtiles(
                path, 9, 12, [=](const Tile&) { return bytes; }, metadata);
        };
    };
    const Case cases[] = {
        {"no SQLite", [](const std::string& path) { std::ofstream(path) << std::string(4096, 'x'); }, 2,
         "it is no MBTiles file"},
        {"no tiles table",
         [](const std::string& path) {
             WriteMbtiles(path, 9, 12, {}, {{"name", "w"}}, false);
         },
         2, "it is no MBTiles file"},
        {"no tiles", [&](const std::string& path) { WriteMbtiles(path, 1, 0, {}); }, 2, "it holds no tiles"},
        {"vector tiles", all(png, {{"format", "pbf"}}), 2, "it holds vector tiles (format pbf)"},
        {"a huge tile", all(png + QByteArray(300 * 1024, '\0')), 1, "bytes, more than a map tile's 262144"},
        {"markup", all("<script>alert(1)</script>"), 1, "is no PNG, JPEG or WebP picture"},
        {"a GIF", all("GIF89a\x01\x00\x01\x00"), 1, "is no PNG, JPEG or WebP picture"},
        {"a broken PNG", all(png.left(20)), 1, "is no png picture that can be read"},
        {"a picture of gigabytes", all(PngClaiming(40000, 40000)), 1,
         "is 40000x40000 pixels, more than a map tile's 1024 each way"},
        {"other waters",
         [&](const std::string& path) {
             WriteMbtiles(path, 9, 12, [&](const Tile&) { return png; });
             QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mover"));
             db.setDatabaseName(QString::fromStdString(path));
             db.open();
             QSqlQuery(db).exec(QStringLiteral("UPDATE tiles SET tile_column = tile_column / 2"));
             db.close();
         },
         1, "it holds no tile of the race's waters at zooms 9 to 12"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        c.write(dir.file("w.mbtiles"));
        QSqlDatabase::removeDatabase(QStringLiteral("mover"));
        const auto run = WritePage(dir, "p.html", dir.file("w.mbtiles"));
        EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.output;
        EXPECT_NE(run.output.find("MBTiles file \"" + dir.file("w.mbtiles") + "\""), std::string::npos)
            << c.what << "\n"
            << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.what << "\n" << run.output;
        EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"w.mbtiles"}) << c.what;
    }
}

} // namespace
} // namespace tideplot
