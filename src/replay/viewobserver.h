#pragma once

#include "earth/applicationge.h"
#include "earth/googleearth.h"
#include "earth/replayview.h"
#include "replay/fleetframe.h"

// Draws the replay in a view that takes the pieces as values (the built-in chart): every
// step's pieces as they come, everything up to a step at once after a seek, the race clock
// for the tail, and the camera on each step's pieces as Google Earth's would be.
namespace tideplot {

class ReplayViewObserver : public FrameObserver {
public:
    ReplayViewObserver(ApplicationGE& application, ReplayView& view);

    void raceStarted(const FleetInfo& fleet) override;
    void frame(const FleetFrame& frame) override;
    void rewound(const FleetFrame& frame, std::span<const DrawnPiece> pieces, std::size_t kept) override;

private:
    ReplayView& view_;
    GoogleEarthOutput camera_;
    std::vector<DrawnPiece> pieces_;
};

} // namespace tideplot
