#pragma once

#include "motion.h"
#include "wind.h"

#include <cstddef>
#include <string_view>
#include <vector>

// Tacks and gybes: a boat's turns judged against the wind.
//
// A tack is a turn whose course passes through the wind's eye (the direction the wind comes
// from), a gybe one whose course passes through dead downwind; any other turn (a mark
// rounding bearing away or heading up, a turn round the start line) is a plain turn.
//
// The loss of a tack or gybe is the distance lost along the wind's axis (towards the wind for
// a tack, away from it for a gybe) against sailing the whole manoeuvre at the velocity made
// good the boat had before it: from the start of the turn, when it still sailed steadily, to
// the moment it had regained its speed.
namespace tideplot {

enum class ManoeuvreKind { Tack, Gybe, Turn };

// "tack", "gybe", "turn".
std::string_view ManoeuvreKindName(ManoeuvreKind kind);

// Turns smaller than this are reported only when they are tacks or gybes.
inline constexpr double kReportedTurnDeg = 45;

struct Manoeuvre {
    ManoeuvreKind Kind = ManoeuvreKind::Turn;
    // Seconds since the boat's start: for a tack or a gybe the moment the course crosses the
    // wind's axis, for a turn the moment it had turned half way.
    double MiddleSeconds = 0;
    double Lat = 0; // where the boat was then, between the fixes either side
    double Lon = 0;
    double CourseBeforeDeg = 0;
    double CourseAfterDeg = 0;
    double SpeedBeforeKn = 0;
    double MinSpeedKn = 0;
    double SpeedAfterKn = 0;
    double DurationSeconds = 0;   // from the start of the turn to the speed regained
    double LossMetres = kNoValue; // a tack's or a gybe's; NaN for a turn
    std::size_t TurnIndex = 0;    // the turn in BoatMotion::Turns
    bool BeforeStart = false;     // the middle lies before the boat's start: not in its totals
};

// What a turn is against a wind from `windFromDeg`. A course counts as passing through the
// wind's eye (or dead downwind) when both the course before and the course after lie at least
// kAxisMarginDeg away from it; a turn that passes through both (a turn round) is a plain turn.
inline constexpr double kAxisMarginDeg = 5;
ManoeuvreKind KindOfTurn(const Turn& turn, double windFromDeg);

// The boat's manoeuvres in time order, each turn judged against the wind at its middle (half
// the turn made): where the wind is known, its tacks and gybes with their losses and its other
// turns of kReportedTurnDeg or more; where it is not, only those turns, all plain.
// `startTime` is the boat's start (date value), from which the motion counts its seconds.
std::vector<Manoeuvre> ClassifyTurns(const BoatMotion& motion, const WindEstimate& wind, double startTime);

} // namespace tideplot
