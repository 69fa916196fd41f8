#pragma once

#include "course.h"
#include "results.h"
#include "trackfixes.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A boat sailing the course: its start, its roundings of the marks and its finish, from its
// positions one after another, by these rules.
//
// Start. With a start line, a boat starts at its first crossing of the start line in its
// direction (results.h: from the left of P1->P2 to its right) at or after the gun, its own
// start time. A boat on the course side (the right of the line through P1 and P2, extended)
// at its gun, its position there interpolated between the positions either side, is OCS: it
// starts when it has been back on the pre-start side and crosses again, which the crossing
// from the left already says. A boat must start before it rounds the first mark: one that
// rounds it without having started has sailed on and starts no more (an OCS boat that sails
// the course crosses the start line again on later beats; that is no start). Its position at
// its gun is not known when its track begins after the gun: it is not OCS then. Without a
// start line a boat starts at the gun.
//
// Rounding a mark. After its start, or the mark before, a boat rounds a mark when it crosses
// the mark's rounding line leaving the mark on the side the course names: the half-line from
// the mark along the bisector of the leg in and the leg out, away from the inside of the turn
// (the direction in - out of the legs' unit vectors: it points through the middle of the
// boat's turn round the mark). The leg in comes from the mark before (the middle of the start
// line for the first mark; without a start line, the boat's first position at or after the
// gun), the leg out goes to the next mark (the middle of the finish line after the last).
// Where the legs bend away from the mark's side by less than a right angle (a mark to port
// where the course bends to starboard), the mark is passed, not rounded: its line is the
// half-line on the side the boat passes, along the bisector too (out - in), as the racing
// rules' string passes each mark on its side and touches only the marks it rounds (rule 28.2).
// Crossing the half-line counter-clockwise round the mark leaves it to port, clockwise to
// starboard. A boat may sail loops: each crossing in the named sense counts +1, each the
// other way -1, and the mark is rounded when the count since the mark before reaches +1, as
// a string along the track, drawn taut, must lie round the mark on its side (the racing
// rules' string test). So a boat that passes a mark on the wrong side and comes back round
// it rounds it; one that goes on has missed it, whatever it rounds later: once it rounds the
// mark after the one it missed (or crosses the finish line after its last rounding), it has
// sailed on without it, and is scored as having missed it. Where the legs in and out lie in
// one straight line the half-line points square to them, to the side the boat passes on. A gate is passed by crossing
// the segment between its buoys, either way.
//
// Finish. A boat finishes at its first crossing of the finish line after its start and every
// mark of every lap, in order. Each moment is the crossing interpolated between the
// positions either side, and must come after the one before (strictly).
//
// The geometry of a mark's line: positions in a flat plane at the mark, in metres east and
// north, as plane sailing measures (geometry.h).
namespace tideplot {

struct RaceHandicap;

// The line a boat crosses to round a mark or pass a gate.
class RoundingLine {
public:
    // The line of `mark` between the leg in, arriving from (fromLat, fromLon), and the leg out,
    // leaving for (toLat, toLon).
    RoundingLine(const CourseMark& mark, double fromLat, double fromLon, double toLat, double toLon);

    struct Crossing {
        int Sense = 0;       // +1 leaving the mark on its side (a gate: either way), -1 the other way
        double Fraction = 0; // along the piece, 0 up to 1
    };
    // Whether the piece of track from (lat0, lon0) to (lat1, lon1) crosses the line. A
    // position on the line counts on the side a mark's port-going (counter-clockwise) crossing
    // goes to, so every crossing is counted once.
    std::optional<Crossing> Cross(double lat0, double lon0, double lat1, double lon1) const;

    // The half-line's direction, degrees true; a gate's, from its first buoy to its second.
    double BearingDeg() const;
    // The distance in nautical miles to the mark, or to the nearest point of the gate.
    double DistanceNm(double lat, double lon) const;

private:
    struct Point {
        double x = 0;
        double y = 0;
    };
    Point ToPlane(double lat, double lon) const;

