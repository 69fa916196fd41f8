#include "core/racecheck.h"
#include "core/replay.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

using testing::Hms;
using testing::TempDir;

struct Panel : ControlPanel {
    std::string PointPlotText() override { return "90"; }
    std::string ResolutionText() override { return "10"; }
    std::string TrackInfoCaption(int) override { return {}; }
    void SetTrackInfo(int, const std::string&, std::uint32_t) override {}
    void SetRaceTime(const std::string&) override {}
    void SetDistance(int, const std::string&) override {}
};

// Fixes every `every` seconds from `from` to `to` seconds after 10:00 on 2008-06-21.
std::vector<std::string> Track(int from, int to, int every = 60)
{
    std::vector<std::string> lines{"# logger", "lat,lon,date,time"};
    for (int s = from; s <= to; s += every)
        lines.push_back("57.6," + std::to_string(11.5 + s * 1e-6) + ",20080621," + Hms(36000 + s));
    return lines;
}

// A boat whose track has no fix in the hour after its start is named with its start, its
// track's first and last times and the question of time zones; a covered start gives
// nothing. Only the ends of each file are read.
TEST(StartTimeWarnings, NameEachBoatWhoseTrackMissesItsStart)
{
    TempDir dir;
    auto noFixAtTheEnd = Track(-3600, -60); // ends before the start, then 200 KiB of lines without a fix
    for (int i = 0; i < 8000; ++i)
        noFixAtTheEnd.push_back("0,0,20080621,120000");
    auto garbageAround = Track(-600, 600);
    garbageAround.insert(garbageAround.begin() + 2, "0,0,20080621,095000");
    garbageAround.push_back("end of log");
    garbageAround.push_back("");
    struct Case {
        std::string name;
        std::vector<std::string> lines;
        std::string eol;
        std::string warning; // empty: none
    };
    const std::vector<Case> cases = {
        {"covers.txt", Track(-600, 7200), "\r\n", ""},
        {"late59.txt", Track(3599, 7200), "\n", ""},
        {"garbage.txt", garbageAround, "\r", ""},
        {"local.txt", Track(-7200, -1, 1), "\r\n",
         "boat \"local.txt\" (race.TP1, line 4) starts at 2008-06-21 10:00:00, but its track \"local.txt\" runs from "
         "2008-06-21 08:00:00 to 2008-06-21 09:59:59, ending before the start: are the start time and the track in "
         "the same time zone?"},
        {"late61.txt", Track(3601, 7200), "\r\n",
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
    RaceState state;
    Panel panel;
    state.RaceFileName = dir.write("race.TP1", entries);
    StartReplay(state, panel);
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
