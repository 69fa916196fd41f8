#pragma once

#include "core/replay.h"
#include "replay/leaderboard.h"

#include <string>

// How the program writes the numbers of a replay, one function per kind of value, wherever
// it shows them: the control window and the results window (through their models), the
// trace, the video's legend, the web page and the commands' summaries. The replay layer
// hands out numbers; only these functions make texts of them.
namespace tideplot {

// The race time a step shows: its race clock ("-00:05:00", "01:02:03"), nothing before
// the first step.
std::string RaceTimeText(long long step, double raceClockDays);

// A boat's distance to the first boat as the legend shows it ("0.201"), nothing without one.
std::string BoatDistanceText(const BoatStep& boat);

// Where a boat of the leaderboard stands: "finished 1:23:45", "0.412 nm to go" or
// "not started".
std::string StandingText(const LeaderboardRow& row);
// Its gap to the one ahead of them all: "+0:01:05" behind the first to finish, "+0.120 nm"
// behind the nearest sailing, nothing for those two themselves and for a boat not started.
std::string GapText(const LeaderboardRow& row);

} // namespace tideplot
