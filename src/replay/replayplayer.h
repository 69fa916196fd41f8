#pragma once

#include <QTimer>

#include <functional>
#include <string>

// Plays a replay on the windows' thread from its timer: one step every interval (at 0, a few
// milliseconds of steps a turn, so that the windows stay answerable) until stop(), the end or
// a failure. Each turn stops the timer, plays and starts it again, so steps never overlap.
// Seeks asked for in a row (a slider dragged) are carried out a moment later, only the last,
// never more than one at a time.
namespace tideplot {

class ReplayPlayer {
public:
    // What the player plays: steps and seeks throw Error on failure, which the player tells
    // (it has stopped then).
    struct Replay {
        std::function<bool()> Step;                     // one step; false at the end, playing none
        std::function<bool()> AtEnd;                    // nothing left to play
        std::function<void(long long)> Seek;            // to a step
        std::function<void(const std::string&)> Failed; // a step or a seek failed
        std::function<void()> Ticked;                   // a turn of the timer is done
    };
    explicit ReplayPlayer(Replay replay);
    ReplayPlayer(const ReplayPlayer&) = delete;
    ReplayPlayer& operator=(const ReplayPlayer&) = delete;

    // Plays one step every `intervalMs` (0: as fast as the program can).
    void play(int intervalMs);
    void stop();
    bool playing() const { return playing_; }

    // Seek(step) a moment later; of many requests in a row only the last is carried out.
    void requestSeek(long long step);
    // A seek asked for and not yet carried out is dropped.
    void dropSeek() { seekTimer_.stop(); }

private:
    void tick();

    Replay replay_;
    QTimer timer_;
    QTimer seekTimer_;
    long long pendingSeek_ = 0;
    bool playing_ = false;
};

} // namespace tideplot
