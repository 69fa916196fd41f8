#pragma once

#include "raceanalysis.h"

#include <string>

// How the windows write the analysis' numbers, one function per kind of value (the files of
// `tideplot analyse` keep their own, fuller precision).
namespace tideplot {

// A tack's or gybe's loss, metres to a tenth ("12.3"); nothing when it is not known (a turn).
std::string LossMetresText(double metres);
// A speed, knots to a tenth ("4.7"); nothing when it is not known.
std::string KnotsText(double knots);
// The wind's direction, whole degrees from 0 to 359 ("227"); nothing when it is not known.
std::string WindDegreesText(const WindEstimate& wind);
// Where the wind's direction comes from: "estimated from 41 tacks and 12 gybes", "given; 41
// tacks and 12 gybes found", or "unknown: fewer than three tacks and gybes to estimate it from".
std::string WindSourceText(const WindEstimate& wind);
// The race clock of a manoeuvre's middle, as the replay writes race times ("00:12:05",
// "-00:01:10" before the gun).
std::string ManoeuvreRaceTimeText(const BoatSource& boat, const Manoeuvre& manoeuvre);

} // namespace tideplot
