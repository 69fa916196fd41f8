// The course's rules: a mark's rounding line and which crossings of it round the mark, and
// boats sailing a course of two laps (the start, OCS, roundings, loops, the finish), on
// tracks laid out in metres round the marks.
#include "core/course.h"
#include "core/courseprogress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

namespace tideplot {
namespace {

// Metres east and north of 57.6 N 11.5 E.
struct Xy {
    double x = 0;
    double y = 0;
};
constexpr double kMetresPerDegree = 60 * 1852.0;
double Lat(Xy p)
{
    return 57.6 + p.y / kMetresPerDegree;
}
double Lon(Xy p)
{
    return 11.5 + p.x / (kMetresPerDegree * std::cos(57.6 * std::numbers::pi / 180));
}

CourseMark Mark(const char* name, Xy at, MarkSide side)
{
    CourseMark mark;
    mark.Name = name;
    mark.Side = side;
    mark.Lat = Lat(at);
    mark.Lon = Lon(at);
    return mark;
}

TEST(RoundingLine, CrossingsLeaveTheMarkOnItsSide)
{
    CourseMark gate = Mark("G", {-50, 0}, MarkSide::Port);
    gate.Gate = true;
    gate.Lat2 = Lat({50, 0});
    gate.Lon2 = Lon({50, 0});
    const CourseMark port = Mark("W", {0, 0}, MarkSide::Port), starboard = Mark("W", {0, 0}, MarkSide::Starboard);
    struct Case {
        const char* what;
        CourseMark mark;
        Xy from, to; // the legs in (from there) and out (to there)
        Xy a, b;     // the piece of track
        int sense;   // 0: no crossing
        double fraction;
    };
    const Xy below{0, -1000}, above{0, 1000}, west{-1000, 0};
    // Bent 30 degrees to starboard at a port mark: passed on its east side, the line leaving it
    // half way between the legs' directions there; turned 120 degrees to starboard: round it the
    // long way, the line leaving it north-north-west (bearing 330).
    const double c30 = std::cos(std::numbers::pi / 6), s30 = 0.5;
    const Xy bent{1000 * s30, 1000 * c30}, turned{1000 * c30, -1000 * s30};
    const double eastY = 20 * (c30 - 1) / s30;
    const Xy onNnw{-10, 10 * std::sqrt(3.0)}, across{10 * c30, 10 * s30};
    const Case cases[] = {
        {"port, windward: right to left above the mark", port, below, below, {10, 20}, {-10, 20}, 1, 0.5},
        {"port, windward: left to right, the wrong way round", port, below, below, {-10, 20}, {10, 20}, -1, 0.5},
        {"port, windward: below the mark is no crossing", port, below, below, {10, -20}, {-10, -20}, 0, 0},
        {"starboard, windward: right to left is the wrong way", starboard, below, below, {10, 20}, {-10, 20}, -1, 0.5},
        {"starboard, windward: left to right", starboard, below, below, {-10, 20}, {10, 20}, 1, 0.5},
        {"between two fixes, three quarters of the way", port, below, below, {30, 20}, {-10, 20}, 1, 0.75},
        {"a turn to port of 90 degrees: the line leaves north-east", port, below, west, {20, 5}, {5, 20}, 1, 0.5},
        {"that turn, cutting inside the mark", port, below, west, {-5, -20}, {-20, -5}, 0, 0},
        {"legs in one line, port: the line leaves to the right", port, below, above, {20, -5}, {20, 5}, 1, 0.5},
        {"legs in one line, port: passing on the left is no crossing", port, below, above, {-20, -5}, {-20, 5}, 0, 0},
        {"a fix on the line: counted coming from the right", port, below, below, {10, 20}, {0, 20}, 1, 1},
        {"a fix on the line: leaving it to the left is no second crossing",
         port,
         below,
         below,
         {0, 20},
         {-10, 20},
         0,
         0},
        {"bent away from a port mark: passed on its east side",
         port,
         below,
         bent,
         {20, eastY - 10},
         {20, eastY + 10},
         1,
         0.5},
        {"bent away from a port mark: its west side is no passing", port, below, bent, {-20, -10}, {-20, 10}, 0, 0},
        {"turned far away from a port mark: round it the long way",
         port,
         below,
         turned,
         {onNnw.x + across.x, onNnw.y + across.y},
         {onNnw.x - across.x, onNnw.y - across.y},
         1,
         0.5},
        {"a gate crossed northwards", gate, below, above, {0, -10}, {0, 10}, 1, 0.5},
        {"a gate crossed southwards", gate, below, above, {0, 10}, {0, -10}, 1, 0.5},
        {"outside a gate's buoys", gate, below, above, {60, -10}, {60, 10}, 0, 0},
    };
    for (const Case& c : cases) {
        const RoundingLine line(c.mark, Lat(c.from), Lon(c.from), Lat(c.to), Lon(c.to));
        const auto crossing = line.Cross(Lat(c.a), Lon(c.a), Lat(c.b), Lon(c.b));
        ASSERT_EQ(crossing.has_value(), c.sense != 0) << c.what;
        if (crossing) {
            EXPECT_EQ(crossing->Sense, c.sense) << c.what;
            EXPECT_NEAR(crossing->Fraction, c.fraction, 1e-6) << c.what;
        }
    }
}

// A track along waypoints at a steady speed, a fix every two seconds, timed so that it passes
// waypoint `anchor` at `anchorSeconds` after the gun; a waypoint may be a circle's arc round
// a mark, written as the points of its quarters.
struct Track {
    std::vector<Xy> points;
    std::size_t anchor = 0;
    double anchorSeconds = 0;
    double metresPerSecond = 3;

