#include "chart_test_support.h"

#include "core/error.h"
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartwidget.h"

#include <QApplication>
#include <QHash>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

namespace tideplot {
namespace {

constexpr int kWidth = 800, kHeight = 600;
const QPointF kCentre(kWidth / 2.0, kHeight / 2.0);

double Cos(double degrees)
{
    return std::cos(degrees * std::numbers::pi / 180);
}

// Degrees of longitude and latitude for a ground distance east and north of a point,
// by plane sailing (one minute of latitude is one nautical mile).
double EastDeg(double metres, double lat)
{
    return metres / 1852 / 60 / Cos(lat);
}
double NorthDeg(double metres)
{
    return metres / 1852 / 60;
}

int Distance(QRgb pixel, const QColor& colour)
{
    return std::abs(qRed(pixel) - colour.red()) + std::abs(qGreen(pixel) - colour.green()) +
           std::abs(qBlue(pixel) - colour.blue());
}

bool Near(QRgb pixel, const QColor& colour, int tolerance = 60)
{
    return Distance(pixel, colour) <= tolerance;
}

// The commonest colour of a picture: its sea.
QRgb Sea(const QImage& image)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); y += 7) {
        for (int x = 0; x < image.width(); x += 7)
            ++counts[image.pixel(x, y)];
    }
    return std::max_element(counts.keyValueBegin(), counts.keyValueEnd(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

// Whether a pixel near `at` is at least 40 % of the way from the sea to `colour`, as a
// line one pixel wide is where it crosses a pixel.
bool HasColourNear(const QImage& image, const QPointF& at, const QColor& colour, int radius = 2)
{
    const int tolerance = Distance(Sea(image), colour) * 6 / 10;
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint p(static_cast<int>(std::lround(at.x())) + dx, static_cast<int>(std::lround(at.y())) + dy);
            if (image.valid(p) && Near(image.pixel(p), colour, tolerance))
                return true;
        }
    }
    return false;
}

class ChartViewTest : public testing::Test {
public:
    void SetUp() override { widget.resize(kWidth, kHeight); }

    void frame(double lat, double lon, double range, double azimuth = 0)
    {
        CameraInfoGE camera;
        camera.FocusPointLatitude = lat;
        camera.FocusPointLongitude = lon;
        camera.Range = range;
        camera.Azimuth = azimuth;
        chart.SetCamera(camera, 10.0);
    }

    // The replay's framing: the current heading and tilt kept, a new focus and range.
    void frameKeepingHeading(double lat, double lon, double range)
    {
        CameraInfoGE camera;
        camera.FocusPointLatitude = lat;
        camera.FocusPointLongitude = lon;
        camera.Range = range;
        camera.Azimuth = chart.GetCamera(2).Azimuth;
        camera.Tilt = chart.GetCamera(2).Tilt;
        chart.SetCamera(camera, 10.0);
    }

    void line(const std::string& name, const std::string& colour, int width, double lon1, double lat1, double lon0,
              double lat0)
    {
        chart.LoadKmlData(SegmentDocument(name, colour, width, lon1, lat1, lon0, lat0));
    }

    QPointF onScreen(double lat, double lon) const
    {
        return widget.viewport(QSizeF(kWidth, kHeight)).projectedToScreen().map(ProjectLatLon(lat, lon));
    }

