#include "replay/viewobserver.h"

namespace tideplot {

ReplayViewObserver::ReplayViewObserver(ApplicationGE& application, ReplayView& view) : view_(view), camera_(application)
{
}

void ReplayViewObserver::raceStarted(const FleetInfo& fleet)
{
    std::vector<ReplayView::Boat> boats;
    for (const FleetBoat& boat : fleet.Boats)
        boats.push_back({boat.Caption, boat.Colour});
    view_.setBoats(boats);
    view_.setPieces({});
}

void ReplayViewObserver::frame(const FleetFrame& frame)
{
    pieces_.clear();
    AppendPieces(frame, pieces_);
    view_.setRaceClock(frame.RaceClock);
    if (!pieces_.empty())
        view_.addPieces(pieces_);
    if (frame.CameraSet)
        camera_.FrameCamera(frame.BoxMin, frame.BoxMax);
}

void ReplayViewObserver::rewound(const FleetFrame& frame, std::span<const DrawnPiece> pieces, std::size_t kept)
{
    view_.setRaceClock(frame.RaceClock);
    if (kept > 0)
        view_.addPieces(pieces.subspan(kept));
    else
        view_.setPieces(pieces);
    if (frame.ViewBoxSet)
        camera_.FrameCamera(frame.ViewBoxMin, frame.ViewBoxMax);
}

} // namespace tideplot
