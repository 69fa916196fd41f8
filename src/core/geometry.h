#pragma once

#include "records.h"

// Plane sailing: course and distance on a flat earth, one minute of latitude being
// one nautical mile and a minute of longitude scaled by the cosine of a latitude
// (Bowditch, The American Practical Navigator, ch. 24 "Plane sailing"; mid-latitude
// sailing for the course).
//
// The 180th meridian is crossed the short way. The difference of longitude (DLo) of two
// positions is the smaller arc between their meridians, never more than 180 degrees: a
// DLo over 180 is taken from 360 and its direction, east or west, reversed (the DLo of the
// sailings, Bowditch ch. 24). So 179.9 E and 179.9 W lie 0.2 degrees apart, and a
// position computed beyond 180 is folded back into -180 to 180. Longitudes within 180
// degrees of each other are used exactly as stored.
namespace tideplot {

// Pi as the program uses it everywhere: the arc tangent of 1 times 4.
extern const double Pi;

// Degrees to radians: Pi * degrees / 180, the product first.
inline double Radians(double degrees)
{
    return Pi * degrees / 180;
}

struct Leg {
    double Distance = 0; // nautical miles, never negative
    double Bearing = 0;  // degrees clockwise from north, 0 up to 360
};

// lon1 - lon2 the short way round: the plain difference when it lies within -180 to 180,
// otherwise 360 less (or more).
inline double LongitudeDifference(double lon1, double lon2)
{
    const double difference = lon1 - lon2;
    if (difference > 180)
        return difference - 360;
    if (difference < -180)
        return difference + 360;
    return difference;
}

// `lon` moved by 360 degrees where that brings it within 180 degrees of `reference`,
// otherwise as it is: 179.9 near -179.9 becomes -180.1.
inline double UnwrapLongitude(double lon, double reference)
{
    if (lon - reference > 180)
        return lon - 360;
    if (lon - reference < -180)
        return lon + 360;
    return lon;
}

// `lon` folded into -180 to 180: 180.1 becomes -179.9; a longitude within the range stays
// as it is.
inline double FoldLongitude(double lon)
{
    if (lon > 180)
        return lon - 360;
    if (lon < -180)
        return lon + 360;
    return lon;
}

// The leg from p2 to p1: its bearing by the mid-latitude of the two points and its
// distance in nautical miles, with the difference of longitude taken the short way.
// Equal points give Bearing 270 and Distance 0.
Leg CourseAndDistance(const TrackPoint& p1, const TrackPoint& p2);

// The leg from p2 to p1 and the leg back, exactly as CourseAndDistance(p1, p2) and
// CourseAndDistance(p2, p1) give them, for the cost of little more than one.
struct LegPair {
    Leg FromP2;
    Leg FromP1;
};
LegPair CourseAndDistanceBothWays(const TrackPoint& p1, const TrackPoint& p2);

// The point from which `leg` ends at p: p moved back along leg.Bearing by
// leg.Distance, the longitude scaled by the latitude of p and folded into -180 to 180.
// Elapsed is 0.
TrackPoint LegStart(const TrackPoint& p, const Leg& leg);

} // namespace tideplot