    QImage window() { return widget.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QImage picture() const { return chart.renderImage(QSize(kWidth, kHeight)).convertToFormat(QImage::Format_RGB32); }

    void show()
    {
        widget.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    }

    ChartApplication chart;
    ChartWidget& widget = *chart.widget();
};

// The window (through its cached picture of the chart) and the saved picture show the same.
const std::pair<const char*, QImage (*)(ChartViewTest&)> kRenderings[] = {
    {"window", [](ChartViewTest& t) { return t.window(); }},
    {"picture", [](ChartViewTest& t) { return t.picture(); }},
};

TEST_F(ChartViewTest, WindowTitleAndCameraAsSet)
{
    EXPECT_EQ(widget.windowTitle(), "Tideplot1 Chart");
    CameraInfoGE camera;
    camera.FocusPointLatitude = 57.5;
    camera.FocusPointLongitude = 11.75;
    camera.Range = 4321;
    camera.Tilt = 30;
    camera.Azimuth = 400;
    chart.SetCamera(camera, 10.0);
    const CameraInfoGE now = chart.GetCamera(2);
    EXPECT_NEAR(now.FocusPointLatitude, 57.5, 1e-9);
    EXPECT_NEAR(now.FocusPointLongitude, 11.75, 1e-9);
    EXPECT_DOUBLE_EQ(now.Range, 4321);
    EXPECT_DOUBLE_EQ(now.Tilt, 30);
    EXPECT_DOUBLE_EQ(now.Azimuth, 40);
    camera.Range = 1;
    chart.SetCamera(camera, 1.0);
    EXPECT_DOUBLE_EQ(chart.GetCamera(2).Range, 10);
    camera.Range = std::nan("");
    EXPECT_THROW(chart.SetCamera(camera, 10.0), Error);
}

TEST_F(ChartViewTest, BoatsColoursWhereTheirLinesAre)
{
    struct Boat {
        const char* name;
        const char* kml;
        QColor colour;
        double lat;
    };
    const Boat boats[] = {{"Red", "ff0000ff", Qt::red, 57.5},
                          {"Green", "ff00ff00", Qt::green, 57.505},
                          {"Blue", "ffff0000", Qt::blue, 57.495}};
    auto lon = [](int i) { return 11.740 + i * 0.001; };
    for (int i = 0; i < 20; ++i) {
        for (const Boat& b : boats)
            line(b.name, b.kml, 1 + 4 * (i % 5 == 0), lon(i + 1), b.lat, lon(i), b.lat);
    }
    frame(57.5, 11.75, 3000);
    for (const auto& [rendering, render] : kRenderings) {
        const QImage image = render(*this);
        for (const Boat& b : boats) {
            for (const double lon : {11.742, 11.7475, 11.753}) {
                EXPECT_TRUE(HasColourNear(image, onScreen(b.lat, lon), b.colour))
                    << rendering << ": " << b.name << " at " << lon;
            }
            EXPECT_FALSE(HasColourNear(image, onScreen(b.lat + 0.0025, 11.7475), b.colour, 3))
                << rendering << ": " << b.name << " between the lines";
        }
    }
}

TEST_F(ChartViewTest, ViewCentredWhereSetCameraPutIt)
{
    struct Case {
        double lat, lon, range, azimuth;
    };
    const Case cases[] = {{57.5, 11.75, 2000, 0}, {-33.86, 151.21, 5000, 120}, {0.01, -0.01, 1000, 275}};
    for (const auto& c : cases) {
        ChartApplication fresh;
        fresh.widget()->resize(kWidth, kHeight);
        const double arm = c.range / 40; // about 10 pixels
        fresh.LoadKmlData(
            SegmentDocument("Cross", "ffff00ff", 3, c.lon, c.lat + NorthDeg(arm), c.lon, c.lat - NorthDeg(arm)));
        fresh.LoadKmlData(SegmentDocument("Cross", "ffff00ff", 3, c.lon + EastDeg(arm, c.lat), c.lat,
                                          c.lon - EastDeg(arm, c.lat), c.lat));
        CameraInfoGE camera;
        camera.FocusPointLatitude = c.lat;
        camera.FocusPointLongitude = c.lon;
        camera.Range = c.range;
        camera.Azimuth = c.azimuth;
        fresh.SetCamera(camera, 10.0);
        const QImage images[] = {fresh.widget()->grab().toImage(), fresh.renderImage(QSize(kWidth, kHeight))};
        for (const QImage& image : images) {
            EXPECT_TRUE(Near(image.pixel(kWidth / 2, kHeight / 2), Qt::magenta))
                << "focus " << c.lat << "," << c.lon << " range " << c.range;
            EXPECT_FALSE(HasColourNear(image, kCentre + QPointF(40, 40), Qt::magenta, 3))
                << "focus " << c.lat << "," << c.lon << " range " << c.range;
        }
    }
}

TEST_F(ChartViewTest, WidthShowsTwoTanThirtyTimesTheRange)
{
    struct Case {
        double lat, range;
    };
    const Case cases[] = {{0, 1000}, {57.5, 3000}, {57.5, 180000}, {-45, 20000}};
    for (const auto& c : cases) {
        ChartApplication fresh;
        const double offset = 0.4 * 2 * std::tan(std::numbers::pi / 6) * c.range; // 40 % of the width
        for (const double east : {-offset, offset}) {
            const double lon = 11 + EastDeg(east, c.lat);
            fresh.LoadKmlData(SegmentDocument("Tick", "ffff00ff", 2, lon, c.lat + NorthDeg(c.range / 50), lon,
                                              c.lat - NorthDeg(c.range / 50)));
        }
        CameraInfoGE camera;
        camera.FocusPointLatitude = c.lat;
        camera.FocusPointLongitude = 11;
        camera.Range = c.range;
        fresh.SetCamera(camera, 10.0);
        const QImage image = fresh.renderImage(QSize(kWidth, kHeight));
        double leftSum = 0, rightSum = 0;
        int leftCount = 0, rightCount = 0;
        for (int x = 0; x < kWidth; ++x) {
            if (!Near(image.pixel(x, kHeight / 2), Qt::magenta, 120))
                continue;
            (x < kWidth / 2 ? leftSum : rightSum) += x;
            ++(x < kWidth / 2 ? leftCount : rightCount);
        }
        ASSERT_GT(leftCount, 0) << "lat " << c.lat << " range " << c.range;
        ASSERT_GT(rightCount, 0) << "lat " << c.lat << " range " << c.range;
        const double measured = rightSum / rightCount - leftSum / leftCount;
        EXPECT_NEAR(measured, 0.8 * kWidth, 0.8 * kWidth * 0.02) << "lat " << c.lat << " range " << c.range;
    }
}

TEST_F(ChartViewTest, HeadingTheUserTurnedToIsKeptByTheNextFraming)
{
    struct Case {
        const char* what;
        std::function<void(ChartWidget&)> turn;
        double heading;
    };
    const Case cases[] = {
        {"] key", [](ChartWidget& w) { QTest::keyClick(&w, Qt::Key_BracketRight); }, 15},
        {"[ key twice",
         [](ChartWidget& w) {
             QTest::keyClick(&w, Qt::Key_BracketLeft);
             QTest::keyClick(&w, Qt::Key_BracketLeft);
         },
         330},
        {"Ctrl+Right", [](ChartWidget& w) { QTest::keyClick(&w, Qt::Key_Right, Qt::ControlModifier); }, 15},
        {"Shift+drag a quarter turn clockwise",
         [](ChartWidget& w) {
             QTest::mousePress(&w, Qt::LeftButton, Qt::ShiftModifier, (kCentre + QPointF(200, 0)).toPoint());
             QTest::mouseMove(&w, (kCentre + QPointF(200, 200)).toPoint());
             QTest::mouseMove(&w, (kCentre + QPointF(0, 200)).toPoint());
             QTest::mouseRelease(&w, Qt::LeftButton, Qt::ShiftModifier, (kCentre + QPointF(0, 200)).toPoint());
         },
         270},
    };
    show();
    const double lat = 57.5, lon = 11.75, range = 2000;
    line("North", "ff00ffff", 3, lon, lat + NorthDeg(600), lon, lat); // 600 m north of the focus
    for (const auto& c : cases) {
        frame(lat, lon, range, 0);
        c.turn(widget);
        EXPECT_NEAR(chart.GetCamera(2).Azimuth, c.heading, 1e-6) << c.what;
        frameKeepingHeading(lat, lon, range);
        EXPECT_NEAR(chart.GetCamera(2).Azimuth, c.heading, 1e-6) << c.what;
        const double h = c.heading * std::numbers::pi / 180;
        const double px = 600 / (1.1547 * range / kWidth);
        const QImage image = window();
        EXPECT_FALSE(HasColourNear(image, kCentre + QPointF(0, -px * 0.8), Qt::yellow, 3)) << c.what;
        EXPECT_TRUE(HasColourNear(image, kCentre + QPointF(-std::sin(h), -std::cos(h)) * px * 0.8, Qt::yellow))
            << c.what;
    }
}

TEST_F(ChartViewTest, ZoomKeysAndWheelChangeTheRange)
{
    struct Case {
        const char* what;
        std::function<void(ChartWidget&)> zoom;
        double factor;
    };
    auto wheel = [](int delta) {
        return [delta](ChartWidget& w) {
            QWheelEvent event(kCentre, w.mapToGlobal(kCentre), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(&w, &event);
        };
    };
    const Case cases[] = {
        {"+", [](ChartWidget& w) { QTest::keyClick(&w, Qt::Key_Plus); }, 1 / 1.25},
        {"=", [](ChartWidget& w) { QTest::keyClick(&w, Qt::Key_Equal); }, 1 / 1.25},
        {"-", [](ChartWidget& w) { QTest::keyClick(&w, Qt::Key_Minus); }, 1.25},
        {"wheel forward", wheel(120), 1 / 1.25},
        {"wheel back two notches", wheel(-240), 1.25 * 1.25},
    };
    for (const auto& c : cases) {
        frame(57.5, 11.75, 8000);
        c.zoom(widget);
        const CameraInfoGE camera = chart.GetCamera(2);
        EXPECT_NEAR(camera.Range, 8000 * c.factor, 1e-6) << c.what;
        EXPECT_NEAR(camera.FocusPointLatitude, 57.5, 1e-9) << c.what;
        EXPECT_NEAR(camera.FocusPointLongitude, 11.75, 1e-9) << c.what;
    }
}

TEST_F(ChartViewTest, WheelZoomKeepsThePointUnderThePointer)
{
    frame(57.5, 11.75, 8000);
    const QPointF pointer(700, 100);
    const QPointF before = widget.viewport(QSizeF(kWidth, kHeight)).projectedToScreen().inverted().map(pointer);
    QWheelEvent event(pointer, widget.mapToGlobal(pointer), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &event);
    const QPointF after = widget.viewport(QSizeF(kWidth, kHeight)).projectedToScreen().map(before);
    EXPECT_NEAR(after.x(), pointer.x(), 0.5);
    EXPECT_NEAR(after.y(), pointer.y(), 0.5);
}

TEST_F(ChartViewTest, DragPansTheChartWithThePointer)
{
    show();
    frame(57.5, 11.75, 3000);
    QTest::mousePress(&widget, Qt::LeftButton, Qt::NoModifier, kCentre.toPoint());
    QTest::mouseMove(&widget, (kCentre + QPointF(100, 50)).toPoint());
    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, (kCentre + QPointF(100, 50)).toPoint());
    const CameraInfoGE camera = chart.GetCamera(2);
    const double metresPerPx = 1.1547 * 3000 / kWidth;
    EXPECT_NEAR(camera.FocusPointLongitude, 11.75 - EastDeg(100 * metresPerPx, 57.5), 1e-6);
    EXPECT_NEAR(camera.FocusPointLatitude, 57.5 + NorthDeg(50 * metresPerPx), 1e-6);
    EXPECT_DOUBLE_EQ(camera.Range, 3000);
    EXPECT_DOUBLE_EQ(camera.Azimuth, 0);
}

TEST_F(ChartViewTest, BadDocumentsAreRefusedWithTheReason)
{
    struct Case {
        std::string document, reason;
    };
    const Case cases[] = {
        {"<Document><name>Elsa</name>", "cannot be read"},
        {SegmentDocument("Elsa", "red", 1, 11.76, 57.51, 11.75, 57.5), "\"red\" is not aabbggrr"},
        {"<Document><Placemark><LineString><coordinates>11.76,x,0,11.75,57.5,0</coordinates></LineString>"
         "</Placemark></Document>",
         "\"x\" is not a number"},
        {SegmentDocument("Elsa", "ff0000ff", 1, 11.76, 95, 11.75, 57.5), "off the globe"},
    };
    line("Elsa", "ff0000ff", 1, 11.76, 57.51, 11.75, 57.5);
    for (const auto& c : cases) {
        try {
            chart.LoadKmlData(c.document);
            ADD_FAILURE() << "accepted " << c.document;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
        EXPECT_EQ(widget.tracks().segmentCount(), 1u) << c.document;
    }
}

TEST_F(ChartViewTest, ReplayStepsDrawOntoTheCachedPicture)
{
    const double lat = 57.5, lon0 = 11.75, step = 0.0002;
    line("Elsa", "ff0000ff", 2, lon0 + step, lat, lon0, lat);
    frame(lat, lon0, 2000);
    window();
    EXPECT_EQ(widget.trackLayerRedraws(), 1);
    double range = 2000;
    for (int i = 1; i <= 20; ++i) {
        const double from = lon0 + i * step;
        line("Elsa", "ff0000ff", 2, lon0 + (i + 1) * step, lat, from, lat);
        range *= 1.004;
        frame(lat, from + step / 2, range);
        window();
    }
    EXPECT_EQ(widget.trackLayerRedraws(), 1);
    const QImage cached = window();
    for (const double lon : {lon0 + step / 2, lon0 + 10.5 * step, lon0 + 20.5 * step})
        EXPECT_TRUE(HasColourNear(cached, onScreen(lat, lon), Qt::red)) << lon;

    // The cached picture shows what a fresh drawing shows.
    const QImage fresh = picture();
    int differing = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x)
            differing += !Near(cached.pixel(x, y), QColor(fresh.pixel(x, y)), 90);
    }
    EXPECT_LT(differing, kWidth * kHeight / 1000);

