// `tideplot analyse`: the table, the JSON and the CSV files of a small race sailed in straight
// lines, the wind estimated on races of both race generators, and the exit status of every
// kind of failure.
#include "coursesim.h"
#include "support/process.h"
#include "support/racefiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace tideplot {
namespace {

using testing::Hms;
using testing::Quote;
using testing::RunCommand;
using testing::Slurp;
using testing::TempDir;

const std::string kTideplot = TIDEPLOT_EXE;
constexpr double kPi = 3.14159265358979323846;

// Track lines of a boat sailing a straight course at `knots` from 57.6 N 11.5 E, one fix a
// second from `from` to `to` (seconds of the day 2008-06-21).
std::vector<std::string> Straight(double courseDeg, double knots, int from, int to)
{
    std::vector<std::string> lines{"lat,lon,date,time"};
    for (int t = from; t <= to; ++t) {
        const double metres = knots * 1852.0 / 3600 * (t - from);
        const double north = metres * std::cos(courseDeg * kPi / 180), east = metres * std::sin(courseDeg * kPi / 180);
        char line[96];
        std::snprintf(line, sizeof line, "%.7f,%.7f,20080621,%s", 57.6 + north / (60 * 1852.0),
                      11.5 + east / (60 * 1852.0 * std::cos(57.6 * kPi / 180)), Hms(t).c_str());
        lines.push_back(line);
    }
    return lines;
}

QJsonObject ParseJson(const std::string& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return document.object();
}

// Elsa sails east at 5 knots from two minutes before her start at 12:00 until 12:08; "Saga
// "II", ä" (a name to escape) north-west at 4 knots, LYS 1.2, from 11:59 (her start is 12:01)
// until 12:05; one of Elsa's lines repeats an earlier time, and her receiver puts her back
// where she was at 11:58 for a second at 12:06:00.
class AnalyseCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<std::string> elsa = Straight(90, 5, 11 * 3600 + 58 * 60, 12 * 3600 + 8 * 60);
        elsa[481] = Straight(180, 3600, 12 * 3600 + 6 * 60, 12 * 3600 + 6 * 60)[1];
        elsa.insert(elsa.begin() + 201, elsa[100]);
        dir.write("Elsa.txt", elsa);
        dir.write("Saga \"II\" \xC3\xA4.txt", Straight(330, 4, 11 * 3600 + 59 * 60, 12 * 3600 + 5 * 60));
        race = dir.write("race.TP1", {"Elsa.txt , 2008-06-21 12:00:00 , 1.00 , 0 , ,",
                                      "Saga \"II\" \xC3\xA4.txt , 2008-06-21 12:01:00 , 1.2 , 1023 , ,"});
    }
    testing::CommandResult analyse(const std::string& options) const
    {
        return RunCommand(kTideplot + " analyse " + Quote(race) + " " + options);
    }
    TempDir dir;
    std::string race;
};

