#pragma once

#include "coursesailed.h"
#include "motion.h"

#include "core/results.h"

// The start of each boat against the start line, and the line against the wind.
//
// A boat's position and speed at its gun are taken straight between the fixes either side of
// it. Its distance to the line is to the nearest point of the segment from P1 to P2, positive
// on the pre-start side (the left of P1 -> P2), negative over it; its place along the line is
// the fraction of the way from P1 (0) to P2 (1) of its foot on the line through them (below 0
// or above 1 beyond the ends). The seconds late are the time from the gun to its start crossing
// less the time it would have taken at its speed at the gun to sail its distance to the line
// (none for a boat over it).
//
// The line's bias: a line square to the wind has the wind coming from straight over its course
// side (90 degrees to the right of P1 -> P2). The bias is how far the wind at the gun lies
// clockwise of that; positive, the wind comes more from the P1 end, which lies upwind and is
// favoured; negative, P2's.
namespace tideplot {

struct StartReport {
    double LineDistanceMetres = kNoValue; // NaN when the track begins after the gun
    double LinePosition = kNoValue;
    double SpeedKn = kNoValue;
    double SecondsLate = kNoValue; // NaN without a start, or too slow at the gun to tell
    bool Ocs = false;
    bool Returned = false; // OCS, and started after coming back
};

// A boat's start, from its fixes (seconds from its gun) and its sailing of the course.
StartReport BoatStart(const FinishLine& line, const std::vector<MotionSample>& samples, const CourseSailed& sailed);

struct StartLineBias {
    // At the gun (or the first known in the ten minutes after it); NaN when not known.
    double WindFromDeg = kNoValue;
    double BiasDeg = kNoValue; // positive: the P1 end favoured
    int FavouredEnd = 0;       // 1 or 2; 0 when square (within half a degree) or not known
};

StartLineBias LineBias(const FinishLine& line, double windFromDeg);

} // namespace tideplot
