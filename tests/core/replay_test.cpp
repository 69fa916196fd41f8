// The replay engine on what the reference races (tests/app/reference_test.cpp) cannot
// reach: a countdown kept across replays, a failed load, and the warnings of starts that a
// track misses.
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
        StartReplay(state);
    }
    // One step; the width of the boat's piece when it drew one, else 0.
    int step()
    {
        ReplayStep(state, settings, outcome);
        return outcome.Boats.at(0).Drawn ? outcome.LineWidth : 0;
    }
    TempDir dir;
    RaceState state;
    ReplaySettings settings;
    StepOutcome outcome;
};

TEST_F(ReplayEngine, WidePlotRhythmAndCountdownKeptAcrossReplays)
{
    dir.write("a.txt", NorthTrack(-600, 3600, 5));
    load({"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,"});
    settings.StepsPerWidePlot = 3;
    // Width 1 while the clock is 0 or less; from the first step above 0 every third
    // step is wide. (Ten-second steps from minus five minutes add up to a clock a
    // hair above 0 at the step shown as 00:00:00.)
    int countdown = 0;
    int wide = 0;
    for (int i = 0; i < 40; ++i) {
        const double clock = state.RaceClock;
        const int drawn = step();
        --countdown;
        int width = 1;
        if (clock > 0 && countdown <= 0) {
            countdown = 3;
            width = 5;
        }
        if (drawn != 0) {
            EXPECT_EQ(drawn, width) << "step " << i + 1 << " clock " << clock;
            wide += drawn == 5;
        }
    }
    EXPECT_GE(wide, 3);

    // A new replay keeps the countdown: 2 steps were left, and they run down before the start.
    const std::int16_t left = state.PlotCountdown;
    state.RaceClock = kRaceClockAtStart;
    StartReplay(state);
    step();
    EXPECT_EQ(state.PlotCountdown, left - 1);
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

// The lines of a track, the header first, the fixes in the reverse order.
std::vector<std::string> Backwards(std::vector<std::string> lines)
{
    std::reverse(lines.begin() + 1, lines.end());
    return lines;
}

// A boat whose track has no fix in the hour after its start is named with its start, its
// track's first and last times and the question of time zones; a track that runs backwards
// is said to, though it spans its start; a covered start gives nothing. Only the ends of
// each file are read.
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
        {"backwards.txt", Backwards(NorthTrack(-600, 1800, 60)), "\r\n",
         "runs backwards, from 2008-06-21 10:30:00 on its first fix to 2008-06-21 09:50:00 on its last: the replay "
         "and the analysis take a track forward in time"},
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