TEST_F(AnalyseCommand, TableAndFilesOfAStraightRace)
{
    const auto run = analyse("--wind 0 --json " + Quote(dir.file("a.json")) + " --csv " + Quote(dir.file("m.csv")) +
                             " --series " + Quote(dir.file("s.csv")));
    ASSERT_EQ(run.status, 0) << run.output;
    // Elsa: 8 minutes at 5 knots after her start, the wind over her port side; Saga: 4 at 4 knots,
    // the wind over her starboard side.
    EXPECT_NE(run.output.find("warning: Elsa.txt: 1 fix not later than the fix before it was left out (the first on "
                              "line 202)"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("warning: Elsa.txt: 1 fix out of reach at 50 knots of the track either side was left "
                              "out of speed, distance and manoeuvres (line 483)\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(
        run.output.find("Analysis of " + race +
                        ": 2 boats\n\n"
                        "Boat             LYS  Distance nm  Mean kn  Tacks  Gybes  Tack loss m     Port  "
                        "Starboard\n"
                        "Elsa.txt         1           0.67     5.00      0      0            -  0:08:00    "
                        "0:00:00\n"
                        "Saga \"II\" \xC3\xA4.txt  1.2         0.27     4.00      0      0            -  0:00:00    "
                        "0:04:00\n\n"
                        "wind from 0 degrees, given with --wind; 0 tacks and 0 gybes found\n"),
        std::string::npos)
        << run.output;

    const std::string json = Slurp(dir.file("a.json"));
    EXPECT_NE(json.find("\"name\": \"Saga \\\"II\\\" \xC3\xA4.txt\""), std::string::npos) << json;
    const QJsonObject document = ParseJson(json);
    const QJsonObject wind = document["wind"].toObject();
    EXPECT_EQ(wind["from_deg"].toDouble(-1), 0.0);
    EXPECT_EQ(wind["source"].toString(), "given");
    EXPECT_EQ(wind["tacks"].toInt(-1), 0);
    const QJsonArray boats = document["boats"].toArray();
    ASSERT_EQ(boats.size(), 2);
    const QJsonObject saga = boats[1].toObject();
    EXPECT_EQ(saga["row"].toInt(), 2);
    EXPECT_EQ(saga["name"].toString(), QString::fromUtf8("Saga \"II\" \xC3\xA4.txt"));
    EXPECT_EQ(saga["caption"].toString(), QString::fromUtf8("Saga \"II\" \xC3\xA4.txt 1.2"));
    EXPECT_EQ(saga["lys"].toDouble(), 1.2);
    EXPECT_EQ(saga["gun"].toString(), "2008-06-21T12:01:00Z");
    EXPECT_TRUE(saga["start"].isNull()) << "no start line";
    EXPECT_NEAR(saga["distance_nm"].toDouble(), 4.0 * 4 / 60, 0.002);
    EXPECT_TRUE(saga["mean_tack_loss_m"].isNull());
    EXPECT_EQ(saga["starboard_s"].toDouble(), 240);
    EXPECT_TRUE(saga["manoeuvres"].toArray().isEmpty());

    EXPECT_EQ(Slurp(dir.file("m.csv")), "row,name,kind,time,race_time,lat,lon,course_before,course_after,"
                                        "speed_before_kn,min_speed_kn,speed_after_kn,duration_s,loss_m\r\n");

    // The series: every fix kept, as logged, on the race clock of its boat.
    const std::string series = Slurp(dir.file("s.csv"));
    const std::vector<std::string> elsa = Straight(90, 5, 11 * 3600 + 58 * 60, 12 * 3600 + 8 * 60);
    const std::vector<std::string> saga6 = Straight(330, 4, 11 * 3600 + 59 * 60, 12 * 3600 + 5 * 60);
    const auto field = [](const std::string& line, int n) {
        return QString::fromStdString(line).split(',')[n].toStdString();
    };
    EXPECT_EQ(series.substr(0, series.find("\r\n", 60) + 2),
              "row,time,race_time,lat,lon,sog_kn,cog_deg,vmg_kn\r\n1,2008-06-21T11:58:00Z,-00:02:00," +
                  field(elsa[1], 0) + "," + field(elsa[1], 1) + ",5.00,90.0,0.00\r\n");
    EXPECT_NE(series.find("\r\n2,2008-06-21T11:59:00Z,-00:02:24," + field(saga6[1], 0) + "," + field(saga6[1], 1) +
                          ",4.00,330.0,3.46\r\n"),
              std::string::npos);
    EXPECT_NE(series.find("\r\n1,2008-06-21T12:08:00Z,00:08:00,"), std::string::npos);
    EXPECT_EQ(series.find("2008-06-21T12:06:00Z"), std::string::npos); // the glitch
    EXPECT_EQ(std::count(series.begin(), series.end(), '\n'), 1 + 600 + 361);
}

// Without --wind and without tacks the wind is unknown, and said so; nothing is guessed.
TEST_F(AnalyseCommand, NoWindWithoutTacks)
{
    const auto run = analyse("--json " + Quote(dir.file("a.json")) + " --series " + Quote(dir.file("s.csv")));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Elsa.txt         1           0.67     5.00      -      -            -     -          -"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("wind unknown: fewer than three tacks and gybes to estimate it from; give its direction "
                              "with --wind DEG"),
              std::string::npos)
        << run.output;
    const QJsonObject wind = ParseJson(Slurp(dir.file("a.json")))["wind"].toObject();
    EXPECT_TRUE(wind["from_deg"].isNull());
    EXPECT_EQ(wind["source"].toString(), "unknown");
    EXPECT_NE(Slurp(dir.file("s.csv")).find(",5.00,90.0,\r\n"), std::string::npos);
}

