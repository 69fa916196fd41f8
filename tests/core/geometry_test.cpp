#include "core/geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tideplot {
namespace {

TrackPoint At(double lat, double lon)
{
    return TrackPoint{lat, lon, 0};
}

TEST(Geometry, PiIsFourTimesArcTangentOfOne)
{
    EXPECT_EQ(Pi, std::atan(1.0) * 4);
    EXPECT_DOUBLE_EQ(Radians(180), Pi);
}

TEST(CourseAndDistance, CardinalAndDiagonalLegs)
{
    struct Case {
        TrackPoint p1, p2;
        double bearing, distance, tolerance;
    };
    const Case cases[] = {
        {At(57, 11), At(57, 11), 270, 0, 0},
        {At(58, 11), At(57, 11), 0, 60, 1e-9},
        {At(56, 11), At(57, 11), 180, 60, 1e-9},
        {At(0, 1), At(0, 0), 90, 60, 1e-9},
        {At(0, 0), At(0, 1), 270, 60, 1e-9},
        {At(60, 10), At(60, 11), 270, 30, 1e-9},
        {At(1, 1), At(0, 0), 44.99891, 84.85, 0.01},
        {At(1, -1), At(0, 0), 315.00109, 84.85, 0.01},
        {At(-1, -1), At(0, 0), 224.99891, 84.85, 0.01},
        {At(-1, 1), At(0, 0), 135.00109, 84.85, 0.01},
    };
    for (const auto& c : cases) {
        const Leg leg = CourseAndDistance(c.p1, c.p2);
        EXPECT_NEAR(leg.Bearing, c.bearing, c.tolerance == 0 ? 0 : 1e-4)
            << "p1 " << c.p1.Lat << "," << c.p1.Lon << " p2 " << c.p2.Lat << "," << c.p2.Lon;
        EXPECT_NEAR(leg.Distance, c.distance, c.tolerance)
            << "p1 " << c.p1.Lat << "," << c.p1.Lon << " p2 " << c.p2.Lat << "," << c.p2.Lon;
        EXPECT_GE(leg.Bearing, 0);
        EXPECT_LT(leg.Bearing, 360.0001);
    }
    // Just under 45 degrees: the mid-latitude cosine is below 1.
    EXPECT_LT(CourseAndDistance(At(1, 1), At(0, 0)).Bearing, 45);
}

TEST(CourseAndDistance, DistanceIsPlaneSailingInEveryBranch)
{
    for (double bearingDeg = 0; bearingDeg < 360; bearingDeg += 7.5) {
        const TrackPoint from = At(57.7, 11.9);
        const double lat = from.Lat + 0.1 * std::cos(Radians(bearingDeg));
        const double lon = from.Lon + 0.1 * std::sin(Radians(bearingDeg));
        const Leg leg = CourseAndDistance(At(lat, lon), from);
        const double dy = (lat - from.Lat) * 60;
        const double dx = std::cos(Radians((lat + from.Lat) / 2)) * (lon - from.Lon) * 60;
        EXPECT_NEAR(leg.Distance, std::sqrt(dx * dx + dy * dy), 1e-9) << bearingDeg;
    }
}

TEST(LegStart, MovesBackAlongTheLeg)
{
    const TrackPoint south = LegStart(At(60, 10), Leg{60, 0});
    EXPECT_NEAR(south.Lat, 59, 1e-12);
    EXPECT_NEAR(south.Lon, 10, 1e-12);
    EXPECT_EQ(south.Elapsed, 0);
    const TrackPoint west = LegStart(At(60, 10), Leg{60, 90});
    EXPECT_NEAR(west.Lat, 60, 1e-9);
    EXPECT_NEAR(west.Lon, 8, 1e-9);

    // The replay's pairing: half of the leg from B to A, started at A, is half way.
    const TrackPoint a = At(57.70, 11.90), b = At(57.71, 11.92);
    Leg leg = CourseAndDistance(a, b);
    leg.Distance /= 2;
    const TrackPoint mid = LegStart(a, leg);
    EXPECT_NEAR(mid.Lat, 57.705, 1e-6);
    EXPECT_NEAR(mid.Lon, 11.91, 1e-5);
}

} // namespace
} // namespace tideplot