    double lat0_ = 0, lon0_ = 0, lonScale_ = 1;
    bool gate_ = false;
    MarkSide side_ = MarkSide::Port;
    Point direction_; // a mark's: unit vector of the half-line; a gate's: buoy 2 - buoy 1
};

// A course made ready for boats to sail: every line's geometry, set up once and shared.
class CourseGeometry {
public:
    // Throws Error as CheckFinishLine for its lines, and when it has no finish line.
    explicit CourseGeometry(Course course);

    const Course& course() const { return course_; }
    const std::vector<CourseLeg>& sequence() const { return sequence_; }
    const std::optional<FinishLineGeometry>& start() const { return start_; }
    const FinishLineGeometry& finish() const { return *finish_; }
    // The rounding line of place i of the sequence; null for the first place without a start
    // line, whose leg in starts at each boat's own position (FirstRounding).
    const RoundingLine* rounding(std::size_t i) const { return rounding_[i] ? &*rounding_[i] : nullptr; }
    RoundingLine FirstRounding(double fromLat, double fromLon) const;
    // Nautical miles along the course from place i's mark (or gate middle) to the finish
    // line's middle; from the start line's middle for i = -1 (as a value one less than 0).
    double LegsAfterNm(std::size_t i) const { return legsAfter_.at(i); }
    double LegsFromStartNm() const { return legsFromStart_; }
    // The leg to place i: where it comes from (the mark or gate middle before, or the start
    // line's middle) and its length in nautical miles; nothing for the first place without a
    // start line.
    struct LegFrom {
        double Lat = 0;
        double Lon = 0;
        double Nm = 0;
    };
    std::optional<LegFrom> LegIn(std::size_t i) const;

private:
    Course course_;
    std::vector<CourseLeg> sequence_;
    std::optional<FinishLineGeometry> start_;
    std::optional<FinishLineGeometry> finish_;
    std::vector<std::optional<RoundingLine>> rounding_;
    std::vector<double> legsAfter_;
    double legsFromStart_ = 0;
};

// One boat on the course, fed its positions in time order. Times count from the boat's gun
// in any unit (seconds for the results, the race clock in days for the leaderboard).
class CourseProgress {
public:
    explicit CourseProgress(std::shared_ptr<const CourseGeometry> course);

    // The boat at `at`; positions come in increasing time.
    void Observe(const TimedPosition& at);
    // The boat has no position now (before its first fix): the next one starts a new piece.
    void NoPosition() { hasLast_ = false; }

    bool Started() const { return started_; }
    // The start crossing, with a start line.
    std::optional<double> StartCrossing() const { return startCrossing_; }
    bool Ocs() const { return ocs_; }
    // The moment of each place of the sequence rounded so far, in order.
    const std::vector<double>& Roundings() const { return roundings_; }
    bool Finished() const { return finished_; }
    double FinishTime() const { return finishTime_; }
    // How the boat stands once it has sailed all its positions: Missed names the place
    // Roundings().size() of the sequence.
    RaceStatus Status() const;
    // The course still to sail from the last position, in nautical miles: to the next mark or
    // gate (the start line before the start, the finish line after the last mark) and the
    // legs after it; 0 when finished, negative before a position.
    double RemainingNm() const;

private:
    void Piece(const TimedPosition& a, const TimedPosition& b);
    bool Start(const TimedPosition& a, const TimedPosition& b);
    bool NextEvent(const TimedPosition& a, const TimedPosition& b);
    const RoundingLine& NextLine() const;