TEST_F(AnalyseCommand, Failures)
{
    dir.writeBytes("old.json", "old");
    dir.write("bad.TP1", {"Elsa.txt , 2008-06-21 12:00:00 , 1.00 , 0 , ,", "Elsa.txt , yesterday , 1 , 0 , ,"});
    std::vector<std::string> broken = Straight(90, 5, 43200, 43300);
    broken[5] = "57.6,11.5x,20080621,120004";
    dir.write("broken.txt", broken);
    dir.write("broken.TP1",
              {"Elsa.txt , 2008-06-21 12:00:00 , 1.00 , 0 , ,", "broken.txt , 2008-06-21 12:00:00 , 1 , 0 , ,"});
    dir.writeBytes("log.gpx", "<?xml version=\"1.0\"?>\n<gpx></gpx>\n");
    dir.write("log.TP1", {"log.gpx , 2008-06-21 12:00:00 , 1.00 , 0 , ,"});
    struct Case {
        std::string arguments;
        int status;
        std::string message;
    };
    const std::string json = " --json " + Quote(dir.file("old.json"));
    const Case cases[] = {
        {"--help", 0, "Usage: tideplot analyse RACE.TP1"},
        {"", 2, "tideplot analyse: no race file given"},
        {Quote(race) + " --wind 400", 2, "--wind: 400 is no direction"},
        {Quote(race) + " --wind north", 2, "--wind: \"north\" is not a number"},
        {Quote(race) + " --json", 2, "--json needs a value"},
        {Quote(race) + " --csv " + Quote(race), 2, "--csv names the race file"},
        {Quote(race) + json + " --series " + Quote(dir.file("old.json")), 2, "--json and --series name one file"},
        {Quote(race) + " --series " + Quote(dir.file("Elsa.txt")), 1, "--series names the track file of Elsa.txt"},
        {Quote(race) + " --speed 3", 2, "unknown option --speed"},
        {Quote(dir.file("bad.TP1")) + json, 1, "bad.TP1, line 2: the start time \"yesterday\" is not a valid date"},
        {Quote(dir.file("broken.TP1")) + json, 1, "broken.txt, line 6:"},
        {Quote(dir.file("log.TP1")) + json, 1, "is a log (KML, KMZ or GPX), not a track file"},
        {Quote(dir.file("missing.TP1")) + json, 1, "the race file cannot be read"},
    };
    for (const Case& c : cases) {
        const auto run = RunCommand(kTideplot + " analyse " + c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n" << run.output;
    }
    EXPECT_EQ(Slurp(dir.file("old.json")), "old"); // no failure touched it
    EXPECT_EQ(Slurp(dir.file("Elsa.txt")).substr(0, 17), "lat,lon,date,time");
}

// The table writes its numbers as the JSON does: a tack that gains a few millimetres (the
// boat a little faster after it) loses "0.0" metres in both, never "-0.0".
TEST(AnalyseCommandTable, NumbersAreTheJsonsRounding)
{
    TempDir dir;
    const double speedsAfter[] = {5.004, 5.008, 4.999, 5.3};
    std::vector<std::string> race;
    for (std::size_t k = 0; k < std::size(speedsAfter); ++k) {
        // Close-hauled on port at 5 knots, then on starboard from where she tacked.
        std::vector<std::string> lines = Straight(315, 5, 11 * 3600 + 58 * 60, 12 * 3600 + 3 * 60);
        const QStringList last = QString::fromStdString(lines.back()).split(',');
        const double lat0 = last[0].toDouble(), lon0 = last[1].toDouble();
        const std::vector<std::string> after = Straight(45, speedsAfter[k], 12 * 3600 + 3 * 60, 12 * 3600 + 8 * 60);
        for (std::size_t i = 2; i < after.size(); ++i) {
            QStringList fields = QString::fromStdString(after[i]).split(',');
            fields[0] = QString::number(fields[0].toDouble() - 57.6 + lat0, 'f', 7);
            fields[1] = QString::number(fields[1].toDouble() - 11.5 + lon0, 'f', 7);
            lines.push_back(fields.join(',').toStdString());
        }
        const std::string name = "tack" + std::to_string(k) + ".txt";
        dir.write(name, lines);
        race.push_back(name + " , 2008-06-21 12:00:00 , 1 , 0 , ,");
    }
    const auto run = RunCommand(kTideplot + " analyse " + Quote(dir.write("race.TP1", race)) + " --wind 0 --json " +
                                Quote(dir.file("a.json")));
    ASSERT_EQ(run.status, 0) << run.output;
    const QString json = QString::fromStdString(Slurp(dir.file("a.json")));
    const QRegularExpression number("\"mean_speed_kn\": ([-0-9.]+), .*\"mean_tack_loss_m\": ([-0-9.]+)");
    const QRegularExpression row("^tack\\d\\.txt +1 +[0-9.]+ +([-0-9.]+) +1 +0 +([-0-9.]+) ");
    auto numbers = number.globalMatch(json);
    int rows = 0;
    for (const QString& line : QString::fromStdString(run.output).split('\n')) {
        const auto shown = row.match(line);
        if (!shown.hasMatch())
            continue;
        ++rows;
        ASSERT_TRUE(numbers.hasNext()) << line.toStdString();
        const auto written = numbers.next();
        EXPECT_EQ(shown.captured(1).toStdString(), written.captured(1).toStdString()) << line.toStdString();
        EXPECT_EQ(shown.captured(2).toStdString(), written.captured(2).toStdString()) << line.toStdString();
    }
    EXPECT_EQ(rows, 4) << run.output;
}

// The files go in place together: when one cannot (a name longer than the file system
// takes), every older file stays as it was and no temporary file is left; a run that ends
// replaces them all.
TEST_F(AnalyseCommand, FilesReplaceTheOldOnesTogetherOrNotAtAll)
{
    dir.writeBytes("a.json", "old JSON");
    dir.writeBytes("m.csv", "old CSV");
    const std::string tooLong = dir.file(std::string(300, 's') + ".csv");
    const std::string files = " --json " + Quote(dir.file("a.json")) + " --csv " + Quote(dir.file("m.csv"));
    const auto failed = analyse("--wind 0" + files + " --series " + Quote(tooLong));
    EXPECT_EQ(failed.status, 1) << failed.output;
    EXPECT_NE(failed.output.find("cannot write the series' CSV file \"" + tooLong + "\""), std::string::npos)
        << failed.output;
    EXPECT_EQ(Slurp(dir.file("a.json")), "old JSON");
    EXPECT_EQ(Slurp(dir.file("m.csv")), "old CSV");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string().rfind(".tideplot-", 0), 0u) << entry.path();

    const auto run = analyse("--wind 0" + files + " --series " + Quote(dir.file("s.csv")));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Slurp(dir.file("a.json")).substr(0, 10), "{\n  \"wind\"");
    EXPECT_EQ(Slurp(dir.file("m.csv")).substr(0, 4), "row,");
    EXPECT_EQ(Slurp(dir.file("s.csv")).substr(0, 4), "row,");
}

