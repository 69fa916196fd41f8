#pragma once

#include "trackfixes.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Race results from a finish line.
//
// The rules. A boat finishes at its first crossing of the finish line, the segment from P1
// to P2, after its own start, going from the left of the direction P1->P2 to its right; a
// crossing the other way (the start, when start and finish are one line) does not count.
// The crossing time is interpolated along the piece of track between the two fixes either
// side of the line, whose fixes are those the replay takes (trackfixes.h: header skipped,
// lines without a fix and repeats of a second passed over). elapsed = finish - own start,
// corrected = elapsed x LYS: the scale of the replay's race clock, so boats cross the line
// on the replay in the order of the results. Boats rank by corrected time; corrected times
// that show the same second (ShownSeconds) share a rank (1, 2, 2, 4). A boat that never
// finishes has no rank.
//
// The geometry. Positions go into a flat plane at P1, as plane sailing measures
// (Bowditch, The American Practical Navigator, ch. 24): y is the latitude difference,
// x the longitude difference times the cosine of the line's mid-latitude, in degrees of
// latitude (60 nautical miles). Every longitude difference is taken the short way round,
// -180 to 180 degrees, so a line or a piece of track across the 180-degree meridian is the
// short segment, and a piece 359.99 degrees "long" is a short step across it. A point q is
// left of the line when the cross product d x q of the line's direction d = P2 - P1 with q
// is positive (x east, y north: counter-clockwise), right when it is negative, on the line
// when it is 0. A piece of track from A to B crosses from left to right when A lies left
// (strictly) and B right or on the line, and the point where it meets the line's
// direction lies on the segment, both ends of it included. Its fraction along the piece is
// s = side(A) / (side(A) - side(B)), in (0, 1]; the crossing time is tA + s (tB - tA), the
// boat moving at an even speed between its fixes as the replay moves it. A fix exactly on
// the line is thus the finish when the boat came from the left, and the piece that leaves
// the line from that fix is no second crossing. Crossing and fraction keep under any
// stretch of the plane, so the scale of x matters to distances only.
//
// The start. Only a crossing whose interpolated time lies after the boat's own start
// counts (strictly: a crossing at the gun is the start). A piece that begins before the
// start and ends after it counts when its crossing lies after the start; one that crosses
// before the start does not, even though it ends after it. A gap in a log (fixes minutes
// apart) is interpolated like any other piece.
namespace tideplot {

// Two ends less than this far apart make a finish line of zero length (the same point
// clicked twice): refused.
inline constexpr double kMinFinishLineMetres = 1.0;

// The finish line: the segment from P1 to P2 in decimal degrees, north and east
// positive. Standing at P1 and looking at P2, the course side is on your left: boats
// finish passing from there to your right.
struct FinishLine {
    double Lat1 = 0;
    double Lon1 = 0;
    double Lat2 = 0;
    double Lon2 = 0;

    bool operator==(const FinishLine&) const = default;
};

// Throws Error when an end is off the globe (latitude outside -90 to 90, longitude
// outside -180 to 180, or not a finite number) or the line has zero length (its ends
// less than kMinFinishLineMetres apart). The message names the end and the value.
void CheckFinishLine(const FinishLine& line);

// A position at a time. The time counts in whatever unit the caller uses (a date value,
// the race clock in days, seconds); CrossingTime answers in the same.
struct TimedPosition {
    double Lat = 0;
    double Lon = 0;
    double Time = 0;
};

// A finish line made ready for the tests of many pieces of track: the plane above, set up
// once.
class FinishLineGeometry {
public:
    // Throws Error as CheckFinishLine.
    explicit FinishLineGeometry(const FinishLine& line);

    const FinishLine& line() const { return line_; }

    // +1 when the position lies left of the line's direction P1->P2 (extended both
    // ways), -1 when right, 0 on it.
    int Side(double lat, double lon) const;

    // The fraction s in (0, 1] of the piece of track from (lat0, lon0) to (lat1, lon1) at
    // which it crosses the line from left to right, or nothing when it does not.
    std::optional<double> CrossingFraction(double lat0, double lon0, double lat1, double lon1) const;

    // The incremental test, for a boat seen at one position after another (the fixes of
    // its track, or its positions at the replay's steps): the time at which it crosses the
    // line from left to right between `from` and `to`, moving in a straight line at an even
    // speed, when it does and that time lies after `after`; otherwise nothing. On the race
    // clock (Time = race clock in days, after = 0) the answer is the boat's corrected
    // time at the finish, in days. Between steps the boat is taken on the straight line
    // from one step's position to the next, which cuts the corners of its track: the
    // results from the fixes (RaceResults) are the exact ones.
    std::optional<double> CrossingTime(const TimedPosition& from, const TimedPosition& to, double after) const;

