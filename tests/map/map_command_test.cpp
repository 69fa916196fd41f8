// `tideplot replay --screenshot FILE --map SOURCE` as a script runs it: the picture over the
// map's tiles, its world file, and what the command says of maps it cannot use.
#include "map/tileserver.h"
#include "support/process.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace tideplot {
namespace {

using testing::TileColour;

const QString kTideplot = QStringLiteral(TIDEPLOT_EXE);
const QString kSampleRace = QStringLiteral(TIDEPLOT_SOURCE_DIR "/examples/sample-race/race.TP1");
constexpr double kR = 6378137.0; // Web Mercator's radius

struct CommandRun {
    int status = -1;
    QString output; // stdout and stderr
};

// Runs the program with its cache in `cacheHome`, serving the test's own event loop (and
// its tile server) meanwhile.
CommandRun Tideplot(const QStringList& args, const QString& cacheHome)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), cacheHome);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(kTideplot, args);
    if (!process.waitForStarted(10'000))
        return {};
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60'000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

struct Tile {
    int X, Y;
    double FracX, FracY;
};

// The slippy-map tile under Web Mercator metres (x east, y north).
Tile TileAt(double x, double y, int z)
{
    const double n = std::pow(2.0, z), half = std::numbers::pi * kR;
    const double tx = (x + half) / (2 * half) * n, ty = (half - y) / (2 * half) * n;
    return {static_cast<int>(std::floor(tx)), static_cast<int>(std::floor(ty)), tx - std::floor(tx),
            ty - std::floor(ty)};
}

std::vector<double> WorldFileNumbers(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    std::vector<double> numbers;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            numbers.push_back(line.trimmed().toDouble());
    return numbers;
}

// Of the pixels well inside their tiles, the share that shows the colour of the tile under
// them, the world file saying where each lies, at the zoom that matches best.
double ShareShowingTheirTiles(const QImage& image, const std::vector<double>& w, int minZoom, int maxZoom,
                              int* zoomShown = nullptr)
{
    double best = 0;
    for (int z = minZoom; z <= maxZoom; ++z) {
        int pixels = 0, matching = 0;
        for (int r = 20; r < image.height() - 20; r += 23) {
            for (int c = 20; c < image.width() - 20; c += 23) {
                const Tile t = TileAt(w[0] * c + w[2] * r + w[4], w[1] * c + w[3] * r + w[5], z);
                if (std::min({t.FracX, t.FracY, 1 - t.FracX, 1 - t.FracY}) < 0.05)
                    continue;
                ++pixels;
                const QColor colour = TileColour(z, t.X, t.Y);
                const QRgb p = image.pixel(c, r);
                matching += std::abs(qRed(p) - colour.red()) + std::abs(qGreen(p) - colour.green()) +
                                std::abs(qBlue(p) - colour.blue()) <=
                            6;
            }
        }
        const double share = pixels ? double(matching) / pixels : 0;
        if (share > best && zoomShown)
            *zoomShown = z;
        best = std::max(best, share);
    }
    return best;
}

// The sample race over an MBTiles file of its waters, turned 30 degrees: the picture shows
// each tile where the world file says it lies, and Elsa's track passes where her fix at
// 11:30:00 lies. Without a map the picture gets its world file too.
TEST(MapCommand, ScreenshotOverAnMbtilesFileIsPlacedByItsWorldFile)
{
    QTemporaryDir dir;
    const QString mbtiles = dir.filePath(QStringLiteral("waters.mbtiles"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("command-writer"));
        db.setDatabaseName(mbtiles);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        q.exec(QStringLiteral("CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, "
                              "tile_data BLOB)"));
        db.transaction();
        q.prepare(QStringLiteral("INSERT INTO tiles VALUES (?, ?, ?, ?)"));
        const double lat0 = 57.55 * std::numbers::pi / 180, lat1 = 57.64 * std::numbers::pi / 180;
        auto y = [](double lat) { return kR * std::log(std::tan(std::numbers::pi / 4 + lat / 2)); };
        for (int z = 13; z <= 16; ++z) {
            const Tile nw = TileAt(kR * 11.40 * std::numbers::pi / 180, y(lat1), z);
            const Tile se = TileAt(kR * 11.58 * std::numbers::pi / 180, y(lat0), z);
            for (int x = nw.X; x <= se.X; ++x) {
                for (int ty = nw.Y; ty <= se.Y; ++ty) {
                    q.addBindValue(z);
                    q.addBindValue(x);
                    q.addBindValue((1 << z) - 1 - ty);
                    q.addBindValue(testing::SolidPng(TileColour(z, x, ty), 32));
                    ASSERT_TRUE(q.exec());
                }
            }
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("command-writer"));

    const QString picture = dir.filePath(QStringLiteral("race.png"));
    const CommandRun run =
        Tideplot({QStringLiteral("replay"), kSampleRace, QStringLiteral("--heading"), QStringLiteral("30"),
                  QStringLiteral("--screenshot"), picture, QStringLiteral("--map"), mbtiles},
                 dir.path());
    ASSERT_EQ(run.status, 0) << run.output.toStdString();
    EXPECT_FALSE(run.output.contains(QStringLiteral("warning"))) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(QStringLiteral("World file: ") + dir.filePath(QStringLiteral("race.pgw"))));
    const QImage image = QImage(picture).convertToFormat(QImage::Format_RGB32);
    const std::vector<double> w = WorldFileNumbers(dir.filePath(QStringLiteral("race.pgw")));
    ASSERT_EQ(w.size(), 6u);
    EXPECT_NE(w[1], 0) << "a turned picture has rotation terms";
    int zoom = -1;
    // Most of the picture: the tracks, the grid's labels and the legend in a corner cover the rest.
    EXPECT_GT(ShareShowingTheirTiles(image, w, 13, 16, &zoom), 0.85);
    // The zoom whose tile pixels come nearest the picture's (zoom 0: 2 pi R over 256 pixels).
    const double metresPerPixel = std::hypot(w[0], w[1]);
    EXPECT_EQ(zoom, std::lround(std::log2(2 * std::numbers::pi * kR / 256 / metresPerPixel)));

    // Elsa's fix at 11:30:00, 57.5817890 N 11.4675593 E, on the picture through the world
    // file's inverse: red within 2 pixels.
    const double x = kR * 11.4675593 * std::numbers::pi / 180;
    const double y = kR * std::log(std::tan(std::numbers::pi / 4 + 57.5817890 * std::numbers::pi / 360));
    const double det = w[0] * w[3] - w[2] * w[1];
    const double c = (w[3] * (x - w[4]) - w[2] * (y - w[5])) / det, r = (w[0] * (y - w[5]) - w[1] * (x - w[4])) / det;
    bool red = false;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const QRgb p = image.pixel(int(std::lround(c)) + dx, int(std::lround(r)) + dy);
            red |= qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) < 80;
        }
    EXPECT_TRUE(red) << "Elsa's fix at pixel " << c << "," << r;

    const QString plain = dir.filePath(QStringLiteral("plain.png"));
    const CommandRun noMap =
        Tideplot({QStringLiteral("replay"), kSampleRace, QStringLiteral("--screenshot"), plain}, dir.path());
    ASSERT_EQ(noMap.status, 0) << noMap.output.toStdString();
    const std::vector<double> flat = WorldFileNumbers(dir.filePath(QStringLiteral("plain.pgw")));
    ASSERT_EQ(flat.size(), 6u);
    EXPECT_EQ(flat[1], 0);
    EXPECT_EQ(flat[2], 0);
    EXPECT_NEAR(flat[3], -flat[0], 1e-9);
    EXPECT_LT(ShareShowingTheirTiles(QImage(plain).convertToFormat(QImage::Format_RGB32), flat, 13, 16), 0.05);
}

