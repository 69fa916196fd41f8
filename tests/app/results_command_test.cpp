// `tideplot results`: the table and the CSV of a small race worked out by hand, the finish
// line from the course file or --finish, and the exit status of every kind of failure.
#include "support/process.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <string>

namespace tideplot {
namespace {

using testing::Quote;
using testing::RunCommand;
using testing::Slurp;
using testing::TempDir;

const std::string kTideplot = TIDEPLOT_EXE;

// Three boats sailing east across the meridian 11.5 E; the finish line runs north along it
// (57.60 to 57.62), so its left is the west. Fixes at 13:00:00 and 13:00:20 either side of
// the line, the first 1/4 of the way from it: Elsa crosses at 13:00:05; Saga, LYS 1.05 and
// started at 12:05:00, at 13:01:00 (a fix on the line); Vinga passes north of the line.
class ResultsCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.write("Elsa.txt", {"lat,lon,date,time", "57.61,11.499,20080621,120000", "57.61,11.499,20080621,130000",
                               "57.61,11.503,20080621,130020"});
        dir.write("Saga.txt", {"# Saga", "lat;lon;date;time", "57.61;11.498;20080621;120500",
                               "57.61;11.498;20080621;130030", "57.61;11.5;20080621;130100"});
        dir.write("Vinga \"the old\".txt",
                  {"lat,lon,date,time", "57.63,11.49,20080621,120000", "57.63,11.51,20080621,130000"});
        race = dir.write("race.TP1", {"Elsa.txt , 2008-06-21 12:00:00 , 1.00 , 0 , ,",
                                      "Vinga \"the old\".txt , 2008-06-21 12:00:00 , 1.2 , 1279 , ,",
                                      "Saga.txt , 2008-06-21 12:05:00 , 1.05 , 1023 , ;"});
    }
    testing::CommandResult results(const std::string& options) const
    {
        return RunCommand(kTideplot + " results " + Quote(race) + " " + options);
    }
    TempDir dir;
    std::string race;
};

TEST_F(ResultsCommand, TableAndCsvFromTheCourseFile)
{
    dir.writeBytes("race.TP1.course", "# Saturday race\nfinish 57.60 11.5 57.62 11.5\n");
    const auto run = results("--csv " + Quote(dir.file("results.csv")));
    ASSERT_EQ(run.status, 0) << run.output;
    // Elsa: 1:00:05 elapsed and corrected. Saga: 0:56:00 elapsed, x 1.05 = 0:58:48.
    EXPECT_EQ(Slurp(dir.file("results.csv")),
              "rank,boat,lys,start,finish,elapsed,corrected,file,status\r\n"
              "1,Saga.txt,1.05,2008-06-21 12:05:00,2008-06-21 13:01:00,0:56:00,0:58:48,Saga.txt,finished\r\n"
              "2,Elsa.txt,1,2008-06-21 12:00:00,2008-06-21 13:00:05,1:00:05,1:00:05,Elsa.txt,finished\r\n"
              ",\"Vinga \"\"the old\"\".txt\",1.2,2008-06-21 12:00:00,DNF,DNF,DNF,\"Vinga \"\"the old\"\".txt\","
              "DNF\r\n");
    EXPECT_EQ(run.output, "Results of " + race +
                              ": finish line 57.6 11.5 57.62 11.5 (race.TP1.course), 3 boats, 2 finished\n\n"
                              "Rank  Boat                 LYS   Start                Finish               "
                              "Elapsed  Corrected  File\n"
                              "   1  Saga.txt             1.05  2008-06-21 12:05:00  2008-06-21 13:01:00  "
                              "0:56:00    0:58:48  Saga.txt\n"
                              "   2  Elsa.txt             1     2008-06-21 12:00:00  2008-06-21 13:00:05  "
                              "1:00:05    1:00:05  Elsa.txt\n"
                              "      Vinga \"the old\".txt  1.2   2008-06-21 12:00:00  DNF                      "
                              "DNF        DNF  Vinga \"the old\".txt\n"
                              "\nCSV: " +
                              dir.file("results.csv") + "\n");
}

// --finish takes the place of the course file; laid the other way round, the same
// crossings are the wrong way and nobody finishes.
TEST_F(ResultsCommand, FinishOption)
{
    dir.writeBytes("race.TP1.course", "finish 57.60 11.5 57.62 11.5\n");
    auto run = results("--finish 57.62,11.5,57.60,11.5");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("(--finish), 3 boats, 0 finished"), std::string::npos) << run.output;
    run = results("--finish='57.60 11.5 57.62 11.5'");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("3 boats, 2 finished"), std::string::npos) << run.output;
}

