// The chart: its grid and scale bar against values worked out by hand, and the chart window as the replay and the user
// drive it, checked on its pictures: the window's own (drawn from its cached picture) and the picture drawn afresh.
#include "chartfixture.h"

namespace tideplot {
namespace {

TEST(ChartGridAndScaleBar, StepKeepsTheLinesApartLabelsInDegreesAndMinutesAndTheLongestRoundBarFits)
{
    const double steps[][2] = {{1000, 0.1}, {500, 0.2}, {100, 1},   {69, 2},      {7, 10},
                               {5, 15},     {1, 120},   {0.1, 900}, {0.001, 2700}};
    for (const auto& [pxPerMinute, step] : steps)
        EXPECT_EQ(GridStepMinutes(pxPerMinute, 70), step) << "px per minute " << pxPerMinute;

    const std::tuple<double, double, const char*> latitudes[] = {
        {57.5, 30, "57°30'N"}, {-33.25, 15, "33°15'S"}, {0, 60, "0°00'"}, {57 + 5.0 / 60, 5, "57°05'N"}};
    for (const auto& [value, step, text] : latitudes)
        EXPECT_EQ(FormatLatitude(value, step).toStdString(), text) << "value " << value << " step " << step;
    const std::tuple<double, double, const char*> longitudes[] = {
        {11.75 + 0.5 / 60, 0.5, "11°45.5'E"}, {-0.1 / 60, 0.1, "0°00.1'W"}, {179.999999, 1, "180°00'E"}};
    for (const auto& [value, step, text] : longitudes)
        EXPECT_EQ(FormatLongitude(value, step).toStdString(), text) << "value " << value << " step " << step;

    const std::tuple<double, double, double, const char*> bars[] = {
        {100, 200, 2, "2 NM"}, {100, 199, 1, "1 NM"},          {1000, 240, 0.2, "0.2 NM"},
        {3, 200, 50, "50 NM"}, {0.01, 200, 20000, "20000 NM"}, {1e6, 200, 0, ""}};
    for (const auto& [pxPerNm, maxPx, nm, text] : bars) {
        const double length = ScaleBarNauticalMiles(pxPerNm, maxPx);
        EXPECT_NEAR(length, nm, nm * 1e-12) << "px per NM " << pxPerNm;
        EXPECT_EQ(length > 0 ? FormatNauticalMiles(length).toStdString() : "", text) << "px per NM " << pxPerNm;
    }
}

// Each boat's track in its colour, continued across changes of width and across the
// polylines the chart cuts long tracks into, not joined across a jump, with a dot at its
// newest end; nothing between the boats.
TEST_F(ChartViewTest, BoatsColoursWhereTheirLinesAre)
{
    // Name, colour in the document and on the screen, latitude, and segments between wide ones.
    const std::tuple<const char*, const char*, QColor, double, int> boats[] = {
        {"Red", "ff0000ff", Qt::red, 57.5, 1000},
        {"Green", "ff00ff00", Qt::green, 57.505, 50},
        {"Blue", "ffff0000", Qt::blue, 57.495, 50}};
    auto lon = [](int i) { return 11.735 + i * 0.0001; };
    for (int i = 0; i < 300; ++i) {
        for (const auto& [name, kml, colour, lat, wideEvery] : boats)
            line(name, kml, i % wideEvery == 0 ? 5 : 1, lon(i + 1), lat, lon(i), lat);
    }
    line("Red", "ff0000ff", 1, 11.7695, 57.5, 11.7685, 57.5); // jumped 0.0035 degrees east
    frame(57.5, 11.75, 3000);
    const QImage image = window();
    for (const auto& [name, kml, colour, lat, wideEvery] : boats) {
        for (const double at : {11.7363, 11.742, 11.7475, 11.7606, 11.764})
            EXPECT_TRUE(HasColourNear(image, onScreen(lat, at), colour)) << name << at;
        EXPECT_FALSE(HasColourNear(image, onScreen(lat + 0.0025, 11.7475), colour, 3)) << name << " between";
        EXPECT_FALSE(HasColourNear(image, onScreen(lat, 11.742) + QPointF(0, -2), colour, 0))
            << name << " has no dot mid-track";
    }
    EXPECT_TRUE(HasColourNear(image, onScreen(57.505, 11.765) + QPointF(0, -2), Qt::green, 0));
    EXPECT_TRUE(HasColourNear(image, onScreen(57.5, 11.7695) + QPointF(0, -2), Qt::red, 0));
    EXPECT_FALSE(HasColourNear(image, onScreen(57.5, 11.7668), Qt::red, 1)) << "the jump";
    frame(57.5, 11.7606, 200); // close to where Red's track is cut into two polylines, drawn afresh
    const QImage close = picture();
    for (const double at : {11.76055, 11.7606, 11.76065})
        EXPECT_TRUE(HasColourNear(close, onScreen(57.5, at), Qt::red, 1)) << at;
}

// A piece whose ends lie on either side of the 180th meridian is drawn the short way across
// it (0.02 degrees), not round the world, and is seen from either side of the meridian, as
// are the tracks beyond it.
TEST_F(ChartViewTest, APieceAcrossThe180thMeridianIsDrawnTheShortWay)
{
    line("Fiji", "ff0000ff", 3, -179.996, -17, 179.996, -17);
    line("Fiji", "ff0000ff", 3, -179.992, -17, -179.996, -17);
    line("Vanua", "ff00ff00", 3, 179.994, -17.002, 179.992, -17.002);
    const auto east = [](double lon) { return lon < 0 ? lon + 360 : lon; };
    for (const double focusLon : {179.999, -179.999}) {
        frame(-17, focusLon, 3000);
        // A longitude as the view shows it, on the focus's side of the meridian.
        const auto seen = [&](double lon) { return focusLon > 0 ? east(lon) : east(lon) - 360; };
        for (const QImage& image : {window(), picture()}) {
            SCOPED_TRACE(testing::Message() << "focus " << focusLon);
            for (const double lon : {179.998, 180.0, -179.998, -179.994})
                EXPECT_TRUE(HasColourNear(image, onScreen(-17, seen(lon)), Qt::red)) << lon;
            EXPECT_TRUE(HasColourNear(image, onScreen(-17.002, seen(179.993)), Qt::green));
            EXPECT_FALSE(HasColourNear(image, onScreen(-17, seen(179.99)), Qt::red, 3)) << "west of the piece";
            EXPECT_FALSE(HasColourNear(image, onScreen(-17, seen(-179.987)), Qt::red, 3)) << "east of the track";
        }
    }
}

// SetCamera puts the focus at the centre of the picture, shows 2 tan 30 degrees times the
// range of ground across its width, and turns the azimuth up: a cross at the focus, and
// ticks 40 % of the width to either side of it, square to the heading.
TEST_F(ChartViewTest, SetCameraCentresTheFocusAndShowsTwoTanThirtyTimesTheRangeAcross)
{
    const double cases[][4] = {{57.5, 11.75, 180000, 0},
                               {57.7, 11.9, 3000, 0},
                               {0.01, -0.01, 1000, 275},
                               {-45, 11, 20000, 0},
                               {-33.86, 151.21, 5000, 120}};
    for (const auto& [lat, lon, range, azimuth] : cases) {
        SCOPED_TRACE(testing::Message() << "focus " << lat << "," << lon << " range " << range << " azimuth "
                                        << azimuth);
        auto mark = [&](const char* colour, double atLat, double atLon, double bearing, double arm) {
            const auto [lat1, lon1] = Sail(atLat, atLon, bearing, arm);
            const auto [lat0, lon0] = Sail(atLat, atLon, bearing + 180, arm);
            line("Mark", colour, 3, lon1, lat1, lon0, lat0);
        };
        mark("ffffff00", lat, lon, 0, range / 40); // a cyan cross, arms of some 17 pixels
        mark("ffffff00", lat, lon, 90, range / 40);
        const double offset = 0.4 * 2 * std::tan(std::numbers::pi / 6) * range;
        for (const double side : {90, 270}) {
            const auto [tickLat, tickLon] = Sail(lat, lon, azimuth + side, offset);
            mark("ffff00ff", tickLat, tickLon, azimuth, range / 50); // magenta
        }
        frame(lat, lon, range, azimuth);
        for (const QImage& image : {window(), picture()}) {
            EXPECT_LE(Distance(image.pixel(kWidth / 2, kHeight / 2), Qt::cyan), 60);
            EXPECT_FALSE(HasColourNear(image, kCentre + QPointF(40, 40), Qt::cyan, 3));
            double sum[2] = {0, 0};
            int count[2] = {0, 0};
            for (int x = 0; x < kWidth; ++x) {
                if (Distance(image.pixel(x, kHeight / 2), Qt::magenta) <= 120) {
                    sum[x > kWidth / 2] += x;
                    ++count[x > kWidth / 2];
                }
            }
            ASSERT_GT(count[0] * count[1], 0);
            EXPECT_NEAR(sum[1] / count[1] - sum[0] / count[0], 0.8 * kWidth, 0.8 * kWidth * 0.02);
        }
    }
}

TEST_F(ChartViewTest, CameraHeadingFoldsTheRangeKeepsItsLimitsAndBadCamerasAndDocumentsAreRefused)
{
    EXPECT_EQ(widget.windowTitle(), "Tideplot1 Chart");
    const double cases[][4] = {{400, 40, 4321, 4321}, {-15, 345, 1, 10}, {725, 5, 1e9, 4e7}, {-360, 0, 10, 10}};
    for (const auto& [azimuth, heading, range, shownRange] : cases) {
        frame(57.5, 11.75, range, azimuth);
        EXPECT_DOUBLE_EQ(chart.GetCamera(2).Azimuth, heading) << azimuth;
        EXPECT_DOUBLE_EQ(chart.GetCamera(2).Range, shownRange) << range;
    }
    EXPECT_THROW(frame(57.5, 11.75, std::nan("")), Error);
    EXPECT_THROW(frame(std::nan(""), 11.75, 2000), Error);

    // Refused documents name the reason and add nothing, not even their good lines.
    auto twoLines = [](const char* badPoint) {
        return std::string("<Document><Placemark><name>Elsa</name><LineString><coordinates>11,57 12,58"
                           "</coordinates></LineString></Placemark><Placemark><name>Bad</name><LineString>"
                           "<coordinates>11,57 ") +
               badPoint + "</coordinates></LineString></Placemark></Document>";
    };
    std::vector<std::pair<std::string, std::string>> documents = {{twoLines("11.76,x"), "\"x\" is not a number"}};
    for (const std::string point : {"11,90.5", "11,-91", "180.5,57", "-181,57"})
        documents.push_back({twoLines(point.c_str()), "\"Bad\": its point " + point + " lies off the globe"});
    line("Elsa", "ff0000ff", 1, 11.76, 57.51, 11.75, 57.5);
    for (const auto& [document, reason] : documents) {
        try {
            chart.LoadKmlData(document);
            ADD_FAILURE() << "accepted " << document;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
        EXPECT_EQ(widget.tracks().segmentCount(), 1u) << document;
    }
    line("Edge", "ffffffff", 1, 180, 90, -180, -90);
    EXPECT_EQ(widget.tracks().segmentCount(), 2u) << "the edges of the globe are on it";
    EXPECT_TRUE(std::isfinite(ProjectLatLon(90, 0).y()));
}

// Keys, the wheel and drags: the range and heading the view reports after them (which the
// replay's next framing reads back), and the point of the chart that stays under the
// pointer or moves with it.
TEST_F(ChartViewTest, KeysWheelAndDragsZoomTurnAndPan)
{
    using Action = std::function<void(ChartWidget&)>;
    auto key = [](Qt::Key k, Qt::KeyboardModifiers modifiers = {}) -> Action {
        return [=](ChartWidget& w) { QTest::keyClick(&w, k, modifiers); };
    };
    auto wheel = [](QPointF at, int delta) -> Action {
        return [=](ChartWidget& w) {
            QWheelEvent event(at, w.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(&w, &event);
        };
    };
    auto drag = [](Qt::KeyboardModifiers modifiers, std::vector<QPointF> path) -> Action {
        return [=](ChartWidget& w) {
            QTest::mousePress(&w, Qt::LeftButton, modifiers, path.front().toPoint());
            for (const QPointF& p : path)
                QTest::mouseMove(&w, p.toPoint());
            QTest::mouseRelease(&w, Qt::LeftButton, modifiers, path.back().toPoint());
        };
    };
    struct Case {
        const char* what;
        Action act;
        double rangeFactor, heading;
        QPointF from, to; // a point of the chart on the screen before and after
    };
    const QPointF pointer(700, 100);
    const Case cases[] = {
        {"+", key(Qt::Key_Plus), 1 / 1.25, 0, kCentre, kCentre},
        {"-", key(Qt::Key_Minus), 1.25, 0, kCentre, kCentre},
        {"wheel forward", wheel(pointer, 120), 1 / 1.25, 0, pointer, pointer},
        {"wheel back two notches", wheel(kCentre, -240), 1.25 * 1.25, 0, kCentre, kCentre},
        {"]", key(Qt::Key_BracketRight), 1, 15, kCentre, kCentre},
        {"Ctrl+Right", key(Qt::Key_Right, Qt::ControlModifier), 1, 15, kCentre, kCentre},
        {"Ctrl+Left", key(Qt::Key_Left, Qt::ControlModifier), 1, 345, kCentre, kCentre},
        {"Left", key(Qt::Key_Left), 1, 0, kCentre, kCentre + QPointF(kWidth / 8.0, 0)},
        {"drag", drag({}, {kCentre, kCentre + QPointF(100, 50)}), 1, 0, kCentre, kCentre + QPointF(100, 50)},
        {"Shift+drag a quarter turn clockwise",
         drag(Qt::ShiftModifier, {kCentre + QPointF(200, 0), kCentre + QPointF(200, 200), kCentre + QPointF(0, 200)}),
         1, 270, kCentre, kCentre},
    };
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    const double lat = 57.5, lon = 11.75, range = 2000;
    for (const auto& c : cases) {
        frame(lat, lon, range);
        const QPointF ground = toScreen().inverted().map(c.from);
        c.act(widget);
        const CameraInfoGE camera = chart.GetCamera(2);
        EXPECT_NEAR(camera.Range, range * c.rangeFactor, 1e-6) << c.what;
        EXPECT_NEAR(camera.Azimuth, c.heading, 1e-6) << c.what;
        const QPointF moved = toScreen().map(ground);
        EXPECT_NEAR(moved.x(), c.to.x(), 0.5) << c.what;
        EXPECT_NEAR(moved.y(), c.to.y(), 0.5) << c.what;
    }
}

// Replay steps draw onto the window's cached picture instead of drawing it afresh; the
// window shows what a fresh drawing shows after the steps and after each move of the view.
TEST_F(ChartViewTest, ReplayStepsDrawOntoTheCachedPicture)
{
    const double lat = 57.5, lon0 = 11.75, step = 0.0002;
    double range = 2000;
    for (int i = 0; i <= 20; ++i) {
        line("Elsa", "ff0000ff", 2, lon0 + (i + 1) * step, lat, lon0 + i * step, lat);
        frame(lat, lon0 + i * step + step / 2, range *= 1.004);
        window();
    }
    EXPECT_EQ(widget.trackLayerRedraws(), 1);
    for (const double lon : {lon0 + step / 2, lon0 + 10.5 * step, lon0 + 20.5 * step})
        EXPECT_TRUE(HasColourNear(window(), onScreen(lat, lon), Qt::red)) << lon;

    const std::tuple<const char*, double, double, double> moves[] = {
        {"none", 0, 1, 0}, {"zoomed in", 0, 0.5, 0}, {"turned", 0, 1, 10}, {"moved away", 0.05, 1, 10}};
    for (const auto& [what, lonShift, rangeFactor, azimuth] : moves) {
        frame(lat, lon0 + lonShift, range *= rangeFactor, azimuth);
        EXPECT_LT(DifferingPixels(window(), picture(), 90), kWidth * kHeight / 1000) << what;
    }
}

// The whole-race camera shows boats far apart north and south (where the chart's scale
// grows) with little to spare, and both are in the picture saved as PNG.
TEST_F(ChartViewTest, WholeRaceCameraShowsEveryTrackInTheSavedPicture)
{
    // The corners of the race's box land inside the picture and fill most of it.
    const std::tuple<double, double, double, double, double, QSize> boxes[] = {
        {7.59, 11.48, 57.62, 11.52, 0, {1280, 960}},   // a boat 50 degrees south
        {57.59, -20.0, 57.62, 11.52, 0, {640, 480}},   // one far west
        {57.59, 11.48, 60.62, 17.52, 45, {1280, 960}}, // turned
        {-40.0, 100.0, 10.0, 170.0, 120, {800, 1200}}, // turned, on a tall picture
    };
    for (const auto& [south, west, north, east, heading, size] : boxes) {
        frame(0, 0, 1000, heading);
        chart.SetCamera(chart.cameraShowing(south, west, north, east, size), 10.0);
        const QTransform map = widget.viewport(QSizeF(size)).projectedToScreen();
        QRectF corners;
        for (const double lat : {south, north})
            for (const double lon : {west, east})
                corners |= QRectF(map.map(ProjectLatLon(lat, lon)), QSizeF(1e-9, 1e-9));
        SCOPED_TRACE(testing::Message() << south << " " << west << " " << north << " " << east << " heading "
                                        << heading);
        EXPECT_TRUE(QRectF(QPointF(), QSizeF(size)).contains(corners));
        EXPECT_GT(std::max(corners.width() / size.width(), corners.height() / size.height()), 0.85);
    }

    frame(0, 0, 1000);
    line("Elsa", "ff0000ff", 3, 11.50, 57.60, 11.49, 57.59);
    line("Far", "ff00ff00", 3, 11.50, 7.60, 11.49, 7.59);
    chart.SetCamera(chart.cameraShowing(7.59, 11.49, 57.60, 11.50, QSize(kWidth, kHeight)), 10.0);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chart.png"));
    chart.saveImage(path, QSize(kWidth, kHeight));
    const QImage saved(path);
    EXPECT_EQ(saved.size(), QSize(kWidth, kHeight));
    for (const auto& [lat, colour] : {std::pair{57.595, QColor(Qt::red)}, std::pair{7.595, QColor(Qt::green)}})
        EXPECT_TRUE(HasColourNear(saved, onScreen(lat, 11.495), colour, 4)) << lat;
}

// Captions never lie on one another nor on a boat's dot: a fleet of 64 bunched at the
// start shows as many as have room, the first wanted first; a fleet spread out shows all.
TEST(ChartCaptions, NeverOverlapTheFirstWantedFirst)
{
    for (const double spreadPx : {40.0, 4000.0}) {
        std::vector<QPointF> points;
        std::vector<QSizeF> sizes;
        std::vector<QRectF> taken;
        for (int k = 0; k < 64; ++k) {
            points.emplace_back(500 + spreadPx * std::sin(k * 1.7) / 2, 500 + spreadPx * std::cos(k * 2.3) / 2);
            sizes.emplace_back(90, 16);
            taken.push_back(QRectF(points.back() - QPointF(4, 4), QSizeF(8, 8))); // the dots
        }
        const std::vector<QRectF> dots = taken;
        const std::vector<QRectF> places = PlaceCaptions(points, sizes, taken);
        ASSERT_EQ(places.size(), 64u);
        std::vector<QRectF> shown;
        for (const QRectF& place : places)
            if (!place.isNull())
                shown.push_back(place);
        SCOPED_TRACE(testing::Message() << "spread " << spreadPx << " px: " << shown.size() << " shown");
        EXPECT_FALSE(places.front().isNull()) << "the first wanted is shown";
        for (std::size_t a = 0; a < shown.size(); ++a) {
            for (std::size_t b = a + 1; b < shown.size(); ++b)
                EXPECT_FALSE(shown[a].intersects(shown[b])) << a << " and " << b;
            for (const QRectF& dot : dots)
                EXPECT_FALSE(shown[a].intersects(dot)) << a;
        }
        if (spreadPx > 1000)
            EXPECT_EQ(shown.size(), 64u);
        else
            EXPECT_LT(shown.size(), 64u);
    }
}

} // namespace
} // namespace tideplot