    // The distance in nautical miles from a position to the nearest point of the line:
    // the nearest point is found in the plane, the distance to it is plane sailing's, the
    // longitude difference scaled by the cosine of the two points' mid-latitude (the
    // replay's distances). 0 on the line.
    double DistanceNm(double lat, double lon) const;

private:
    struct PlanePoint {
        double x = 0;
        double y = 0;
    };
    PlanePoint ToPlane(double lat, double lon) const;
    double SideValue(const PlanePoint& q) const { return dx_ * q.y - dy_ * q.x; }

    FinishLine line_;
    double lonScale_ = 1; // cos of the line's mid-latitude
    double dx_ = 0;       // P2 - P1 in the plane
    double dy_ = 0;
    double length2_ = 0; // dx^2 + dy^2
};

// The live finish for the leaderboard: each boat's position at every step of the replay,
// on the race clock, tested against the finish line as it comes (CrossingTime from the
// position of the step before, after race clock 0). Nothing is read from files.
class FinishWatch {
public:
    // Throws Error as CheckFinishLine.
    FinishWatch(const FinishLine& line, int boatCount);

    // Boat k (0 up) stands at (lat, lon) at race clock `raceClockDays`; steps come in
    // increasing race clock. True when the boat finished in this step. Once finished, a
    // boat stays finished.
    bool Observe(int k, double lat, double lon, double raceClockDays);
    // Boat k has no position at this step (before its first fix): the next position
    // starts anew.
    void NoPosition(int k);
    // Forgets every position and finish (a seek back to the start).
    void Reset();

