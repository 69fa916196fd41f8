#include "replay/timelinebuild.h"

#include <utility>

namespace tideplot {

TimelineBuild::TimelineBuild(const RaceState& state, const RaceCheckpoint& atStart, const ReplaySettings& settings,
                             MemoryBudget budget)
    : settings_(settings), done_(std::make_shared<std::atomic<double>>(0))
{
    // The job gets its own copy of the race state (the track files opened again), the
    // checkpoint and the settings, and returns its timeline through the outcome.
    auto copy = std::make_shared<RaceState>(state);
    outcome_ = StartJob<Timeline>(
        [copy, atStart, settings, budget, done = done_](const std::atomic<bool>& cancel) {
            // Its track files are let go of before the end is told, whatever happened.
            struct Closing {
                RaceState& State;
                ~Closing() { CloseTrackFiles(State); }
            } closing{*copy};
            return Timeline::Build(*copy, atStart, settings, budget, &cancel, done.get());
        },
        kTimelinePriority);
}

TimelineBuild::~TimelineBuild()
{
    outcome_->Cancel = true; // the job stops at its next step, and lets go of the outcome
}

Timeline TimelineBuild::takeTimeline()
{
    return outcome_->Result ? std::move(*outcome_->Result) : Timeline{};
}

} // namespace tideplot
