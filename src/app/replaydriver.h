#pragma once

#include "core/replay.h"

#include <QTimer>

#include <functional>
#include <string>

namespace tideplot {

// Plays a loaded race on a timer, one step per tick, as the control window's Play and
// Stop buttons do: each tick stops the timer, runs one step and starts it again, so
// steps never overlap and the time between two steps is the interval plus the step.
class ReplayDriver {
public:
    ReplayDriver(RaceState& state, ControlPanel& control, TrackPlotter& plotter);

    // Starts (or keeps) playing with a new interval in milliseconds. An interval of 0 plays
    // as fast as the program can: one step each time the event loop has nothing else to do,
    // so the windows stay answerable.
    void play(int intervalMs);
    void stop();
    bool playing() const { return on_; }
    long long steps() const { return steps_; }

    // Called after every step; and when a step fails, with its message (the timer is
    // stopped then and the replay stays where it is).
    std::function<void()> onStep;
    std::function<void(const std::string&)> onFailure;

private:
    void tick();

    RaceState& state_;
    ControlPanel& control_;
    TrackPlotter& plotter_;
    QTimer timer_;
    bool on_ = false;
    long long steps_ = 0;
};

} // namespace tideplot
