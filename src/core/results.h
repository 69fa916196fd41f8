#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Race results from a finish line, or from a course (courseprogress.h has its rules).
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

struct Course;
struct HandicapLines;

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
// less than kMinFinishLineMetres apart). The message names the line (`what`: "the finish
// line", "the start line"), the end and the value.
void CheckFinishLine(const FinishLine& line, std::string_view what = "the finish line");

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
    explicit FinishLineGeometry(const FinishLine& line, std::string_view what = "the finish line");

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

// How a boat ends the race: it finished; it neither finished nor crossed the finish line
// after the last mark it rounded (DNF); it was over the start line at its gun and never
// started (OCS); it crossed the finish line having missed a mark.
enum class RaceStatus { Finished, Dnf, Ocs, Missed };

// A boat's rounding of a mark (or passing of a gate) of the course.
struct MarkRounding {
    std::string Mark;            // its name
    int Lap = 1;                 // from 1
    std::size_t Place = 0;       // in the course's sequence (Course::Sequence)
    double ElapsedSeconds = 0;   // from the boat's gun
    double CorrectedSeconds = 0; // ElapsedSeconds x Lys, or under the race's handicap system
    int Rank = 0;                // among the boats that rounded it, by corrected time as the finish ranks
};

// One boat's result.
struct BoatResult {
    int Rank = 0;          // 1 up; boats with equal corrected times as shown share one; 0: did not finish
    bool Finished = false; // it crossed the line after its start (and every mark)
    RaceStatus Status = RaceStatus::Dnf;
    std::string MissedMark; // Status Missed: the first mark it did not round, and its lap
    int MissedLap = 0;
    bool Ocs = false;                     // on the course side of the start line at its gun
    std::optional<double> StartedSeconds; // its start crossing, seconds after the gun, with a start line
    std::vector<MarkRounding> Roundings;  // in the order sailed
    std::string Boat;                     // its track file as its race file entry writes it, blanks trimmed (bytes)
    std::string Name;                     // display name, as the legend shows it
    std::int32_t Colour = 0;
    double Lys = 0;
    // Under a handicap system of the course file other than LYS (racehandicap.h): the rating as
    // the tables show it ("1.025", "1.0377 623.4") and its numbers; empty under LYS (whose
    // rating, when the course file gives one, is Lys).
    std::string RatingShown;
    std::vector<double> Rating;
    double StartTime = 0;        // date value, the boat's own start
    double FinishTime = 0;       // date value, when Finished
    double ElapsedSeconds = 0;   // FinishTime - StartTime, when Finished
    double CorrectedSeconds = 0; // ElapsedSeconds x Lys (or the system's corrected time), when Finished
    long EntryLine = 0;          // line of the boat's entry in the race file
    std::string TrackPath;       // the track file as opened (ResolveTrackFile)
};

// Ranks boats in place: finishers first, by corrected time as shown (ShownSeconds; ties in
// their given order, which is the race file's), each given its rank, then the boats that
// did not finish in their given order, rank 0. Ranks every rounding likewise among the
// boats that rounded that place of the course.
void RankResults(std::vector<BoatResult>& results);

// "finished", "DNF", "OCS", "missed W lap 2".
std::string StatusText(const BoatResult& result);

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
// The same by a course (courseprogress.h): a course of a finish line alone gives exactly the
// results of its finish line. Throws Error too when the course has no finish line. Corrected
// times are those of the race's handicap (racehandicap.h): the handicap lines `handicap`
// (null: the course file's), time-on-distance taking this course's length without a
// distance line; throws Error as ApplyRaceHandicap.
std::vector<BoatResult> RaceResults(const std::string& raceFileName, const Course& course,
                                    const std::function<void(const std::string&)>& onWarning = {},
                                    std::shared_ptr<const HandicapLines> handicap = nullptr);

// The results as text: the columns of the CSV and the texts of its fields.
inline constexpr std::array<std::string_view, 9> kResultColumns{"rank",    "boat",      "lys",  "start", "finish",
                                                                "elapsed", "corrected", "file", "status"};
inline constexpr std::string_view kDidNotFinishText = "DNF";
inline constexpr std::string_view kOcsText = "OCS";

// The nine texts of a result, in UTF-8: rank (empty without one), boat (its display name,
// as the legend shows it), LYS (ShortNumberText; the rating under another system), start (the gun) and finish
// "YYYY-MM-DD hh:mm:ss" (the finish rounded to the nearest second), elapsed and corrected "h:mm:ss" (DurationText), the
// track file as its entry names it, and the status (StatusText); "OCS" in finish, elapsed and corrected for a boat that
// never started, "DNF" for any other boat that did not finish. Names are taken as Latin-1 when their bytes are no
// UTF-8.
std::array<std::string, 9> ResultTexts(const BoatResult& result);

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

// The CSV: the header line `rank,boat,lys,start,finish,elapsed,corrected,file,status` (`rating`
// in place of `lys` when the results hold ratings of another system), then one line
// per result in the order given; fields holding a comma, a quote or a line break are
// quoted (RFC 4180: in double quotes, a quote doubled); UTF-8 without a byte order mark,
// every line ended by CR LF.
std::string ResultsCsv(const std::vector<BoatResult>& results);

// Writes ResultsCsv to `path` atomically (OutputFile). Throws Error naming the file as
// kResultsFileWhat.
inline constexpr const char* kResultsFileWhat = "the results file";
void SaveResultsCsv(const QString& path, const std::vector<BoatResult>& results);

} // namespace tideplot
