#include "replay/replaysession.h"

#include "core/datetime.h"
#include "core/error.h"
#include "core/freedmemory.h"
#include "core/text.h"
#include "core/workpool.h"
#include "replay/timelinebudget.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <utility>

namespace tideplot {

namespace {

// How often a count on the pool is looked at (its progress told, its end taken).
constexpr int kCountTurnMs = 25;
// At the play speed 0, a tick plays steps for this long before the windows get their turn.
constexpr qint64 kFastTickMs = 4;
// A race beyond its budget is played to its end at this resolution (or its own, when
// coarser) to learn where it ends without keeping it.
constexpr double kMeasureResolutionSeconds = 60;
// What a checkpoint holds a boat beyond its fixed part: the two track lines around it.
constexpr std::size_t kCheckpointLineBytes = 2 * 64;

// The bytes of the race's open track files, and the share of them read so far.
double TrackFileBytes(const RaceState& state)
{
    double bytes = 0;
    for (int k = 0; k < state.BoatCount; ++k) {
        if (state.TrackFile[k])
            bytes += static_cast<double>(state.TrackFile[k]->Size());
    }
    return bytes;
}

double ShareRead(const RaceState& state, double bytes)
{
    double read = 0;
    for (int k = 0; k < state.BoatCount; ++k)
        if (state.TrackFile[k])
            read += static_cast<double>(state.TrackFile[k]->offset());
    return bytes > 0 ? std::min(read / bytes, 1.0) : 0;
}

} // namespace

void AppendPieces(const FleetFrame& frame, std::vector<DrawnPiece>& pieces)
{
    for (std::size_t k = 0; k < frame.Boats.size(); ++k) {
        const BoatStep& boat = frame.Boats[k];
        if (boat.Drawn)
            pieces.push_back(DrawnPiece{static_cast<std::int32_t>(frame.Step), static_cast<std::int16_t>(k),
                                        frame.LineWidth, frame.RaceClock, boat.From, boat.To});
    }
}

ReplaySession::ReplaySession()
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    timer_.callOnTimeout([this] { tick(); });
    seekTimer_.setSingleShot(true);
    seekTimer_.setInterval(0);
    countTimer_.setInterval(kCountTurnMs);
    countTimer_.callOnTimeout([this] { countTurn(); });
    seekTimer_.callOnTimeout([this] {
        try {
            seek(pendingSeek_);
        } catch (const std::exception& e) {
            fail(e.what());
        }
    });
}

ReplaySession::~ReplaySession()
{
    close();
}

std::size_t ReplaySession::TimelineBytes(int boats, long long steps)
{
    const auto blocks = static_cast<long long>(ReplaySeries::kBlockSteps);
    const long long stored = (std::max(steps, 0LL) + blocks - 1) / blocks * blocks;
    const auto checkpoints = static_cast<std::size_t>(std::max(steps, 0LL) / kCheckpointSteps + 1);
    const std::size_t checkpoint = sizeof(RaceCheckpoint) + static_cast<std::size_t>(std::max(boats, 0)) *
                                                                (sizeof(RaceCheckpoint::Boat) + kCheckpointLineBytes);
    return ReplaySeries::BytesFor(boats, stored) + checkpoints * checkpoint;
}

void ReplaySession::start(const std::string& raceFile, const ReplaySettings& settings, bool timeline, bool inBackground)
{
    close();
    state_.RaceFileName = raceFile;
    state_.RaceClock = kRaceClockAtStart;
    settings_ = settings;
    StartReplay(state_);
    loaded_ = true;
    position_ = 0;
    frame_ = FleetFrame{};
    frame_.RaceClock = kRaceClockAtStart;
    fleet_ = FleetOf(state_);
    atStart_ = SaveCheckpoint(state_);

    timelineWanted_ = timeline;
    adopt(Timeline{});
    series_.clear(state_.BoatCount);
    if (timeline && inBackground) {
        notify([this](FrameObserver& o) { o.raceStarted(fleet_); });
        try {
            beginCount(settings_);
        } catch (...) {
            close();
            throw;
        }
        return;
    }
    if (timeline) {
        try {
            playUnseen();
        } catch (...) {
            close();
            throw;
        }
    }
    observersFollowTimeline_ = false;
    notify([this](FrameObserver& o) { o.raceStarted(fleet_); });
    if (timeline)
        notify([this](FrameObserver& o) { o.seriesChanged(series_); });
    observersFollowTimeline_ = seekable_;
}