// The wind estimated from the fleet on a race of each generator: tideplot-racegen's wind
// swings about 220 degrees; tideplot-manoeuvregen's truth gives its wind and manoeuvres. Every
// manoeuvre has every field, the CSV a line for each.
TEST(AnalyseCommandWind, EstimatedOnRacesOfBothGenerators)
{
    TempDir dir;
    const std::string racegen = std::string(TIDEPLOT_RACEGEN) + " --out " + Quote(dir.file("rg")) +
                                " --boats 4 --hours 1 --interval 2 --seed 5 > /dev/null";
    ASSERT_EQ(std::system(racegen.c_str()), 0) << racegen;
    auto run = RunCommand(kTideplot + " analyse " + Quote(dir.file("rg/race.TP1")));
    ASSERT_EQ(run.status, 0) << run.output;
    const QRegularExpression windLine("wind from (\\d+) degrees, estimated from (\\d+) tacks and (\\d+) gybes");
    auto match = windLine.match(QString::fromStdString(run.output));
    ASSERT_TRUE(match.hasMatch()) << run.output;
    EXPECT_LE(std::abs(match.captured(1).toInt() - 220), 5) << run.output;
    EXPECT_GE(match.captured(2).toInt(), 20) << run.output;

    const std::string generate = std::string(TIDEPLOT_MANOEUVREGEN) + " --out " + Quote(dir.file("mg")) +
                                 " --boats 3 --hours 0.7 --wind 75 --seed 4";
    ASSERT_EQ(std::system(generate.c_str()), 0) << generate;
    run = RunCommand(kTideplot + " analyse " + Quote(dir.file("mg/race.TP1")) + " --json " + Quote(dir.file("a.json")) +
                     " --csv " + Quote(dir.file("m.csv")));
    ASSERT_EQ(run.status, 0) << run.output;
    const QJsonObject truth = ParseJson(Slurp(dir.file("mg/race.truth.json")));
    const QJsonObject analysis = ParseJson(Slurp(dir.file("a.json")));
    const QJsonObject wind = analysis["wind"].toObject();
    EXPECT_EQ(wind["source"].toString(), "estimated");
    EXPECT_NEAR(wind["from_deg"].toDouble(), truth["wind_from_deg"].toDouble(), 5);
    int tacks = 0, manoeuvres = 0;
    const QRegularExpression clock("^-?\\d\\d+:\\d\\d:\\d\\d$"), utc("^2008-06-21T\\d\\d:\\d\\d:\\d\\dZ$");
    for (const QJsonValue boat : analysis["boats"].toArray()) {
        // Without a course: no start, no legs; the gap along the wind's axis.
        EXPECT_TRUE(boat.toObject()["start"].isNull());
        EXPECT_TRUE(boat.toObject()["legs"].toArray().isEmpty());
        EXPECT_FALSE(boat.toObject()["gap_series"].toArray().isEmpty());
        int raceTacks = 0;
        for (const QJsonValue value : boat.toObject()["manoeuvres"].toArray()) {
            const QJsonObject m = value.toObject();
            ++manoeuvres;
            const QString kind = m["kind"].toString();
            EXPECT_TRUE(kind == "tack" || kind == "gybe" || kind == "turn" || kind == "rounding") << kind.toStdString();
            tacks += kind == "tack" ? 1 : 0;
            ASSERT_TRUE(m["before_start"].isBool());
            EXPECT_EQ(m["before_start"].toBool(), m["race_time"].toString().startsWith('-'));
            raceTacks += kind == "tack" && !m["before_start"].toBool() ? 1 : 0;
            EXPECT_TRUE(clock.match(m["race_time"].toString()).hasMatch()) << m["race_time"].toString().toStdString();
            EXPECT_TRUE(utc.match(m["time"].toString()).hasMatch()) << m["time"].toString().toStdString();
            for (const char* key : {"lat", "lon", "course_before", "course_after", "speed_before_kn", "min_speed_kn",
                                    "speed_after_kn", "duration_s"})
                EXPECT_TRUE(m[key].isDouble()) << key;
            EXPECT_EQ(m["loss_m"].isNull(), kind == "turn" || kind == "rounding");
            EXPECT_LE(m["min_speed_kn"].toDouble(), m["speed_before_kn"].toDouble());
        }
        EXPECT_EQ(boat.toObject()["tacks"].toInt(), raceTacks) << "the tacks counted from the start";
    }
    int trueTacks = 0;
    for (const QJsonValue boat : truth["boats"].toArray())
        for (const QJsonValue m : boat.toObject()["manoeuvres"].toArray())
            trueTacks += m.toObject()["kind"].toString() == "tack" && !m.toObject()["at_mark"].toBool() ? 1 : 0;
    EXPECT_EQ(tacks, trueTacks);
    EXPECT_EQ(wind["tacks"].toInt(), tacks);
    const std::string csv = Slurp(dir.file("m.csv"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + manoeuvres);

    // The course file's wind lines are the race's wind, over the estimate.
    const std::string course = "# the wind as the committee boat logged it\r\n";
    dir.writeBytes("mg/race.TP1.course", course + "wind -00:10:00 70\r\nwind 00:50:00 80\r\n");
    run = RunCommand(kTideplot + " analyse " + Quote(dir.file("mg/race.TP1")) + " --json " + Quote(dir.file("a.json")));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("wind from 75 degrees, given at 2 moments"), std::string::npos) << run.output;
    EXPECT_EQ(ParseJson(Slurp(dir.file("a.json")))["wind"].toObject()["series"].toArray().size(), 2);
    dir.writeBytes("mg/race.TP1.course", course + "wind 0:10 80\r\n");
    run = RunCommand(kTideplot + " analyse " + Quote(dir.file("mg/race.TP1")));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("race.TP1.course, line " +
                              std::to_string(std::count(course.begin(), course.end(), '\n') + 1) +
                              ": the wind line \"0:10 80\""),
              std::string::npos)
        << run.output;
}

