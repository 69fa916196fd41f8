// The chart's projection, grid and scale bar, against values worked out by hand.
#include "earth/chart/chartview.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <tuple>

namespace tideplot {
namespace {

// Near a point a minute of latitude spans sec(lat) nautical miles of the chart, as a minute
// of longitude does (the projection is conformal); the inverse returns the point.
TEST(ChartProjection, OneMinuteOfLatitudeIsOneNauticalMileAndTheInverseReturns)
{
    const double cases[][2] = {{0, 0}, {57.5, 11.75}, {-33.9, 151.2}, {60.1, -179.9}, {-89.5, 180}};
    for (const auto& [lat, lon] : cases) {
        const LatLon back = UnprojectPoint(ProjectLatLon(lat, lon));
        EXPECT_NEAR(back.LatDeg, lat, 1e-9) << "lat " << lat << " lon " << lon;
        EXPECT_NEAR(back.LonDeg, lon, 1e-9) << "lat " << lat << " lon " << lon;
        const double cos = std::cos(lat * std::numbers::pi / 180);
        const double dy = ProjectLatLon(lat + 0.5 / 60, lon).y() - ProjectLatLon(lat - 0.5 / 60, lon).y();
        const double dx = ProjectLatLon(lat, lon + 1.0 / 60).x() - ProjectLatLon(lat, lon).x();
        if (std::abs(lat) < 89) {
            EXPECT_NEAR(dy * cos, 1852, 0.01) << "lat " << lat;
            EXPECT_NEAR(dx, 1852, 1e-6) << "lat " << lat;
        }
    }
    EXPECT_TRUE(std::isfinite(ProjectLatLon(90, 0).y()));
}

TEST(ChartGrid, StepIsTheSmallestThatKeepsTheLinesApartAndLabelsInDegreesAndMinutes)
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
}

TEST(ChartScaleBar, LongestRoundLengthThatFits)
{
    const std::tuple<double, double, double, const char*> cases[] = {
        {100, 200, 2, "2 NM"}, {100, 199, 1, "1 NM"},          {1000, 240, 0.2, "0.2 NM"},
        {3, 200, 50, "50 NM"}, {0.01, 200, 20000, "20000 NM"}, {1e6, 200, 0, ""}};
    for (const auto& [pxPerNm, maxPx, nm, text] : cases) {
        const double length = ScaleBarNauticalMiles(pxPerNm, maxPx);
        EXPECT_NEAR(length, nm, nm * 1e-12) << "px per NM " << pxPerNm;
        if (length > 0) {
            EXPECT_EQ(FormatNauticalMiles(length).toStdString(), text) << "px per NM " << pxPerNm;
        }
    }
}

} // namespace
} // namespace tideplot
