// The replay engine on the cases the reference races (tests/app/reference_test.cpp) do not
// reach or do not single out: a countdown kept across replays, handicaps worked by hand, gaps
// of exactly five minutes, latitude-0 lines, a last line without a break; and the warnings of
// starts that a track misses.
#include "core/error.h"
#include "core/racecheck.h"
#include "core/replay.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tideplot {
namespace {

using testing::Hms;
using testing::TempDir;

constexpr double kSecond = 1.0 / 86400;

struct Panel : ControlPanel {
    std::string PointPlotText() override { return points; }
    std::string ResolutionText() override { return resolution; }
    std::string TrackInfoCaption(int row) override { return captions.at(static_cast<std::size_t>(row)); }
    void SetTrackInfo(int row, const std::string& caption, std::uint32_t) override
    {
        captions.at(static_cast<std::size_t>(row)) = caption;
    }
    void SetRaceTime(const std::string&) override {}
    void SetDistance(int row, const std::string& text) override { distances.at(static_cast<std::size_t>(row)) = text; }
    std::string points = "90";
    std::string resolution = "10";
    std::array<std::string, 7> captions;
    std::array<std::string, 7> distances;
};

struct Segment {
    std::string name;
    TrackPoint from, to;
    int width;
};

struct Plotter : TrackPlotter {
    void PlotTrackSegment(const std::string& name, const TrackPoint& from, const TrackPoint& to, std::int32_t,
                          std::int16_t width) override
    {
        segments.push_back({name, from, to, width});
    }
    void FrameCamera(const TrackPoint&, const TrackPoint&) override {}
    std::vector<Segment> segments;
};

// A track heading north from 57 N 11 E at 0.001 degrees a minute, one point every
// `every` seconds from `from` to `to` seconds after 10:00 on 2008-06-21.
std::vector<std::string> NorthTrack(int from, int to, int every)
{
    std::vector<std::string> lines{"lat,lon,date,time"};
    for (int s = from; s <= to; s += every) {
        char line[96];
        std::snprintf(line, sizeof line, "%.7f,11.0000000,20080621,%s", 57 + s / 60.0 * 0.001, Hms(36000 + s).c_str());
        lines.emplace_back(line);
    }
    return lines;
}

class ReplayEngine : public ::testing::Test {
protected:
    void load(const std::vector<std::string>& entries)
    {
        state.RaceFileName = dir.write("race.TP1", entries);
        state.RaceClock = kRaceClockAtStart;
        StartReplay(state, panel);
    }
    // Runs steps until the race clock reaches `seconds` (the step at that clock included).
    void runUntil(double seconds)
    {
        while (state.RaceClock < seconds * kSecond - 1e-9)
            ReplayStep(state, panel, plotter);
        ReplayStep(state, panel, plotter);
    }
    TempDir dir;
    RaceState state;
    Panel panel;
    Plotter plotter;
};

TEST_F(ReplayEngine, CorrectedTimePlacesEachBoatByItsLys)
{
    // At race clock 1 hour, LYS 1.2 shows the boat 50 minutes after its start and
    // LYS 0.8 75 minutes after it.
    dir.write("a.txt", NorthTrack(0, 7200, 60));
    dir.write("b.txt", NorthTrack(0, 7200, 60));
    load({"a.txt , 2008-06-21 10:00:00 , 1.2 , 0 , ,", "b.txt , 2008-06-21 10:00:00 , 0.8 , 500 , ,"});
    state.RaceClock = 1.0 / 24 - 30 * 10 * kSecond;
    for (int i = 0; i <= 30; ++i)
        ReplayStep(state, panel, plotter);
    ASSERT_GE(plotter.segments.size(), 2u);
    const auto n = plotter.segments.size();
    EXPECT_NEAR(plotter.segments[n - 2].to.Lat, 57.050, 1e-9);
    EXPECT_NEAR(plotter.segments[n - 1].to.Lat, 57.075, 1e-9);
    EXPECT_NEAR(plotter.segments[0].to.Lon, 11, 1e-12);
}

TEST_F(ReplayEngine, WidePlotRhythmAndCountdownKeptAcrossReplays)
{
    dir.write("a.txt", NorthTrack(-600, 3600, 5));
    load({"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    panel.points = "3";
    // Width 1 while the clock is 0 or less; from the first step above 0 every third
    // step is wide. (Ten-second steps from minus five minutes add up to a clock a
    // hair above 0 at the step shown as 00:00:00.)
    std::vector<int> widths;
    int countdown = 0;
    for (int i = 0; i < 40; ++i) {
        const double clock = state.RaceClock;
        const auto before = plotter.segments.size();
        ReplayStep(state, panel, plotter);
        --countdown;
        int width = 1;
        if (clock > 0 && countdown <= 0) {
            countdown = 3;
            width = 5;
        }
        if (plotter.segments.size() > before) {
            EXPECT_EQ(plotter.segments.back().width, width) << "step " << i + 1 << " clock " << clock;
            widths.push_back(width);
        }
    }
    EXPECT_GE(std::count(widths.begin(), widths.end(), 5), 3);

    // A new replay keeps the countdown: 2 steps were left, and they run down before the start.
    const std::int16_t left = state.PlotCountdown;
    state.RaceClock = kRaceClockAtStart;
    StartReplay(state, panel);
    ReplayStep(state, panel, plotter);
    EXPECT_EQ(state.PlotCountdown, left - 1);
}

TEST_F(ReplayEngine, GapOfFiveMinutesOrMoreDrawsNothing)
{
    // Points 299 s apart draw, 300 s apart don't: one boat each.
    std::vector<std::string> near{"h"}, far{"h"};
    for (int i = 0; i <= 6; ++i) {
        near.push_back("57." + std::to_string(100 + i) + ",11.5,20080621," + Hms(36000 + i * 299));
        far.push_back("57." + std::to_string(100 + i) + ",11.5,20080621," + Hms(36000 + i * 300));
    }
    dir.write("near.txt", near);
    dir.write("far.txt", far);
    load({"near.txt , 2008-06-21 10:00:00 , 1 , 0 , ,", "far.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    panel.resolution = "60";
    runUntil(1500);
    const auto nearCount = std::count_if(plotter.segments.begin(), plotter.segments.end(),
                                         [](const Segment& s) { return s.name.rfind("near", 0) == 0; });
    EXPECT_GT(nearCount, 10);
    EXPECT_EQ(plotter.segments.size(), static_cast<std::size_t>(nearCount)) << "far.txt drew across its gaps";
}

TEST_F(ReplayEngine, LatitudeZeroLinesAreNeverNextPointWhileLinesRemain)
{
    dir.write("a.txt", {"h", "57.0,11.0,20080621,100000", "0,0,20080621,100010", ",,,", "57.2,11.0,20080621,100020",
                        "0,11.5,20080621,100030"});
    load({"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    panel.resolution = "5";
    state.RaceClock = 2 * kSecond;
    ReplayStep(state, panel, plotter); // h = 2 s: previous 10:00:00, next 10:00:20
    // The line that was next becomes the previous one once per step: the lines read
    // on the way are not used.
    EXPECT_EQ(state.NextPoint[2].Lat, 57.2);
    EXPECT_EQ(state.PrevPoint[2].Lat, 0);
    ReplayStep(state, panel, plotter); // h = 7 s
    ReplayStep(state, panel, plotter); // h = 12 s
    EXPECT_EQ(state.NextPoint[2].Lat, 57.2);
    ReplayStep(state, panel, plotter); // h = 17 s
    ReplayStep(state, panel, plotter); // h = 22 s: the last line is taken although its latitude is 0
    EXPECT_EQ(state.NextPoint[2].Lat, 0);
    EXPECT_EQ(state.NextPoint[2].Lon, 11.5);
    EXPECT_TRUE(AllTrackFilesAtEnd(state));
}

TEST_F(ReplayEngine, LastLineIsReadWithOrWithoutALineBreak)
{
    dir.writeBytes("cr.txt", "h\r57.0,11.0,20080621,100000\r57.05,11.0,20080621,100020\r57.1,11.0,20080621,100100");
    dir.writeBytes("lf.txt", "h\n57.0,11.0,20080621,100000\n57.05,11.0,20080621,100020\n57.1,11.0,20080621,100100\n");
    load({"cr.txt , 2008-06-21 10:00:00 , 1 , 0 , ,", "lf.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    panel.resolution = "30";
    state.RaceClock = 0;
    ReplayStep(state, panel, plotter);
    EXPECT_FALSE(AllTrackFilesAtEnd(state));
    ReplayStep(state, panel, plotter); // h = 30 s: the last line is read, the file is at its end
    EXPECT_TRUE(AllTrackFilesAtEnd(state));
    EXPECT_EQ(state.NextPoint[2].Lat, 57.1);
    EXPECT_EQ(state.NextPoint[3].Lat, 57.1);
}

// Distances are measured to the first boat; while it has no point the texts stay empty.
TEST_F(ReplayEngine, DistancesStayEmptyWhileTheFirstBoatHasNoPoint)
{
    dir.write("a.txt", {"# no fix", "h"});
    dir.write("b.txt", NorthTrack(-605, 595, 10));
    load({"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,", "b.txt , 2008-06-21 10:00:00 , 1 , 0 , ,",
          "b.txt , 2008-06-21 10:00:30 , 1 , 0 , ,"});
    runUntil(120);
    EXPECT_EQ(panel.distances[1], "");
    EXPECT_EQ(panel.distances[2], "");
    EXPECT_GT(plotter.segments.size(), 20u);
}

// A race that cannot load closes the track files it had opened.
TEST_F(ReplayEngine, FailedLoadLeavesNoTrackFileOpen)
{
    dir.write("a.txt", NorthTrack(0, 60, 10));
    EXPECT_THROW(load({"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,", "missing.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"}),
                 Error);
    for (const auto& file : state.TrackFile)
        EXPECT_EQ(file, nullptr);
}

// A boat whose track has no fix in the hour after its start is named with its start, its
// track's first and last times and the question of time zones; a covered start gives
// nothing. Only the ends of each file are read.
TEST_F(ReplayEngine, StartTimeWarningsNameEachBoatWhoseTrackMissesItsStart)
{
    auto noFixAtTheEnd = NorthTrack(-3600, -60, 60); // ends before the start, then 200 KiB of lines without a fix
    for (int i = 0; i < 8000; ++i)
        noFixAtTheEnd.push_back("0,0,20080621,120000");
    auto garbageAround = NorthTrack(-600, 600, 60);
    garbageAround.insert(garbageAround.begin() + 1, "0,0,20080621,095000");
    garbageAround.push_back("end of log");
    garbageAround.push_back("");
    struct Case {
        std::string name;
        std::vector<std::string> lines;
        std::string eol;
        std::string warning; // empty: none
    };
    const std::vector<Case> cases = {
        {"covers.txt", NorthTrack(-600, 7200, 60), "\r\n", ""},
        {"late59.txt", NorthTrack(3599, 7200, 60), "\n", ""},
        {"garbage.txt", garbageAround, "\r", ""},
        {"local.txt", NorthTrack(-7200, -1, 1), "\r\n",
         "boat \"local.txt\" (race.TP1, line 4) starts at 2008-06-21 10:00:00, but its track \"local.txt\" runs from "
         "2008-06-21 08:00:00 to 2008-06-21 09:59:59, ending before the start: are the start time and the track in "
         "the same time zone?"},
        {"late61.txt", NorthTrack(3601, 7200, 60), "\r\n",
         "runs from 2008-06-21 11:00:01 to 2008-06-21 11:59:01, starting more than an hour after the start: are the "
         "start time and the track in the same time zone?"},
        {"tail.txt", noFixAtTheEnd, "\n", "runs from 2008-06-21 09:00:00 to 2008-06-21 09:59:00, ending before"},
        {"nofix.txt",
         {"h", "0,0,20080621,100000", "", "no position"},
         "\r\n",
         "boat \"nofix.txt\" (race.TP1, line 7) starts at 2008-06-21 10:00:00, but its track \"nofix.txt\" holds no "
         "fix"},
    };
    std::vector<std::string> entries;
    for (const auto& c : cases) {
        dir.write(c.name, c.lines, c.eol);
        entries.push_back(c.name + " , 2008-06-21 10:00:00 , 1 , 0 , ,");
    }
    load(entries);
    const auto warnings = StartTimeWarnings(state);
    std::size_t next = 0;
    for (const auto& c : cases) {
        if (c.warning.empty())
            continue;
        ASSERT_LT(next, warnings.size()) << "no warning for " << c.name;
        EXPECT_NE(warnings[next].find(c.warning), std::string::npos) << c.name << "\n" << warnings[next];
        EXPECT_NE(warnings[next].find(c.name), std::string::npos) << warnings[next];
        ++next;
    }
    EXPECT_EQ(next, warnings.size()) << warnings.back();
}

} // namespace
} // namespace tideplot
