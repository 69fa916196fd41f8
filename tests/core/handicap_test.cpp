// Handicap systems: each formula against published examples, the course file's handicap lines
// and their refusals, a race scored under every system, and the replay clock of
// time-on-distance.
#include "core/course.h"
#include "core/error.h"
#include "core/handicap.h"
#include "core/handicapfile.h"
#include "core/racehandicap.h"
#include "core/replay.h"
#include "core/results.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace tideplot {
namespace {

using testing::Hms;
using testing::Slurp;
using testing::TempDir;

Handicap Under(HandicapSystem system)
{
    Handicap handicap;
    handicap.System = system;
    return handicap;
}

Rating One(double value)
{
    return Rating{{value, 0}, 1};
}

// The formulas, with the examples their publishers give (README, "Handicap systems").
TEST(Handicap, FormulasAgainstPublishedExamples)
{
    struct Case {
        const char* source;
        Handicap handicap;
        Rating rating;
        double elapsed, distanceNm, corrected;
    };
    const Handicap tot = Under(HandicapSystem::PhrfTot);
    Handicap tot600 = tot;
    tot600.A = 600;
    tot600.B = 480;
    const Case cases[] = {
        {"LYS: elapsed x LYS", Under(HandicapSystem::Lys), One(1.05), 3600, 0, 3780},
        {"IRC TCC 1.025, 2 h", Under(HandicapSystem::Tcf), One(1.025), 7200, 0, 7380},
        {"ORC time-on-time 0.9821, 1:30:00", Under(HandicapSystem::Tcf), One(0.9821), 5400, 0, 5303.34},
        // US Sailing PHRF time-on-time: TCF = 650 / (550 + rating); rating 100 is 1.000.
        {"PHRF-ToT rating 100: TCF 1", tot, One(100), 3600, 0, 3600},
        {"PHRF-ToT rating 150: TCF 0.9286", tot, One(150), 7200, 0, 7200 * 650.0 / 700},
        {"PHRF-ToT rating -30: TCF 1.1207", tot, One(-30), 3600, 0, 3600 * 650.0 / 520},
        {"PHRF-ToT with A 600 B 480", tot600, One(120), 3600, 0, 3600 * 600.0 / 600},
        // RYA: corrected = elapsed x 1000 / PN; a Laser (PN 1100) sailing 1 h.
        {"Portsmouth Laser PN 1100, 1 h", Under(HandicapSystem::Portsmouth), One(1100), 3600, 0, 3272.727272727},
        {"Portsmouth PN 1000 is elapsed", Under(HandicapSystem::Portsmouth), One(1000), 2345.6, 0, 2345.6},
        // PHRF time-on-distance: corrected = elapsed - rating x distance.
        {"PHRF-ToD 150 s/nm over 10 nm", Under(HandicapSystem::PhrfTod), One(150), 7200, 10, 5700},
        {"PHRF-ToD -12 s/nm over 6.4 nm", Under(HandicapSystem::PhrfTod), One(-12), 3000, 6.4, 3076.8},
        // ORC: corrected = PLT x elapsed - PLD x distance.
        {"ORC PLT 1.0377 PLD 623.4 over 10 nm", Under(HandicapSystem::OrcPl), Rating{{1.0377, 623.4}, 2}, 7000, 10,
         1029.9},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RatingProblem(c.handicap, c.rating), "") << c.source;
        EXPECT_NEAR(CorrectedSeconds(c.handicap, c.rating, c.elapsed, c.distanceNm), c.corrected, 1e-6) << c.source;
    }
}

TEST(Handicap, RatingsOutOfRangeAreRefused)
{
    struct Case {
        HandicapSystem system;
        Rating rating;
        const char* problem; // part of the message; "" when taken
    };
    const Case cases[] = {
        {HandicapSystem::Portsmouth, One(500), ""},
        {HandicapSystem::Portsmouth, One(2000), ""},
        {HandicapSystem::Portsmouth, One(499), "outside 500 to 2000"},
        {HandicapSystem::Portsmouth, One(2001), "outside 500 to 2000"},
        {HandicapSystem::PhrfTod, One(-100), ""},
        {HandicapSystem::PhrfTod, One(400.5), "outside -100 to 400"},
        {HandicapSystem::PhrfTot, One(-101), "outside -100 to 400"},
        {HandicapSystem::Tcf, One(0.2), ""},
        {HandicapSystem::Tcf, One(5.01), "outside 0.2 to 5"},
        {HandicapSystem::Tcf, One(NAN), "outside 0.2 to 5"},
        {HandicapSystem::Tcf, Rating{{1, 2}, 2}, "one number"},
        {HandicapSystem::OrcPl, One(1), "two numbers"},
        {HandicapSystem::OrcPl, Rating{{1.1, 4000}, 2}, "outside 0 to 3600"},
        {HandicapSystem::OrcPl, Rating{{0.1, 600}, 2}, "outside 0.2 to 5"},
    };
    for (const Case& c : cases) {
        const std::string problem = RatingProblem(Under(c.system), c.rating);
        if (*c.problem == 0)
            EXPECT_EQ(problem, "") << HandicapSystemName(c.system) << " " << RatingText(c.rating);
        else
            EXPECT_NE(problem.find(c.problem), std::string::npos)
                << HandicapSystemName(c.system) << " " << RatingText(c.rating) << ": " << problem;
    }
}

