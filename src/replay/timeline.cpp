#include "replay/timeline.h"

#include "core/datetime.h"
#include "core/error.h"

#include <algorithm>

namespace tideplot {

namespace {

// A race beyond its budget is played to its end at this resolution (or its own, when
// coarser) to learn where it ends without keeping it.
constexpr double kMeasureResolutionSeconds = 60;

// The bytes of the race's open track files.
double TrackFileBytes(const RaceState& state)
{
    double bytes = 0;
    for (int k = 0; k < state.BoatCount; ++k) {
        if (state.TrackFile[k])
            bytes += static_cast<double>(state.TrackFile[k]->Size());
    }
    return bytes;
}

// The share of `bytes` read so far.
double ShareRead(const RaceState& state, double bytes)
{
    double read = 0;
    for (int k = 0; k < state.BoatCount; ++k)
        if (state.TrackFile[k])
            read += static_cast<double>(state.TrackFile[k]->offset());
    return bytes > 0 ? std::min(read / bytes, 1.0) : 0;
}

bool Cancelled(const std::atomic<bool>* cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

} // namespace

Timeline::Timeline(int boats)
{
    series_.clear(boats);
}

Timeline Timeline::Build(RaceState& state, const RaceCheckpoint& atStart, const ReplaySettings& settings,
                         MemoryBudget budget, const std::atomic<bool>* cancel, std::atomic<double>* done)
{
    const double bytes = done ? TrackFileBytes(state) : 0;
    const std::function<void()> tell = [&] {
        if (done)
            done->store(ShareRead(state, bytes), std::memory_order_relaxed);
    };
    Timeline timeline(state.BoatCount);
    RestoreCheckpoint(state, atStart);
    StepOutcome frame;
    long long step = 0;
    try {
        while (!AllTrackFilesAtEnd(state)) {
            if (Cancelled(cancel))
                return Timeline{};
            if (TimelineBytes(state.BoatCount, step + 1) > budget.TimelineBytes)
                return BeyondBudget(state, settings, budget, cancel, tell);
            if (step % kCheckpointSteps == 0) {
                timeline.checkpoints_.push_back(SaveCheckpoint(state));
                tell();
            }
            ReplayStep(state, settings, frame);
            ++step;
            timeline.series_.append(frame);
        }
    } catch (const Error&) {
        // A line that cannot be read ends the timeline before it: the replay goes to any
        // step up to there, and playing on meets the line and says what is wrong with it.
    }
    const ReplaySeries& series = timeline.series_;
    timeline.endClock_ = series.stepCount() > 0 ? series.raceClock(series.stepCount()) : kRaceClockAtStart;
    if (timeline.checkpoints_.empty())
        timeline.checkpoints_.push_back(atStart);
    timeline.seekable_ = true;
    return timeline;
}

// Beyond the budget: to the end in coarse steps, then the last of them again in the replay's
// own, for the race clock of the race's last step (within a step, the clocks of the two kinds
// of steps running apart by their rounding). Nothing is kept.
Timeline Timeline::BeyondBudget(RaceState& state, const ReplaySettings& settings, MemoryBudget budget,
                                const std::atomic<bool>* cancel, const std::function<void()>& tell)
{
    Timeline timeline;
    ReplaySettings coarse = settings;
    coarse.ResolutionSeconds = std::max(settings.ResolutionSeconds, kMeasureResolutionSeconds);
    StepOutcome outcome;
    timeline.endClock_ = state.RaceClock;
    try {
        RaceCheckpoint before = SaveCheckpoint(state);
        for (long long coarseStep = 0; !AllTrackFilesAtEnd(state); ++coarseStep) {
            if (Cancelled(cancel))
                return Timeline{};
            if (coarseStep % kCheckpointSteps == 0)
                tell();
            before = SaveCheckpoint(state);
            ReplayStep(state, coarse, outcome);
        }
        // The state after the last coarse step that left a track file open: the race ends
        // after it, at or before the clock of the next one.
        RestoreCheckpoint(state, before);
        state.RaceClock += (settings.ResolutionSeconds - coarse.ResolutionSeconds) / kSecondsPerDay;
        while (!AllTrackFilesAtEnd(state)) {
            timeline.endClock_ = state.RaceClock;
            ReplayStep(state, settings, outcome);
        }
    } catch (const Error&) {
        // The timeline would end before the line that cannot be read.
    }
    // (Its verdict may fit when the race is within a step or two of the budget.)
    timeline.overBudget_ = JudgeTimeline(timeline.endClock_, state.BoatCount, budget, settings.ResolutionSeconds);
    return timeline;
}

long long Timeline::restoreBefore(RaceState& state, long long step) const
{
    const std::size_t index =
        std::min(static_cast<std::size_t>((step - 1) / kCheckpointSteps), checkpoints_.size() - 1);
    RestoreCheckpoint(state, checkpoints_[index]);
    return static_cast<long long>(index) * kCheckpointSteps;
}

} // namespace tideplot