ReplaySession::Timeline ReplaySession::CountTimeline(RaceState& state, const RaceCheckpoint& atStart,
                                                     const ReplaySettings& settings, Budget budget,
                                                     const std::atomic<bool>* cancel, std::atomic<double>* done)
{
    const double bytes = done ? TrackFileBytes(state) : 0;
    const auto tell = [&] {
        if (done)
            done->store(ShareRead(state, bytes), std::memory_order_relaxed);
    };
    Timeline timeline;
    timeline.Series.clear(state.BoatCount);
    RestoreCheckpoint(state, atStart);
    FleetFrame frame;
    long long step = 0;
    bool beyondBudget = false;
    try {
        while (!AllTrackFilesAtEnd(state)) {
            if (cancel && cancel->load(std::memory_order_relaxed))
                return Timeline{};
            if (TimelineBytes(state.BoatCount, step + 1) > budget.Timeline) {
                beyondBudget = true;
                break;
            }
            if (step % kCheckpointSteps == 0) {
                timeline.Checkpoints.push_back(SaveCheckpoint(state));
                tell();
            }
            ReplayStep(state, settings, frame);
            ++step;
            timeline.Series.append(frame);
        }
    } catch (const Error&) {
        // A line that cannot be read ends the timeline before it: the replay goes to any
        // step up to there, and playing on meets the line and says what is wrong with it.
    }
    if (!beyondBudget) {
        const ReplaySeries& series = timeline.Series;
        timeline.EndClock = series.stepCount() > 0 ? series.raceClock(series.stepCount()) : kRaceClockAtStart;
        if (timeline.Checkpoints.empty())
            timeline.Checkpoints.push_back(atStart);
        timeline.Seekable = true;
        return timeline;
    }
    // Beyond the budget: to the end in coarse steps, then the last of them again in the
    // replay's own, for the race clock of the race's last step (within a step, the clocks of
    // the two kinds of steps running apart by their rounding). Nothing is kept.
    timeline = Timeline{};
    ReplaySettings coarse = settings;
    coarse.ResolutionSeconds = std::max(settings.ResolutionSeconds, kMeasureResolutionSeconds);
    StepOutcome outcome;
    timeline.EndClock = state.RaceClock;
    try {
        RaceCheckpoint before = SaveCheckpoint(state);
        for (long long coarseStep = 0; !AllTrackFilesAtEnd(state); ++coarseStep) {
            if (cancel && cancel->load(std::memory_order_relaxed))
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
            timeline.EndClock = state.RaceClock;
            ReplayStep(state, settings, outcome);
        }
    } catch (const Error&) {
        // The timeline would end before the line that cannot be read.
    }
    timeline.OverBudget =
        BudgetProblem(timeline.EndClock, state.BoatCount, budget.Timeline, budget.Whole, settings.ResolutionSeconds);
    if (timeline.OverBudget.empty()) // within a step of the budget: say so all the same
        timeline.OverBudget =
            "the replay's timeline does not fit the " + MegabytesText(budget.Timeline) + " it may use";
    return timeline;
}

void ReplaySession::playUnseen()
{
    adopt(CountTimeline(state_, atStart_, settings_, Budget{budgetBytes_, wholeBudgetBytes_}, nullptr, nullptr));
    RestoreCheckpoint(state_, atStart_);
}

void ReplaySession::adopt(Timeline&& timeline)
{
    const bool hadOne = series_.stepCount() > 0;
    series_ = std::move(timeline.Series);
    checkpoints_ = std::move(timeline.Checkpoints);
    if (hadOne)
        ReturnFreedMemory(); // the timeline let go of
    endClock_ = timeline.EndClock;
    seekable_ = timeline.Seekable;
    overBudget_ = std::move(timeline.OverBudget);
    observersFollowTimeline_ = false;
}

std::string ReplaySession::budgetProblem(double resolutionSeconds) const
{
    return BudgetProblem(endClock_, state_.BoatCount, budgetBytes_, wholeBudgetBytes_, resolutionSeconds);
}

void ReplaySession::close()
{
    cancelCount();
    stop();
    seekTimer_.stop();
    CloseTrackFiles(state_);
    loaded_ = false;
}

bool ReplaySession::atEnd()
{
    return !loaded_ || AllTrackFilesAtEnd(state_);
}

void ReplaySession::show()
{
    notify([this](FrameObserver& o) { o.frame(frame_); });
}

bool ReplaySession::step()
{
    if (atEnd())
        return false;
    ReplayStep(state_, settings_, frame_);
    frame_.Step = ++position_;
    show();
    if (AllTrackFilesAtEnd(state_))
        notify([](FrameObserver& o) { o.reachedEnd(); });
    return true;
}

