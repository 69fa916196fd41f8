#include "replay/viewobserver.h"

#include "core/geometry.h"

namespace tideplot {

ReplayViewObserver::ReplayViewObserver(ApplicationGE& application, ReplayView& view)
    : view_(view), application_(application), camera_(application)
{
}

void ReplayViewObserver::raceStarted(const FleetInfo& fleet)
{
    view_.setFleet(fleet.Boats);
    view_.setSeries(nullptr);
    series_ = nullptr;
    step_ = 0;
    viewBoxSet_ = false;
}

void ReplayViewObserver::seriesChanged(const ReplaySeries& series)
{
    view_.setSeries(&series);
    series_ = &series;
}

void ReplayViewObserver::frame(const FleetFrame& frame)
{
    view_.showStep(frame.Step, frame.Step - 1);
    if (frame.CameraSet)
        camera_.FrameCamera(frame.BoxMin, frame.BoxMax);
    remember(frame);
    if (followed_)
        centreOnFollowed(&frame);
}

void ReplayViewObserver::rewound(const FleetFrame& frame, const ReplaySeries&, long long keptSteps)
{
    view_.showStep(frame.Step, keptSteps);
    if (frame.ViewBoxSet)
        camera_.FrameCamera(frame.ViewBoxMin, frame.ViewBoxMax);
    remember(frame);
    if (followed_)
        centreOnFollowed(&frame);
}

void ReplayViewObserver::reachedEnd()
{
    view_.showBox(view_.drawnBox()); // the whole race
    if (followed_)
        centreOnFollowed(nullptr);
}

void ReplayViewObserver::followBoat(std::optional<int> boat)
{
    if (!boat && !followed_)
        return; // the camera follows the fleet already
    followed_ = boat;
    if (followed_)
        centreOnFollowed(nullptr);
    else if (viewBoxSet_)
        camera_.FrameCamera(viewBoxMin_, viewBoxMax_);
}

void ReplayViewObserver::remember(const FleetFrame& frame)
{
    step_ = frame.Step;
    viewBoxSet_ = frame.ViewBoxSet;
    if (frame.ViewBoxSet) {
        viewBoxMin_ = frame.ViewBoxMin;
        viewBoxMax_ = frame.ViewBoxMax;
    }
}

void ReplayViewObserver::centreOnFollowed(const FleetFrame* frame)
{
    const int k = *followed_;
    double lat = 0, lon = 0;
    if (frame && k >= 0 && static_cast<std::size_t>(k) < frame->Boats.size() &&
        frame->Boats[static_cast<std::size_t>(k)].HasPosition) {
        lat = frame->Boats[static_cast<std::size_t>(k)].Position.Lat;
        lon = frame->Boats[static_cast<std::size_t>(k)].Position.Lon;
    } else if (series_ && k >= 0 && k < series_->boatCount() && step_ >= 1 && step_ <= series_->stepCount() &&
               series_->sample(k, step_).hasPosition()) {
        lat = series_->sample(k, step_).Lat;
        lon = series_->sample(k, step_).Lon;
    } else {
        return;
    }
    CameraInfoGE camera = application_.GetCamera(2);
    camera.FocusPointLatitude = lat;
    camera.FocusPointLongitude = FoldLongitude(lon);
    application_.SetCamera(camera, 10.0);
}

} // namespace tideplot
