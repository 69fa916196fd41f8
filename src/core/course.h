#pragma once

#include "results.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The race course: the start line, the marks and gates in the order a lap sails them, the
// laps and the finish line. One model that the course file reads and writes, and that the
// results, the leaderboard and the course proposal work with.
//
// Both lines keep the finish line's direction rule (results.h): standing at P1 and looking at
// P2, a boat crosses from the left to the right. The left of the start line is its pre-start
// side, the right its course side.
namespace tideplot {

// The side a boat leaves a mark on: port, the mark on its left; starboard, on its right.
enum class MarkSide { Port, Starboard };

// "port", "starboard".
std::string_view MarkSideName(MarkSide side);

// A mark, or a gate: two buoys a boat passes between. Positions in decimal degrees, north
// and east positive.
struct CourseMark {
    std::string Name; // one word
    bool Gate = false;
    MarkSide Side = MarkSide::Port; // a mark's; a gate has none
    double Lat = 0;                 // the mark; a gate's first buoy
    double Lon = 0;
    double Lat2 = 0; // a gate's second buoy
    double Lon2 = 0;

    // Where the legs to and from it run: the mark, or the middle of the gate.
    double PointLat() const { return Gate ? (Lat + Lat2) / 2 : Lat; }
    double PointLon() const;

    bool operator==(const CourseMark&) const = default;
};

// One place in the course: the mark (an index into Course::Marks) and the lap, from 1.
struct CourseLeg {
    std::size_t Mark = 0;
    int Lap = 1;
};

struct Course {
    std::optional<FinishLine> Start;
    std::optional<FinishLine> Finish;
    std::vector<CourseMark> Marks; // in the order of the course file
    // One lap, as indices into Marks in the order they are sailed (a mark may come twice);
    // empty: the marks in the order of the file.
    std::vector<std::size_t> Order;
    int Laps = 1;

    // A course of a finish line alone: the results are those of the finish line, the first
    // crossing after the boat's own start.
    bool FinishOnly() const { return !Start && Marks.empty(); }
    // One lap: Order, or every mark in file order.
    std::vector<std::size_t> Lap() const;
    // Every mark of every lap, in the order they are sailed.
    std::vector<CourseLeg> Sequence() const;
    // The index of the mark or gate named `name`, or nothing.
    std::optional<std::size_t> Find(std::string_view name) const;

    bool operator==(const Course&) const = default;
};

// The most laps a course file may give.
inline constexpr int kMaxLaps = 1000;

// The lines of the course file that say the course, in this order: "start ...", each
// "mark NAME LAT LON SIDE" and "gate NAME LAT1 LON1 LAT2 LON2", "course NAME ..." when the
// lap is not the marks in file order, "laps N" when more than 1, "finish ...". Numbers are
// the shortest plain decimals that read back exactly.
std::vector<std::string> CourseTextLines(const Course& course);

// The length of the course in nautical miles along its legs: from the middle of the start
// line (or the first mark) round every mark of every lap to the middle of the finish line,
// each leg by plane sailing. 0 without marks.
double CourseDistanceNm(const Course& course);

// The middle of a line, the difference of longitude taken the short way round.
double LineMiddleLat(const FinishLine& line);
double LineMiddleLon(const FinishLine& line);

// The distance in nautical miles between two positions by plane sailing (the mid-latitude's
// cosine scaling the difference of longitude, taken the short way round).
double PlaneDistanceNm(double lat1, double lon1, double lat2, double lon2);

} // namespace tideplot
