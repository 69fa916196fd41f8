#include "geometry.h"

#include <cmath>
#include <cstring>

namespace tideplot {

const double Pi = std::atan(1.0) * 4;

namespace {

// atan(dx / dy) in degrees.
double AngleDeg(double dx, double dy)
{
    return std::atan(dx / dy) * 180 / Pi;
}

// The leg of `dy` minutes of latitude north and `dx` minutes of departure east, `dLon`
// degrees of longitude east, `angleDeg` being AngleDeg(dx, dy) (anything when dy is 0).
Leg LegOf(double dy, double dx, double dLon, double angleDeg)
{
    Leg leg;
    if (dy == 0) {
        leg.Bearing = dLon > 0 ? 90 : 270;
    } else {
        leg.Bearing = angleDeg;
        if (dy < 0)
            leg.Bearing += 180;
        if (dy > 0 && dx < 0)
            leg.Bearing += 360;
    }

    const double b = leg.Bearing;
    if ((b >= 0 && b <= 45) || (b >= 135 && b <= 225))
        leg.Distance = dy / std::cos(Radians(b));
    else if ((b > 45 && b < 135) || (b > 225 && b <= 360))
        leg.Distance = dx / std::sin(Radians(b));
    return leg;
}

} // namespace

Leg CourseAndDistance(const TrackPoint& p1, const TrackPoint& p2)
{
    const double dy = (p1.Lat - p2.Lat) * 60;
    const double dLon = LongitudeDifference(p1.Lon, p2.Lon);
    const double m = dLon * 60;
    const double mid = (p1.Lat + p2.Lat) / 2;
    const double dx = std::cos(Radians(mid)) * m;
    return LegOf(dy, dx, dLon, dy == 0 ? 0 : AngleDeg(dx, dy));
}

LegPair CourseAndDistanceBothWays(const TrackPoint& p1, const TrackPoint& p2)
{
    // The mid-latitude's cosine is the same both ways, and so is the ratio of departure to
    // latitude (both change sign exactly), except that with no departure its zero's sign
    // may differ: then the angle is worked out again.
    const double cosMid = std::cos(Radians((p1.Lat + p2.Lat) / 2));
    const double dy = (p1.Lat - p2.Lat) * 60, dyBack = (p2.Lat - p1.Lat) * 60;
    const double dLon = LongitudeDifference(p1.Lon, p2.Lon), dLonBack = LongitudeDifference(p2.Lon, p1.Lon);
    const double dx = cosMid * (dLon * 60), dxBack = cosMid * (dLonBack * 60);
    double angle = 0, angleBack = 0;
    if (dy != 0) {
        angle = AngleDeg(dx, dy);
        const double ratio = dx / dy, ratioBack = dxBack / dyBack;
        const bool sameRatio = std::memcmp(&ratio, &ratioBack, sizeof ratio) == 0;
        angleBack = sameRatio ? angle : AngleDeg(dxBack, dyBack);
    }
    return {LegOf(dy, dx, dLon, angle), LegOf(dyBack, dxBack, dLonBack, angleBack)};
}

TrackPoint LegStart(const TrackPoint& p, const Leg& leg)
{
    const double d = leg.Distance;
    const double b = leg.Bearing;
    const double s = 1 / std::cos(Radians(p.Lat));
    TrackPoint out;
    out.Lat = p.Lat - (std::cos(Radians(b)) * d) / 60;
    out.Lon = FoldLongitude(p.Lon - (s * d * std::sin(Radians(b))) / 60);
    out.Elapsed = 0;
    return out;
}

} // namespace tideplot
