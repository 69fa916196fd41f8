#pragma once

#include "raceanalysis.h"

#include <string>

// The start, the legs and the gap to the leader as the analysis' files write them (beside
// analysisfiles.h, whose JSON holds them).
namespace tideplot {

// The value of the JSON's "start_line": {"wind_deg": 223.0, "bias_deg": 4.2, "favoured":
// "P1"|"P2"|null} (null degrees where the wind at the gun is not known), or null without a
// start line.
std::string StartLineJson(const RaceAnalysis& race);

// A boat's ", \"start\": ..., \"legs\": [...], \"gap_series\": [...]" for its JSON object:
// "start": {"line_distance_m", "line_position", "speed_kn", "seconds_late", "ocs", "returned"}
// or null without a start line; each leg {"from", "to", "lap", "kind", "start", "end",
// "seconds", "distance_nm", "mean_speed_kn", "vmg_kn", "tacks", "gybes", "mean_loss_m",
// "port_s", "starboard_s", "rank", "gap_s"}; each point of the gap {"time", "gap_s"}.
// `indent` starts each of the three on a line of its own.
void AppendBoatDebriefJson(std::string& json, const RaceAnalysis& race, const BoatAnalysis& boat,
                           const std::string& indent);

// The legs, one line each after the header
// row,name,from,to,lap,kind,start,end,seconds,distance_nm,mean_speed_kn,vmg_kn,tacks,gybes,
// mean_loss_m,port_s,starboard_s,rank,gap_s; lines end with CR LF, a value not known is empty.
std::string LegsCsv(const RaceAnalysis& race);

} // namespace tideplot
