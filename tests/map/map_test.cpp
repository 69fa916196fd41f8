// The map under the chart, against a tile server started by the test on 127.0.0.1: which tile
// each pixel shows (every tile one colour that names it), the network's manners, the disk
// cache offline, failing tiles. Nothing here reaches the internet.
#include "mapfixture.h"

namespace tideplot {
namespace {

class TileServerMap : public ::testing::Test {
public:
    std::shared_ptr<TileNetwork> network(TileNetworkOptions options = {})
    {
        if (options.CacheDirectory.isEmpty())
            options.CacheDirectory = dir.filePath(QStringLiteral("cache"));
        return std::make_shared<TileNetwork>(options);
    }
    // A chart over the server's map, framed on the sample race's waters.
    std::unique_ptr<ChartApplication> chart(std::shared_ptr<TileNetwork> net, double heading = 0)
    {
        auto c = std::make_unique<ChartApplication>();
        c->setMapSource(OpenMap({MapChoice::Kind::UrlTemplate, server.urlTemplate()}, std::move(net)), 5s);
        c->SetCamera(Camera(57.6, 11.5, 6000, heading), 10);
        return c;
    }
    ChartViewport viewport(const ChartApplication& c) const { return c.widget()->viewport(QSizeF(kPicture)); }

    QTemporaryDir dir;
    TileServer server;
};

// The picture waits for its tiles and each pixel shows the tile under it, turned with the
// chart; the server was asked for the tiles of the view and no others, at most four at a
// time, by a program that names itself.
TEST_F(TileServerMap, PixelsShowTheirTilesAskedForFourAtATimeByTideplot)
{
    server.delayMs = 20;
    for (const double heading : {0.0, 30.0}) {
        SCOPED_TRACE(::testing::Message() << "heading " << heading);
        server.tilesAsked.clear();
        QTemporaryDir cache;
        auto c = chart(network({.CacheDirectory = cache.path()}), heading);
        const QImage image = c->renderImage(kPicture).convertToFormat(QImage::Format_RGB32);
        const int zoom = ZoomShown(image);
        EXPECT_EQ(zoom, MapZoomFor(viewport(*c).pixelsPerProjectedMetre(), 0, 19));
        const Checked checked = ExpectTilesUnderPixels(image, viewport(*c), zoom, TileColour);
        EXPECT_GT(checked.Pixels, 100);
        EXPECT_GE(checked.Tiles.size(), 6);

        QSet<QString> view;
        for (const TileKey& key : c->widget()->mapTilesFor(kPicture))
            view.insert(TileName(key));
        EXPECT_EQ(QSet<QString>(server.tilesAsked.begin(), server.tilesAsked.end()), view);
        EXPECT_EQ(server.tilesAsked.size(), view.size()) << "each tile once";
        EXPECT_TRUE(c->takeMapWarnings().empty());
    }
    EXPECT_EQ(server.mostInFlight, 4);
    for (const QByteArray& agent : server.userAgents)
        EXPECT_EQ(agent, "Tideplot/1.0.10");
}

// Tiles the server called fresh come from the disk cache without asking it; stale ones are
// asked for again, and when the server is gone the cached ones still show. The default cache
// lies in the user's cache folder, as XDG_CACHE_HOME names it.
TEST_F(TileServerMap, DiskCacheServesFreshTilesAndOfflineStaleOnes)
{
    // The caching headers of the first answers; whether the server is gone for the second
    // run; whether the second run asks the server again.
    const QByteArray expired = "Expires: Sat, 21 Jun 2008 12:00:00 GMT";
    const std::tuple<QByteArray, bool, bool> runs[] = {
        {"Cache-Control: max-age=3600", false, false}, {expired, false, true}, {expired, true, false}};
    for (const auto& [cacheHeaders, gone, asksAgain] : runs) {
        SCOPED_TRACE(::testing::Message() << cacheHeaders.toStdString() << (gone ? ", server gone" : ""));
        QTemporaryDir cache;
        server.cacheHeaders = cacheHeaders;
        server.tilesAsked.clear();
        const TileNetworkOptions options{.CacheDirectory = cache.path()};
        const QImage first = chart(network(options))->renderImage(kPicture).convertToFormat(QImage::Format_RGB32);
        const qsizetype asked = server.tilesAsked.size();
        ASSERT_GT(asked, 0);
        if (gone)
            server.stop();
        const int notModified = server.notModified;
        auto again = chart(network(options));
        const QImage second = again->renderImage(kPicture).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(server.tilesAsked.size(), asksAgain ? 2 * asked : asked);
        EXPECT_EQ(server.notModified - notModified, asksAgain ? asked : 0);
        EXPECT_GT(ExpectTilesUnderPixels(second, viewport(*again), ZoomShown(first), TileColour).Pixels, 100);
        const std::vector<std::string> warnings = again->takeMapWarnings();
        EXPECT_TRUE(warnings.empty()) << warnings.front();
    }

    QStandardPaths::setTestModeEnabled(false);
    const QByteArray kept = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", dir.path().toLocal8Bit());
    const QString cacheDir = TileNetwork().options().CacheDirectory;
    qputenv("XDG_CACHE_HOME", kept);
    QStandardPaths::setTestModeEnabled(true);
    EXPECT_EQ(cacheDir, dir.path() + QStringLiteral("/Tideplot1/tiles"));
}

// A tile the server does not have, and one whose connection it closes, leave the sea where
// they would be and each give one line naming the tile; they are not asked for again at
// once, and the picture's other tiles show.
TEST_F(TileServerMap, FailingTilesLeaveTheSeaAndReportOneLineEach)
{
    auto c = chart(network());
    QStringList lines;
    c->widget()->setMapMessageHandler([&](const QString& line) { lines.push_back(line); });
    const int zoom = MapZoomFor(viewport(*c).pixelsPerProjectedMetre(), 0, 19);
    const TileUnder centre = SlippyTile(57.6, 11.5, zoom);
    const QString missing = QStringLiteral("%1/%2/%3").arg(zoom).arg(centre.X).arg(centre.Y);
    const QString closed = QStringLiteral("%1/%2/%3").arg(zoom).arg(centre.X + 1).arg(centre.Y);
    server.notFound.insert(missing);
    server.closeWithoutAnswer.insert(closed);

    const QImage image = c->renderImage(kPicture).convertToFormat(QImage::Format_RGB32);
    auto colour = [&](int z, int x, int y) {
        const QString name = QStringLiteral("%1/%2/%3").arg(z).arg(x).arg(y);
        return name == missing || name == closed ? kSea : TileColour(z, x, y);
    };
    const Checked checked = ExpectTilesUnderPixels(image, viewport(*c), zoom, colour);
    EXPECT_TRUE(checked.Tiles.contains(missing) && checked.Tiles.contains(closed));
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('\n')).toStdString();
    lines.sort();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Map tile %1 from 127.0.0.1 could not be loaded: ").arg(missing)))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("HTTP 404"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Map tile %1 from 127.0.0.1 could not be loaded: ").arg(closed)))
        << lines[1].toStdString();
    EXPECT_TRUE(lines.filter(QStringLiteral("\n")).isEmpty());

    const qsizetype asked = server.tilesAsked.size();
    c->renderImage(kPicture);
    EXPECT_EQ(server.tilesAsked.size(), asked);
    EXPECT_EQ(lines.size(), 2);
}

