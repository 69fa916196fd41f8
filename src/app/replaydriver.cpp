#include "app/replaydriver.h"

#include <exception>

namespace tideplot {

ReplayDriver::ReplayDriver(RaceState& state, ControlPanel& control, TrackPlotter& plotter)
    : state_(state), control_(control), plotter_(plotter)
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.callOnTimeout([this] { tick(); });
}

void ReplayDriver::play(int intervalMs)
{
    on_ = true;
    timer_.setInterval(intervalMs);
    timer_.start();
}

void ReplayDriver::stop()
{
    on_ = false;
    timer_.stop();
}

void ReplayDriver::tick()
{
    timer_.stop();
    try {
        ReplayStep(state_, control_, plotter_);
    } catch (const std::exception& e) {
        on_ = false;
        if (onFailure)
            onFailure(e.what());
        return;
    }
    ++steps_;
    if (on_)
        timer_.start();
    if (onStep)
        onStep();
}

} // namespace tideplot
