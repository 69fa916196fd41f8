#include "replay/replaysession.h"

#include "core/colour.h"
#include "core/error.h"

#include <QElapsedTimer>

#include <algorithm>
#include <exception>
#include <filesystem>

namespace tideplot {

namespace {

// At the play speed 0, a tick plays steps for this long before the windows get their turn.
constexpr qint64 kFastTickMs = 4;

} // namespace

FleetInfo FleetOf(const RaceState& state)
{
    FleetInfo fleet;
    fleet.RaceFileName = state.RaceFileName;
    for (int k = 0; k < state.BoatCount; ++k) {
        FleetBoat boat;
        boat.Name = state.BoatName[k];
        boat.Lys = state.BoatLys[k];
        boat.Colour = state.BoatColour[k];
        boat.Caption = LegendCaption(state, k);
        boat.WindowColour = WindowColour(ColourHex(state.BoatColour[k]));
        boat.TrackFile = state.TrackFile[k] ? state.TrackFile[k]->Path() : std::string();
        boat.StartTime = state.StartTime[k];
        fleet.Boats.push_back(std::move(boat));
    }
    return fleet;
}

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
            stop();
            if (onFailure)
                onFailure(e.what());
        }
    });
}

ReplaySession::~ReplaySession()
{
    close();
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

    seekable_ = false;
    checkpoints_.clear();
    pieces_.clear();
    piecesUpTo_.clear();
    clocks_.clear();
    if (timeline) {
        bool regular = true;
        for (const FleetBoat& boat : fleet_.Boats) {
            std::error_code error;
            regular = regular && std::filesystem::is_regular_file(boat.TrackFile, error);
        }
        if (regular) {
            try {
                playUnseen();
            } catch (...) {
                close();
                throw;
            }
        }
    }
    for (FrameObserver* observer : observers_)
        observer->raceStarted(fleet_);
    observersFollowTimeline_ = seekable_;
}

void ReplaySession::playUnseen()
{
    checkpoints_.clear();
    pieces_.clear();
    piecesUpTo_.assign(1, 0);
    clocks_.clear();
    RestoreCheckpoint(state_, atStart_);
    FleetFrame frame;
    long long step = 0;
    try {
        while (!AllTrackFilesAtEnd(state_)) {
            if (step % kCheckpointSteps == 0)
                checkpoints_.push_back(SaveCheckpoint(state_));
            ReplayStep(state_, settings_, frame);
            frame.Step = ++step;
            AppendPieces(frame, pieces_);
            piecesUpTo_.push_back(pieces_.size());
            clocks_.push_back(frame.RaceClock);
        }
    } catch (const Error&) {
        // A line that cannot be read ends the timeline before it: the replay goes to any
        // step up to there, and playing on meets the line and says what is wrong with it.
    }
    if (checkpoints_.empty())
        checkpoints_.push_back(atStart_);
    RestoreCheckpoint(state_, atStart_);
    seekable_ = true;
    observersFollowTimeline_ = false;
}

void ReplaySession::close()
{
    stop();
    seekTimer_.stop();
    CloseTrackFiles(state_);
    loaded_ = false;
}

std::span<const DrawnPiece> ReplaySession::drawnPieces() const
{
    if (!seekable_ || position_ < 0 || position_ >= static_cast<long long>(piecesUpTo_.size()))
        return {};
    return std::span<const DrawnPiece>(pieces_.data(), piecesUpTo_[static_cast<std::size_t>(position_)]);
}

bool ReplaySession::atEnd()
{
    return !loaded_ || AllTrackFilesAtEnd(state_);
}

void ReplaySession::show()
{
    for (FrameObserver* observer : observers_)
        observer->frame(frame_);
}

bool ReplaySession::step()
{
    if (atEnd())
        return false;
    ReplayStep(state_, settings_, frame_);
    frame_.Step = ++position_;
    show();
    if (AllTrackFilesAtEnd(state_))
        for (FrameObserver* observer : observers_)
            observer->reachedEnd();
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
        throw Error("this replay cannot go to another moment: a track file is no regular file");
    step = std::clamp<long long>(step, 0, stepCount());
    // A seek on from where the replay stands keeps what the observers show.
    const std::size_t kept = observersFollowTimeline_ && step >= position_ && position_ <= stepCount()
                                 ? piecesUpTo_[static_cast<std::size_t>(position_)]
                                 : 0;
    rewindTo(step);
    const std::size_t drawn = piecesUpTo_[static_cast<std::size_t>(step)];
    const std::span<const DrawnPiece> pieces(pieces_.data(), drawn);
    for (FrameObserver* observer : observers_)
        observer->rewound(frame_, pieces, kept);
    observersFollowTimeline_ = true;
    if (AllTrackFilesAtEnd(state_))
        for (FrameObserver* observer : observers_)
            observer->reachedEnd();
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
    settings_ = settings;
    if (!loaded_ || !seekable_)
        return;
    // The race clock of the step shown now, on the steps of the new settings.
    const double clock = frame_.RaceClock;
    const bool fromStart = position_ == 0;
    playUnseen();
    long long step = 0;
    if (!fromStart) {
        const auto after = std::upper_bound(clocks_.begin(), clocks_.end(), clock + 1e-9 / 86400);
        step = std::max<long long>(1, after - clocks_.begin());
    }
    seek(step);
}

void ReplaySession::play(int intervalMs)
{
    if (!loaded_)
        return;
    playing_ = true;
    timer_.setInterval(std::max(intervalMs, 0));
    timer_.start();
}

void ReplaySession::stop()
{
    playing_ = false;
    timer_.stop();
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
        playing_ = false;
        if (onFailure)
            onFailure(e.what());
        return;
    }
    if (atEnd()) {
        playing_ = false;
        if (onStep)
            onStep();
        if (onEnd)
            onEnd();
        return;
    }
    if (playing_)
        timer_.start();
    if (onStep)
        onStep();
}

void ReplaySession::addObserver(FrameObserver* observer)
{
    observers_.push_back(observer);
}

void ReplaySession::removeObserver(FrameObserver* observer)
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

} // namespace tideplot