// Tiles the server lacks leave the sea and one warning line; the picture and its world file
// are written all the same, and the server heard from Tideplot only.
TEST(MapCommand, ScreenshotFromATileServerWarnsOfTilesItCouldNotHave)
{
    QTemporaryDir dir;
    testing::TileServer server;
    server.notFoundIf = [](int, int x, int y) { return (x + y) % 4 == 0; };
    const QString picture = dir.filePath(QStringLiteral("race.png"));
    const CommandRun run = Tideplot({QStringLiteral("replay"), kSampleRace, QStringLiteral("--screenshot"), picture,
                                     QStringLiteral("--map"), server.urlTemplate()},
                                    dir.path());
    ASSERT_EQ(run.status, 0) << run.output.toStdString();
    const QStringList warnings = run.output.split(QLatin1Char('\n')).filter(QStringLiteral("warning:"));
    ASSERT_EQ(warnings.size(), 1) << run.output.toStdString();
    EXPECT_TRUE(warnings[0].contains(QStringLiteral(" map tiles could not be loaded; the first: Map tile 15/")) &&
                warnings[0].contains(QStringLiteral("from 127.0.0.1 could not be loaded: HTTP 404 Not Found")))
        << warnings[0].toStdString();
    const std::vector<double> w = WorldFileNumbers(dir.filePath(QStringLiteral("race.pgw")));
    ASSERT_EQ(w.size(), 6u);
    const double share = ShareShowingTheirTiles(QImage(picture).convertToFormat(QImage::Format_RGB32), w, 15, 15);
    EXPECT_GT(share, 0.5);
    EXPECT_LT(share, 0.9) << "a quarter of the tiles are missing";
    EXPECT_FALSE(server.userAgents.isEmpty());
    for (const QByteArray& agent : server.userAgents)
        EXPECT_EQ(agent, "Tideplot/1.0.10");
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("Tideplot1/tiles"))).exists()) << "the cache under XDG_CACHE_HOME";
}

