#pragma once

#include "share/exporter.h"

#include <functional>
#include <string>
#include <vector>

// The replay played once without windows, from the race clock at minus five minutes to
// the end of the race (or a number of steps), feeding the exporters chosen: the headless
// `replay` command and the windows' exports run it.
namespace tideplot {

struct ExportHooks {
    // A warning to pass on (a start in another time zone than its track, map tiles that
    // did not arrive).
    std::function<void(const std::string&)> warning;
    // After every step, with its frame (its Step the steps played): false stops the replay
    // and writes nothing (a cancel). It may throw (an interrupt) to the same end.
    std::function<bool(const FleetFrame& frame)> stepDone;
    // When every output is written whole, just before they are put in place; may throw.
    std::function<void()> beforeCommit;
};

struct ExportResult {
    int Boats = 0;
    long long Steps = 0;
    long long Segments = 0; // pieces drawn
    std::string RaceTime;   // that of the last step; "" without one
    bool Cancelled = false; // stopped by stepDone: nothing was written
};

// Refuses, before anything is written, outputs that name the race file, its course file
// or one another (the picture's world file included). Throws Error naming them.
void CheckOutputNames(const std::string& raceFile, const std::vector<ReplayExporter*>& exporters);

// Opens every exporter's files, plays the race, and puts every exporter's files in place
// only when the whole replay and every one of them succeeded: a replay that cannot start,
// fails midway, is cancelled or cannot write leaves the older files as they were and
// creates none. An output that names a track file of the race is refused once the race is
// loaded. Needs a QGuiApplication when an exporter shows the chart. Throws Error naming the
// file, line and fault (with " (no output file was written; older ones are as they were)"
// when the replay itself failed).
ExportResult RunExport(ExportRun& run, const std::vector<ReplayExporter*>& exporters, const ExportHooks& hooks = {});

} // namespace tideplot
