#pragma once

#include "raceanalysis.h"

#include <functional>
#include <string>
#include <string_view>

// The analysis as files: JSON of everything but the series, CSV of the manoeuvres, CSV of the
// series. UTF-8 (names decoded from the system's 8-bit code page, as the windows show them),
// numbers with "." whatever the locale, times UTC ISO 8601 (track times are taken as UTC, as
// almost every logger writes them) and the race clock as the replay writes it.
namespace tideplot {

// "2008-06-21T11:12:05Z": a date value rounded to the second.
std::string IsoTimeText(double dateValue);

// A number as the files write it: exactly `decimals` (0 to 7) decimals, "." as point,
// rounded half away from zero; a value that rounds to 0 has no minus sign ("0.0").
std::string FixedText(double value, int decimals);

// The JSON document:
// {"wind": {"from_deg": 227.0, "source": "estimated"|"given"|"measured"|"unknown", "tacks": N,
//           "gybes": M, "series": [{"time", "from_deg", "turns" (estimated) | "measured"}],
//           "estimate": {"difference_deg", "mean_abs_difference_deg", "from_deg", "source",
//                        "tacks", "gybes", "series"} (given or measured: the estimate beside it)},
//  "start_line": StartLineJson (debrieffiles.h),
//  "boats": [{"row", "name", "caption", "lys", "gun", "distance_nm", "mean_speed_kn",
//             "tacks", "gybes", "mean_tack_loss_m", "port_s", "starboard_s",
//             "start", "legs", "gap_series" (AppendBoatDebriefJson),
//             "manoeuvres": [{"kind", "time", "race_time", "before_start", "lat", "lon", "course_before",
//                             "course_after", "speed_before_kn", "min_speed_kn",
//                             "speed_after_kn", "duration_s", "loss_m"}]}]}
// "from_deg" of the wind is the race's mean; "series" the wind over time (estimated or measured,
// every minute; given, its moments). A value that is not known (the wind's direction, a turn's
// loss) is null.
std::string AnalysisJson(const RaceAnalysis& race);

// The manoeuvres, one line each after the header
// row,name,kind,time,race_time,lat,lon,course_before,course_after,speed_before_kn,
// min_speed_kn,speed_after_kn,duration_s,loss_m; lines end with CR LF, fields holding a comma,
// a quote or a line break are quoted (RFC 4180); a value not known is empty.
std::string ManoeuvresCsv(const RaceAnalysis& race);

// Every fix of every boat the analysis took, row,time,race_time,lat,lon,sog_kn,cog_deg,vmg_kn
// (vmg against the wind at that moment, empty where it is not known), handed to `write` a
// piece at a time: a day's race logged every second makes hundreds of megabytes. A boat whose
// result kept only every n-th fix has its track analysed again (the same numbers), so memory
// stays that of the result. Throws Error when such a track cannot be read again.
void WriteSeriesCsv(const RaceAnalysis& race, const std::function<void(std::string_view)>& write);

} // namespace tideplot
