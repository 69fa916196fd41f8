// The chart's projection, grid and scale bar, against values worked out by hand.
#include "earth/chart/chartview.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace tideplot {
namespace {

constexpr double kMetresPerMinute = 1852;

double Cos(double degrees)
{
    return std::cos(degrees * std::numbers::pi / 180);
}

TEST(ChartProjection, OneMinuteOfLatitudeIsOneNauticalMileAndTheInverseReturns)
{
    struct Case {
        double lat, lon;
    };
    const Case cases[] = {{0, 0}, {57.5, 11.75}, {-33.9, 151.2}, {60.1, -179.9}, {-89.5, 180}};
    for (const auto& c : cases) {
        const LatLon back = UnprojectPoint(ProjectLatLon(c.lat, c.lon));
        EXPECT_NEAR(back.LatDeg, c.lat, 1e-9) << "lat " << c.lat << " lon " << c.lon;
        EXPECT_NEAR(back.LonDeg, c.lon, 1e-9) << "lat " << c.lat << " lon " << c.lon;
        // Near the point a minute of latitude spans sec(lat) nautical miles of the chart,
        // as a minute of longitude does (the projection is conformal).
        if (std::abs(c.lat) < 89) {
            const double dy = ProjectLatLon(c.lat + 0.5 / 60, c.lon).y() - ProjectLatLon(c.lat - 0.5 / 60, c.lon).y();
            EXPECT_NEAR(dy * Cos(c.lat), kMetresPerMinute, 0.01) << "lat " << c.lat;
            const double dx = ProjectLatLon(c.lat, c.lon + 1.0 / 60).x() - ProjectLatLon(c.lat, c.lon).x();
            EXPECT_NEAR(dx * Cos(c.lat), kMetresPerMinute * Cos(c.lat), 1e-6) << "lat " << c.lat;
        }
    }
    EXPECT_TRUE(std::isfinite(ProjectLatLon(90, 0).y()));
}

TEST(ChartGrid, StepIsTheSmallestThatKeepsTheLinesApart)
{
    struct Case {
        double pxPerMinute, minSpacing, step;
    };
    const Case cases[] = {{1000, 70, 0.1}, {500, 70, 0.2}, {100, 70, 1},   {69, 70, 2},      {7, 70, 10},
                          {5, 70, 15},     {1, 70, 120},   {0.1, 70, 900}, {0.001, 70, 2700}};
    for (const auto& c : cases)
        EXPECT_EQ(GridStepMinutes(c.pxPerMinute, c.minSpacing), c.step) << "px per minute " << c.pxPerMinute;
}

TEST(ChartGrid, LabelsInDegreesAndMinutes)
{
    struct Case {
        double value, step;
        bool latitude;
        const char* text;
    };
    const Case cases[] = {
        {57.5, 30, true, "57°30'N"},
        {-33.25, 15, true, "33°15'S"},
        {0, 60, true, "0°00'"},
        {11.75 + 0.5 / 60, 0.5, false, "11°45.5'E"},
        {-0.1 / 60, 0.1, false, "0°00.1'W"},
        {179.999999, 1, false, "180°00'E"},
        {57 + 5.0 / 60, 5, true, "57°05'N"},
    };
    for (const auto& c : cases) {
        const QString text = c.latitude ? FormatLatitude(c.value, c.step) : FormatLongitude(c.value, c.step);
        EXPECT_EQ(text.toStdString(), c.text) << "value " << c.value << " step " << c.step;
    }
}

TEST(ChartScaleBar, LongestRoundLengthThatFits)
{
    struct Case {
        double pxPerNm, maxPx, nm;
        const char* text;
    };
    const Case cases[] = {{100, 200, 2, "2 NM"}, {100, 199, 1, "1 NM"},          {1000, 240, 0.2, "0.2 NM"},
                          {3, 200, 50, "50 NM"}, {0.01, 200, 20000, "20000 NM"}, {1e6, 200, 0, ""}};
    for (const auto& c : cases) {
        const double nm = ScaleBarNauticalMiles(c.pxPerNm, c.maxPx);
        EXPECT_NEAR(nm, c.nm, c.nm * 1e-12) << "px per NM " << c.pxPerNm;
        if (nm > 0) {
            EXPECT_EQ(FormatNauticalMiles(nm).toStdString(), c.text) << "px per NM " << c.pxPerNm;
        }
    }
}

} // namespace
} // namespace tideplot
