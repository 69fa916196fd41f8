#include "geometry.h"

#include <cmath>

namespace tideplot {

const double Pi = std::atan(1.0) * 4;

double Radians(double degrees)
{
    return Pi * degrees / 180;
}

double LongitudeDifference(double lon1, double lon2)
{
    const double difference = lon1 - lon2;
    if (difference > 180)
        return difference - 360;
    if (difference < -180)
        return difference + 360;
    return difference;
}

double FoldLongitude(double lon)
{
    if (lon > 180)
        return lon - 360;
    if (lon < -180)
        return lon + 360;
    return lon;
}

Leg CourseAndDistance(const TrackPoint& p1, const TrackPoint& p2)
{
    const double dy = (p1.Lat - p2.Lat) * 60;
    const double dLon = LongitudeDifference(p1.Lon, p2.Lon);
    const double m = dLon * 60;
    const double mid = (p1.Lat + p2.Lat) / 2;
    const double dx = std::cos(Radians(mid)) * m;

    Leg leg;
    if (dy == 0) {
        leg.Bearing = dLon > 0 ? 90 : 270;
    } else {
        leg.Bearing = std::atan(dx / dy) * 180 / Pi;
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
