#include "core/fleet.h"

#include "core/colour.h"
#include "core/racehandicap.h"
#include "core/replay.h"

namespace tideplot {

FleetInfo FleetOf(const RaceState& state)
{
    FleetInfo fleet;
    fleet.RaceFileName = state.RaceFileName;
    fleet.Handicap = state.Handicap;
    fleet.Boats.reserve(static_cast<std::size_t>(state.BoatCount));
    for (int k = 0; k < state.BoatCount; ++k) {
        FleetBoat boat;
        boat.Name = state.BoatName[k];
        boat.Caption = LegendCaption(state, k);
        boat.Colour = state.BoatColour[k];
        boat.WindowColour = WindowColour(ColourHex(state.BoatColour[k]));
        boat.Lys = state.BoatLys[k];
        if (state.Handicap)
            boat.Rating = state.Handicap->RatingShown(k);
        boat.Handicap = state.Handicap;
        boat.Index = k;
        boat.StartTime = state.StartTime[k];
        boat.TrackFile = state.TrackFile[k] ? state.TrackFile[k]->Path() : std::string();
        boat.SepChar = state.SepChar[k];
        boat.EntryLine = state.EntryLine[k];
        fleet.Boats.push_back(std::move(boat));
    }
    return fleet;
}

} // namespace tideplot