void ReplaySession::rewindTo(long long step)
{
    if (step == 0) {
        RestoreCheckpoint(state_, atStart_);
        position_ = 0;
        frame_ = FleetFrame{};
        frame_.RaceClock = kRaceClockAtStart;
        return;
    }
    // The checkpoint before the step, then the steps from there, the last one kept.
    const std::size_t index =
        std::min(static_cast<std::size_t>((step - 1) / kCheckpointSteps), checkpoints_.size() - 1);
    RestoreCheckpoint(state_, checkpoints_[index]);
    position_ = static_cast<long long>(index) * kCheckpointSteps;
    while (position_ < step) {
        ReplayStep(state_, settings_, frame_);
        frame_.Step = ++position_;
    }
}

void ReplaySession::seek(long long step)
{
    if (!loaded_)
        return;
    if (!seekable_)
        throw Error(overBudget_.empty() ? std::string("this replay cannot go to another moment: it has no timeline")
                                        : overBudget_);
    // A track file written to since it was opened holds its lines elsewhere now.
    if (std::string changed = ChangedTrackFileText(state_); !changed.empty())
        throw Error(std::move(changed));
    step = std::clamp<long long>(step, 0, stepCount());
    // A seek on from where the replay stands keeps what the observers show.
    const long long kept = observersFollowTimeline_ && step >= position_ && position_ <= stepCount() ? position_ : 0;
    rewindTo(step);
    notify([this, kept](FrameObserver& o) { o.rewound(frame_, series_, kept); });
    observersFollowTimeline_ = true;
    if (AllTrackFilesAtEnd(state_))
        notify([](FrameObserver& o) { o.reachedEnd(); });
}

void ReplaySession::requestSeek(long long step)
{
    pendingSeek_ = step;
    if (!seekTimer_.isActive())
        seekTimer_.start();
}

namespace {

bool SameSettings(const ReplaySettings& a, const ReplaySettings& b)
{
    return a.ResolutionSeconds == b.ResolutionSeconds && a.StepsPerWidePlot == b.StepsPerWidePlot;
}

} // namespace

// What the window's thread and the count's job share. The job holds it too, so that the
// session lets go of a count it cancels without waiting for it.
struct ReplaySession::Count {
    ReplaySettings Settings;
    std::atomic<bool> Cancel{false};
    std::atomic<double> Done{0}; // of the track files read
    std::atomic<bool> Ended{false};
    Timeline Result;     // the job's, until Ended
    std::string Failure; // the same
};

const ReplaySettings& ReplaySession::comingSettings() const
{
    return count_ ? count_->Settings : settings_;
}

void ReplaySession::changeSettings(const ReplaySettings& settings)
{
    cancelCount();
    // (A timeline counted for the current settings is kept; one still to be counted, at a
    // Start in the background, is counted now.)
    if (SameSettings(settings, settings_) && (timelineCounted() || !loaded_ || !timelineWanted_))
        return;
    if (!loaded_ || !timelineWanted_) {
        settings_ = settings;
        return;
    }
    if (std::string problem = budgetProblem(settings.ResolutionSeconds); !problem.empty())
        throw Error(problem);
    settings_ = settings;
    // The race clock of the step shown now, on the steps of the new settings.
    const double clock = frame_.RaceClock;
    const bool fromStart = position_ == 0;
    playUnseen();
    notify([this](FrameObserver& o) { o.seriesChanged(series_); });
    goToClockAfterCount(clock, fromStart);
    if (!seekable_)
        throw Error(overBudget_);
}

void ReplaySession::changeSettingsInBackground(const ReplaySettings& settings)
{
    if (count_ && SameSettings(settings, count_->Settings))
        return;
    if (!loaded_ || !timelineWanted_ || (SameSettings(settings, settings_) && timelineCounted())) {
        changeSettings(settings);
        return;
    }
    if (std::string problem = budgetProblem(settings.ResolutionSeconds); !problem.empty())
        throw Error(problem);
    beginCount(settings);
}

void ReplaySession::beginCount(const ReplaySettings& settings)
{
    cancelCount();
    RaceState copy = state_; // the track files opened again
    auto count = std::make_shared<Count>();
    count->Settings = settings;
    // The old timeline stays while the new one is counted, unless the two would not fit
    // the budget together: then the replay stands still without one until the count ends.
    const long long steps = EstimatedSteps(endClock_, settings.ResolutionSeconds);
    if (series_.stepCount() > 0 &&
        TimelineBytes(state_.BoatCount, steps) + TimelineBytes(state_.BoatCount, series_.stepCount()) > budgetBytes_) {
        stop();
        adopt(Timeline{});
        series_.clear(state_.BoatCount);
        notify([this](FrameObserver& o) { o.seriesChanged(series_); });
    }
    // On the program's pool: the job gets its own copy of the race state (reading the very
    // files the replay opened), returns its timeline through the count, and is let go of
    // when cancelled.
    auto job = [c = count, state = std::make_shared<RaceState>(std::move(copy)), atStart = atStart_,
                budget = Budget{budgetBytes_, wholeBudgetBytes_}] {
        try {
            c->Result = CountTimeline(*state, atStart, c->Settings, budget, &c->Cancel, &c->Done);
        } catch (...) {
            c->Failure = FailureText(std::current_exception());
        }
        CloseTrackFiles(*state);
        c->Ended.store(true, std::memory_order_release);
    };
    WorkPool::Program().start(std::move(job), kCountPriority);
    count_ = std::move(count);
    countTimer_.start();
    notify([](FrameObserver& o) { o.counting(0); });
}

