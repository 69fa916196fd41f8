#pragma once

#include "core/error.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What every log reader (KML, GPX, NMEA 0183, FIT) promises: the usable points of the log, each with its
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
    // The date of the first time of a log whose times carry none (an NMEA log of GGA or GLL
    // sentences without RMC or ZDA): the first second of that day.
    std::optional<LogSecond> GivenDate = std::nullopt;
};

// Thrown when a log gives the time of day of its points but no date, and no date was
// given (LogReadOptions::GivenDate).
class LogDateNeeded : public Error {
public:
    using Error::Error;
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
    long Sentences = 0;         // NMEA sentences with a right checksum (or none)
    long PositionSentences = 0; // of them RMC, GGA and GLL, usable or not
    long Records = 0;           // FIT record messages
};

// Lines of a log passed over, counted, and the first one's line and why.
struct PassedLines {
    long Count = 0;
    long First = 0;
    std::string FirstReason;
    void Note(long line, const std::string& reason)
    {
        if (Count++ == 0) {
            First = line;
            FirstReason = reason;
        }
    }
};

// How the wind file of an NMEA log was made, in seconds (its lines).
struct WindSummary {
    long Seconds = 0;            // lines: seconds with any value
    long TrueWind = 0;           // seconds with a true wind direction, of them:
    long TrueGiven = 0;          //   the instruments' true wind direction (MWD)
    long TrueFromAngle = 0;      //   their true wind angle (MWV T, VWT) and the heading or course
    long Computed = 0;           //   computed from the apparent wind (MWV R, VWR)
    long ComputedOverGround = 0; //     of those, with the speed over ground for want of a boat speed
    long FromCourse = 0;         //   turned with the course over ground for want of a heading
    long MagneticAsTrue = 0;     //   turned with a magnetic heading taken as true (no variation)
    long MagneticHeadings = 0;   // seconds whose heading (HDG) is magnetic, taken as true
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
    // NMEA: sentences whose checksum is wrong, and lines that hold no sentence (or are
    // longer than any sentence). FIT: bytes after its end that are no FIT file (Unread).
    PassedLines BadChecksums;
    PassedLines Unread;
    // NMEA: the dates came from LogReadOptions::GivenDate; or the log has dates of its
    // own, which were kept although one was given.
    bool GivenDateUsed = false;
    bool GivenDateIgnored = false;
    LogSecond GivenDate = 0;
    WindSummary Wind;
};

} // namespace tideplot
