#pragma once

#include "course.h"
#include "handicap.h"
#include "results.h"

#include <QString>

#include <string>
#include <vector>

// The results as JSON, for other programs:
//
// {"handicap": {"system": "phrf-tot", "a": 650, "b": 550, "distance_nm": null},
//  "course": {"start": [lat1, lon1, lat2, lon2] or null, "finish": [lat1, lon1, lat2, lon2],
//             "marks": [{"name": "W", "kind": "mark", "side": "port", "lat": .., "lon": ..},
//                       {"name": "G", "kind": "gate", "side": null, "lat": .., "lon": ..,
//                        "lat1": .., "lon1": .., "lat2": .., "lon2": ..}],
//             "course": ["W", "G"], "laps": 2},
//  "boats": [{"row": 1, "name": "Elsa.txt", "file": "Elsa.txt", "lys": 1.0, "rating": 1.0,
//             "status": "finished", "rank": 1 or null,
//             "gun": "2008-06-21T11:00:00Z", "started": "2008-06-21T11:00:04.2Z" or null,
//             "ocs": false,
//             "marks": [{"name": "W", "lap": 1, "time": "...Z", "elapsed_s": 612.4,
//                        "corrected_s": 612.4, "rank": 2}],
//             "finish": "...Z" or null, "elapsed_s": ... or null, "corrected_s": ... or null}]}
//
// "handicap" is the race's system (handicap.h): "a" and "b" phrf-tot's numbers (null under
// the others), "distance_nm" the course distance a time-on-distance system took (the distance
// line's under any system; null without one). A boat's "rating" is its rating under the
// system: a number ([PLT, PLD] under orc-pl); its LYS number under lys. "corrected_s" is
// the corrected time under the system.
// The boats in the order of the results (RankResults). "row" is the boat's place in the race
// file, from 1; "name" its name as the legend shows it, "file" its track file as its entry
// names it; "status" StatusText; "started" the start crossing (null without a start line or
// before a start); "marks" the roundings made, in order. A gate's "lat" and "lon" are its
// middle. Times are UTC ISO 8601 (track times taken as UTC), to the second for the gun and
// to the tenth of a second for the moments interpolated between fixes; seconds are numbers
// to the tenth, counted from the gun. UTF-8, "." as the decimal point whatever the locale.
namespace tideplot {

// The system the results were scored by, and the distance a time-on-distance system took.
struct ResultsHandicap {
    Handicap Rule;
    std::optional<double> DistanceNm;
};

std::string ResultsJson(const Course& course, const std::vector<BoatResult>& results,
                        const ResultsHandicap& handicap = {});

// What messages call the JSON file.
inline constexpr const char* kResultsJsonWhat = "the results' JSON file";

// "2008-06-21T11:00:04.2Z": `seconds` after the date value `gun` (whole seconds), to the
// tenth of a second; "2008-06-21T11:00:04Z" to the second without `tenth`.
std::string IsoText(double gun, double seconds, bool tenth);

} // namespace tideplot