// The bytes of every file under a folder.
qint64 FolderBytes(const QString& folder)
{
    qint64 bytes = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        bytes += it.nextFileInfo().size();
    return bytes;
}

// Servers that would take all a client has cost a tile at most: a body that never ends
// (announced as 16 GiB, or sent in chunks) is cut off as it passes 4 MB and is not kept in
// the disk cache, a redirect loop ends after five redirects, a server that never answers
// times out; each gives one line naming the tile and why, and the other tiles show.
TEST_F(TileServerMap, ServersWithoutEndCostATileAtMost)
{
    auto c = chart(network({.CacheDirectory = dir.filePath(QStringLiteral("cache")), .TimeoutMs = 500}));
    QStringList lines;
    c->widget()->setMapMessageHandler([&](const QString& line) { lines.push_back(line); });
    const int zoom = MapZoomFor(viewport(*c).pixelsPerProjectedMetre(), 0, 19);
    const TileUnder centre = SlippyTile(57.6, 11.5, zoom);
    auto name = [&](int dx, int dy) {
        return QStringLiteral("%1/%2/%3").arg(zoom).arg(centre.X + dx).arg(centre.Y + dy);
    };
    const std::pair<QString, const char*> failing[] = {
        {name(0, 0), "the server sends 17179869184 bytes, more than the 4 MB a tile may have"},
        {name(1, 0), "the server sent more than the 4 MB a tile may have"},
        {name(-1, 0), "more than 5 redirects"},
        {name(0, 1), "timed out after 0.5 s"},
    };
    server.endlessLength.insert(failing[0].first);
    server.endlessChunked.insert(failing[1].first);
    server.redirectLoop.insert(failing[2].first);
    server.silent.insert(failing[3].first);

    QElapsedTimer took;
    took.start();
    const QImage image = c->renderImage(kPicture).convertToFormat(QImage::Format_RGB32);
    EXPECT_LT(took.elapsed(), 4000);
    auto colour = [&](int z, int x, int y) {
        const QString tile = QStringLiteral("%1/%2/%3").arg(z).arg(x).arg(y);
        return std::any_of(std::begin(failing), std::end(failing), [&](const auto& f) { return f.first == tile; })
                   ? kSea
                   : TileColour(z, x, y);
    };
    EXPECT_GT(ExpectTilesUnderPixels(image, viewport(*c), zoom, colour).Pixels, 100);
    EXPECT_EQ(lines.size(), 4) << lines.join(QLatin1Char('\n')).toStdString();
    for (const auto& [tile, reason] : failing) {
        const QStringList said =
            lines.filter(QStringLiteral("Map tile %1 from 127.0.0.1 could not be loaded: ").arg(tile));
        ASSERT_EQ(said.size(), 1) << tile.toStdString() << "\n" << lines.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(said[0].contains(QString::fromUtf8(reason))) << said[0].toStdString();
    }
    EXPECT_LT(server.streamed.value(failing[0].first), 16 << 20);
    EXPECT_LT(server.streamed.value(failing[1].first), 16 << 20);
    EXPECT_LE(server.tilesAsked.count(failing[2].first), 1 + kMaxTileRedirects);
    EXPECT_LT(FolderBytes(dir.filePath(QStringLiteral("cache"))), 1 << 20) << "no endless reply in the disk cache";
}