    std::vector<double> Along() const
    {
        std::vector<double> along{0};
        for (std::size_t i = 1; i < points.size(); ++i)
            along.push_back(along.back() + std::hypot(points[i].x - points[i - 1].x, points[i].y - points[i - 1].y));
        return along;
    }
    // When the boat passes waypoint i.
    double TimeAt(std::size_t i) const { return anchorSeconds + (Along()[i] - Along()[anchor]) / metresPerSecond; }

    std::vector<TimedPosition> Fixes() const
    {
        const std::vector<double> along = Along();
        const double t0 = anchorSeconds - along[anchor] / metresPerSecond;
        std::vector<TimedPosition> fixes;
        std::size_t i = 0;
        for (double t = std::ceil(t0 / 2) * 2; (t - t0) * metresPerSecond <= along.back(); t += 2) {
            const double s = (t - t0) * metresPerSecond;
            while (i + 2 < points.size() && along[i + 1] < s)
                ++i;
            const double f = (s - along[i]) / (along[i + 1] - along[i]);
            const Xy p{points[i].x + f * (points[i + 1].x - points[i].x),
                       points[i].y + f * (points[i + 1].y - points[i].y)};
            fixes.push_back({Lat(p), Lon(p), t});
        }
        return fixes;
    }
};

// Round a mark at (0, y) to port, on a circle of 15 m in eight steps: W going up its east
// side and over the top, L going down its west side and under it.
void RoundW(std::vector<Xy>& p, double y, int quarterTurns = 2)
{
    for (int i = 0; i <= 4 * quarterTurns; ++i) {
        const double a = i * std::numbers::pi / 8;
        p.push_back({15 * std::cos(a), y + 15 * std::sin(a)});
    }
}
void RoundL(std::vector<Xy>& p, double y)
{
    for (int i = 0; i <= 8; ++i) {
        const double a = std::numbers::pi + i * std::numbers::pi / 8;
        p.push_back({15 * std::cos(a), y + 15 * std::sin(a)});
    }
}

// The start line along y = 0 (its pre-start side the south), W 1000 m up and L 50 m below it,
// both to port, two laps, the finish on the start line: crossed northwards on every beat.
Course TwoLaps()
{
    Course course;
    course.Start = FinishLine{Lat({100, 0}), Lon({100, 0}), Lat({-100, 0}), Lon({-100, 0})};
    course.Finish = course.Start;
    course.Marks = {Mark("W", {0, 1000}, MarkSide::Port), Mark("L", {0, -50}, MarkSide::Port)};
    course.Laps = 2;
    return course;
}

// Two laps sailed cleanly from a start at (10, 0) 10 s after the gun; `lap1W` and `lap2W` sail
// the windward marks (RoundW unless replaced). The pre-start passes under L, across its line.
std::vector<Xy> Laps(const std::function<void(std::vector<Xy>&)>& lap1W = {},
                     const std::function<void(std::vector<Xy>&)>& lap2W = {})
{
    std::vector<Xy> p{{-60, -80}, {40, -80}, {10, -30}, {10, 0}};
    for (int lap = 1; lap <= 2; ++lap) {
        p.push_back({15, 900});
        const auto& w = lap == 1 ? lap1W : lap2W;
        if (w)
            w(p);
        else
            RoundW(p, 1000);
        p.push_back({-15, 0});
        RoundL(p, -50);
    }
    p.push_back({15, 60});
    return p;
}

struct Sailed {
    RaceStatus status;
    bool ocs;
    std::optional<double> start;
    std::size_t roundings;
    bool finished;
};

Sailed Sail(const Course& course, const std::vector<TimedPosition>& fixes)
{
    CourseProgress boat(std::make_shared<const CourseGeometry>(course));
    for (const TimedPosition& fix : fixes)
        boat.Observe(fix);
    return {boat.Status(), boat.Ocs(), boat.StartCrossing(), boat.Roundings().size(), boat.Finished()};
}

// Up W's west side and over the top clockwise: W left to starboard.
void WrongWay(std::vector<Xy>& p)
{
    p.back().x = -15;
    for (int i = 8; i >= 0; --i)
        p.push_back({15 * std::cos(i * std::numbers::pi / 8), 1000 + 15 * std::sin(i * std::numbers::pi / 8)});
    p.push_back({15, 900});
}

// The wrong way, back over the top again (undone), then round it.
void BackAndRound(std::vector<Xy>& p)
{
    WrongWay(p);
    p.pop_back();
    RoundW(p, 1000);
    p.push_back({-15, 950});
    p.push_back({15, 950});
    RoundW(p, 1000);
}

// Up W's west side and back down it, short of the mark: it cuts W, crossing no line of it.
void CutShort(std::vector<Xy>& p)
{
    p.back().x = -15;
    p.push_back({-15, 990});
    p.push_back({-40, 960});
}

TEST(CourseProgress, BoatsSailingTwoLaps)
{
    const auto wrongWay = WrongWay;
    const auto backAndRound = BackAndRound;
    const auto loop = [](std::vector<Xy>& p) { RoundW(p, 1000, 6); }; // one and a half times round
    // Over the line at the gun, 20 m up: back below it and across at 20 s, or on up the beat.
    const std::vector<Xy> laps = Laps();
    std::vector<Xy> ocsBack{{10, 35}, {10, 20}, {10, -20}, {10, 0}}, ocsOn{{10, 35}, {10, 20}};
    ocsBack.insert(ocsBack.end(), laps.begin() + 4, laps.end());
    ocsOn.insert(ocsOn.end(), laps.begin() + 4, laps.end());
    struct Case {
        const char* what;
        Track track;
        Sailed sailed;
    };
    const Case cases[] = {
        {"two clean laps: no finish after the first", {Laps(), 3, 10}, {RaceStatus::Finished, false, 10, 4, true}},
        {"W left to starboard on lap 1", {Laps(wrongWay), 3, 10}, {RaceStatus::Missed, false, 10, 0, false}},
        {"W on the wrong side, then back round it",
         {Laps(backAndRound), 3, 10},
         {RaceStatus::Finished, false, 10, 4, true}},
        {"W cut short on lap 1, rounded on lap 2: missed on lap 1, sailed on round L",
         {Laps(CutShort), 3, 10},
         {RaceStatus::Missed, false, 10, 0, false}},
        {"a loop and a half round W", {Laps(loop), 3, 10}, {RaceStatus::Finished, false, 10, 4, true}},
        {"the track ends on the run: DNF",
         {{laps.begin(), laps.begin() + 15}, 3, 10},
         {RaceStatus::Dnf, false, 10, 1, false}},
        {"OCS, back and started", {ocsBack, 1, 0}, {RaceStatus::Finished, true, 20, 4, true}},
        {"OCS, sailed on round W: no start on a later beat",
         {ocsOn, 1, 0},
         {RaceStatus::Ocs, true, std::nullopt, 0, false}},
    };
    for (const Case& c : cases) {
        const Sailed s = Sail(TwoLaps(), c.track.Fixes());
        EXPECT_EQ(s.status, c.sailed.status) << c.what;
        EXPECT_EQ(s.ocs, c.sailed.ocs) << c.what;
        ASSERT_EQ(s.start.has_value(), c.sailed.start.has_value()) << c.what;
        if (s.start) {
            EXPECT_NEAR(*s.start, *c.sailed.start, 1e-6) << c.what;
        }
        EXPECT_EQ(s.roundings, c.sailed.roundings) << c.what;
        EXPECT_EQ(s.finished, c.sailed.finished) << c.what;
    }
}

// The rounding is the crossing that leaves the mark on its side at last: not the one that
// undoes a wrong way round it, nor a crossing of L's line before its turn.
TEST(CourseProgress, TheRoundingIsTheCrossingThatCompletesIt)
{
    const Track track{Laps(BackAndRound), 3, 10};
    // Above W: passed clockwise, undone, rounded; then lap 2's.
    std::vector<std::size_t> aboveW;
    for (std::size_t i = 0; i < track.points.size(); ++i)
        if (std::fabs(track.points[i].x) < 1e-9 && std::fabs(track.points[i].y - 1015) < 1e-9)
            aboveW.push_back(i);
    ASSERT_EQ(aboveW.size(), 4u);
    const std::size_t last = aboveW[2], undo = aboveW[1];
    CourseProgress boat(std::make_shared<const CourseGeometry>(TwoLaps()));
    for (const TimedPosition& fix : track.Fixes())
        boat.Observe(fix);
    ASSERT_EQ(boat.Roundings().size(), 4u);
    EXPECT_NEAR(boat.Roundings()[0], track.TimeAt(last), 1.0) << "undone at " << track.TimeAt(undo);
    const std::size_t l1 = std::find_if(track.points.begin() + last, track.points.end(),
                                        [](const Xy& p) { return std::fabs(p.x) < 1e-9 && p.y < -50; }) -
                           track.points.begin();
    EXPECT_NEAR(boat.Roundings()[1], track.TimeAt(l1), 1.0);
}

} // namespace
} // namespace tideplot
