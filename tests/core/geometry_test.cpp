#include "core/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

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
        {At(57, 11), At(57, 11), 270, 0},
        {At(58, 11), At(57, 11), 0, 60},
        {At(56, 11), At(57, 11), 180, 60},
        {At(0, 1), At(0, 0), 90, 60},
        {At(0, 0), At(0, 1), 270, 60},
        {At(60, 10), At(60, 11), 270, 30},
        // Across the 180th meridian the short way: 0.2 degrees, not 359.8.
        {At(0, -179.9), At(0, 179.9), 90, 12},
        {At(0, 179.9), At(0, -179.9), 270, 12},
        {At(60, 180), At(60, -179), 270, 30},
    };
    for (const auto& c : cases) {
        const Leg leg = CourseAndDistance(c.p1, c.p2);
        const std::string legText = "p1 " + std::to_string(c.p1.Lat) + "," + std::to_string(c.p1.Lon) + " p2 " +
                                    std::to_string(c.p2.Lat) + "," + std::to_string(c.p2.Lon);
        EXPECT_EQ(leg.Bearing, c.bearing) << legText;
        EXPECT_NEAR(leg.Distance, c.distance, 1e-9) << legText;
    }
}

// Both legs at once are the two legs one at a time, to the bit (the sign of a zero
// included): on the cardinal legs, across the meridian, and on a thousand legs of a few
// metres to a few miles in every direction.
TEST(CourseAndDistance, BothWaysAreTheTwoLegs)
{
    std::vector<std::pair<TrackPoint, TrackPoint>> legs = {{At(57, 11), At(57, 11)},
                                                           {At(58, 11), At(57, 11)},
                                                           {At(56, 11), At(57, 11)},
                                                           {At(0, 1), At(0, 0)},
                                                           {At(60, 10), At(60, 11)},
                                                           {At(0, -179.9), At(0, 179.9)},
                                                           {At(60, 180), At(60, -179)},
                                                           {At(-33.5, 151.25), At(-33.5, 151.25)},
                                                           {At(57.7, 11.9), At(57.7, 11.9000001)}};
    for (int i = 0; i < 1000; ++i) {
        const double a = i * 0.7, r = 1e-5 * (1 + i % 97) * (1 + i % 13);
        legs.push_back({At(57.6 + r * std::cos(a), 11.5 + r * std::sin(a)), At(57.6, 11.5)});
    }
    for (const auto& [p1, p2] : legs) {
        const LegPair both = CourseAndDistanceBothWays(p1, p2);
        const Leg there = CourseAndDistance(p1, p2), back = CourseAndDistance(p2, p1);
        const std::string legText = "p1 " + std::to_string(p1.Lat) + "," + std::to_string(p1.Lon) + " p2 " +
                                    std::to_string(p2.Lat) + "," + std::to_string(p2.Lon);
        EXPECT_EQ(std::memcmp(&both.FromP2, &there, sizeof there), 0)
            << legText << ": " << both.FromP2.Bearing << " against " << there.Bearing;
        EXPECT_EQ(std::memcmp(&both.FromP1, &back, sizeof back), 0)
            << legText << ": " << both.FromP1.Bearing << " against " << back.Bearing;
    }
}

// A boat sailing east across the 180th meridian is placed on its short leg, at a longitude
// folded into -180 to 180; away from the meridian longitudes are used exactly as stored.
TEST(LegStart, CrossesTheMeridianTheShortWay)
{
    const TrackPoint west = At(-17, 179.95), east = At(-17, -179.95);
    Leg leg = CourseAndDistance(west, east);
    EXPECT_NEAR(leg.Bearing, 270, 1e-9);
    leg.Distance /= 2;
    const TrackPoint half = LegStart(west, leg);
    EXPECT_NEAR(half.Lat, -17, 1e-9);
    EXPECT_NEAR(std::abs(half.Lon), 180, 1e-9);
    leg.Distance *= 1.5; // three quarters of the way: past the meridian
    EXPECT_NEAR(LegStart(west, leg).Lon, -179.975, 1e-9);

    EXPECT_EQ(LongitudeDifference(11.9, 11.5), 11.9 - 11.5);
    EXPECT_EQ(LongitudeDifference(-179.5, 179.5), -179.5 - 179.5 + 360);
    EXPECT_EQ(UnwrapLongitude(-179.9, 179.9), -179.9 + 360);
    EXPECT_EQ(UnwrapLongitude(11.9, 179.9), 11.9);
    EXPECT_EQ(FoldLongitude(180.25), 180.25 - 360);
    EXPECT_EQ(FoldLongitude(180), 180);
    EXPECT_EQ(FoldLongitude(-180), -180);
}

} // namespace
} // namespace tideplot