void ReplaySession::cancelCount()
{
    countTimer_.stop();
    if (!count_)
        return;
    count_->Cancel = true; // the job stops at its next step, and lets go of the count
    count_.reset();
    playAfterCount_.reset();
}

void ReplaySession::countTurn()
{
    if (!count_)
        return;
    if (count_->Ended.load(std::memory_order_acquire)) {
        finishCount();
        return;
    }
    const double done = count_->Done.load(std::memory_order_relaxed);
    notify([done](FrameObserver& o) { o.counting(done); });
}

void ReplaySession::finishCount()
{
    countTimer_.stop();
    const std::shared_ptr<Count> count = std::move(count_);
    const std::optional<int> playAfter = std::exchange(playAfterCount_, std::nullopt);
    if (std::string changed = ChangedTrackFileText(state_); !changed.empty())
        count->Failure = std::move(changed); // its timeline would end at a line moved
    if (!count->Failure.empty()) {
        notify([&count](FrameObserver& o) { o.countEnded(count->Failure); });
        return;
    }
    // On from the race clock the replay stands at now: it may have played on meanwhile.
    const double clock = frame_.RaceClock;
    const bool fromStart = position_ == 0;
    stop();
    settings_ = count->Settings;
    adopt(std::move(count->Result));
    notify([this](FrameObserver& o) { o.seriesChanged(series_); });
    std::string problem;
    try {
        goToClockAfterCount(clock, fromStart);
        problem = overBudget_;
    } catch (const std::exception& e) {
        problem = e.what();
    }
    notify([&problem](FrameObserver& o) { o.countEnded(problem); });
    if (problem.empty() && playAfter && !atEnd()) {
        try {
            play(*playAfter);
        } catch (const std::exception& e) {
            fail(e.what());
        }
    }
}

void ReplaySession::goToClockAfterCount(double clock, bool fromStart)
{
    if (!seekable_) {
        rewindTo(0);
        notify([this](FrameObserver& o) { o.rewound(frame_, series_, 0); });
        return;
    }
    // The last step whose clock is not after the clock shown (to a nanosecond), the first at
    // least.
    seek(fromStart ? 0 : std::max<long long>(1, StepAtRaceClock(series_, clock + 1e-9 / 86400)));
}

void ReplaySession::play(int intervalMs)
{
    if (!loaded_)
        return;
    if (count_) {
        playAfterCount_ = std::max(intervalMs, 0);
        return;
    }
    if (!overBudget_.empty())
        throw Error(overBudget_);
    playing_ = true;
    timer_.setInterval(std::max(intervalMs, 0));
    timer_.start();
}

void ReplaySession::stop()
{
    playing_ = false;
    playAfterCount_.reset();
    timer_.stop();
}

void ReplaySession::fail(const std::string& message)
{
    stop();
    // A track file written to while open holds its lines elsewhere now: that is what is
    // wrong, not the line met there.
    const std::string changed = ChangedTrackFileText(state_);
    const std::string& told = changed.empty() ? message : changed;
    notify([&told](FrameObserver& o) { o.failed(told); });
}

void ReplaySession::tick()
{
    try {
        QElapsedTimer elapsed;
        elapsed.start();
        do {
            if (!step())
                break;
        } while (playing_ && timer_.interval() == 0 && elapsed.elapsed() < kFastTickMs);
    } catch (const std::exception& e) {
        fail(e.what());
        return;
    }
    if (atEnd())
        playing_ = false;
    else if (playing_)
        timer_.start();
    notify([](FrameObserver& o) { o.ticked(); });
}

void ReplaySession::addObserver(FrameObserver* observer)
{
    observers_.push_back(observer);
    if (!loaded_)
        return;
    observer->raceStarted(fleet_);
    if (timelineWanted_)
        observer->seriesChanged(series_);
    if (position_ > 0 && seekable_)
        observer->rewound(frame_, series_, 0);
}

void ReplaySession::removeObserver(FrameObserver* observer)
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

} // namespace tideplot
