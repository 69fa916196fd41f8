#include "replay/replaysession.h"

#include "core/datetime.h"
#include "core/error.h"
#include "core/text.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

namespace tideplot {

namespace {

// At the play speed 0, a tick plays steps for this long before the windows get their turn.
constexpr qint64 kFastTickMs = 4;
// A race beyond its budget is played to its end at this resolution (or its own, when
// coarser) to learn where it ends without keeping it.
constexpr double kMeasureResolutionSeconds = 60;
// The estimate of a race's steps at another resolution may miss its last step or two.
constexpr long long kEstimateMarginSteps = 16;
// What a checkpoint holds a boat beyond its fixed part: the two track lines around it.
constexpr std::size_t kCheckpointLineBytes = 2 * 64;

std::string MegabytesText(std::size_t bytes)
{
    const double megabytes = static_cast<double>(bytes) / (1 << 20);
    char text[32];
    std::snprintf(text, sizeof text, megabytes < 100 ? "%.1f MB" : "%.0f MB", megabytes);
    return text;
}

// `seconds` rounded up to two significant digits, a resolution a user types: 0.2347 -> 0.24.
double RoundUpToTwoDigits(double seconds)
{
    const double scale = std::pow(10.0, std::floor(std::log10(seconds)) - 1);
    return std::ceil(seconds / scale - 1e-9) * scale;
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

void ReplaySession::start(const std::string& raceFile, const ReplaySettings& settings, bool timeline)
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
    seekable_ = false;
    overBudget_.clear();
    checkpoints_.clear();
    series_.clear(state_.BoatCount);
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

void ReplaySession::playUnseen()
{
    checkpoints_.clear();
    series_.clear(state_.BoatCount);
    overBudget_.clear();
    seekable_ = false;
    RestoreCheckpoint(state_, atStart_);
    FleetFrame frame;
    long long step = 0;
    bool beyondBudget = false;
    try {
        while (!AllTrackFilesAtEnd(state_)) {
            if (TimelineBytes(state_.BoatCount, step + 1) > budgetBytes_) {
                beyondBudget = true;
                break;
            }
            if (step % kCheckpointSteps == 0)
                checkpoints_.push_back(SaveCheckpoint(state_));
            ReplayStep(state_, settings_, frame);
            ++step;
            series_.append(frame);
        }
    } catch (const Error&) {
        // A line that cannot be read ends the timeline before it: the replay goes to any
        // step up to there, and playing on meets the line and says what is wrong with it.
    }
    if (beyondBudget) {
        measureEnd();
    } else {
        endClock_ = series_.stepCount() > 0 ? series_.raceClock(series_.stepCount()) : kRaceClockAtStart;
        if (checkpoints_.empty())
            checkpoints_.push_back(atStart_);
        seekable_ = true;
    }
    RestoreCheckpoint(state_, atStart_);
    observersFollowTimeline_ = false;
}

void ReplaySession::measureEnd()
{
    series_.clear(state_.BoatCount);
    checkpoints_.clear();
    checkpoints_.shrink_to_fit();
    // To the end in coarse steps, then the last of them again in the replay's own, for
    // the race clock of the race's last step (within a step, the clocks of the two kinds
    // of steps running apart by their rounding).
    ReplaySettings coarse = settings_;
    coarse.ResolutionSeconds = std::max(settings_.ResolutionSeconds, kMeasureResolutionSeconds);
    StepOutcome outcome;
    endClock_ = state_.RaceClock;
    try {
        RaceCheckpoint before = SaveCheckpoint(state_);
        while (!AllTrackFilesAtEnd(state_)) {
            before = SaveCheckpoint(state_);
            ReplayStep(state_, coarse, outcome);
        }
        // The state after the last coarse step that left a track file open: the race ends
        // after it, at or before the clock of the next one.
        RestoreCheckpoint(state_, before);
        state_.RaceClock += (settings_.ResolutionSeconds - coarse.ResolutionSeconds) / kSecondsPerDay;
        while (!AllTrackFilesAtEnd(state_)) {
            endClock_ = state_.RaceClock;
            ReplayStep(state_, settings_, outcome);
        }
    } catch (const Error&) {
        // The timeline would end before the line that cannot be read.
    }
    overBudget_ = budgetProblem(settings_.ResolutionSeconds);
    if (overBudget_.empty()) // within a step of the budget: say so all the same
        overBudget_ = "the replay's timeline does not fit the " + MegabytesText(budgetBytes_) + " it may use";
}

long long ReplaySession::estimatedSteps(double resolutionSeconds) const
{
    const double span = (endClock_ - kRaceClockAtStart) * kSecondsPerDay;
    return static_cast<long long>(std::floor(std::max(span, 0.0) / resolutionSeconds + 1e-9)) + 1;
}

std::string ReplaySession::budgetProblem(double resolutionSeconds) const
{
    const long long steps = estimatedSteps(resolutionSeconds);
    const int boats = state_.BoatCount;
    const std::size_t needed = TimelineBytes(boats, steps + kEstimateMarginSteps);
    if (needed <= budgetBytes_)
        return {};
    // The most steps the budget holds, and the resolution that takes no more.
    long long fitting = 0;
    for (long long step = std::size_t{1} << 40; step > 0; step /= 2)
        if (TimelineBytes(boats, fitting + step + kEstimateMarginSteps) <= budgetBytes_)
            fitting += step;
    std::string text = "the race takes " + std::to_string(steps) + " steps at a resolution of " +
                       ShortNumberText(resolutionSeconds) + " s, and its timeline would need " + MegabytesText(needed) +
                       ", more than the " + MegabytesText(budgetBytes_) +
                       " the replay may use (the setting Replay/MemoryMB)";
    const double span = (endClock_ - kRaceClockAtStart) * kSecondsPerDay;
    const double finest = fitting > 1 ? RoundUpToTwoDigits(span / static_cast<double>(fitting - 1)) : 0;
    if (fitting > 1 && ValidResolution(finest))
        return text + ": the finest resolution that fits is " + ShortNumberText(finest) + " s";
    return text + ": no resolution up to " + ShortNumberText(kMaxResolutionSeconds) + " s fits";
}

void ReplaySession::close()
{
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

void ReplaySession::changeSettings(const ReplaySettings& settings)
{
    if (settings.ResolutionSeconds == settings_.ResolutionSeconds &&
        settings.StepsPerWidePlot == settings_.StepsPerWidePlot)
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
    if (!seekable_) {
        rewindTo(0);
        notify([this](FrameObserver& o) { o.rewound(frame_, series_, 0); });
        throw Error(overBudget_);
    }
    long long step = 0;
    if (!fromStart) {
        // The last step whose clock is not after the clock shown (clocks rise step by step).
        long long low = 1, high = series_.stepCount();
        while (low <= high) {
            const long long middle = low + (high - low) / 2;
            if (series_.raceClock(middle) <= clock + 1e-9 / 86400)
                low = middle + 1;
            else
                high = middle - 1;
        }
        step = std::max<long long>(1, high);
    }
    seek(step);
}

void ReplaySession::play(int intervalMs)
{
    if (!loaded_)
        return;
    if (!overBudget_.empty())
        throw Error(overBudget_);
    playing_ = true;
    timer_.setInterval(std::max(intervalMs, 0));
    timer_.start();
}

void ReplaySession::stop()
{
    playing_ = false;
    timer_.stop();
}

void ReplaySession::fail(const std::string& message)
{
    stop();
    notify([&message](FrameObserver& o) { o.failed(message); });
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
