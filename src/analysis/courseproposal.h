#pragma once

#include "core/course.h"
#include "raceanalysis.h"

#include <vector>

// A course proposed from the fleet's tracks, for a race whose course file says none.
//
// The marks are where the boats' turns of more than kMarkTurnDeg after their guns cluster:
// turns the same way lying within kMarkRadiusMetres of one another, from at least four in five
// of the boats (two at least; a boat alone: two turns, a mark rounded on two laps), and as many
// on every lap as at the mark turned at most (three in four of them: the tacks onto a layline
// that some boats make on some laps are no mark). A mark is left on the side the boats turned
// to (a turn to starboard leaves it to starboard) and lies inside their
// turns: of the points within kMarkRadiusMetres of the middle of the turns' half-way points
// (every kSearchStepMetres), the one that lies inside the most turns of kPlacingTurnDeg or more
// to that side there, kInsideMetres or more from the lines of the courses before and after
// through the turn's half-way point, and the nearest to the middle among those. So every
// boat's turn goes round it, also that of a boat that came in on another tack and turned less.
// The marks are sailed in the order the boats first reach them (the median of the boats'
// times), and the laps are the fewest turns at a mark of the middle boat. The start line lies
// square to the leg to the first mark, kInsideMetres ahead of the boat furthest up that leg
// at its gun (leaving out a boat more than kStartSpreadMetres ahead of the middle boat: one
// over the line), and reaches kStartMarginMetres beyond where the outermost boats crossed it
// first after their guns. A proposal is a text for the course file: the results take a course
// only from the file.
namespace tideplot {

inline constexpr double kMarkTurnDeg = 60;
inline constexpr double kMarkRadiusMetres = 60;
inline constexpr double kPlacingTurnDeg = 30;
inline constexpr double kSearchStepMetres = 2;
inline constexpr double kInsideMetres = 5;
inline constexpr double kStartSpreadMetres = 50;
inline constexpr double kStartMarginMetres = 30;

struct ProposedMark {
    int Boats = 0;  // boats whose turns make the mark
    int Turns = 0;  // turns there of kPlacingTurnDeg or more to the mark's side
    int Inside = 0; // of those, the turns that go round the mark
};

struct CourseProposal {
    Course Plan;                     // start line, marks in sailing order, laps; no finish line
    std::vector<ProposedMark> Marks; // what each mark of Plan rests on
};

// The course the fleet sailed, from its turns (race.Boats[k].Motion.Turns and every sample).
// Plan has no marks when no turns cluster, and no start line without a first mark.
CourseProposal ProposeCourse(const RaceAnalysis& race);

} // namespace tideplot
