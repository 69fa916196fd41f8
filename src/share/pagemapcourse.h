#pragma once

#include "core/course.h"
#include "earth/map/mapchoice.h"

#include <QString>

#include <string>
#include <vector>

// The parts of the web page's data that come from the race's course and the chosen map.
namespace tideplot::page {

// A tile server's layer as the page loads it.
struct TileLayer {
    QString url;
    int maxZoom = 19;
    bool overlay = false;
};

// The layers of `map` that the browser loads from a tile server, and their credit; none for
// no map or an MBTiles file (its tiles are in the page). Throws Error for a URL template a
// page cannot use.
std::vector<TileLayer> PageTileLayers(const MapChoice& map, QString& attribution);

// ",\"map\":{...}" with the layers of `map` and their credit, or "" when the browser loads none.
std::string MapLayersJson(const MapChoice& map);

// The course's part of the page's data, for a course with a finish line: ",\"finish\":[...]",
// the start line and marks when it has more than a finish, the leaderboard's packed stream
// `board`, and the results of the race file's boats sailing it.
std::string CourseDataJson(const Course& course, const std::string& raceFile, const std::string& board);

} // namespace tideplot::page