TEST_F(ResultsCommand, Failures)
{
    dir.writeBytes("old.csv", "old");
    dir.write("bad.TP1", {"Elsa.txt , 2008-06-21 12:00:00 , 1.00 , 0 , ,", "Elsa.txt , yesterday , 1 , 0 , ,"});
    struct Case {
        std::string arguments;
        int status;
        std::string message;
    };
    const std::string csv = " --csv " + Quote(dir.file("old.csv"));
    const Case cases[] = {
        {"--help", 0, "Usage: tideplot results RACE.TP1"},
        {"", 2, "tideplot results: no race file given"},
        {Quote(race) + " " + Quote(race), 2, "more than one race file"},
        {Quote(race) + " --finish 57.6,11.5,57.6,11.5", 2, "--finish: the finish line has zero length"},
        {Quote(race) + " --finish 57.6,11.5,97,11.5", 2, "--finish: the finish line's P2 latitude 97 is off the globe"},
        {Quote(race) + " --finish 57.6,11.5,57.62", 2, "--finish: the finish line \"57.6,11.5,57.62\" holds 3"},
        {Quote(race) + " --finish 57.6,11.5,57.62,11.5 --csv " + Quote(race), 2, "--csv names the race file"},
        {Quote(race) + " --finish 57.6,11.5,57.62,11.5 --csv " + Quote(dir.file("Elsa.txt")), 1,
         "--csv names the track file of Elsa.txt"},
        {Quote(race) + " --speed 3", 2, "unknown option --speed"},
        {Quote(race) + csv, 1, "no finish line for race.TP1: its course file"},
        {Quote(dir.file("bad.TP1")) + " --finish 57.6,11.5,57.62,11.5" + csv, 1,
         "bad.TP1, line 2: the start time \"yesterday\" is not a valid date and time"},
    };
    for (const Case& c : cases) {
        const auto run = RunCommand(kTideplot + " results " + c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n" << run.output;
    }
    EXPECT_EQ(Slurp(dir.file("old.csv")), "old"); // no failure touched it
    EXPECT_EQ(Slurp(dir.file("Elsa.txt")).substr(0, 17), "lat,lon,date,time");
}

// The results open the race as the replay does: its warnings on stderr (a start and a track
// in different zones), its refusals (a start a week before the track, a broken line after
// the finish) with the exit status 1 and the older CSV as it was.
TEST_F(ResultsCommand, ReplaysChecksAndWarnings)
{
    dir.writeBytes("old.csv", "old");
    dir.write("late.txt", {"lat,lon,date,time", "57.61,11.499,20080621,120000", "57.61,11.503,20080621,130020",
                           "57.61,11.51,20080621,1400xx"});
    dir.write("zone.TP1", {"Elsa.txt , 2008-06-21 14:00:00 , 1 , 0 , ,"});
    dir.write("week.TP1", {"Elsa.txt , 2008-06-14 11:00:00 , 1 , 0 , ,"});
    dir.write("late.TP1", {"late.txt , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    const std::string options = " --finish 57.60,11.5,57.62,11.5 --csv " + Quote(dir.file("old.csv"));
    const auto zone =
        RunCommand("(" + kTideplot + " results " + Quote(dir.file("zone.TP1")) + options + " >/dev/null)");
    EXPECT_EQ(zone.status, 0) << zone.output;
    EXPECT_EQ(zone.output.rfind("warning: boat \"Elsa.txt\" (zone.TP1, line 1) starts at 2008-06-21 14:00:00, but "
                                "its track \"Elsa.txt\" runs from 2008-06-21 12:00:00 to 2008-06-21 13:00:20, "
                                "ending before the start",
                                0),
              0u)
        << zone.output;
    dir.writeBytes("old.csv", "old");
    const std::pair<const char*, const char*> refused[] = {
        {"week.TP1", "tideplot results: week.TP1, line 1: boat \"Elsa.txt\" starts at 2008-06-14 11:00:00, 7 days "
                     "before the first fix of its track"},
        {"late.TP1", "tideplot results: late.txt, line 4: "},
    };
    for (const auto& [race, message] : refused) {
        const auto run = RunCommand(kTideplot + " results " + Quote(dir.file(race)) + options);
        EXPECT_EQ(run.status, 1) << race << "\n" << run.output;
        EXPECT_NE(run.output.find(message), std::string::npos) << race << "\n" << run.output;
        EXPECT_EQ(Slurp(dir.file("old.csv")), "old") << race;
    }
}

// A boat's name reaches a terminal with its control characters shown as "?" (an escape
// sequence in a file name does not colour the terminal); a pipe gets the bytes as they are.
TEST_F(ResultsCommand, NamesReachATerminalWithoutTheirControlCharacters)
{
    if (!testing::HaveCommand("script"))
        GTEST_SKIP() << "script (a terminal for a command) is not installed";
    const std::string odd = "El\x01sa\x1b[31m.txt";
    dir.writeBytes(odd, Slurp(dir.file("Elsa.txt")));
    dir.write("odd.TP1", {odd + " , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    const std::string command =
        kTideplot + " results " + Quote(dir.file("odd.TP1")) + " --finish 57.60,11.5,57.62,11.5";
    const auto terminal = RunCommand("script -qec " + Quote(command) + " /dev/null");
    EXPECT_EQ(terminal.status, 0) << terminal.output;
    EXPECT_NE(terminal.output.find("   1  El?sa?[31m.txt  1    2008-06-21 12:00:00"), std::string::npos)
        << terminal.output;
    EXPECT_EQ(terminal.output.find('\x1b'), std::string::npos) << terminal.output;
    const auto piped = RunCommand(command + " | cat");
    EXPECT_NE(piped.output.find(odd), std::string::npos) << piped.output;
}

} // namespace
} // namespace tideplot
