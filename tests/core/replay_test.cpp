#include "core/datetime.h"
#include "core/error.h"
#include "core/replay.h"
#include "core/text.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace tideplot {
namespace {

using testing::Hms;
using testing::TempDir;

constexpr double kSecond = 1.0 / 86400;

struct Panel : ControlPanel {
    std::string PointPlotText() override { return points; }
    std::string ResolutionText() override { return resolution; }
    std::string TrackInfoCaption(int row) override { return captions.at(static_cast<std::size_t>(row)); }
    void SetTrackInfo(int row, const std::string& caption, std::uint32_t colour) override
    {
        events.push_back("legend " + std::to_string(row) + " " + std::to_string(colour) + " " + caption);
        captions.at(static_cast<std::size_t>(row)) = caption;
    }
    void SetRaceTime(const std::string& text) override { raceTimes.push_back(text); }
    void SetDistance(int row, const std::string& text) override
    {
        events.push_back("dst " + std::to_string(row) + " " + text);
        distances.at(static_cast<std::size_t>(row)) = text;
    }
    std::string points = "90";
    std::string resolution = "10";
    std::array<std::string, 7> captions;
    std::array<std::string, 7> distances;
    std::vector<std::string> raceTimes;
    std::vector<std::string> events;
};

struct Segment {
    std::string name;
    TrackPoint from, to;
    int colour, width;
};

struct Plotter : TrackPlotter {
    void PlotTrackSegment(const std::string& name, const TrackPoint& from, const TrackPoint& to, std::int32_t colour,
                          std::int16_t width) override
    {
        segments.push_back({name, from, to, colour, width});
    }
    void FrameCamera(const TrackPoint& c1, const TrackPoint& c2) override { frames.push_back({c1, c2}); }
    std::vector<Segment> segments;
    std::vector<std::pair<TrackPoint, TrackPoint>> frames;
};

// A track heading north from 57 N 11 E at 0.001 degrees a minute, one point every
// `every` seconds from `from` to `to` seconds after 10:00 on 2008-06-21.
std::vector<std::string> NorthTrack(int from, int to, int every, char sep = ',')
{
    std::vector<std::string> lines{"lat,lon,date,time"};
    for (int s = from; s <= to; s += every) {
        char line[96];
        std::snprintf(line, sizeof line, "%.7f%c11.0000000%c20080621%c%s", 57 + s / 60.0 * 0.001, sep, sep, sep,
                      Hms(36000 + s).c_str());
        lines.emplace_back(line);
    }
    return lines;
}

class Replay : public ::testing::Test {
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

TEST_F(Replay, LegendRowsAndBoatValues)
{
    dir.write("elsa.txt", NorthTrack(0, 600, 10));
    dir.write("Vindil.txt", NorthTrack(0, 600, 10, ';'));
    load({"elsa.txt , 2008-06-21 10:00:00 , 1.05 , 0 , ,", "Vindil.txt , 2008-6-21 10:05 , 1.0 , 1023 , ;"});
    EXPECT_EQ(state.BoatCount, 2);
    EXPECT_EQ(panel.events, (std::vector<std::string>{"legend 0 255 elsa.txt 1.05", "legend 1 16711680 Vindil.txt 1"}));
    EXPECT_EQ(state.SepChar[1], ';');
    EXPECT_EQ(state.StartTime[1], DateValueFromText("2008-06-21 10:05:00"));
    EXPECT_TRUE(state.NextLine[0].empty());
}

TEST_F(Replay, CorrectedTimePlacesEachBoatByItsLys)
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
    EXPECT_EQ(panel.raceTimes.back(), "01:00:00");
}

TEST_F(Replay, FirstStepsCountDownFromFiveMinutesAndDrawFromTheThirdStep)
{
    dir.write("a.txt", NorthTrack(-600, 600, 5));
    load({"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    for (int i = 0; i < 3; ++i)
        ReplayStep(state, panel, plotter);
    EXPECT_EQ(panel.raceTimes, (std::vector<std::string>{"00:05:00", "00:04:50", "00:04:40"}));
    // Step 1: no previous point; step 2: a position, not drawn; step 3: drawn.
    ASSERT_EQ(plotter.segments.size(), 1u);
    const Segment& s = plotter.segments[0];
    EXPECT_EQ(s.name, "a.txt 1");
    EXPECT_EQ(s.width, 1);
    EXPECT_NEAR(s.from.Lat, 57 - 290 / 60.0 * 0.001, 1e-7); // minus 4:50
    EXPECT_NEAR(s.to.Lat, 57 - 280 / 60.0 * 0.001, 1e-7);
    ASSERT_EQ(plotter.frames.size(), 1u);
    EXPECT_EQ(plotter.frames[0].first.Lat, s.from.Lat);
    EXPECT_EQ(plotter.frames[0].second.Lat, s.to.Lat);
}

TEST_F(Replay, WidePlotRhythmAndCountdownKeptAcrossReplays)
{
    dir.write("a.txt", NorthTrack(-600, 3600, 5));
    load({"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    panel.points = "3";
    // Width 1 while the clock is 0 or less; from the first step above 0 every third
    // step is wide. (Ten-second steps from minus five minutes add up to a clock a
    // hair above 0 at the step shown as 00:00:00.)
    std::vector<int> expected;
    int countdown = 0;
    for (int i = 0; i < 40; ++i) {
        const double clock = state.RaceClock;
        const auto before = plotter.segments.size();
        ReplayStep(state, panel, plotter);
        --countdown;
        int width = 1;
        if (clock > 0 && countdown <= 0)
            countdown = 3, width = 5;
        if (plotter.segments.size() > before) {
            EXPECT_EQ(plotter.segments.back().width, width) << "step " << i + 1 << " clock " << clock;
            expected.push_back(width);
        }
    }
    EXPECT_GE(std::count(expected.begin(), expected.end(), 5), 3);

    // A new replay keeps the countdown: 2 steps were left, and they run down before the start.
    const std::int16_t left = state.PlotCountdown;
    state.RaceClock = kRaceClockAtStart;
    StartReplay(state, panel);
    ReplayStep(state, panel, plotter);
    EXPECT_EQ(state.PlotCountdown, left - 1);
}

TEST_F(Replay, GapOfFiveMinutesOrMoreDrawsNothing)
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
    int nearCount = 0, farCount = 0;
    for (const auto& s : plotter.segments) {
        if (s.name.rfind("near", 0) == 0)
            ++nearCount;
        else
            ++farCount;
    }
    EXPECT_GT(nearCount, 10);
    EXPECT_EQ(farCount, 0);
}

TEST_F(Replay, LatitudeZeroLinesAreNeverNextPointWhileLinesRemain)
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

TEST_F(Replay, HeaderOnlyFilesGiveNoPoints)
{
    dir.write("hdr.txt", {"# logger", "# boat"});
    dir.write("hdr1.txt", {"# logger", "lat,lon,date,time"});
    dir.write("a.txt", NorthTrack(-600, 600, 5));
    load({"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,", "hdr.txt , 2008-06-21 10:00:00 , 1 , 0 , ,",
          "hdr1.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    EXPECT_TRUE(state.TrackFile[1]->AtEnd());
    EXPECT_TRUE(state.TrackFile[2]->AtEnd());
    runUntil(0);
    for (const auto& s : plotter.segments)
        EXPECT_EQ(s.name, "a.txt 1");
    // Their distance rows are never written.
    for (const auto& e : panel.events)
        EXPECT_TRUE(e.rfind("dst 1", 0) != 0 && e.rfind("dst 2", 0) != 0) << e;
}

TEST_F(Replay, DistancesToTheFirstBoatAndMendedEmptyTexts)
{
    // The first boat's file holds no point: it never has one. The second and the third
    // boat sail the same line.
    dir.write("a.txt", {"# no fix", "h"});
    dir.write("b.txt", NorthTrack(-605, 595, 10));
    load({"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,", "b.txt , 2008-06-21 10:00:00 , 1 , 0 , ,",
          "b.txt , 2008-06-21 10:00:30 , 1 , 0 , ,"});
    ReplayStep(state, panel, plotter);
    EXPECT_EQ(panel.distances[1], ""); // no position yet
    runUntil(120);
    EXPECT_EQ(panel.distances[1], ""); // the first boat has no point
    EXPECT_EQ(panel.distances[2], "");

    RaceState s2;
    Panel p2;
    s2.RaceFileName =
        dir.write("race2.TP1", {"b.txt , 2008-06-21 10:00:00 , 1 , 0 , ,", "b.txt , 2008-06-21 10:00:30 , 1 , 0 , ,"});
    s2.RaceClock = kRaceClockAtStart;
    StartReplay(s2, p2);
    ReplayStep(s2, p2, plotter);
    EXPECT_EQ(p2.distances[1], ""); // no position yet
    while (s2.RaceClock < 120 * kSecond)
        ReplayStep(s2, p2, plotter);
    // Clock 120 s: the first boat's next point is 10:02:05, the second boat started 30 s
    // later and is at 10:02:30 of the same line: 25 s apart at 0.001 degrees a minute.
    EXPECT_EQ(p2.distances[1], DistanceText(25 / 60.0 * 0.001 * 60));
    EXPECT_EQ(p2.distances[1], "0.025");
}

TEST_F(Replay, BoatWhoseFileEndsMidRaceStopsAndIsSkipped)
{
    dir.write("a.txt", NorthTrack(-600, 1200, 10));
    dir.write("short.txt", NorthTrack(-600, 60, 10));
    load({"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,", "short.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    runUntil(300);
    EXPECT_TRUE(state.TrackFile[1]->AtEnd());
    EXPECT_FALSE(AllTrackFilesAtEnd(state));
    double lastShortLat = 0;
    std::size_t shortSegments = 0;
    for (const auto& s : plotter.segments)
        if (s.name.rfind("short", 0) == 0) {
            lastShortLat = s.to.Lat;
            ++shortSegments;
        }
    // The step that read the last line placed the boat on the leg to it, then the boat stops.
    EXPECT_NEAR(lastShortLat, 57 + 60 / 60.0 * 0.001, 1e-7);
    const auto segmentsBefore = plotter.segments.size();
    const auto eventsBefore = panel.events.size();
    ReplayStep(state, panel, plotter);
    EXPECT_EQ(plotter.segments.size(), segmentsBefore + 1);
    EXPECT_EQ(panel.events.size(), eventsBefore); // no distance written for the finished boat
    (void)shortSegments;
}

TEST_F(Replay, LineEndingsAndLastLineWithoutBreak)
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

TEST_F(Replay, RelativeAndBackslashTrackPaths)
{
    std::filesystem::create_directories(dir.path() / "tracks");
    dir.write("tracks/a.txt", NorthTrack(0, 60, 10));
    load({"tracks\\a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    EXPECT_EQ(state.BoatCount, 1);
    EXPECT_EQ(ResolveTrackFile("/r/race.TP1", "/abs/x.txt"), "/abs/x.txt");
    EXPECT_EQ(ResolveTrackFile("/r/race.TP1", "x.txt"), "/r/x.txt");
}

// Every failure names what failed and where, and leaves no track file open.
TEST_F(Replay, FailuresNameFileLineAndFault)
{
    dir.write("a.txt", NorthTrack(-600, 600, 10));
    dir.write("empty.txt", {});
    dir.write("bad.txt", {"h", "57.0,11.0,20080621,100000", "57.1,11.0,20081321,100100"});
    auto offGlobe = NorthTrack(-600, 600, 1); // a line a second: line 500 is passed over within a step
    offGlobe[499] = "91.0,11.0,20080621,095818";
    dir.write("globe.txt", offGlobe);
    dir.writeBytes("log.kml", "<?xml version=\"1.0\"?>\n<kml/>\n");
    dir.writeBytes("log.kmz", std::string("PK\x03\x04\x14\0\0\0", 8));
    dir.write("same.txt", {"h", "57.0,11.0,20080621,095400", "57.1,11.0,20080621,095600", "57.2,11.0,20080621,095600"});
    const std::string good = "a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,";
    // The race file is read entry by entry: the eighth stops it before the line after it.
    auto eightAndAnEndlessLine = std::vector<std::string>(8, "missing.txt , 2008-06-21 10:00:00 , 1 , 0 , ,");
    eightAndAnEndlessLine.push_back(std::string(3 * kMaxLineBytes, 'x'));
    struct Case {
        std::vector<std::string> race;
        std::string message;
        int steps;
    };
    const std::vector<Case> cases = {
        {{}, "race.TP1 holds no boat entry", 0},
        {{good, "a.txt , 2008-06-21 , 1 , 0 , ,"}, "race.TP1, line 2: the start time \"2008-06-21\"", 0},
        {{good, ""}, "race.TP1, line 2: the start time", 0},
        {eightAndAnEndlessLine, "race.TP1, line 8: an eighth boat entry; a race can replay at most 7 boats", 0},
        {{good, "missing.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"}, "race.TP1, line 2: the track file cannot open", 0},
        {{"empty.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"}, "is empty", 0},
        {{good, "a.txt , 2008-06-21 10:00:00 , 0 , 0 , ,"}, "race.TP1, line 2: the LYS number \"0\" is not", 0},
        {{"bad.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"}, "bad.txt, line 3: the date \"20081321\"", 40},
        {{"same.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"}, "same.txt, line 4: this line and the track point before", 10},
        // The usual mistakes: the log named instead of its track file, the wrong separator.
        {{good, "log.kml , 2008-06-21 10:00:00 , 1 , 0 , ,"},
         "race.TP1, line 2: the track file \"" + dir.file("log.kml") +
             "\" is a log (KML, KMZ or GPX), not a track file of lines: import the log first (tideplot import "
             "log.kml) and name the track file the import writes beside it, \"log.kml.txt\"",
         0},
        {{"log.kmz , 2008-06-21 10:00:00 , 1 , 0 , ,"}, "log.kmz\" is a log (KML, KMZ or GPX)", 0},
        {{good, "a.txt , 2008-06-21 10:00:00 , 1 , 0 , ;"},
         "a.txt, line 2: the line \"56.9900000,11.0000000,20080621,095000\" has 1 field separated by ';', not the "
         "four of a track line: expected a line such as 57.70;11.90;20080621;143005 with the separator ';' (the last "
         "character of its boat entry, race.TP1 line 2); this line seems to use ','",
         1},
        {{"a.txt , 2008-06-21 10:00:00 , 1 , 0 , "}, "separated by ' ' (a blank), not the four", 1},
        {{"a.txt ; 2008-06-21 10:00:00 ; 1 ; 0 ; ,"},
         "race.TP1, line 1: the start time \"\" is not a valid date and time; the line is \"a.txt ; 2008-06-21 "
         "10:00:00 ; 1 ; 0 ; ,\": expected a boat entry such as \"Elsa.txt , 2008-06-21 11:00:00 , 1.05 , 0 , ,\"",
         0},
        {{"bad.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"},
         "bad.txt, line 3: the date \"20081321\" and time \"100100\" give no valid date and time (\"2008-13-21 "
         "10:01:00\"); the line is \"57.1,11.0,20081321,100100\": expected a line such as 57.70,11.90,20080621,143005",
         40},
        {{"globe.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"},
         "globe.txt, line 500: the latitude \"91.0\" is not a number from -90 to 90",
         30},
    };
    for (const auto& c : cases) {
        RaceState s;
        Panel p;
        Plotter out;
        s.RaceFileName = dir.write("race.TP1", c.race);
        s.RaceClock = kRaceClockAtStart;
        try {
            StartReplay(s, p);
            for (int i = 0; i < c.steps; ++i)
                ReplayStep(s, p, out);
            ADD_FAILURE() << "no failure, expected: " << c.message;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
        if (c.steps == 0) {
            for (const auto& f : s.TrackFile)
                EXPECT_EQ(f, nullptr) << c.message;
        }
    }
    // The eight-boat race is refused before any track file is opened: its files do not exist.
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.txt")));
}

TEST_F(Replay, BadControlTextsAreErrorsWhenRead)
{
    dir.write("a.txt", NorthTrack(-600, 600, 10));
    load({"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    panel.resolution = "ten";
    EXPECT_THROW(ReplayStep(state, panel, plotter), Error);
    panel.resolution = "10";
    panel.points = "40000"; // read only when a wide plot is due, after the clock passes 0
    state.RaceClock = -15 * kSecond;
    ReplayStep(state, panel, plotter);
    ReplayStep(state, panel, plotter);
    try {
        ReplayStep(state, panel, plotter);
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("Points"), std::string::npos) << e.what();
    }
}

} // namespace
} // namespace tideplot
