#pragma once

#include "replay.h"

#include <string>
#include <vector>

// Checks of a loaded race that warn without stopping anything.
namespace tideplot {

// After StartReplay: one text for each boat whose track has no fix (a line with a
// position, latitude not 0, and a time) in the first hour after the boat's start time:
// its track ends before the start, starts more than an hour after it, or holds no fix at
// all. The text names the boat, its entry, its start time and the track's first and last
// times, and asks whether both are in the same time zone. A track whose last fix is earlier
// than its first is said to run backwards, whatever it spans. Nothing for a race whose tracks
// cover their starts. The command line prints each after "warning: ", the windows show
// them in one message after Start.
//
// Each track file is opened again on its own and only its ends are read: from the front
// to the first fix, from the back to the last one; a file that cannot be read gives no
// warning (the replay reports it), and one that is no regular file (a pipe, a device) is
// not opened again.
std::vector<std::string> StartTimeWarnings(const RaceState& state);

} // namespace tideplot
