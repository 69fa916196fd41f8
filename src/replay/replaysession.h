#pragma once

#include "core/replay.h"
#include "core/replayseries.h"
#include "replay/fleetframe.h"
#include "replay/replayplayer.h"
#include "replay/timeline.h"
#include "replay/timelinebudget.h"
#include "replay/timelinebuild.h"

#include <QTimer>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The replay as a timeline: a race loaded from its race file, played step by step
// (ReplayPlayer), and sent to any moment with seek(). Every step yields a FleetFrame that the
// observers show or record; after a seek they get the frame of that step and the series of
// everything up to it, exactly as if the replay had played from Start to there.
//
// Seeking needs a timeline (Timeline), built at Start: before start() returns, or on the
// program's pool (TimelineBuild) as the windows do, at Start and for new settings, while the
// replay goes on with the old ones. The window's thread takes over the timeline when its build
// has ended, and lets go of a build it cancels without waiting for it. A track file written
// to while open is told as such, not as a bad line.
//
// The timeline never holds more than its memory budget. A race whose steps at the chosen
// resolution would not fit is loaded all the same, but it cannot be played or sought until a
// coarser resolution fits: play(), seek() and changeSettings() throw TimelineOverBudget, the
// verdict with the steps the race takes and the finest resolution that fits.
namespace tideplot {

class ReplaySession {
public:
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
        budget_.WholeBytes = bytes;
        budget_.TimelineBytes = bytes - std::min(forOthers, bytes);
    }
    // What the timeline may hold.
    std::size_t memoryBudget() const { return budget_.TimelineBytes; }

    // Loads the race file with the race clock at minus five minutes and tells the
    // observers. With `timeline`, builds the timeline: before returning, or `inBackground`
    // on the pool as new settings are built (buildingTimeline(), timelineBuilt(); a play()
    // asked for meanwhile starts when the build is done). Throws Error naming the file, the
    // line and the fault; nothing is loaded then.
    void start(const std::string& raceFile, const ReplaySettings& settings, bool timeline = true,
               bool inBackground = false);
    // Stops and closes the track files. The race state is kept (the wide-plot countdown
    // goes on in the next replay, as the program always did).
    void close();
    bool loaded() const { return loaded_; }

    RaceState& state() { return state_; }
    const FleetInfo& fleet() const { return fleet_; }
    const ReplaySettings& settings() const { return settings_; }

    // New settings from the next step on. With a timeline it is built anew and the replay
    // goes to the step of the new settings at (or just before) the race clock it stood at,
    // as if played from Start with them. Throws TimelineOverBudget, changing nothing, when
    // the timeline at the new settings would not fit its budget.
    void changeSettings(const ReplaySettings& settings);
    // changeSettings() on the pool: returns at once. The observers are told how far the
    // build is (buildingTimeline()) and when it has ended (timelineBuilt()); until then the
    // replay plays and goes to any moment at the old settings, and a play() asked for
    // meanwhile starts when the new settings have taken effect. New settings again cancel a
    // build under way. Throws TimelineOverBudget, changing nothing, when the race at the new
    // settings is known not to fit its budget, or Error when no file handle is left for the
    // build.
    void changeSettingsInBackground(const ReplaySettings& settings);
    // The timeline is being built on the pool (at Start or for new settings).
    bool buildingTimeline() const { return build_ != nullptr; }
    // The settings the replay will have: those being built, or those it has.
    const ReplaySettings& comingSettings() const { return build_ ? build_->settings() : settings_; }

    // Whether the replay can go to any step, and how many steps the race has from Start to
    // its end (-1 when unknown: no timeline). A race with a line that cannot be read counts
    // the steps before the one that meets it.
    bool seekable() const { return timeline_.seekable(); }
    long long stepCount() const { return seekable() ? timeline_.series().stepCount() : -1; }
    // Why the timeline of the loaded race does not fit its budget at the current settings
    // (none when it fits or there is no timeline).
    const std::optional<TimelineVerdict>& timelineOverBudget() const { return timeline_.overBudget(); }
    // The steps played since Start (the frame shown last is this step's).
    long long position() const { return position_; }
    const FleetFrame& lastFrame() const { return frame_; }
    // The series of the whole race (empty without a timeline). Observers read it up to
    // position(): beyond it lies what the replay has not shown yet.
    const ReplaySeries& series() const { return timeline_.series(); }
    // Every track file at its end: there is nothing left to play.
    bool atEnd();

    // Plays one step and shows it; false at the end, where nothing is played. Throws Error.
    bool step();
    // Goes to `step` (0 to stepCount(); steps played since Start) and shows it. Playing
    // goes on from there. Throws Error (also without a timeline).
    void seek(long long step);
    // seek() a moment later: of many requests in a row (a slider dragged) only the last is
    // carried out, never more than one at a time. A failure is told to the observers.
    void requestSeek(long long step) { player_.requestSeek(step); }

    // Plays one step every `intervalMs` (0: as fast as the program can) until stop(), the
    // end of the race or a failure. Throws TimelineOverBudget, playing nothing, when the
    // timeline does not fit its budget. While new settings are being built, playing starts
    // when they have taken effect.
    void play(int intervalMs);
    // Stops playing (and the play asked for during a build).
    void stop();
    // Playing, or to play as soon as the build for new settings has ended.
    bool playing() const { return player_.playing() || playAfterBuild_.has_value(); }
    // Playing will start when the build for new settings ends.
    bool playingAfterBuild() const { return playAfterBuild_.has_value(); }

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

    void fail(const std::string& message);
    void buildHere(); // the timeline built on this thread and taken
    void startBuild(const ReplaySettings& settings);
    void adopt(Timeline&& timeline);
    void goToClock(double clock, bool fromStart);
    void cancelBuild();
    void watchBuild(); // the build's timer: how far it is, or its end
    void takeBuild();
    // Throws TimelineOverBudget when the race at `resolutionSeconds` is known not to fit.
    void refuseBeyondBudget(double resolutionSeconds) const;
    void show(); // the current frame to the observers
    void rewindTo(long long step);

    RaceState state_;
    ReplaySettings settings_;
    FleetInfo fleet_;
    FleetFrame frame_;
    bool loaded_ = false;
    long long position_ = 0;

    MemoryBudget budget_{kDefaultMemoryBudgetBytes, kDefaultMemoryBudgetBytes};
    bool timelineWanted_ = false;
    RaceCheckpoint atStart_;
    Timeline timeline_;
    // The observers show the timeline's steps up to the current one (not so after new
    // settings made the timeline anew, until the next seek).
    bool observersFollowTimeline_ = false;

    std::unique_ptr<TimelineBuild> build_;
    QTimer buildTimer_;
    std::optional<int> playAfterBuild_; // the play interval asked for during a build

    std::vector<FrameObserver*> observers_;
    ReplayPlayer player_;
};

} // namespace tideplot