// The disk cache keeps within its bound, the files of replies still arriving included:
// tiles of 3.5 MB, one after another, never take its folder past it.
TEST_F(TileServerMap, DiskCacheStaysWithinItsBound)
{
    const TileNetworkOptions options{
        .CacheDirectory = dir.filePath(QStringLiteral("bounded")), .CacheBytes = 20 << 20, .MaxRequestsPerHost = 1};
    TileNetwork network(options);
    server.bigTileBytes = 7 << 19;
    qint64 largest = 0;
    for (int x = 0; x < 12; ++x) {
        const QString tile = QStringLiteral("12/%1/7").arg(x);
        server.big.insert(tile);
        QString error = QStringLiteral("no answer");
        bool done = false;
        network.get(QUrl(QStringLiteral("http://127.0.0.1:%1/%2.png").arg(server.port()).arg(tile)),
                    [&](const TileReply& reply) {
                        error = reply.Error;
                        done = true;
                    });
        QElapsedTimer waited;
        waited.start();
        while (!done && waited.elapsed() < 10'000) {
            QTest::qWait(2);
            largest = std::max(largest, FolderBytes(options.CacheDirectory));
        }
        largest = std::max(largest, FolderBytes(options.CacheDirectory));
        EXPECT_TRUE(error.isEmpty()) << tile.toStdString() << ": " << error.toStdString();
    }
    EXPECT_LE(largest, options.CacheBytes);
    EXPECT_GT(FolderBytes(options.CacheDirectory), 7 << 19) << "tiles were kept";
}

