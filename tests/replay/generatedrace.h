#pragma once

#include "support/racefiles.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace tideplot::testing {

// Three boats sailing north for an hour from different starts, one point every 7 seconds,
// one boat with a gap in its log: over a thousand steps at 3 seconds each.
inline std::string GeneratedRace(const TempDir& dir)
{
    std::vector<std::string> entries;
    for (int boat = 0; boat < 3; ++boat) {
        std::vector<std::string> lines{"lat,lon,date,time"};
        for (int s = -600; s <= 3600; s += 7) {
            if (boat == 2 && s > 1200 && s < 1800)
                continue; // a gap: nothing drawn for ten minutes
            char line[96];
            std::snprintf(line, sizeof line, "%.7f,%.7f,20080621,%s", 57 + s / 60.0 * 0.001 + boat * 0.002,
                          11 + std::sin(s / 300.0) * 0.002, Hms(36000 + boat * 120 + s).c_str());
            lines.emplace_back(line);
        }
        const std::string name = "boat" + std::to_string(boat) + ".txt";
        dir.write(name, lines);
        entries.push_back(name + " , 2008-06-21 10:0" + std::to_string(boat * 2) + ":00 , " +
                          (boat == 1 ? "1.1" : "1") + " , " + std::to_string(boat * 400) + " , ,");
    }
    return dir.write("race.TP1", entries);
}

} // namespace tideplot::testing
