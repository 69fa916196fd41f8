#pragma once

#include "linereader.h"
#include "records.h"

#include <string>
#include <string_view>

// The fixes of a track file, front to back, as the replay takes them: the header lines
// (those at the top that hold "#", and the first line after them) are skipped, a line
// whose latitude reads as 0 is no fix, and a fix logged at the same second as the fix
// before it is a repeat and is passed over. For the readers that need a boat's positions
// and times but not the replay's steps: the results, the animated KML.
namespace tideplot {

struct TrackFix {
    double Lat = 0;
    double Lon = 0;
    double Time = 0; // date value
    long Line = 0;   // line of the track file
    // The latitude and longitude fields as written; valid until the next call of next().
    std::string_view LatText;
    std::string_view LonText;
};

class TrackFixReader {
public:
    // Opens the track file; throws Error naming it when it cannot be read.
    TrackFixReader(const std::string& path, char sep);

    // The next fix; false at the end of the file. Throws Error naming the file, the line
    // and the field when a line with a latitude cannot be read.
    bool next(TrackFix& fix);

    const std::string& path() const { return file_.Path(); }

private:
    LineReader file_;
    char sep_;
    bool headerSkipped_ = false;
    bool haveLast_ = false;
    double lastTime_ = 0;
    TrackTimeReader times_;
};

// The box around every fix of a track file, south-west and north-east corners in degrees.
// Longitudes are taken the short way from the first fix, so a track across the
// 180-degree meridian gives a narrow box whose east side may lie beyond 180.
struct FixBox {
    double SouthLat = 90, WestLon = 180, NorthLat = -90, EastLon = -180;
    bool empty() const { return SouthLat > NorthLat; }
    void add(double lat, double lon);
    void add(const FixBox& other);
};

// The box of every fix of the track file; an empty box when it holds none. Throws Error
// like TrackFixReader.
FixBox TrackFixesBox(const std::string& path, char sep);

} // namespace tideplot