    bool Finished(int k) const { return boats_.at(k).finished; }
    // The race clock at which boat k crossed, in days: its corrected time. 0 before it
    // finished.
    double FinishRaceClock(int k) const { return boats_.at(k).finishClock; }
    // The distance in nautical miles from boat k's last position to the line; negative
    // when it has had no position yet. (Worked out when asked: a seek observes every step
    // up to its own, and only the last position counts.)
    double DistanceNm(int k) const
    {
        const Boat& boat = boats_.at(k);
        return boat.placed ? geometry_.DistanceNm(boat.placedLat, boat.placedLon) : -1;
    }
    int BoatCount() const { return static_cast<int>(boats_.size()); }
    const FinishLineGeometry& geometry() const { return geometry_; }

private:
    struct Boat {
        bool hasLast = false;
        TimedPosition last;
        bool finished = false;
        double finishClock = 0;
        bool placed = false; // it has had a position: the last one, which the distance is from
        double placedLat = 0;
        double placedLon = 0;
    };
    FinishLineGeometry geometry_;
    std::vector<Boat> boats_;
};

// The finish of one boat from its fixes, in the order the track file holds them (those the
// replay takes: trackfixes.h): the first crossing of the line after the boat's own start,
// interpolated between the two fixes either side of it. Times in the fixes are date values;
// the elapsed time from the start is counted in whole seconds per fix, as the fixes are
// logged, so the crossing does not carry the date values' floating-point error.
class FixFinish {
public:
    FixFinish(const FinishLineGeometry& line, double startTime) : line_(line), start_(startTime) {}
    // The next fix; true once the boat has finished (later fixes change nothing).
    bool Add(double lat, double lon, double time);
    bool Finished() const { return finished_; }
    // Seconds from the start to the crossing, when Finished.
    double ElapsedSeconds() const { return elapsed_; }
    // Seconds from the start to the last fix added (minus infinity before the first).
    double LastSeconds() const;

private:
    FinishLineGeometry line_;
    double start_;
    TimedPosition last_;
    bool haveLast_ = false;
    bool finished_ = false;
    double elapsed_ = 0;
};

// A boat's finish from its track file, read only as far as the race clock has come: the
// replay asks again and again as its clock goes on, and each fix is read once (the file is
// opened at the first question and closed at the finish or its end).
class TrackFinishReader {
public:
    TrackFinishReader(std::string trackFile, char sep, double startTime, double lys, const FinishLineGeometry& line)
        : path_(std::move(trackFile)), sep_(sep), lys_(lys), finish_(line, startTime)
    {
    }
    // The boat's corrected time at the finish in seconds (elapsed x LYS, as RaceResults has
    // it) when it finished at or before `correctedSeconds` of race time; none otherwise.
    // Throws Error as TrackFixReader, for the lines read.
    std::optional<double> FinishedBy(double correctedSeconds);

private:
    std::string path_;
    char sep_;
    double lys_;
    FixFinish finish_;
    std::unique_ptr<TrackFixReader> reader_;
    bool atEnd_ = false;
};

// One boat's result.
struct BoatResult {
    int Rank = 0;          // 1 up; boats with equal corrected times as shown share one; 0: did not finish
    bool Finished = false; // it crossed the line after its start
    std::string Boat;      // its track file as its race file entry writes it, blanks trimmed (bytes)
    std::string Name;      // display name, as the legend shows it
    std::int32_t Colour = 0;
    double Lys = 0;
    double StartTime = 0;        // date value, the boat's own start
    double FinishTime = 0;       // date value, when Finished
    double ElapsedSeconds = 0;   // FinishTime - StartTime, when Finished
    double CorrectedSeconds = 0; // ElapsedSeconds x Lys, when Finished
    long EntryLine = 0;          // line of the boat's entry in the race file
    std::string TrackPath;       // the track file as opened (ResolveTrackFile)
};

// Ranks boats in place: finishers first, by corrected time as shown (ShownSeconds; ties in
// their given order, which is the race file's), each given its rank, then the boats that
// did not finish in their given order, rank 0.
void RankResults(std::vector<BoatResult>& results);

// The results of the race in a race file, read with the replay's own checks: the race
// opened as the replay opens it (StartReplay: the boat entries, at most kMaxBoats, every
// track file there, a regular file, not empty, not a log), each track read to its end as
// the replay reads it (ReadTrackToEnd: a line that cannot be read, a start a week before
// its track refused with the replay's messages, also after the boat's finish), then
// ranked (RankResults). Memory grows with the boats, not the tracks. Throws Error naming
// file, line and fault; CheckFinishLine's errors first. The replay's warnings
// (StartTimeWarnings: a start and its track in different time zones) go to `onWarning`,
// one text each, before the tracks are read.
std::vector<BoatResult> RaceResults(const std::string& raceFileName, const FinishLine& line,
                                    const std::function<void(const std::string&)>& onWarning = {});

// The results as text: the columns of the CSV and the texts of its fields.
inline constexpr std::array<std::string_view, 8> kResultColumns{"rank",   "boat",    "lys",       "start",
                                                                "finish", "elapsed", "corrected", "file"};
inline constexpr std::string_view kDidNotFinishText = "DNF";

// The eight texts of a result, in UTF-8: rank (empty without one), boat (its display name,
// as the legend shows it), LYS (ShortNumberText), start and finish "YYYY-MM-DD hh:mm:ss"
// (the finish rounded to the nearest second), elapsed and corrected "h:mm:ss"
// (DurationText), and the track file as its entry names it; "DNF" in finish, elapsed and
// corrected for a boat that did not finish. Names are taken as Latin-1 when their bytes
// are no UTF-8.
std::array<std::string, 8> ResultTexts(const BoatResult& result);

// Times of a race (elapsed and corrected times, the gaps between them) are kept to the tenth
// of a second and shown to the second, by one rule wherever they are shown (the results and
// their CSV, the leaderboard, the control window, the web page): the nearest tenth, then the
// nearest second of that tenth, halves away from zero. So 59.44 s is 59.4 s and shows as
// 0:00:59, 59.45 s is 59.5 s and shows as 0:01:00.
long long TimeTenths(double seconds);
long long ShownSeconds(double seconds);

// Seconds as "h:mm:ss" (ShownSeconds), the hours counting past 24 ("0:00:59", "1:06:41",
// "27:00:00"), a minus sign before a time below zero.
std::string DurationText(double seconds);
// The gap from a time ahead to a time behind it as shown: "+h:mm:ss", the difference of the
// two times as they are shown, so that the texts add up ("0:50:52" + "0:00:19" = "0:51:11").
std::string GapDurationText(double aheadSeconds, double behindSeconds);

// The CSV: the header line `rank,boat,lys,start,finish,elapsed,corrected,file`, then one line
// per result in the order given; fields holding a comma, a quote or a line break are
// quoted (RFC 4180: in double quotes, a quote doubled); UTF-8 without a byte order mark,
// every line ended by CR LF.
std::string ResultsCsv(const std::vector<BoatResult>& results);

// Writes ResultsCsv to `path` atomically (OutputFile). Throws Error naming the file as
// kResultsFileWhat.
inline constexpr const char* kResultsFileWhat = "the results file";
void SaveResultsCsv(const QString& path, const std::vector<BoatResult>& results);

} // namespace tideplot
