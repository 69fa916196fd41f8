#pragma once

#include "core/fleet.h"
#include "core/outputfile.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

// The race as one KML file whose time slider plays it on corrected time, in Google
// Earth Pro: one gx:Track per boat, its instants on the replay's race clock.
//
// A fix logged e after the boat's own start is placed at S + e x LYS, S being the
// earliest start in the race, so that the boats' handicaps are sailed out as in the
// replay. Instants are written as UTC "YYYY-MM-DDThh:mm:ssZ" (track times are taken as
// logged, which is UTC for almost every logger), with the fraction of a second they have
// to the millisecond ("2008-06-22T05:27:43.375Z"): with an LYS below 1, fixes a second
// apart lie less than a second apart on the race clock, and none is dropped.
namespace tideplot {

// Milliseconds since 1899-12-30 00:00:00 of the instant at which a fix logged at
// `fixTime`, by a boat that started at `startTime` with `lys`, is shown: `earliestStart` +
// (fixTime - startTime) x lys, rounded to the millisecond (date values in days).
long long AnimatedInstantMs(double earliestStart, double startTime, double lys, double fixTime);

// "2008-06-21T11:00:12Z", "2008-06-21T11:00:12.375Z" of milliseconds since 1899-12-30
// 00:00:00: the fraction of a second without trailing zeros, none for a whole second.
std::string KmlWhenText(long long milliseconds);

// Writes the animated KML of the fleet's boats (a Document named `title`) to `out`, reading each
// track file front to back twice (instants, then positions), so memory does not grow with
// the tracks. A boat's track holds every fix from its start on (a fix logged at the gun
// included) as TrackFixReader gives them: lines without a fix and repeated seconds passed
// over, and a fix whose instant is not after the one before (two fixes a second apart
// meet in one second when LYS is below 1). Positions are written as the track line writes
// them when they are plain decimals ("57.7012345"), else as the numbers they read as.
// Valid KML 2.2 with Google's extension schema. Throws Error naming the file, line and
// field.
void WriteAnimatedKml(const std::vector<FleetBoat>& boats, const QString& title, OutputFile& out);

} // namespace tideplot