// With the course (a generated windward-leeward race, tools/coursesim.h): --legs prints the
// start and the legs, the JSON has each boat's start and legs, --legs-csv a line a leg.
TEST(AnalyseCommandCourse, StartAndLegs)
{
    TempDir dir;
    coursesim::RaceOptions o;
    o.Out = dir.path();
    o.Laps = 2;
    o.Boats = {{1.00, 5.0, 0, 8, true, 0, -60, 180}, {1.05, 4.9, 30, -6, true, 0, 40, 150}};
    const coursesim::TrueRace truth = coursesim::WriteRace(o);
    const auto run = RunCommand(kTideplot + " analyse " + Quote(truth.RaceFile.string()) + " --legs --json " +
                                Quote(dir.file("a.json")) + " --legs-csv " + Quote(dir.file("l.csv")));
    ASSERT_EQ(run.status, 0) << run.output;
    for (const char* text :
         {"\nStart line: ", "\nBoat       To line m  Along  Speed kn  Late s       OCS\n", "  returned\n",
          "\nLegs (times from each boat's gun; rank and gap on corrected time at "
          "the leg's end)\nBoat       Leg       Lap  Kind        Start      End",
          "  start-W   1    upwind  ", "  W-L       1    downwind", "  L-finish  2    upwind", "\nLegs CSV: "})
        EXPECT_NE(run.output.find(text), std::string::npos) << text << "\n" << run.output;
    const QJsonObject analysis = ParseJson(Slurp(dir.file("a.json")));
    EXPECT_TRUE(analysis["start_line"].toObject()["bias_deg"].isDouble());
    int legs = 0;
    for (const QJsonValue value : analysis["boats"].toArray()) {
        const QJsonObject boat = value.toObject();
        const QJsonObject start = boat["start"].toObject();
        for (const char* key : {"line_distance_m", "line_position", "speed_kn", "seconds_late"})
            EXPECT_TRUE(start[key].isDouble()) << key;
        EXPECT_EQ(start["ocs"].toBool(), boat["row"].toInt() == 2);
        EXPECT_EQ(start["returned"].toBool(), boat["row"].toInt() == 2);
        const QJsonArray boatLegs = boat["legs"].toArray();
        ASSERT_EQ(boatLegs.size(), 5); // start-W, W-L, L-W, W-L, L-finish
        legs += static_cast<int>(boatLegs.size());
        for (const QJsonValue leg : boatLegs) {
            for (const char* key :
                 {"lap", "seconds", "distance_nm", "mean_speed_kn", "vmg_kn", "tacks", "gybes", "rank", "gap_s"})
                EXPECT_TRUE(leg.toObject()[key].isDouble()) << key;
            EXPECT_EQ(leg.toObject()["kind"].toString(),
                      leg.toObject()["to"].toString() == "L" ? "downwind" : "upwind");
        }
        EXPECT_EQ(boatLegs[4].toObject()["to"].toString(), "finish");
        EXPECT_EQ(boatLegs[4].toObject()["lap"].toInt(), 2);
    }
    const std::string csv = Slurp(dir.file("l.csv"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + legs);
    EXPECT_EQ(csv.substr(0, csv.find('\r')), "row,name,from,to,lap,kind,start,end,seconds,distance_nm,mean_speed_kn,"
                                             "vmg_kn,tacks,gybes,mean_loss_m,port_s,starboard_s,rank,gap_s");
}

} // namespace
} // namespace tideplot