    std::shared_ptr<const CourseGeometry> course_;
    std::optional<RoundingLine> firstLine_; // the first mark's without a start line
    bool hasLast_ = false;
    bool placed_ = false;
    TimedPosition last_;
    bool gunSeen_ = false;
    bool sailedOn_ = false; // round the first mark without a start
    bool started_ = false;
    bool ocs_ = false;
    std::optional<double> startCrossing_;
    double eventTime_ = 0;       // the start, or the last rounding: later moments come after it
    int winding_ = 0;            // the next mark's crossings since eventTime_, + in its sense
    int followingWinding_ = 0;   // the same of the mark after it
    bool sailedPast_ = false;    // rounded the mark after the next: the next is missed
    bool awayFromLast_ = false;  // half the leg away from where it comes from, since eventTime_
    bool finishCrossed_ = false; // the finish line crossed since eventTime_
    std::vector<double> roundings_;
    bool finished_ = false;
    double finishTime_ = 0;
};

// The live course for the leaderboard: each boat's position at every step of the replay, on
// the race clock in days (its gun at 0), sailing the course as it comes. Nothing is read
// from files. Between steps a boat is taken on the straight line from one step's position
// to the next, which cuts the corners of its track: the results from the fixes (RaceResults)
// are the exact ones.
class CourseWatch {
public:
    CourseWatch(std::shared_ptr<const CourseGeometry> course, int boatCount);

    // Boat k (0 up) stands at (lat, lon) at race clock `raceClockDays`; steps come in
    // increasing race clock. True when the boat finished in this step.
    bool Observe(int k, double lat, double lon, double raceClockDays);
    // Boat k has no position at this step (before its first fix): the next position starts
    // anew.
    void NoPosition(int k) { boats_.at(k).NoPosition(); }
    // Forgets every position and rounding (a seek back to the start).
    void Reset();

    bool Finished(int k) const { return boats_.at(k).Finished(); }
    // The race clock at which boat k finished, in days: its corrected time. 0 before.
    double FinishRaceClock(int k) const { return boats_.at(k).FinishTime(); }
    // The course boat k still has to sail, in nautical miles (CourseProgress::RemainingNm);
    // negative when it has had no position yet.
    double DistanceNm(int k) const { return boats_.at(k).RemainingNm(); }
    int BoatCount() const { return static_cast<int>(boats_.size()); }
    const CourseGeometry& course() const { return *course_; }

private:
    std::shared_ptr<const CourseGeometry> course_;
    std::vector<CourseProgress> boats_;
};

// A boat's finish from its track file, sailing the course as the results do (RaceResults:
// every fix, its time counted in whole seconds from the gun), read only as far as the race
// clock has come: the replay asks again and again as its clock goes on, and each fix is read
// once (the file is opened at the first question and closed at the finish or its end). So
// the leaderboard's finishes are the results' to the tenth of a second.
class TrackFinishReader {
public:
    TrackFinishReader(std::string trackFile, char sep, double startTime, double lys,
                      std::shared_ptr<const CourseGeometry> course)
        : path_(std::move(trackFile)), sep_(sep), start_(startTime), lys_(lys), progress_(std::move(course))
    {
    }
    // Under a handicap system (racehandicap.h) other than LYS alone: boat k of `handicap`.
    void setHandicap(std::shared_ptr<const RaceHandicap> handicap, int k)
    {
        handicap_ = std::move(handicap);
        boat_ = k;
    }
    // The boat's corrected time at the finish in seconds (elapsed x LYS, or the handicap's)
    // when it finished at or before `correctedSeconds` of race time (the race clock in
    // seconds); none otherwise. Throws Error as TrackFixReader, for the lines read.
    std::optional<double> FinishedBy(double correctedSeconds);

private:
    std::string path_;
    char sep_;
    double start_;
    double lys_;
    std::shared_ptr<const RaceHandicap> handicap_;
    int boat_ = 0;
    // The race clock (seconds) at an elapsed time, and the corrected time at the finish.
    double clockAt(double elapsedSeconds) const;
    double correctedAt(double elapsedSeconds) const;
    CourseProgress progress_;
    double lastSeconds_ = -1e300; // of the last fix read, from the gun
    std::unique_ptr<TrackFixReader> reader_;
    bool atEnd_ = false;
};

} // namespace tideplot
