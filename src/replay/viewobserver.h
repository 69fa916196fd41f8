#pragma once

#include "earth/applicationge.h"
#include "earth/googleearth.h"
#include "earth/replayview.h"
#include "replay/fleetframe.h"

#include <optional>

// Draws the replay in a view that reads the replay's series (the built-in chart): each
// step as it comes, everything up to a step at once after a seek, the camera on each
// step's pieces as Google Earth's would be, and the whole race when the replay reaches its
// end.
//
// The chart may follow one boat instead: the camera's range is still set from the fleet's
// pieces, at the steps where Google Earth's camera would move, but its focus stays on that
// boat at every step and after every seek. Following the fleet again frames the camera on
// the fleet at once. Google Earth, the trace and the KML never follow a boat.
namespace tideplot {

class ReplayViewObserver : public FrameObserver {
public:
    ReplayViewObserver(ApplicationGE& application, ReplayView& view);

    void raceStarted(const FleetInfo& fleet) override;
    void seriesChanged(const ReplaySeries& series) override;
    void frame(const FleetFrame& frame) override;
    void rewound(const FleetFrame& frame, const ReplaySeries& series, long long keptSteps) override;
    void reachedEnd() override;

    // The boat (race file order) the camera keeps in the middle from now on; none: the fleet.
    void followBoat(std::optional<int> boat);

private:
    void remember(const FleetFrame& frame);
    // Moves the focus onto the followed boat where the step shows it (the frame's position,
    // else the series'); a boat with no position yet leaves the camera as it is.
    void centreOnFollowed(const FleetFrame* frame);

    ReplayView& view_;
    ApplicationGE& application_;
    GoogleEarthOutput camera_;
    std::optional<int> followed_;
    const ReplaySeries* series_ = nullptr;
    long long step_ = 0;
    bool viewBoxSet_ = false; // the box the fleet's camera was framed on last
    TrackPoint viewBoxMin_;
    TrackPoint viewBoxMax_;
};

} // namespace tideplot
