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
// The least and the greatest direction of the wind over the race, going clockwise from the
// one to the other ("215 to 248"); nothing when it is not known or shifts by less than 3
// degrees.
std::string WindRangeText(const WindEstimate& wind);
// Where the race's wind comes from: "estimated from 41 tacks and 12 gybes", "given; 41 tacks
// and 12 gybes found", "given at 3 moments; ...", "measured by the instruments of 1 boat (the
// estimate 4 degrees anticlockwise of it); 41 tacks and 12 gybes found", or "unknown: fewer than three
// tacks and gybes to estimate it from"; with ", shifting 215 to 248" when it shifts.
std::string WindSourceText(const RaceAnalysis& race);
// The race clock of a manoeuvre's middle, as the replay writes race times ("00:12:05",
// "-00:01:10" before the gun).
// The start line against the wind at the gun: "the P1 end favoured by 4 degrees (the wind
// from 225 at the gun)", "square to the wind from 225 degrees at the gun", or that the wind
// then is not known.
std::string LineBiasText(const StartLineBias& bias);

std::string ManoeuvreRaceTimeText(const BoatSource& boat, const Manoeuvre& manoeuvre);

} // namespace tideplot
