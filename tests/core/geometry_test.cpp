#include "core/geometry.h"

#include <gtest/gtest.h>

#include <string>

namespace tideplot {
namespace {

TrackPoint At(double lat, double lon)
{
    return TrackPoint{lat, lon, 0};
}

// The branches of the course that the races rarely reach: the same point, and legs along a
// parallel (no change of latitude) or a meridian.
TEST(CourseAndDistance, CardinalLegsAndNoLeg)
{
    struct Case {
        TrackPoint p1, p2;
        double bearing, distance;
    };
    const Case cases[] = {
        {At(57, 11), At(57, 11), 270, 0}, {At(58, 11), At(57, 11), 0, 60}, {At(56, 11), At(57, 11), 180, 60},
        {At(0, 1), At(0, 0), 90, 60},     {At(0, 0), At(0, 1), 270, 60},   {At(60, 10), At(60, 11), 270, 30},
    };
    for (const auto& c : cases) {
        const Leg leg = CourseAndDistance(c.p1, c.p2);
        const std::string legText = "p1 " + std::to_string(c.p1.Lat) + "," + std::to_string(c.p1.Lon) + " p2 " +
                                    std::to_string(c.p2.Lat) + "," + std::to_string(c.p2.Lon);
        EXPECT_EQ(leg.Bearing, c.bearing) << legText;
        EXPECT_NEAR(leg.Distance, c.distance, 1e-9) << legText;
    }
}

} // namespace
} // namespace tideplot
