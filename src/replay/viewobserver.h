#pragma once

#include "earth/applicationge.h"
#include "earth/googleearth.h"
#include "earth/replayview.h"
#include "replay/fleetframe.h"

// Draws the replay in a view that reads the replay's series (the built-in chart): each
// step as it comes, everything up to a step at once after a seek, the camera on each
// step's pieces as Google Earth's would be, and the whole race when the replay reaches its
// end.
namespace tideplot {

class ReplayViewObserver : public FrameObserver {
public:
    ReplayViewObserver(ApplicationGE& application, ReplayView& view);

    void raceStarted(const FleetInfo& fleet) override;
    void seriesChanged(const ReplaySeries& series) override;
    void frame(const FleetFrame& frame) override;
    void rewound(const FleetFrame& frame, const ReplaySeries& series, long long keptSteps) override;
    void reachedEnd() override;

private:
    ReplayView& view_;
    GoogleEarthOutput camera_;
};

} // namespace tideplot
