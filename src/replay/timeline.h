#pragma once

#include "core/replay.h"
#include "core/replayseries.h"
#include "replay/timelinebudget.h"

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

// The replay's timeline: the whole race played once unseen, which counts its steps, keeps its
// series (24 bytes a boat and step, replayseries.h) and the race state every kCheckpointSteps
// steps (where each track file is read to, a few hundred bytes a boat). Going to a step starts
// at the checkpoint before it and plays the few steps from there.
//
// A timeline never holds more than its budget: a race whose steps at the resolution would not
// fit is played to its end in coarse steps, keeping nothing but where it ends and the verdict.
namespace tideplot {

class Timeline {
public:
    // No timeline (yet): nothing kept of the race's `boats` boats.
    explicit Timeline(int boats = 0);

    // The whole race played once from `atStart` on `state`, which is left after the race.
    // `cancel` (when given) is looked at every step, and a cancelled build gives no timeline;
    // `done` (when given) follows the share of the track files' bytes read. A line that
    // cannot be read ends the timeline before the step that meets it.
    static Timeline Build(RaceState& state, const RaceCheckpoint& atStart, const ReplaySettings& settings,
                          MemoryBudget budget, const std::atomic<bool>* cancel = nullptr,
                          std::atomic<double>* done = nullptr);

    // Whether it can go to any step: it was built and fits its budget.
    bool seekable() const { return seekable_; }
    // Built, and either seekable or beyond its budget.
    bool built() const { return seekable_ || overBudget_.has_value(); }
    // The verdict on a timeline built beyond its budget (none otherwise).
    const std::optional<TimelineVerdict>& overBudget() const { return overBudget_; }
    // Every step of the race (none when it is not seekable).
    const ReplaySeries& series() const { return series_; }
    // The race clock of the race's last step (0 when not built).
    double endClock() const { return endClock_; }

    // Puts `state` at the checkpoint before `step` (1 or more): returns the steps played
    // before that checkpoint.
    long long restoreBefore(RaceState& state, long long step) const;

private:
    static Timeline BeyondBudget(RaceState& state, const ReplaySettings& settings, MemoryBudget budget,
                                 const std::atomic<bool>* cancel, const std::function<void()>& tell);

    ReplaySeries series_;
    std::vector<RaceCheckpoint> checkpoints_;
    double endClock_ = 0;
    bool seekable_ = false;
    std::optional<TimelineVerdict> overBudget_;
};

} // namespace tideplot