TEST(MapCommand, MapsThatCannotBeUsedAreRefusedWithTheReason)
{
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("race.png"));
    const std::tuple<QStringList, int, const char*> cases[] = {
        {{QStringLiteral("replay"), kSampleRace, QStringLiteral("--screenshot"), picture, QStringLiteral("--map"),
          QStringLiteral("harbour.png")},
         2,
         "tideplot replay: --map: the map \"harbour.png\" is none of: a URL template"},
        {{QStringLiteral("replay"), kSampleRace, QStringLiteral("--screenshot"), picture, QStringLiteral("--map"),
          QStringLiteral("https://example.org/{z}/{x}.png")},
         2,
         "lacks {y}"},
        {{QStringLiteral("replay"), kSampleRace, QStringLiteral("--screenshot"), picture, QStringLiteral("--map"),
          dir.filePath(QStringLiteral("gone.mbtiles"))},
         1,
         "tideplot replay: --map: cannot read the MBTiles file"},
        {{QStringLiteral("replay"), kSampleRace, QStringLiteral("--screenshot"), dir.filePath(QStringLiteral("x.pgw"))},
         2,
         "--screenshot: a picture named .pgw would be its own world file"},
        {{QStringLiteral("replay"), kSampleRace, QStringLiteral("--screenshot"), picture, QStringLiteral("--trace"),
          dir.filePath(QStringLiteral("race.pgw"))},
         2,
         "--trace names the world file of --screenshot"},
        {{QStringLiteral("link"), kSampleRace, QStringLiteral("--map"), QStringLiteral("openstreetmap")},
         2,
         "tideplot link: --map: Google Earth Pro draws its own imagery"},
    };
    for (const auto& [args, status, message] : cases) {
        const CommandRun run = Tideplot(args, dir.path());
        EXPECT_EQ(run.status, status) << args.join(' ').toStdString() << "\n" << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(QString::fromUtf8(message))) << run.output.toStdString();
        EXPECT_FALSE(QFile::exists(picture));
    }
    const CommandRun noPicture =
        Tideplot({QStringLiteral("replay"), kSampleRace, QStringLiteral("--max-steps"), QStringLiteral("1"),
                  QStringLiteral("--map"), QStringLiteral("openstreetmap")},
                 dir.path());
    EXPECT_EQ(noPicture.status, 0);
    EXPECT_TRUE(
        noPicture.output.startsWith(QStringLiteral("warning: --map draws under the --screenshot and --video pictures")))
        << noPicture.output.toStdString();
}

} // namespace
} // namespace tideplot
