// `tideplot results`: the table and the CSV of a small race worked out by hand, the finish
// line from the course file or --finish, and the exit status of every kind of failure.
#include "coursesim.h"
#include "support/process.h"
#include "support/racefiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <filesystem>
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

// A handicap system and ratings given for one run, over the course file's, and the JSON's
// handicap: Elsa 1:00:05 and Saga 0:56:00 over 2 miles at PHRF 150 and 100 s a mile.
TEST_F(ResultsCommand, HandicapOptionsOverTheCourseFile)
{
    dir.writeBytes("race.TP1.course", "finish 57.60 11.5 57.62 11.5\nhandicap portsmouth\n");
    const std::string ratings =
        dir.write("club.ratings", {"rating Elsa.txt 150", "rating Saga.txt 100",
                                   "rating \"Vinga \"\"the old\"\".txt\" 0", "name Saga.txt USA 7 Saga", "distance 2"});
    struct Case {
        std::string options;
        int status;
        std::string says;
    };
    const Case cases[] = {
        {"--ratings " + Quote(ratings), 1, "club.ratings, line 1: the rating of \"Elsa.txt\" under portsmouth"},
        {"--handicap irc --ratings " + Quote(ratings), 2, "--handicap: \"irc\" is no handicap system"},
        {"--handicap phrf-tot --ratings " + Quote(dir.file("none.ratings")), 1, "none.ratings"},
        {"--handicap phrf-tod --ratings " + Quote(ratings) + " --json " + Quote(dir.file("r.json")), 0,
         "Handicap: PHRF time-on-distance, corrected = elapsed - rating x 2.00 nm\n"},
    };
    for (const Case& c : cases) {
        const auto run = results(c.options);
        EXPECT_EQ(run.status, c.status) << c.options << "\n" << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << c.options << "\n" << run.output;
    }
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(Slurp(dir.file("r.json")))).object();
    const QJsonObject handicap = json["handicap"].toObject();
    EXPECT_EQ(handicap["system"].toString(), "phrf-tod");
    EXPECT_TRUE(handicap["a"].isNull());
    EXPECT_EQ(handicap["distance_nm"].toDouble(), 2);
    const QJsonArray boats = json["boats"].toArray();
    ASSERT_EQ(boats.size(), 3);
    EXPECT_EQ(boats[0]["name"].toString(), "USA 7 Saga");
    EXPECT_EQ(boats[0]["file"].toString(), "Saga.txt");
    EXPECT_EQ(boats[0]["rating"].toDouble(), 100);
    EXPECT_EQ(boats[0]["corrected_s"].toDouble(), 3160.0);
    EXPECT_EQ(boats[1]["corrected_s"].toDouble(), 3305.0);
    EXPECT_EQ(Slurp(race + ".course"), "finish 57.60 11.5 57.62 11.5\nhandicap portsmouth\n"); // untouched
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

// A race round a course: the table with each boat's status, start crossing and roundings,
// the CSV's status, and the JSON: the course, and per boat what the rules made of its track.
// The CSV and the JSON go in place together: one that cannot be put in place (a name too long
// for the file system) leaves both older files as they were.
TEST_F(ResultsCommand, CsvAndJsonReplaceTheOldOnesTogetherOrNotAtAll)
{
    dir.write("race.TP1.course", {"finish 57.60 11.5 57.62 11.5"});
    dir.writeBytes("r.csv", "old CSV");
    const std::string tooLong = dir.file(std::string(300, 'j') + ".json");
    const auto failed = results("--csv " + Quote(dir.file("r.csv")) + " --json " + Quote(tooLong));
    EXPECT_EQ(failed.status, 1) << failed.output;
    EXPECT_NE(failed.output.find("cannot write the results' JSON file"), std::string::npos) << failed.output;
    EXPECT_EQ(Slurp(dir.file("r.csv")), "old CSV");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string().rfind(".tideplot-", 0), 0u) << entry.path();

    const auto run = results("--csv " + Quote(dir.file("r.csv")) + " --json " + Quote(dir.file("r.json")));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Slurp(dir.file("r.csv")).substr(0, 5), "rank,");
    EXPECT_EQ(Slurp(dir.file("r.json")).substr(0, 1), "{");
}

