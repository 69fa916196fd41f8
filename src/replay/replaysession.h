#pragma once

#include "core/replay.h"
#include "replay/fleetframe.h"

#include <QTimer>

#include <functional>
#include <string>
#include <vector>

// The replay as a timeline: a race loaded from its race file, played step by step on one
// timer, and sent to any moment with seek(). Every step yields a FleetFrame that the
// observers show or record; after a seek they get the frame of that step and everything
// drawn up to it, exactly as if the replay had played from Start to there.
//
// Seeking needs a timeline: at Start the whole race is played once without being shown,
// which counts its steps, keeps every piece drawn (about 64 bytes each) and the race state
// every kCheckpointSteps steps (where each track file is read to, a few hundred bytes a
// boat). A seek goes to the checkpoint before the step and plays the few steps from there.
namespace tideplot {

class ReplaySession {
public:
    static constexpr long long kCheckpointSteps = 256;

    ReplaySession();
    ~ReplaySession();
    ReplaySession(const ReplaySession&) = delete;
    ReplaySession& operator=(const ReplaySession&) = delete;

    // Loads the race file with the race clock at minus five minutes and tells the
    // observers. With `timeline`, plays the race once unseen to count its steps and to be
    // able to seek; a race whose track files cannot go back (a pipe) gets no timeline.
    // Throws Error naming the file, the line and the fault; nothing is loaded then.
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
    // stood at, as if played from Start with them. Throws Error.
    void changeSettings(const ReplaySettings& settings);

    // Whether the replay can go to any step, and how many steps the race has from Start to
    // its end (-1 when unknown: no timeline). A race with a line that cannot be read counts
    // the steps before the one that meets it.
    bool seekable() const { return seekable_; }
    long long stepCount() const { return seekable_ ? static_cast<long long>(clocks_.size()) : -1; }
    // The steps played since Start (the frame shown last is this step's).
    long long position() const { return position_; }
    const FleetFrame& lastFrame() const { return frame_; }
    // Everything drawn from Start up to the step shown (empty without a timeline).
    std::span<const DrawnPiece> drawnPieces() const;
    // Every track file at its end: there is nothing left to play.
    bool atEnd();

    // Plays one step and shows it; false at the end, where nothing is played. Throws Error.
    bool step();
    // Goes to `step` (0 to stepCount(); steps played since Start) and shows it. Playing
    // goes on from there. Throws Error (also without a timeline).
    void seek(long long step);
    // seek() a moment later: of many requests in a row (a slider dragged) only the last is
    // carried out, never more than one at a time. A failure goes to onFailure.
    void requestSeek(long long step);

    // Plays one step every `intervalMs` (0: as fast as the program can, a few milliseconds
    // of steps at a time so that the windows stay answerable) until stop(), the end of
    // the race or a failure. Each tick stops the timer, plays and starts it again, so
    // steps never overlap.
    void play(int intervalMs);
    void stop();
    bool playing() const { return playing_; }

    void addObserver(FrameObserver* observer);
    void removeObserver(FrameObserver* observer);

    // While playing: after the steps of a tick; with the message of a step that failed
    // (the timer is stopped then and the replay stays where it was); at the end of the race.
    std::function<void()> onStep;
    std::function<void(const std::string&)> onFailure;
    std::function<void()> onEnd;

private:
    void tick();
    void playUnseen(); // the whole race once, for the timeline
    void show();       // the current frame to the observers
    void rewindTo(long long step);

    RaceState state_;
    ReplaySettings settings_;
    FleetInfo fleet_;
    FleetFrame frame_;
    bool loaded_ = false;
    long long position_ = 0;

    bool seekable_ = false;
    RaceCheckpoint atStart_;
    std::vector<RaceCheckpoint> checkpoints_; // checkpoint i stands before step i * kCheckpointSteps + 1
    std::vector<DrawnPiece> pieces_;          // every piece of the race, in step order
    std::vector<std::size_t> piecesUpTo_;     // pieces drawn in steps 1 to s: piecesUpTo_[s]
    std::vector<double> clocks_;              // the race clock of step s at clocks_[s - 1]
    // The observers show the timeline's pieces up to the current step (not so after new
    // settings made the timeline anew, until the next seek).
    bool observersFollowTimeline_ = false;

    std::vector<FrameObserver*> observers_;
    QTimer timer_;
    QTimer seekTimer_;
    long long pendingSeek_ = 0;
    bool playing_ = false;
};

} // namespace tideplot
