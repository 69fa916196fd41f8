#pragma once

#include "core/fleet.h"
#include "core/replay.h"
#include "core/replayseries.h"
#include "replay/timelinebudget.h"

#include <optional>
#include <string>

// What the replay layer hands to every part of the program that shows or records a replay:
// the fleet once, when a race is loaded, a frame of numbers at every step, and the series
// of every step so far after the replay went to another moment.
namespace tideplot {

// One step of the replay: its number (steps played since Start, from 1) and what it did.
// Step 0 is the replay before its first step: no boat moved, nothing drawn.
struct FleetFrame : StepOutcome {
    long long Step = 0;
};

// A part of the program that shows or records the replay. Every notification has a
// default that does nothing: an observer overrides what it shows.
class FrameObserver {
public:
    virtual ~FrameObserver() = default;
    // A race was loaded (before its first step), or the observer was added to a replay
    // that had been loaded before.
    virtual void raceStarted(const FleetInfo&) {}
    // The series of the race was made (anew): at Start, and when new settings built the
    // timeline again. A rewound() follows whenever the replay had moved before.
    virtual void seriesChanged(const ReplaySeries&) {}
    // A step was played.
    virtual void frame(const FleetFrame&) {}
    // The replay went to another moment (a seek, new settings, an observer added late):
    // `frame` is the step it stands at now, and `series` holds every step up to it. Steps
    // 1 to `keptSteps` are those the observer was shown before (the replay went on from
    // where it stood), so only the later ones are new; with `keptSteps` 0 what was shown
    // before is to be forgotten.
    virtual void rewound(const FleetFrame& /*frame*/, const ReplaySeries& /*series*/, long long /*keptSteps*/) {}
    // The replay reached the end of the race: every track file is at its end.
    virtual void reachedEnd() {}
    // The steps of one turn of the play timer are done (several at the play speed 0): a
    // window shows what they changed.
    virtual void ticked() {}
    // The timeline is being built on the pool (at Start, or for new settings), `done` of the
    // track files read so far (0 to 1): told when the build begins and several times a second.
    // The replay goes on at the old settings meanwhile.
    virtual void buildingTimeline(double /*done*/) {}
    // The build ended: with no `failure` and no `overBudget` the built settings have taken
    // effect (seriesChanged and rewound came before). Otherwise why not: a track file that
    // could not be read (`failure`; the settings stay as they were), or a timeline beyond its
    // budget (`overBudget`, its verdict).
    virtual void timelineBuilt(const std::string& /*failure*/, const std::optional<TimelineVerdict>& /*overBudget*/) {}
    // Playing or going to a moment failed with `message`; the replay stopped where it was.
    virtual void failed(const std::string& /*message*/) {}
};

// The pieces a frame drew, in boat order.
void AppendPieces(const FleetFrame& frame, std::vector<DrawnPiece>& pieces);

} // namespace tideplot