TEST(ResultsCommandCourse, TableCsvAndJsonByTheCourse)
{
    TempDir dir;
    coursesim::RaceOptions o;
    o.Out = dir.file("race");
    o.Laps = 2;
    o.Boats = {{1.00, 5.0, 0, 6, true, 0, 0, 180},
               {1.10, 5.5, 30, -10, false, 0, 50, 150},
               {1.05, 5.2, 60, 8, true, 1, -50, 170}};
    const coursesim::TrueRace truth = coursesim::WriteRace(o);
    const std::string race = truth.RaceFile.string();
    const auto run = RunCommand(kTideplot + " results " + Quote(race) + " --csv " + Quote(dir.file("r.csv")) +
                                " --json " + Quote(dir.file("r.json")));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("by its course (race.TP1.course): 3 boats, 1 finished\nStart line "), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("Course W (port) L (port), 2 laps\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Started   Finish"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Boat       W 1"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("  -         OCS                      OCS        OCS  OCS             boat2.txt\n"),
              std::string::npos)
        << run.output;
    const std::string csv = Slurp(dir.file("r.csv"));
    EXPECT_EQ(csv.substr(0, 57), "rank,boat,lys,start,finish,elapsed,corrected,file,status\r");
    EXPECT_NE(csv.find(",boat3.txt,missed W lap 1\r\n"), std::string::npos) << csv;

    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(Slurp(dir.file("r.json")))).object();
    const QJsonObject course = json["course"].toObject();
    EXPECT_EQ(course["start"].toArray().size(), 4);
    EXPECT_EQ(course["finish"].toArray().size(), 4);
    EXPECT_EQ(course["laps"].toInt(), 2);
    EXPECT_EQ(course["course"].toArray(), QJsonArray({"W", "L"}));
    const QJsonObject w = course["marks"].toArray()[0].toObject();
    EXPECT_EQ(w["name"], "W");
    EXPECT_EQ(w["kind"], "mark");
    EXPECT_EQ(w["side"], "port");
    EXPECT_TRUE(w["lat"].isDouble() && w["lon"].isDouble());

    const QJsonArray boats = json["boats"].toArray();
    ASSERT_EQ(boats.size(), 3);
    const QJsonObject first = boats[0].toObject();
    EXPECT_EQ(first["row"].toInt(), 1);
    EXPECT_EQ(first["name"], "boat1.txt");
    EXPECT_EQ(first["file"], "boat1.txt");
    EXPECT_EQ(first["lys"].toDouble(), 1.0);
    EXPECT_EQ(first["status"], "finished");
    EXPECT_EQ(first["rank"].toInt(), 1);
    EXPECT_EQ(first["gun"], "2008-06-21T11:00:00Z");
    EXPECT_TRUE(first["started"].toString().startsWith("2008-06-21T11:00:0"))
        << first["started"].toString().toStdString();
    EXPECT_FALSE(first["ocs"].toBool());
    const QJsonArray marks = first["marks"].toArray();
    ASSERT_EQ(marks.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const QJsonObject m = marks[i].toObject();
        EXPECT_EQ(m["name"], i % 2 ? "L" : "W");
        EXPECT_EQ(m["lap"].toInt(), i / 2 + 1);
        EXPECT_NEAR(m["elapsed_s"].toDouble(), truth.Boats[0].RoundingSeconds[static_cast<std::size_t>(i)], 3);
        EXPECT_EQ(m["corrected_s"].toDouble(), m["elapsed_s"].toDouble());
        EXPECT_TRUE(m["time"].toString().endsWith("Z") && m["time"].toString()[19] == '.');
        EXPECT_EQ(m["rank"].toInt(), 1); // the only boat to round them
    }
    EXPECT_NEAR(first["elapsed_s"].toDouble(), *truth.Boats[0].FinishSeconds, 1);
    EXPECT_TRUE(first["finish"].toString().endsWith("Z"));
    // Not ranked: the boat over the line that never came back, the one that missed W.
    for (const QJsonValue& value : {boats[1], boats[2]}) {
        const QJsonObject boat = value.toObject();
        EXPECT_TRUE(boat["rank"].isNull());
        EXPECT_TRUE(boat["finish"].isNull() && boat["elapsed_s"].isNull() && boat["corrected_s"].isNull());
        if (boat["file"] == "boat2.txt") {
            EXPECT_EQ(boat["status"], "OCS");
            EXPECT_TRUE(boat["ocs"].toBool());
            EXPECT_TRUE(boat["started"].isNull());
        } else {
            EXPECT_EQ(boat["status"], "missed W lap 1");
        }
    }
}

