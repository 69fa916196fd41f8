#pragma once

#include "motion.h"
#include "wind.h"

#include <cstddef>
#include <string_view>
#include <vector>

// Tacks and gybes: a boat's turns judged against the wind.
//
// A tack is a turn whose course passes through the wind's eye (the direction the wind comes
// from), a gybe one whose course passes through dead downwind; a rounding is a turn at a mark
// of the course (or, without a course, a turn of more than kRoundingTurnDeg that ends a beat
// or a run); any other turn (a turn round the start line, a luff) is a plain turn. A rounding
// is never a tack or a gybe, whatever its course passes through: it has no loss and is never
// counted or ranked with them.
//
// The loss of a tack or gybe is the distance lost along the wind's axis (towards the wind for
// a tack, away from it for a gybe) against sailing the whole manoeuvre at the velocity made
// good the boat had before it: from the start of the turn, when it still sailed steadily, to
// the moment it had regained its speed.
namespace tideplot {

enum class ManoeuvreKind { Tack, Gybe, Turn, Rounding };

// "tack", "gybe", "turn", "rounding".
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
    double LossMetres = kNoValue; // a tack's or a gybe's; NaN for a turn or a rounding
    std::size_t TurnIndex = 0;    // the turn in BoatMotion::Turns
    bool BeforeStart = false;     // the middle lies before the boat's start: not in its totals
};

// What a turn is against a wind from `windFromDeg`. A course counts as passing through the
// wind's eye (or dead downwind) when both the course before and the course after lie at least
// kAxisMarginDeg away from it; a turn that passes through both (a turn round) is a plain turn.
inline constexpr double kAxisMarginDeg = 5;
ManoeuvreKind KindOfTurn(const Turn& turn, double windFromDeg);

// Without a course, a turn of more than this that ends a beat or a run is a mark rounding: a
// bear-away from sailing upwind (the course within kUpwindDeg of the wind's eye) to sailing
// downwind (beyond kDownwindDeg of it) or a head-up back, whatever it passes through; or one
// between either and a reach that is no tack (upwind) or no gybe (downwind). A tack stays
// upwind and a gybe downwind on either side, so neither is taken for one.
inline constexpr double kRoundingTurnDeg = 60;
// A turn through the wind's eye or dead downwind is a rounding only when it turns more than
// this (a tack and a bear-away at the windward mark, a gybe and a head-up at the leeward
// mark): a tack or a gybe alone turns less, whatever the wind's estimate says of its courses.
inline constexpr double kRoundingThroughAxisDeg = 130;
inline constexpr double kUpwindDeg = 70;
inline constexpr double kDownwindDeg = 115;

// A turn round a mark: a rounding's moment, seconds after the start, is taken by the turn
// whose span (from its start to its end, and this many seconds either side) holds it, the
// nearest by its middle when several do.
inline constexpr double kRoundingReachSeconds = 10;

// The boat's manoeuvres in time order, each turn judged against the wind at its middle (half
// the turn made): where the wind is known, its tacks and gybes with their losses and its other
// turns of kReportedTurnDeg or more; where it is not, only those turns, all plain.
// `startTime` is the boat's start (date value), from which the motion counts its seconds.
// `roundings`, when given (the race has a course), are the moments the boat rounded its marks
// (seconds after its start): the turns at them are roundings, whatever their size. Without,
// the turns that end a beat or a run are (where the wind is known).
std::vector<Manoeuvre> ClassifyTurns(const BoatMotion& motion, const WindEstimate& wind, double startTime,
                                     const std::vector<double>* roundings = nullptr);

} // namespace tideplot
