#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What every log reader (KML, GPX) promises: the usable points of the log, each with its
// time and its track line "LAT,LON,YYYYMMDD,hhmmss", handed to a LogPoints store (see
// logpoints.h) in the order of the log, and what the log says besides them; or an Error
// naming the log, the line and what is wrong when the log as a whole cannot be read (not
// well-formed XML, past the reader's limits, unreadable). A point that cannot be used (no
// time, an empty position, a position off the globe) is skipped and counted; the rest of
// the log is still read. A log that ends early (cut short while it was written) gives the
// points completed before its end and says where it ends.
namespace tideplot {

// Called while a log is read, now and then and once at its end: the bytes of the log read
// so far and the size of the log, in bytes.
using LogProgress = std::function<void(std::int64_t bytesRead, std::int64_t totalBytes)>;

// The clock time of a point as the log writes it, in whole seconds since 1899-12-30 00:00:00
// (the epoch of the program's date values); earlier times are negative.
using LogSecond = std::int64_t;

// "2008-07-12 09:58:03".
std::string LogTimeText(LogSecond second);
// The date value (datetime.h) of the time.
double LogDateValue(LogSecond second);

// How a log is read. A large log is cut into parts that are read at the same time on
// several threads; every part is checked to be exactly the XML it would be in one pass over
// the whole log, and when that cannot be shown (or the log has an error) the log is read
// again in one pass, so the result is always that of one pass.
struct LogReadOptions {
    int Threads = 0;                                   // parts at most; 0: one per processor
    std::int64_t MinPartBytes = std::int64_t{4} << 20; // no part is smaller than this
    // The points kept in memory while a log is read, in bytes (their lines and times); the
    // rest wait, sorted, in temporary files.
    std::int64_t PointMemoryBytes = std::int64_t{40} << 20;
};

// A place in a log: its line, and the number of the point there among the log's points
// (usable or not, in the order of the log, from 1).
struct LogPlace {
    long Line = 0;
    long Point = 0;
};

// The points of a log that could not be used: how many, and the first one's place and why.
struct SkippedPoints {
    long Count = 0;
    LogPlace First;
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

// What the times of the usable points say, taken in the order of the log.
struct LogTimes {
    LogSecond First = 0; // the first point's time
    LogPlace FirstPlace;
    LogSecond Last = 0; // the last point's time
    // Points earlier than the point before them in their track; the first such point, its
    // time and the time of the point before it. (A track that begins before the one before
    // it ends, as a second copy of a track does, is no disorder: the pieces tell of it.)
    long Disorders = 0;
    LogPlace FirstDisorder;
    LogSecond DisorderTime = 0;
    LogSecond DisorderAfter = 0;
    // Points timed before 1990; the first one and its time.
    long Before1990 = 0;
    LogPlace FirstBefore1990;
    LogSecond FirstBefore1990Time = 0;
};

// The usable points of one track of a log (a GPX trk; a KML gx:Track or gx:MultiTrack; the
// placemarks of one Folder or Document): its number in the log, its first and last time and
// how many points it gave.
struct TrackSpan {
    std::int64_t Id = 0;
    LogSecond First = 0;
    LogSecond Last = 0;
    long Points = 0;
};
// A log of more tracks than this keeps the spans of the first ones; the points of the rest
// count to the last span kept.
constexpr std::size_t kMaxTrackSpans = 10000;

// What reading a log gave.
struct LogReadResult {
    long PointCount = 0;   // usable points
    int Parts = 1;         // the number of parts the log was read in; 1: one pass
    long Lines = 0;        // the lines of the log
    long EndedEarlyAt = 0; // the line where the log ends before its XML does; 0: it ends whole
    SkippedPoints Skipped;
    LogContents Contents;
    LogTimes Times;
    // The zone offset of the first time written with one other than UTC ("+02:00"), and
    // whether other times name another.
    std::string ZoneOffset;
    bool OtherZoneOffsets = false;
    std::vector<TrackSpan> Tracks; // in the order of the log
};

} // namespace tideplot