// Nothing of a race is ranked on a course file read in part: the error names its line, and
// the older outputs stay.
TEST(ResultsCommandCourse, ABrokenCourseFileRanksNothing)
{
    TempDir dir;
    dir.write("Elsa.txt", {"lat,lon,date,time", "57.61,11.499,20080621,120000", "57.61,11.503,20080621,130020"});
    const std::string race = dir.write("race.TP1", {"Elsa.txt , 2008-06-21 12:00:00 , 1.00 , 0 , ,"});
    dir.writeBytes("race.TP1.course", "finish 57.60 11.5 57.62 11.5\nmark W 57.58 11.47 port\nlaps 0\n");
    dir.writeBytes("old.csv", "old");
    for (const std::string& options : {std::string(), std::string(" --finish 57.60,11.5,57.62,11.5")}) {
        const auto run =
            RunCommand(kTideplot + " results " + Quote(race) + options + " --csv " + Quote(dir.file("old.csv")));
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_EQ(run.output, "tideplot results: race.TP1.course, line 3: the laps \"0\" are no whole number from 1 to "
                              "1000\n");
        EXPECT_EQ(Slurp(dir.file("old.csv")), "old");
    }
}

// `tideplot course` proposes the course sailed and, with --write, puts it into the course file
// in place of its course lines, keeping the rest: then the results follow it.
TEST(CourseCommand, ProposesAndWritesTheCourseKeepingTheOtherLines)
{
    TempDir dir;
    coursesim::RaceOptions o;
    o.Out = dir.file("race");
    o.Laps = 2;
    o.Boats = {{1.00, 5.0, 0, 6, true, 0, 0, 180},
               {1.10, 5.5, 30, 8, true, 0, 50, 150},
               {1.05, 5.2, 60, 5, true, 0, -50, 170}};
    const coursesim::TrueRace truth = coursesim::WriteRace(o);
    const std::string race = truth.RaceFile.string(), courseFile = race + ".course";
    const std::string finish = truth.CourseLines.back();
    const std::string kept = "# the club's race\r\nrating boat1.txt 1.05\r\nmark Old 57.5 11.4 port\r\n" + finish +
                             "\r\nwind 11:30:00 225\r\n";
    dir.writeBytes("race/race.TP1.course", kept);

    auto run = RunCommand(kTideplot + " course " + Quote(race));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("# M1: turns of 3 boats; "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("\nlaps 2\n" + finish + "\n# Sailed by the tracks: 3 of 3 boats finish"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(Slurp(courseFile), kept); // printed only

    run = RunCommand(kTideplot + " course " + Quote(race) + " --write");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string written = Slurp(courseFile);
    EXPECT_EQ(written.substr(0, 48), "# the club's race\r\nrating boat1.txt 1.05\r\nstart ");
    EXPECT_NE(written.find(" port\r\nmark M2 "), std::string::npos) << written;
    EXPECT_EQ(written.find("Old"), std::string::npos) << written;
    EXPECT_NE(written.find("laps 2\r\n" + finish + "\r\nwind 11:30:00 225\r\n"), std::string::npos) << written;
    run = RunCommand(kTideplot + " results " + Quote(race));
    EXPECT_NE(run.output.find("3 boats, 3 finished"), std::string::npos) << run.output;

    // A course file that cannot be read is not written over; a race without marks writes none.
    dir.writeBytes("race/race.TP1.course", "mark W 1 2 sideways\r\n");
    run = RunCommand(kTideplot + " course " + Quote(race) + " --write");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(run.output, "tideplot course: race.TP1.course, line 1: the mark \"W\": the side \"sideways\" is neither "
                          "port nor starboard (the side a boat leaves the mark on)\n");
    EXPECT_EQ(Slurp(courseFile), "mark W 1 2 sideways\r\n");
    dir.write("Elsa.txt", {"lat,lon,date,time", "57.61,11.499,20080621,120000", "57.61,11.503,20080621,130020"});
    const std::string straight = dir.write("straight.TP1", {"Elsa.txt , 2008-06-21 12:00:00 , 1.00 , 0 , ,"});
    run = RunCommand(kTideplot + " course " + Quote(straight) + " --write");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("tideplot course: no mark found: straight.TP1.course is left as it was"),
              std::string::npos)
        << run.output;
    EXPECT_FALSE(std::filesystem::exists(straight + ".course"));
    EXPECT_EQ(RunCommand(kTideplot + " course").status, 2);
}

} // namespace
} // namespace tideplot
