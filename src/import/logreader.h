#pragma once

#include <cstdint>
#include <functional>
#include <string>

// What every log reader (KML, GPX) promises: the track lines of the log's usable points in
// the order of the log, one "LAT,LON,YYYYMMDD,hhmmss" line ended by CR LF per point, or an
// Error naming the log, the line and what is wrong when the log as a whole cannot be read
// (not well-formed XML, past the reader's limits, unreadable). A point that cannot be used
// (no time, an empty position, a position off the globe) is skipped and counted; the rest
// of the log is still read.
namespace tideplot {

// Called while a log is read, now and then and once at its end: the bytes of the log read
// so far and the size of the log, in bytes.
using LogProgress = std::function<void(std::int64_t bytesRead, std::int64_t totalBytes)>;

// How a log is read. A large log is cut into parts that are read at the same time on
// several threads; every part is checked to be exactly the XML it would be in one pass over
// the whole log, and when that cannot be shown (or the log has an error) the log is read
// again in one pass, so the result is always that of one pass.
struct LogReadOptions {
    int Threads = 0;                                   // parts at most; 0: one per processor
    std::int64_t MinPartBytes = std::int64_t{4} << 20; // no part is smaller than this
};

// The points of a log that could not be used: how many, and the first one's line and why.
struct SkippedPoints {
    long Count = 0;
    long FirstLine = 0;
    std::string FirstReason; // "the latitude \"100\" is not a number from -90 to 90"
};

// What a log holds besides its usable points, counted to tell why no point was found.
struct LogContents {
    long UntimedPlacemarks = 0; // KML placemarks with a Point but no time stamp
    long LineStrings = 0;       // KML LineStrings (a line without a time per point)
    long LineStringPoints = 0;  // their coordinate tuples
    long Tracks = 0;            // KML gx:Track elements
    long TrackPoints = 0;       // GPX trkpt elements, usable or not
    long RoutePoints = 0;       // GPX rtept elements
    long Waypoints = 0;         // GPX wpt elements
};

// What reading a log gave.
struct LogReadResult {
    long PointCount = 0; // track lines added
    int Parts = 1;       // the number of parts the log was read in; 1: one pass
    SkippedPoints Skipped;
    LogContents Contents;
};

} // namespace tideplot
