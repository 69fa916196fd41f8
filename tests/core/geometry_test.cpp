#include "core/geometry.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

TrackPoint At(double lat, double lon)
{
    return TrackPoint{lat, lon, 0};
}

// The branches of the course: the same point, legs along a parallel (no change of latitude),
// along a meridian, and the four diagonals, whose mid-latitude cosine puts them a hair off 45
// degrees.
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
    }
}

} // namespace
} // namespace tideplot