TEST(HandicapLines, ReadKeptAndRefusedWithTheirLine)
{
    const std::vector<std::string> file = {
        "# club race",
        "finish 57.6 11.5 57.62 11.5",
        "rating Elsa.txt 105",
        "handicap PHRF-ToD",
        "distance 6.4",
        "name Elsa.txt SWE 12 <Elsa>",
        "rating \"My \"\"B\"\".txt\" -12",
    };
    const HandicapLines lines = ReadHandicapLines(file, "race.TP1.course");
    EXPECT_EQ(lines.Effective().System, HandicapSystem::PhrfTod);
    EXPECT_EQ(lines.Effective().DistanceNm, 6.4);
    ASSERT_EQ(lines.Boats.size(), 2u);
    EXPECT_EQ(lines.Find("Elsa.txt")->Value, One(105));
    EXPECT_EQ(*lines.Find("Elsa.txt")->Name, "SWE 12 <Elsa>");
    EXPECT_EQ(lines.Find("My \"B\".txt")->Value, One(-12));
    EXPECT_EQ(HandicapTextLines(lines),
              (std::vector<std::string>{"handicap phrf-tod", "distance 6.4", "rating Elsa.txt 105",
                                        "name Elsa.txt SWE 12 <Elsa>", "rating \"My \"\"B\"\".txt\" -12"}));

    struct Case {
        std::vector<std::string> lines;
        const char* message;
    };
    const Case refused[] = {
        {{"handicap irc"}, "line 1: the handicap system \"irc\" is none of lys, tcf"},
        {{"handicap tcf", "rating a.txt 1.2", "rating a.txt 1.3"}, "line 3: a second rating for \"a.txt\"; the first"},
        {{"rating a.txt 1,2"}, "line 1: the rating \"1,2\" is no number"},
        {{"rating a.txt 450", "handicap portsmouth"},
         "line 1: the rating of \"a.txt\" under portsmouth: the rating "
         "450 lies outside 500 to 2000"},
        {{"handicap orc-pl", "rating a.txt 1.02"}, "line 2: the rating of \"a.txt\" under orc-pl: a rating under"},
        {{"handicap phrf-tot 650"}, "line 1: phrf-tot takes two numbers A and B"},
        {{"handicap portsmouth 1000"}, "line 1: the handicap system portsmouth takes no numbers"},
        {{"distance 0"}, "line 1: the distance 0 lies outside 0 to 100000"},
        {{"distance 3", "distance 4"}, "line 2: a second distance line"},
        {{"name a.txt"}, "line 1: a name is \"name TRACKFILE TEXT\""},
        {{"rating \"a.txt 1"}, "line 1: the track file"},
    };
    for (const Case& c : refused) {
        try {
            ReadHandicapLines(c.lines, "race.TP1.course");
            ADD_FAILURE() << "taken: " << c.lines.front();
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(HandicapLines, SavedInPlaceKeepingEveryOtherLine)
{
    TempDir dir;
    const std::string race = dir.file("race.TP1");
    dir.write("race.TP1.course",
              {"# mine", "handicap lys", "finish 57.6 11.5 57.62 11.5", "rating a.txt 1.1", "future key 1 2 3"});
    HandicapLines lines = ReadRaceHandicapLines(race);
    lines.Rule = Under(HandicapSystem::Portsmouth);
    lines.Entry("a.txt").Value = One(1100);
    lines.Entry("b c.txt").Name = "Saga\r\n<b>";
    SaveHandicapLines(race, lines);
    EXPECT_EQ(Slurp(race + ".course"), "# mine\r\nhandicap portsmouth\r\nrating a.txt 1100\r\nname \"b c.txt\" "
                                       "Saga  <b>\r\nfinish 57.6 11.5 57.62 11.5\r\nfuture key 1 2 3\r\n");
    EXPECT_EQ(ReadRaceHandicapLines(race).Find("b c.txt")->Name, "Saga  <b>");
}

// A track line at `seconds` after 12:00 on 2008-06-21, at 57.61 N.
std::string Fix(double lon, int seconds)
{
    char line[96];
    std::snprintf(line, sizeof line, "57.6100000,%.7f,20080621,%s", lon, Hms(12 * 3600 + seconds).c_str());
    return line;
}

// Three boats crossing the finish line (11.5 E, northwards) at 3600, 3700 and 3800 s, and
// one that never does.
class HandicapRace : public ::testing::Test {
protected:
    void SetUp() override
    {
        int n = 0;
        for (const int elapsed : {3600, 3700, 3800}) {
            dir.write("b" + std::to_string(++n) + ".txt",
                      {"lat,lon,date,time", Fix(11.49, 0), Fix(11.499, elapsed - 10), Fix(11.501, elapsed + 10)});
        }
        dir.write("dnf.txt", {"lat,lon,date,time", Fix(11.49, 0), Fix(11.495, 5000)});
        race = dir.write("race.TP1", {"b1.txt,2008-06-21 12:00:00,1,0,,", "b2.txt,2008-06-21 12:00:00,1,0,,",
                                      "b3.txt,2008-06-21 12:00:00,1,0,,", "dnf.txt,2008-06-21 12:00:00,1,0,,"});
        course.Finish = FinishLine{57.60, 11.50, 57.62, 11.50};
    }
    std::vector<BoatResult> Scored(const std::vector<std::string>& lines)
    {
        dir.write("race.TP1.course", lines);
        return RaceResults(race, course);
    }
    TempDir dir;
    std::string race;
    Course course;
};

TEST_F(HandicapRace, EverySystemRanksByItsCorrectedTime)
{
    struct Case {
        std::vector<std::string> lines;
        std::vector<std::pair<std::string, double>> order; // track file, corrected seconds
        std::vector<int> ranks;
    };
    const Case cases[] = {
        // A rating under LYS is the boat's LYS number.
        {{"rating b1.txt 0.9", "rating b3.txt 1.1"},
         {{"b1.txt", 3240}, {"b2.txt", 3700}, {"b3.txt", 4180}},
         {1, 2, 3, 0}},
        {{"handicap tcf", "rating b1.txt 1.05", "rating b2.txt 1.0", "rating b3.txt 0.95", "rating dnf.txt 1"},
         {{"b3.txt", 3610}, {"b2.txt", 3700}, {"b1.txt", 3780}},
         {1, 2, 3, 0}},
        {{"handicap portsmouth", "rating b1.txt 1000", "rating b2.txt 1100", "rating b3.txt 1200",
          "rating dnf.txt 900"},
         {{"b3.txt", 3800 / 1.2}, {"b2.txt", 3700 / 1.1}, {"b1.txt", 3600}},
         {1, 2, 3, 0}},
        {{"handicap phrf-tot", "rating b1.txt 100", "rating b2.txt 130", "rating b3.txt 160", "rating dnf.txt 0"},
         {{"b3.txt", 3800 * 650.0 / 710}, {"b2.txt", 3700 * 650.0 / 680}, {"b1.txt", 3600}},
         {1, 2, 3, 0}},
        // 3100, 3100 and 3050: a tie shares its rank.
        {{"handicap phrf-tod", "distance 5", "rating b1.txt 100", "rating b2.txt 120", "rating b3.txt 150",
          "rating dnf.txt 0"},
         {{"b3.txt", 3050}, {"b1.txt", 3100}, {"b2.txt", 3100}},
         {1, 2, 2, 0}},
        {{"handicap orc-pl", "distance 4", "rating b1.txt 1.1 700", "rating b2.txt 1 650", "rating b3.txt 1 700",
          "rating dnf.txt 1 600"},
         {{"b3.txt", 1000}, {"b1.txt", 1160}, {"b2.txt", 1100}},
         {1, 3, 2, 0}},
    };
    for (const Case& c : cases) {
        const std::vector<BoatResult> results = Scored(c.lines);
        ASSERT_EQ(results.size(), 4u) << c.lines[0];
        for (std::size_t i = 0; i < c.order.size(); ++i) {
            const auto it = std::find_if(results.begin(), results.end(),
                                         [&](const BoatResult& r) { return r.Boat == c.order[i].first; });
            EXPECT_NEAR(it->CorrectedSeconds, c.order[i].second, 1e-6) << c.lines[0] << " " << it->Boat;
            EXPECT_EQ(it->Rank, c.ranks[i]) << c.lines[0] << " " << it->Boat;
        }
        EXPECT_EQ(results.back().Boat, "dnf.txt");
        EXPECT_EQ(results.back().Rank, 0);
        // The CSV's third column holds the ratings, named for them under another system.
        const bool lys = c.lines[0].rfind("handicap", 0) != 0;
        EXPECT_EQ(ResultsCsv(results).substr(0, 15), lys ? "rank,boat,lys,s" : "rank,boat,ratin") << c.lines[0];
    }
}

TEST_F(HandicapRace, NamesReplaceTheTrackFileAndLysAloneIsToday)
{
    const std::vector<BoatResult> today = Scored({"finish 57.60 11.50 57.62 11.50"});
    const std::vector<BoatResult> named = Scored({"name b2.txt SWE 2 \"Saga\" <b>", "finish 57.60 11.50 57.62 11.50"});
    ASSERT_EQ(named.size(), today.size());
    for (std::size_t i = 0; i < today.size(); ++i) {
        EXPECT_EQ(named[i].CorrectedSeconds, today[i].CorrectedSeconds);
        EXPECT_EQ(ResultTexts(named[i])[2], ResultTexts(today[i])[2]);
    }
    EXPECT_EQ(named[1].Name, "SWE 2 \"Saga\" <b>");
    EXPECT_EQ(named[1].Boat, "b2.txt");
    EXPECT_EQ(today[1].Name, "b2.txt");
}

TEST_F(HandicapRace, RefusedRaces)
{
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"handicap portsmouth", "rating b1.txt 1000", "rating b2.txt 1000", "rating b3.txt 1000"},
         "boat \"dnf.txt\" (\"dnf.txt\", line 4 of race.TP1) has no rating under portsmouth"},
        {{"handicap phrf-tod", "rating b1.txt 1", "rating b2.txt 1", "rating b3.txt 1", "rating dnf.txt 1"},
         "phrf-tod is time-on-distance: it needs the course's distance"},
    };
    for (const auto& [lines, message] : cases) {
        try {
            Scored(lines);
            ADD_FAILURE() << "scored: " << lines[0];
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
    dir.write("race.TP1", {"b1.txt,2008-06-21 12:00:00,1,0,,", "b1.txt,2008-06-21 12:00:00,1,0,,"});
    try {
        Scored({"name b1.txt Elsa"});
        ADD_FAILURE() << "a track named twice was taken";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("race.TP1, line 2: the track file \"b1.txt\" is named twice in the race"),
                  std::string::npos)
            << e.what();
    }
}

// The replay of a time-on-distance race: every boat's clock rises, and the boats reach the
// finish on the replay in the order of the results, ties included.
TEST_F(HandicapRace, TimeOnDistanceClockFinishesInResultsOrder)
{
    for (const char* system : {"phrf-tod", "orc-pl"}) {
        const bool orc = std::string(system) == "orc-pl";
        const std::vector<std::string> lines = {std::string("handicap ") + system,
                                                "distance 5",
                                                orc ? "rating b1.txt 1.1 700" : "rating b1.txt 100",
                                                orc ? "rating b2.txt 1 650" : "rating b2.txt 120",
                                                orc ? "rating b3.txt 1 700" : "rating b3.txt 150",
                                                orc ? "rating dnf.txt 1 600" : "rating dnf.txt -20",
                                                "finish 57.60 11.50 57.62 11.50"};
        const std::vector<BoatResult> results = Scored(lines);
        RaceState state;
        state.RaceFileName = race;
        StartReplay(state);
        ASSERT_TRUE(state.Handicap) << system;
        const RaceHandicap& handicap = *state.Handicap;
        std::vector<std::pair<double, int>> clocks; // the clock at the finish, the results' rank
        for (const BoatResult& result : results) {
            const int k = static_cast<int>(result.EntryLine) - 1;
            double last = -1;
            for (double h = -0.01; h < 0.1; h += 0.0005) {
                const double clock = handicap.ClockAtElapsed(k, h);
                EXPECT_GT(clock, last) << system << " " << result.Boat << " at " << h;
                EXPECT_NEAR(handicap.ElapsedAtClock(k, clock), h, 1e-9) << system << " " << result.Boat;
                last = clock;
            }
            if (result.Finished) {
                const double clock = handicap.ClockAtElapsed(k, result.ElapsedSeconds / 86400) * 86400;
                EXPECT_NEAR(clock - handicap.LargestAllowance, result.CorrectedSeconds, 1e-6) << result.Boat;
                clocks.emplace_back(clock, result.Rank);
            }
        }
        for (std::size_t i = 1; i < clocks.size(); ++i)
            EXPECT_EQ(clocks[i - 1].first < clocks[i].first - 0.05, clocks[i - 1].second < clocks[i].second)
                << system << " " << i;
        CloseTrackFiles(state);
    }
}

} // namespace
} // namespace tideplot
