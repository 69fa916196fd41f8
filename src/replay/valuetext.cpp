#include "replay/valuetext.h"

#include "core/datetime.h"
#include "core/results.h"
#include "core/text.h"

namespace tideplot {

std::string RaceTimeText(long long step, double raceClockDays)
{
    return step == 0 ? std::string() : RaceClockText(raceClockDays);
}

std::string BoatDistanceText(const BoatStep& boat)
{
    return boat.HasDistance ? DistanceText(boat.DistanceNm) : std::string();
}

std::string StandingText(const LeaderboardRow& row)
{
    if (row.Finished)
        return "finished " + DurationText(row.CorrectedSeconds);
    if (row.DistanceNm >= 0)
        return DistanceText(row.DistanceNm) + " nm to go";
    return "not started";
}

std::string GapText(const LeaderboardRow& row)
{
    if (!row.HasGap)
        return {};
    if (row.Finished)
        return GapDurationText(row.AheadSeconds, row.CorrectedSeconds);
    // (Built by appending: GCC 12 warns of an overlap in an inserted prefix, wrongly.)
    std::string text = "+";
    text += DistanceText(row.GapNm);
    return text += " nm";
}

} // namespace tideplot
