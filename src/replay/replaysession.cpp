#include "replay/replaysession.h"

#include "core/error.h"
#include "core/freedmemory.h"

#include <exception>
#include <utility>

namespace tideplot {

namespace {

// How often a build on the pool is looked at (its progress told, its end taken).
constexpr int kBuildTurnMs = 25;

bool SameSettings(const ReplaySettings& a, const ReplaySettings& b)
{
    return a.ResolutionSeconds == b.ResolutionSeconds && a.StepsPerWidePlot == b.StepsPerWidePlot;
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
    : player_(ReplayPlayer::Replay{
          [this] { return step(); },
          [this] { return atEnd(); },
          [this](long long to) { seek(to); },
          [this](const std::string& message) { fail(message); },
          [this] { notify([](FrameObserver& o) { o.ticked(); }); },
      })
{
    buildTimer_.setInterval(kBuildTurnMs);
    buildTimer_.callOnTimeout([this] { watchBuild(); });
}

ReplaySession::~ReplaySession()
{
    close();
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
    adopt(Timeline(state_.BoatCount));
    if (timeline && inBackground) {
        notify([this](FrameObserver& o) { o.raceStarted(fleet_); });
        try {
            startBuild(settings_);
        } catch (...) {
            close();
            throw;
        }
        return;
    }
    if (timeline) {
        try {
            buildHere();
        } catch (...) {
            close();
            throw;
        }
    }
    observersFollowTimeline_ = false;
    notify([this](FrameObserver& o) { o.raceStarted(fleet_); });
    if (timeline)
        notify([this](FrameObserver& o) { o.seriesChanged(series()); });
    observersFollowTimeline_ = seekable();
}

void ReplaySession::buildHere()
{
    adopt(Timeline::Build(state_, atStart_, settings_, budget_));
    RestoreCheckpoint(state_, atStart_);
}

void ReplaySession::adopt(Timeline&& timeline)
{
    const bool hadOne = timeline_.series().stepCount() > 0;
    timeline_ = std::move(timeline);
    if (hadOne)
        ReturnFreedMemory(); // the timeline let go of
    observersFollowTimeline_ = false;
}

void ReplaySession::refuseBeyondBudget(double resolutionSeconds) const
{
    const TimelineVerdict verdict = JudgeTimeline(timeline_.endClock(), state_.BoatCount, budget_, resolutionSeconds);
    if (!verdict.fits())
        throw TimelineOverBudget(verdict);
}

void ReplaySession::close()
{
    cancelBuild();
    stop();
    player_.dropSeek();
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
    position_ = timeline_.restoreBefore(state_, step);
    while (position_ < step) {
        ReplayStep(state_, settings_, frame_);
        frame_.Step = ++position_;
    }
}

void ReplaySession::seek(long long step)
{
    if (!loaded_)
        return;
    if (const std::optional<TimelineVerdict>& over = timeline_.overBudget())
        throw TimelineOverBudget(*over);
    if (!seekable())
        throw Error("this replay cannot go to another moment: it has no timeline");
    // A track file written to since it was opened holds its lines elsewhere now.
    if (std::string changed = ChangedTrackFileText(state_); !changed.empty())
        throw Error(std::move(changed));
    step = std::clamp<long long>(step, 0, stepCount());
    // A seek on from where the replay stands keeps what the observers show.
    const long long kept = observersFollowTimeline_ && step >= position_ && position_ <= stepCount() ? position_ : 0;
    rewindTo(step);
    notify([this, kept](FrameObserver& o) { o.rewound(frame_, series(), kept); });
    observersFollowTimeline_ = true;
    if (AllTrackFilesAtEnd(state_))
        notify([](FrameObserver& o) { o.reachedEnd(); });
}

void ReplaySession::changeSettings(const ReplaySettings& settings)
{
    cancelBuild();
    // (A timeline built for the current settings is kept; one still to be built, at a Start
    // in the background, is built now.)
    if (SameSettings(settings, settings_) && (timeline_.built() || !loaded_ || !timelineWanted_))
        return;
    if (!loaded_ || !timelineWanted_) {
        settings_ = settings;
        return;
    }
    refuseBeyondBudget(settings.ResolutionSeconds);
    settings_ = settings;
    // The race clock of the step shown now, on the steps of the new settings.
    const double clock = frame_.RaceClock;
    const bool fromStart = position_ == 0;
    buildHere();
    notify([this](FrameObserver& o) { o.seriesChanged(series()); });
    goToClock(clock, fromStart);
    if (const std::optional<TimelineVerdict>& over = timeline_.overBudget())
        throw TimelineOverBudget(*over);
}

void ReplaySession::changeSettingsInBackground(const ReplaySettings& settings)
{
    if (build_ && SameSettings(settings, build_->settings()))
        return;
    if (!loaded_ || !timelineWanted_ || (SameSettings(settings, settings_) && timeline_.built())) {
        changeSettings(settings);
        return;
    }
    refuseBeyondBudget(settings.ResolutionSeconds);
    startBuild(settings);
}

void ReplaySession::startBuild(const ReplaySettings& settings)
{
    cancelBuild();
    auto build = std::make_unique<TimelineBuild>(state_, atStart_, settings, budget_);
    // The old timeline stays while the new one is built, unless the two would not fit the
    // budget together: then the replay stands still without one until the build ends.
    const long long steps = EstimatedSteps(timeline_.endClock(), settings.ResolutionSeconds);
    const long long held = timeline_.series().stepCount();
    if (held > 0 &&
        TimelineBytes(state_.BoatCount, steps) + TimelineBytes(state_.BoatCount, held) > budget_.TimelineBytes) {
        stop();
        adopt(Timeline(state_.BoatCount));
        notify([this](FrameObserver& o) { o.seriesChanged(series()); });
    }
    build_ = std::move(build);
    buildTimer_.start();
    notify([](FrameObserver& o) { o.buildingTimeline(0); });
}

void ReplaySession::cancelBuild()
{
    buildTimer_.stop();
    if (!build_)
        return;
    build_.reset(); // the job stops at its next step, and lets go of its outcome
    playAfterBuild_.reset();
}

void ReplaySession::watchBuild()
{
    if (!build_)
        return;
    if (build_->ended()) {
        takeBuild();
        return;
    }
    const double done = build_->done();
    notify([done](FrameObserver& o) { o.buildingTimeline(done); });
}

void ReplaySession::takeBuild()
{
    buildTimer_.stop();
    const std::unique_ptr<TimelineBuild> build = std::move(build_);
    const std::optional<int> playAfter = std::exchange(playAfterBuild_, std::nullopt);
    std::string failure = build->failure();
    if (std::string changed = ChangedTrackFileText(state_); !changed.empty())
        failure = std::move(changed); // its timeline would end at a line moved
    if (!failure.empty()) {
        notify([&failure](FrameObserver& o) { o.timelineBuilt(failure, std::nullopt); });
        return;
    }
    // On from the race clock the replay stands at now: it may have played on meanwhile.
    const double clock = frame_.RaceClock;
    const bool fromStart = position_ == 0;
    stop();
    settings_ = build->settings();
    adopt(build->takeTimeline());
    notify([this](FrameObserver& o) { o.seriesChanged(series()); });
    try {
        goToClock(clock, fromStart);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    const std::optional<TimelineVerdict> over = failure.empty() ? timeline_.overBudget() : std::nullopt;
    notify([&failure, &over](FrameObserver& o) { o.timelineBuilt(failure, over); });
    if (failure.empty() && !over && playAfter && !atEnd()) {
        try {
            play(*playAfter);
        } catch (const std::exception& e) {
            fail(e.what());
        }
    }
}

void ReplaySession::goToClock(double clock, bool fromStart)
{
    if (!seekable()) {
        rewindTo(0);
        notify([this](FrameObserver& o) { o.rewound(frame_, series(), 0); });
        return;
    }
    // The last step whose clock is not after the clock shown (to a nanosecond), the first at
    // least.
    seek(fromStart ? 0 : std::max<long long>(1, StepAtRaceClock(series(), clock + 1e-9 / 86400)));
}

void ReplaySession::play(int intervalMs)
{
    if (!loaded_)
        return;
    if (build_) {
        playAfterBuild_ = std::max(intervalMs, 0);
        return;
    }
    if (const std::optional<TimelineVerdict>& over = timeline_.overBudget())
        throw TimelineOverBudget(*over);
    player_.play(intervalMs);
}

void ReplaySession::stop()
{
    playAfterBuild_.reset();
    player_.stop();
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

void ReplaySession::addObserver(FrameObserver* observer)
{
    observers_.push_back(observer);
    if (!loaded_)
        return;
    observer->raceStarted(fleet_);
    if (timelineWanted_)
        observer->seriesChanged(series());
    if (position_ > 0 && seekable())
        observer->rewound(frame_, series(), 0);
}

void ReplaySession::removeObserver(FrameObserver* observer)
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

} // namespace tideplot
