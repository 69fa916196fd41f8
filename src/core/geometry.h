#pragma once

#include "records.h"

// Plane sailing: course and distance on a flat earth, one minute of latitude being
// one nautical mile and a minute of longitude scaled by the cosine of a latitude
// (Bowditch, The American Practical Navigator, ch. 24 "Plane sailing"; mid-latitude
// sailing for the course).
namespace tideplot {

// Pi as the program uses it everywhere: the arc tangent of 1 times 4.
extern const double Pi;

// Degrees to radians: Pi * degrees / 180, the product first.
double Radians(double degrees);

struct Leg {
    double Distance = 0; // nautical miles, never negative
    double Bearing = 0;  // degrees clockwise from north, 0 up to 360
};

// The leg from p2 to p1: its bearing by the mid-latitude of the two points and its
// distance in nautical miles. Equal points give Bearing 270 and Distance 0. There is
// no wrap-around at the 180th meridian.
Leg CourseAndDistance(const TrackPoint& p1, const TrackPoint& p2);

// The point from which `leg` ends at p: p moved back along leg.Bearing by
// leg.Distance, the longitude scaled by the latitude of p. Elapsed is 0.
TrackPoint LegStart(const TrackPoint& p, const Leg& leg);

} // namespace tideplot
