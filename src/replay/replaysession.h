#pragma once

#include "core/replay.h"
#include "core/replayseries.h"
#include "replay/fleetframe.h"

#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
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
// The windows count the steps on the program's pool (WorkPool: start() in the background at
// Start, changeSettingsInBackground for new settings) while the replay goes on with the old
// ones and the windows stay answerable: a 64-boat day at one second a step takes some seconds.
// The count's own copy of the race state reads the very track files the replay opened (a file
// put in one's place under its name is not read), through handles of its own; the window's
// thread takes over its timeline when it is done, and lets go of a count it cancels without
// waiting for it. A track file written to while open is told as such, not as a bad line.
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

    // The most the replay may hold, in bytes (from the next Start or new settings on), of
    // which `forOthers` is left to what the windows keep beside it (the chart's pictures of
    // earlier steps, the analysis): the timeline may hold the rest.
    void setMemoryBudget(std::size_t bytes, std::size_t forOthers = 0)
    {
        wholeBudgetBytes_ = bytes;
        budgetBytes_ = bytes - std::min(forOthers, bytes);
    }
    // What the timeline may hold.
    std::size_t memoryBudget() const { return budgetBytes_; }
    // The bytes a timeline of `steps` steps of `boats` boats holds: its series and its checkpoints.
    static std::size_t TimelineBytes(int boats, long long steps);

    // Loads the race file with the race clock at minus five minutes and tells the
    // observers. With `timeline`, plays the race once unseen to count its steps and to be
    // able to seek: before returning, or `inBackground` on the pool as new settings
    // are counted (counting(), countEnded(); a play() asked for meanwhile starts when the
    // count is done). Throws Error naming the file, the line and the fault; nothing is
    // loaded then.
    void start(const std::string& raceFile, const ReplaySettings& settings, bool timeline = true,
               bool inBackground = false);
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
    // changeSettings() on the pool: returns at once. The observers are told how far
    // the count is (counting()) and when it has ended (countEnded()); until then the replay
    // plays and goes to any moment at the old settings, and a play() asked for meanwhile
    // starts when the new settings have taken effect. New settings again cancel a count
    // under way. Throws Error, changing nothing, when the race at the new settings is known
    // not to fit its budget, or when no file handle is left for the count.
    void changeSettingsInBackground(const ReplaySettings& settings);
    // Steps are being counted on the pool (at Start or for new settings).
    bool counting() const { return count_ != nullptr; }
    // The settings the replay will have: those being counted, or those it has.
    const ReplaySettings& comingSettings() const;

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
    // its budget. While new settings are counted, playing starts when they have taken effect.
    void play(int intervalMs);
    // Stops playing (and the play asked for after a count).
    void stop();
    // Playing, or to play as soon as the count of new settings has ended.
    bool playing() const { return playing_ || playAfterCount_.has_value(); }
    // Playing will start when the count of new settings ends.
    bool playingAfterCount() const { return playAfterCount_.has_value(); }

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
    // What a count of the whole race gives: its series and checkpoints when they fit the
    // budget, otherwise only where the race ends and why it does not fit.
    struct Timeline {
        ReplaySeries Series;
        std::vector<RaceCheckpoint> Checkpoints;
        double EndClock = 0;
        bool Seekable = false;
        std::string OverBudget;
    };
    struct Count; // a count on the pool

    void tick();
    void fail(const std::string& message);
    struct Budget {
        std::size_t Timeline = 0; // what the timeline may hold
        std::size_t Whole = 0;    // of what the replay may hold
    };
    // The whole race played once unseen from `atStart` on `state`, which is left after the
    // race. `cancel` is looked at every step; `done` (when set) follows the share of the
    // track files' bytes read.
    static Timeline CountTimeline(RaceState& state, const RaceCheckpoint& atStart, const ReplaySettings& settings,
                                  Budget budget, const std::atomic<bool>* cancel, std::atomic<double>* done);
    void playUnseen(); // the timeline counted here and taken
    // The timeline of the current settings has been counted (it may not fit its budget).
    bool timelineCounted() const { return seekable_ || !overBudget_.empty(); }
    void beginCount(const ReplaySettings& settings); // on the pool
    void adopt(Timeline&& timeline);
    void goToClockAfterCount(double clock, bool fromStart);
    void cancelCount();
    void countTurn(); // the count's timer: how far it is, or its end
    void finishCount();
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
    std::size_t wholeBudgetBytes_ = kDefaultMemoryBudgetBytes;
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

    std::shared_ptr<Count> count_;
    QTimer countTimer_;
    std::optional<int> playAfterCount_; // the play interval asked for while counting

    std::vector<FrameObserver*> observers_;
    QTimer timer_;
    QTimer seekTimer_;
    long long pendingSeek_ = 0;
    bool playing_ = false;
};

} // namespace tideplot
