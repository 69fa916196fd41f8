#include "replay/viewobserver.h"

namespace tideplot {

ReplayViewObserver::ReplayViewObserver(ApplicationGE& application, ReplayView& view) : view_(view), camera_(application)
{
}

void ReplayViewObserver::raceStarted(const FleetInfo& fleet)
{
    view_.setFleet(fleet.Boats);
    view_.setSeries(nullptr);
}

void ReplayViewObserver::seriesChanged(const ReplaySeries& series)
{
    view_.setSeries(&series);
}

void ReplayViewObserver::frame(const FleetFrame& frame)
{
    view_.showStep(frame.Step, frame.Step - 1);
    if (frame.CameraSet)
        camera_.FrameCamera(frame.BoxMin, frame.BoxMax);
}

void ReplayViewObserver::rewound(const FleetFrame& frame, const ReplaySeries&, long long keptSteps)
{
    view_.showStep(frame.Step, keptSteps);
    if (frame.ViewBoxSet)
        camera_.FrameCamera(frame.ViewBoxMin, frame.ViewBoxMax);
}

void ReplayViewObserver::reachedEnd()
{
    view_.showBox(view_.drawnBox()); // the whole race
}

} // namespace tideplot
