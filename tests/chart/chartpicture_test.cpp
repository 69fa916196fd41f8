// The chart without a window: its pictures painted through the renderer's cached picture
// equal those drawn afresh, frame after frame, as the replay moves the camera and loads its
// documents; the camera's limits; the course and marks drawn on both.
#include "core/error.h"
#include "earth/chart/chartpicture.h"
#include "earth/googleearth.h"
#include "earth/kmldocument.h"

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace tideplot {
namespace {

const QSize kPicture(640, 480);

// How many pixels of two pictures of one size differ by more than `tolerance`, summed over
// the channels.
int DifferingPixels(const QImage& a, const QImage& b, int tolerance)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    int differing = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            differing += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) >
                         tolerance;
        }
    }
    return differing;
}

// The document the replay loads for one piece of a boat's track.
std::string Piece(const std::string& name, const char* colour, double lat0, double lon0, double lat1, double lon1)
{
    auto n = [](double v) { return KmlNumberText(v).toStdString(); };
    return "<Document><name>" + name + "</name><Style id=\"s\"><LineStyle><width>2</width><color>" + colour +
           "</color></LineStyle></Style><Placemark><styleUrl>#s</styleUrl><LineString><coordinates>" + n(lon1) + "," +
           n(lat1) + ",0," + n(lon0) + "," + n(lat0) + ",0</coordinates></LineString></Placemark></Document>";
}

// Two boats sailing east under the camera of the case, a course with its start and finish
// lines and a mark; every fifth step the picture painted through the cache (drawn on step
// after step) is the picture drawn afresh, within the joints of lines drawn a few at a time.
TEST(ChartPicture, PaintedFrameAfterFrameEqualsDrawnAfresh)
{
    struct Case {
        double headingDeg;
        double rangeMetres;
    };
    for (const Case& c : {Case{0, 3000}, Case{35, 3000}, Case{0, 12000}}) {
        ChartPicture chart;
        Course course;
        course.Start = FinishLine{57.497, 11.735, 57.503, 11.735};
        course.Finish = FinishLine{57.497, 11.76, 57.503, 11.76};
        course.Marks.push_back(CourseMark{.Name = "Vinga", .Lat = 57.51, .Lon = 11.75});
        chart.SetCourse(course);
        chart.SetCamera({.FocusPointLatitude = 57.5,
                         .FocusPointLongitude = 11.745,
                         .Range = c.rangeMetres,
                         .Azimuth = c.headingDeg},
                        10);
        for (int step = 1; step <= 40; ++step) {
            const double lon0 = 11.735 + 0.0005 * (step - 1), lon1 = lon0 + 0.0005;
            const double wave = 0.0004 * std::sin(step / 4.0);
            chart.LoadKmlData(Piece("Elsa", "ff0000ff", 57.5 + wave, lon0, 57.5 - wave, lon1));
            chart.LoadKmlData(Piece("Saga", "ff00ff00", 57.502, lon0, 57.502 + wave, lon1));
            const QImage painted = chart.paintedImage(kPicture);
            if (step % 5 == 0) {
                ASSERT_EQ(painted.size(), kPicture);
                EXPECT_LT(DifferingPixels(painted, chart.renderImage(kPicture), 90),
                          kPicture.width() * kPicture.height() / 1000)
                    << "heading " << c.headingDeg << " range " << c.rangeMetres << " step " << step;
            }
        }
        EXPECT_EQ(chart.renderer().cacheRedraws(), 1) << "drawn on, never drawn whole again";
    }
}

// The camera keeps its range within 10 m and 40,000 km, folds its heading, refuses what is
// not a number; the box of a race fits the picture at any heading.
TEST(ChartPicture, CameraKeepsItsLimitsAndFramesABox)
{
    ChartPicture chart;
    const struct {
        double range, azimuth, wantRange, wantAzimuth;
    } cameras[] = {{5, 370, 10, 10}, {1e9, -90, 4e7, 270}, {1234, 0, 1234, 0}};
    for (const auto& c : cameras) {
        chart.SetCamera(
            {.FocusPointLatitude = 57.5, .FocusPointLongitude = 11.7, .Range = c.range, .Azimuth = c.azimuth}, 10);
        EXPECT_DOUBLE_EQ(chart.GetCamera(2).Range, c.wantRange) << c.range;
        EXPECT_DOUBLE_EQ(chart.GetCamera(2).Azimuth, c.wantAzimuth) << c.azimuth;
    }
    EXPECT_THROW(chart.SetCamera({.FocusPointLatitude = NAN}, 10), Error);

    for (const double heading : {0.0, 45.0, 90.0}) {
        chart.SetCamera({.FocusPointLatitude = 0, .FocusPointLongitude = 0, .Range = 1000, .Azimuth = heading}, 10);
        chart.SetCamera(chart.cameraShowing(57.4, 11.6, 57.6, 11.9, kPicture), 10);
        const QTransform toScreen = chart.camera().viewport(QSizeF(kPicture)).projectedToScreen();
        const QRectF picture(QPointF(0, 0), QSizeF(kPicture));
        for (const auto& [lat, lon] : {std::pair{57.4, 11.6}, std::pair{57.6, 11.9}, std::pair{57.4, 11.9}})
            EXPECT_TRUE(picture.contains(toScreen.map(ProjectLatLon(lat, lon)))) << heading << " " << lat << " " << lon;
    }
}

} // namespace
} // namespace tideplot
