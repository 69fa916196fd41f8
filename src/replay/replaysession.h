#pragma once

#include "core/replay.h"
#include "core/replayseries.h"
#include "replay/fleetframe.h"

#include <QTimer>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

// The replay as a timeline: a race loaded from its race file, played step by step on one
// timer, and sent to any moment with seek(). Every step yields a FleetFrame that the
// observers show or record; after a seek they get the frame of that step and the series
// of everything up to it, exactly as if the replay had played from Start to there.
//
// Seeking needs a timeline: at Start the whole race is played once without being shown,
// which counts its steps, keeps its series (24 bytes a boat and step, replayseries.h) and
// the race state every kCheckpointSteps steps (where each track file is read to, a few
// hundred bytes a boat). A seek goes to the checkpoint before the step and plays the few
// steps from there.
//
// The timeline never holds more than its memory budget. A race whose steps at the chosen
// resolution would not fit is loaded all the same, but it cannot be played or sought until
// a coarser resolution fits: play() and changeSettings() say how many steps the race takes
// and the finest resolution that fits.
namespace tideplot {

class ReplaySession {
public:
    static constexpr long long kCheckpointSteps = 256;
    static constexpr std::size_t kDefaultMemoryBudgetBytes = std::size_t{256} << 20;

    ReplaySession();
    ~ReplaySession();
    ReplaySession(const ReplaySession&) = delete;
    ReplaySession& operator=(const ReplaySession&) = delete;

    // The most the timeline may hold, in bytes (from the next Start or new settings on).
    void setMemoryBudget(std::size_t bytes) { budgetBytes_ = bytes; }
    std::size_t memoryBudget() const { return budgetBytes_; }
    // The bytes a timeline of `steps` steps of `boats` boats holds: its series and its checkpoints.
    static std::size_t TimelineBytes(int boats, long long steps);

    // Loads the race file with the race clock at minus five minutes and tells the
    // observers. With `timeline`, plays the race once unseen to count its steps and to be
    // able to seek. Throws Error naming the file, the line and the fault; nothing is
    // loaded then.
    void start(const std::string& raceFile, const ReplaySettings& settings, bool timeline = true);
    // Stops and closes the track files. The race state is kept (the wide-plot countdown
    // goes on in the next replay, as the program always did).
    void close();
    bool loaded() const { return loaded_; }

    RaceState& state() { return state_; }
    const FleetInfo& fleet() const { return fleet_; }
    const ReplaySettings& settings() const { return settings_; }

    // New settings from the next step on. With a timeline the steps are counted anew and
    // the replay goes to the step of the new settings at (or just before) the race clock it
    // stood at, as if played from Start with them. Throws Error, changing nothing, when
    // the timeline at the new settings would not fit its budget (timelineProblem()).
    void changeSettings(const ReplaySettings& settings);

    // Whether the replay can go to any step, and how many steps the race has from Start to
    // its end (-1 when unknown: no timeline). A race with a line that cannot be read counts
    // the steps before the one that meets it.
    bool seekable() const { return seekable_; }
    long long stepCount() const { return seekable_ ? series_.stepCount() : -1; }
    // What stops the timeline of the loaded race from fitting its budget at the current
    // settings ("" when it fits or there is no timeline).
    const std::string& timelineProblem() const { return overBudget_; }
    // The steps played since Start (the frame shown last is this step's).
    long long position() const { return position_; }
    const FleetFrame& lastFrame() const { return frame_; }
    // The series of the whole race (empty without a timeline). Observers read it up to
    // position(): beyond it lies what the replay has not shown yet.
    const ReplaySeries& series() const { return series_; }
    // Every track file at its end: there is nothing left to play.
    bool atEnd();

    // Plays one step and shows it; false at the end, where nothing is played. Throws Error.
    bool step();
    // Goes to `step` (0 to stepCount(); steps played since Start) and shows it. Playing
    // goes on from there. Throws Error (also without a timeline).
    void seek(long long step);
    // seek() a moment later: of many requests in a row (a slider dragged) only the last is
    // carried out, never more than one at a time. A failure is told to the observers.
    void requestSeek(long long step);

    // Plays one step every `intervalMs` (0: as fast as the program can, a few milliseconds
    // of steps at a time so that the windows stay answerable) until stop(), the end of
    // the race or a failure. Each tick stops the timer, plays and starts it again, so
    // steps never overlap. Throws Error, playing nothing, when the timeline does not fit
    // its budget.
    void play(int intervalMs);
    void stop();
    bool playing() const { return playing_; }

    // An observer added to a loaded race is told at once that the race started, its series
    // and where the replay stands.
    void addObserver(FrameObserver* observer);
    void removeObserver(FrameObserver* observer);

private:
    template <class F> void notify(F&& f)
    {
        // An observer may remove itself (a window closing when told of a failure).
        const std::vector<FrameObserver*> observers = observers_;
        for (FrameObserver* observer : observers)
            if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end())
                f(*observer);
    }
    void tick();
    void fail(const std::string& message);
    void playUnseen(); // the whole race once, for the timeline
    void measureEnd(); // a race beyond the budget: where it ends, without keeping it
    long long estimatedSteps(double resolutionSeconds) const;
    std::string budgetProblem(double resolutionSeconds) const;
    void show(); // the current frame to the observers
    void rewindTo(long long step);

    RaceState state_;
    ReplaySettings settings_;
    FleetInfo fleet_;
    FleetFrame frame_;
    bool loaded_ = false;
    long long position_ = 0;

    std::size_t budgetBytes_ = kDefaultMemoryBudgetBytes;
    bool timelineWanted_ = false;
    bool seekable_ = false;
    std::string overBudget_;
    double endClock_ = 0; // the race clock of the race's last step (timeline or measured)
    RaceCheckpoint atStart_;
    std::vector<RaceCheckpoint> checkpoints_; // checkpoint i stands before step i * kCheckpointSteps + 1
    ReplaySeries series_;
    // The observers show the timeline's steps up to the current one (not so after new
    // settings made the timeline anew, until the next seek).
    bool observersFollowTimeline_ = false;

    std::vector<FrameObserver*> observers_;
    QTimer timer_;
    QTimer seekTimer_;
    long long pendingSeek_ = 0;
    bool playing_ = false;
};

} // namespace tideplot