    struct Move {
        const char* what;
        double lonShift, rangeFactor, azimuth;
    };
    const Move moves[] = {{"zoomed in", 0, 0.5, 0}, {"turned", 0, 1, 10}, {"moved away", 0.05, 1, 10}};
    int redraws = widget.trackLayerRedraws();
    for (const Move& m : moves) {
        range *= m.rangeFactor;
        frame(lat, lon0 + m.lonShift, range, m.azimuth);
        window();
        EXPECT_EQ(widget.trackLayerRedraws(), ++redraws) << m.what;
    }
}

// The whole-race camera puts every corner of the box inside the picture, with little to
// spare, for boats far apart north and south (where the chart's scale grows), east and
// west, at any heading; and both far boats are drawn.
TEST_F(ChartViewTest, WholeRaceCameraShowsEveryTrack)
{
    struct Case {
        double south, west, north, east, headingDeg;
        QSize size;
    };
    const Case cases[] = {
        {57.59, 11.48, 57.62, 11.52, 0, {1280, 960}},  // one fleet
        {57.59, 11.48, 77.62, 11.52, 0, {1280, 960}},  // a boat 20 degrees north
        {7.59, 11.48, 57.62, 11.52, 0, {1280, 960}},   // one 50 degrees south
        {57.59, -20.0, 57.62, 11.52, 0, {640, 480}},   // one far west
        {57.59, 11.48, 60.62, 17.52, 45, {1280, 960}}, // turned
        {-40.0, 100.0, 10.0, 170.0, 120, {800, 1200}}, // turned, on a tall picture
    };
    for (const auto& c : cases) {
        frame(0, 0, 1000, c.headingDeg);
        chart.SetCamera(chart.cameraShowing(c.south, c.west, c.north, c.east, c.size), 10.0);
        const QTransform toScreen = widget.viewport(QSizeF(c.size)).projectedToScreen();
        double left = 1e9, right = -1e9, top = 1e9, bottom = -1e9;
        for (const double lat : {c.south, c.north}) {
            for (const double lon : {c.west, c.east}) {
                const QPointF p = toScreen.map(ProjectLatLon(lat, lon));
                left = std::min(left, p.x()), right = std::max(right, p.x());
                top = std::min(top, p.y()), bottom = std::max(bottom, p.y());
            }
        }
        const QString box = QStringLiteral("%1 %2 %3 %4 heading %5")
                                .arg(c.south)
                                .arg(c.west)
                                .arg(c.north)
                                .arg(c.east)
                                .arg(c.headingDeg);
        EXPECT_GE(left, 0) << box.toStdString();
        EXPECT_GE(top, 0) << box.toStdString();
        EXPECT_LE(right, c.size.width()) << box.toStdString();
        EXPECT_LE(bottom, c.size.height()) << box.toStdString();
        EXPECT_GT(std::max((right - left) / c.size.width(), (bottom - top) / c.size.height()), 0.85)
            << box.toStdString();
    }

    frame(0, 0, 1000);
    line("Elsa", "ff0000ff", 3, 11.50, 57.60, 11.49, 57.59);
    line("Far", "ff00ff00", 3, 11.50, 7.60, 11.49, 7.59);
    chart.SetCamera(chart.cameraShowing(7.59, 11.49, 57.60, 11.50, QSize(kWidth, kHeight)), 10.0);
    const QImage image = picture();
    for (const auto& [lat, colour] : {std::pair{57.595, QColor(Qt::red)}, std::pair{7.595, QColor(Qt::green)}})
        EXPECT_TRUE(HasColourNear(image, onScreen(lat, 11.495), colour, 4)) << lat;
}

TEST_F(ChartViewTest, SavesThePictureAsPng)
{
    line("Elsa", "ff0000ff", 3, 11.76, 57.51, 11.75, 57.5);
    frame(57.505, 11.755, 3000);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("chart.png"));
    chart.saveImage(path, QSize(640, 480));
    const QImage saved(path);
    EXPECT_EQ(saved.size(), QSize(640, 480));
    EXPECT_TRUE(HasColourNear(saved, QPointF(320, 240), Qt::red));

    const QString unwritable = dir.filePath(QStringLiteral("missing/chart.png"));
    try {
        chart.saveImage(unwritable, QSize(640, 480));
        ADD_FAILURE() << "wrote " << unwritable.toStdString();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(unwritable.toStdString()), std::string::npos) << e.what();
    }
}

} // namespace
} // namespace tideplot
