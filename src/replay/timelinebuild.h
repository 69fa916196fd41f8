#pragma once

#include "core/replay.h"
#include "core/workpool.h"
#include "replay/timeline.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

// A timeline built on the program's pool (WorkPool) while the replay goes on at its old
// settings and the windows stay answerable: a 64-boat day at one second a step takes some
// seconds. The build's own copy of the race state reads the very track files the replay
// opened (a file put in one's place under its name is not read), through handles of its own.
// The windows' thread looks at it from its timer (done(), ended()) and takes its timeline when
// it has ended; a build let go of (cancelled) is not waited for.
namespace tideplot {

class TimelineBuild {
public:
    // Starts building the timeline of `state`'s race from `atStart` at `settings`. Throws
    // Error, starting nothing, when no file handle is left for the copy of the race state.
    TimelineBuild(const RaceState& state, const RaceCheckpoint& atStart, const ReplaySettings& settings,
                  MemoryBudget budget);
    // Cancels a build under way, without waiting for it.
    ~TimelineBuild();
    TimelineBuild(const TimelineBuild&) = delete;
    TimelineBuild& operator=(const TimelineBuild&) = delete;

    const ReplaySettings& settings() const { return settings_; }
    // The share of the track files read so far (0 to 1).
    double done() const { return done_->load(std::memory_order_relaxed); }
    bool ended() const { return outcome_->ended(); }
    // Once ended(): why the build failed ("" when it did not), and the timeline it built.
    const std::string& failure() const { return outcome_->Failure; }
    Timeline takeTimeline();

private:
    ReplaySettings settings_;
    std::shared_ptr<std::atomic<double>> done_;
    std::shared_ptr<JobOutcome<Timeline>> outcome_;
};

} // namespace tideplot