// A picture too large for the tiles of its scale is drawn from a coarser zoom within the
// limit of tiles a picture takes, each pixel still showing the tile under it; a map whose
// coarsest zoom needs too many is left out, asks for nothing, and the picture says why.
TEST_F(TileServerMap, LargePicturesTakeACoarserZoomOrSayWhyTheMapIsLeftOut)
{
    const QSize large(4096, 4096);
    auto c = chart(network());
    const ChartViewport vp = c->widget()->viewport(QSizeF(large));
    const int best = MapZoomFor(vp.pixelsPerProjectedMetre(), 0, 19);
    ASSERT_TRUE(MapTilesCovering(vp.projectedToScreen(), QRectF(QPointF(0, 0), QSizeF(large)), best).empty())
        << "the scale's own zoom needs more tiles than a picture takes";
    const QImage image = c->renderImage(large).convertToFormat(QImage::Format_RGB32);
    const int shown = ZoomShown(image);
    EXPECT_EQ(shown, best - 1);
    EXPECT_GT(ExpectTilesUnderPixels(image, vp, shown, TileColour).Pixels, 1000);
    EXPECT_TRUE(c->takeMapWarnings().empty());

    std::vector<std::unique_ptr<TileSource>> layers;
    layers.push_back(std::make_unique<XyzTileSource>(
        XyzTileSource::Options{
            .UrlTemplate = server.urlTemplate(), .Attribution = {}, .MinZoom = best, .MaxZoom = 19, .Overlay = false},
        network()));
    c->setMapSource(std::make_shared<MapSource>(std::move(layers), QStringLiteral("Map tiles: 127.0.0.1")), 5s);
    server.tilesAsked.clear();
    const QImage without = c->renderImage(large).convertToFormat(QImage::Format_RGB32);
    EXPECT_LE(Distance(without.pixel(large.width() / 2 + 7, large.height() / 2 + 7), kSea), 6);
    EXPECT_TRUE(server.tilesAsked.isEmpty());
    const std::vector<std::string> warnings = c->takeMapWarnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "The map is left out: this picture needs more than 400 of its tiles even at zoom " +
                               std::to_string(best) +
                               ", the coarsest of 127.0.0.1 (zoom out, or make the picture smaller)");
}

// A picture whose tiles are slow waits as long as it is told, then shows what it has and
// says how many are missing.
TEST_F(TileServerMap, PictureWaitsForItsTilesOnlySoLong)
{
    server.delayMs = 3000;
    auto c = chart(network());
    c->setMapSource(c->widget()->mapSource(), 300ms);
    QElapsedTimer took;
    took.start();
    const QImage image = c->renderImage(kPicture).convertToFormat(QImage::Format_RGB32);
    EXPECT_LT(took.elapsed(), 2000);
    EXPECT_LE(Distance(image.pixel(kPicture.width() / 2 + 7, kPicture.height() / 2 + 7), kSea), 6);
    const std::vector<std::string> warnings = c->takeMapWarnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("map tiles of the picture did not arrive within 0.3 s"), std::string::npos)
        << warnings[0];
}

// The window asks for its tiles when it is shown and draws them into its cached picture as
// they arrive, piece by piece: the replay's steps never draw that picture whole again for
// them, and what the window shows is what a fresh picture shows.
TEST_F(TileServerMap, WindowDrawsArrivingTilesIntoItsCachedPicture)
{
    server.delayMs = 5;
    ChartApplication c;
    ChartWidget& w = *c.widget();
    w.resize(kPicture);
    c.setMapSource(OpenMap({MapChoice::Kind::UrlTemplate, server.urlTemplate()}, network()));
    double lon = 11.49;
    c.SetCamera(Camera(57.6, lon, 6000, 30), 10);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    for (int step = 0; step < 40; ++step, lon += 0.0004) {
        c.LoadKmlData(Segment(57.6, lon, 57.6, lon + 0.0004));
        c.SetCamera(Camera(57.6, lon, 6000, 30), 10);
        QTest::qWait(10);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.mapSource()->loading(); }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(w.trackLayerRedraws(), 1);
    EXPECT_GT(w.mapAreaRedraws(), 0);
    const QImage window = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage fresh = w.renderImage(kPicture).convertToFormat(QImage::Format_RGB32);
    int differing = 0;
    for (int y = 0; y < kPicture.height(); ++y)
        for (int x = 0; x < kPicture.width(); ++x)
            differing += Distance(window.pixel(x, y), fresh.pixel(x, y)) > 90;
    EXPECT_LT(differing, kPicture.width() * kPicture.height() / 500);
    const Checked checked = ExpectTilesUnderPixels(window, w.viewport(QSizeF(kPicture)), ZoomShown(fresh), TileColour);
    EXPECT_GT(checked.Pixels, 100);
}

} // namespace
} // namespace tideplot
