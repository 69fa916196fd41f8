#include "replay/earthobserver.h"

#include "core/error.h"
#include "core/text.h"
#include "replay/valuetext.h"

#include <algorithm>

namespace tideplot {

namespace {

// Draws boat k's piece; a document the view refuses names the boat.
void Plot(GoogleEarthOutput& output, const FleetInfo& fleet, std::size_t k, const TrackPoint& from,
          const TrackPoint& to, std::int16_t width)
{
    const FleetBoat& boat = fleet.Boats[k];
    try {
        output.PlotTrackSegment(boat.Caption, from, to, boat.Colour, width);
    } catch (const Error& e) {
        throw Error("boat " + std::to_string(k + 1) + " (" + QuotedText(boat.Caption) +
                    "): its piece of track cannot be drawn: " + e.what());
    }
}

} // namespace

GoogleEarthObserver::GoogleEarthObserver(ApplicationGE& application, TraceWriter* trace)
    : application_(application), output_(application), trace_(trace)
{
}

void GoogleEarthObserver::raceStarted(const FleetInfo& fleet)
{
    fleet_ = fleet;
    if (trace_)
        for (std::size_t k = 0; k < fleet.Boats.size(); ++k)
            trace_->legend(static_cast<int>(k), fleet.Boats[k].WindowColour, fleet.Boats[k].Caption);
}

void GoogleEarthObserver::frame(const FleetFrame& frame)
{
    if (trace_)
        trace_->step(RaceTimeText(frame.Step, frame.RaceClock));
    // Boat by boat, as the step handles them: its distance, then its piece.
    for (std::size_t k = 0; k < frame.Boats.size(); ++k) {
        const BoatStep& boat = frame.Boats[k];
        if (trace_ && k >= 1 && boat.Moved)
            trace_->distance(static_cast<int>(k), BoatDistanceText(boat));
        if (boat.Drawn)
            Plot(output_, fleet_, k, boat.From, boat.To, frame.LineWidth);
    }
    if (frame.CameraSet)
        output_.FrameCamera(frame.BoxMin, frame.BoxMax);
}

void GoogleEarthObserver::draw(const DrawnPiece& piece)
{
    Plot(output_, fleet_, static_cast<std::size_t>(piece.Boat), piece.From, piece.To, piece.Width);
}

void GoogleEarthObserver::rewound(const FleetFrame& frame, const ReplaySeries& series, long long keptSteps)
{
    if (keptSteps == 0)
        application_.ClearKmlData();
    series.forEachPiece(keptSteps + 1, frame.Step, [this](const DrawnPiece& piece) { draw(piece); });
    if (frame.ViewBoxSet)
        output_.FrameCamera(frame.ViewBoxMin, frame.ViewBoxMax);
}

void DrawnBox::add(const TrackPoint& from, const TrackPoint& to)
{
    ++segments;
    for (const TrackPoint* p : {&from, &to}) {
        southWest.Lat = std::min(southWest.Lat, p->Lat);
        southWest.Lon = std::min(southWest.Lon, p->Lon);
        northEast.Lat = std::max(northEast.Lat, p->Lat);
        northEast.Lon = std::max(northEast.Lon, p->Lon);
    }
}

void DrawnBox::frame(const FleetFrame& frame)
{
    for (const BoatStep& boat : frame.Boats)
        if (boat.Drawn)
            add(boat.From, boat.To);
}

void DrawnBox::rewound(const FleetFrame& frame, const ReplaySeries& series, long long keptSteps)
{
    if (keptSteps == 0)
        *this = DrawnBox{};
    series.forEachPiece(keptSteps + 1, frame.Step, [this](const DrawnPiece& piece) { add(piece.From, piece.To); });
}

} // namespace tideplot
