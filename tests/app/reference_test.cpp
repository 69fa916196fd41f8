// The program's trace against a second implementation of the same rules, written
// separately in Python (tests/reference/replay_reference.py): they must agree line by
// line, to the last digit.
#include "support/process.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

namespace tideplot {
namespace {

using testing::Quote;
using testing::RunCommand;
using testing::Slurp;
using testing::TempDir;

// Runs both on `race` with `options` and compares their traces.
void ExpectSameTrace(const TempDir& dir, const std::string& race, const std::string& options)
{
    const auto ours = RunCommand(std::string(TIDEPLOT_EXE) + " replay " + Quote(race) + " " + options + " --trace " +
                                 Quote(dir.file("ours.trace")));
    ASSERT_EQ(ours.status, 0) << ours.output;
    const auto theirs = RunCommand("python3 " + Quote(TIDEPLOT_REFERENCE) + " " + Quote(race) + " " + options + " > " +
                                   Quote(dir.file("theirs.trace")));
    ASSERT_EQ(theirs.status, 0) << theirs.output;
    const std::string a = Slurp(dir.file("ours.trace"));
    const std::string b = Slurp(dir.file("theirs.trace"));
    if (a == b)
        return;
    // The first line that differs: from the line break before the first byte that differs.
    const auto at = static_cast<std::size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
    const std::size_t from = at == 0 ? 0 : a.rfind('\n', at - 1) + 1; // npos + 1 is 0
    const auto lineOf = [from](const std::string& trace) { return trace.substr(from, trace.find('\n', from) - from); };
    ADD_FAILURE() << race << " " << options << ": traces differ at line "
                  << std::count(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(from), '\n') + 1
                  << "\n  program:   " << lineOf(a) << "\n  reference: " << lineOf(b);
}

class ReferenceTrace : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing::HaveCommand("python3"))
            GTEST_SKIP() << "python3 is not installed: the trace is not compared with the reference";
    }
    TempDir dir;
};

TEST_F(ReferenceTrace, SampleRaceWithVariousSettings)
{
    const std::string race = std::string(TIDEPLOT_SOURCE_DIR) + "/examples/sample-race/race.TP1";
    for (const char* options : {"", "--resolution 1", "--resolution 7.5 --points 3", "--resolution 60 --points 1",
                                "--resolution 400", "--resolution 13 --points 0 --heading 120 --tilt 30"})
        ExpectSameTrace(dir, race, options);
    // The last of them: before the gun the race time carries a minus sign.
    const std::string trace = Slurp(dir.file("ours.trace"));
    for (const char* step : {"\nstep 1 -00:05:00\n", "\nstep 24 -00:00:01\n", "\nstep 25 00:00:12\n"})
        EXPECT_NE(trace.find(step), std::string::npos) << step;
}

TEST_F(ReferenceTrace, GeneratedSevenBoatRace)
{
    const auto gen = RunCommand(std::string(TIDEPLOT_RACEGEN) + " --out " + Quote(dir.path().string()) +
                                " --boats 7 --hours 1 --interval 1 --seed 7");
    ASSERT_EQ(gen.status, 0) << gen.output;
    ExpectSameTrace(dir, dir.file("race.TP1"), "");
    ExpectSameTrace(dir, dir.file("race.TP1"), "--resolution 3.3 --points 7");
}

// A club fleet of twenty: every boat after the first gets its distance, every boat a legend line.
TEST_F(ReferenceTrace, GeneratedFleetOfTwenty)
{
    const auto gen = RunCommand(std::string(TIDEPLOT_RACEGEN) + " --out " + Quote(dir.path().string()) +
                                " --boats 20 --hours 1 --interval 5 --seed 20");
    ASSERT_EQ(gen.status, 0) << gen.output;
    ExpectSameTrace(dir, dir.file("race.TP1"), "--resolution 30 --points 5");
    const std::string trace = Slurp(dir.file("ours.trace"));
    for (const char* line : {"\nlegend 19 ", "\ndst 19 ", "<name>boat20.txt "})
        EXPECT_NE(trace.find(line), std::string::npos) << line;
}

// An offshore race of more than two days: the race time counts on past 24 hours.
TEST_F(ReferenceTrace, RaceOfMoreThanTwoDays)
{
    const auto gen = RunCommand(std::string(TIDEPLOT_RACEGEN) + " --out " + Quote(dir.path().string()) +
                                " --boats 2 --hours 50 --interval 60 --seed 50");
    ASSERT_EQ(gen.status, 0) << gen.output;
    ExpectSameTrace(dir, dir.file("race.TP1"), "--resolution 300");
    const std::string trace = Slurp(dir.file("ours.trace"));
    for (const char* shown : {" 24:00:00\n", " 48:45:00\n"})
        EXPECT_NE(trace.find(shown), std::string::npos) << shown;
}

// Display names are the last 20 letters of the file name alone, whatever folder the entry
// names ("\\" or "/", relative or absolute): the legend, the documents and the trace keep "ö"
// and "å" whole where a cut at 20 bytes would split them; the documents escape "&".
TEST_F(ReferenceTrace, DisplayNamesAreTheLast20LettersOfTheFileName)
{
    std::filesystem::create_directories(dir.path() / "Båtar");
    const auto track = [](int offset) {
        std::vector<std::string> lines{"lat,lon,date,time"};
        for (int s = 0; s < 1800; s += 5)
            lines.push_back(std::to_string(57.6 + s * 1e-5) + "," + std::to_string(11.5 + offset * 0.01) +
                            ",20080621," + testing::Hms(36000 + s));
        return lines;
    };
    dir.write("Båtar/Fröken Sjöström.txt", track(0));
    dir.write("Båtar/Sjöjungfrun Tärnö & Co.txt", track(1));
    dir.write("Båtar/Elsa.txt", track(2));
    dir.write("race.TP1", {"Båtar\\Fröken Sjöström.txt , 2008-06-21 10:00:00 , 1 , 0 , ,",
                           "Båtar/Sjöjungfrun Tärnö & Co.txt , 2008-06-21 10:00:00 , 1.1 , 700 , ,",
                           dir.file("Båtar/Elsa.txt") + " , 2008-06-21 10:00:00 , 1.2 , 300 , ,"});
    ExpectSameTrace(dir, dir.file("race.TP1"), "--resolution 60");
    const std::string trace = Slurp(dir.file("ours.trace"));
    EXPECT_EQ(trace.rfind("legend 0 255 Fröken Sjöström.txt 1\nlegend 1 12386048 frun Tärnö & Co.txt 1.1\n"
                          "legend 2 65491 Elsa.txt 1.2\n",
                          0),
              0u)
        << trace.substr(0, 200);
    EXPECT_NE(trace.find("<name>Fröken Sjöström.txt 1</name>"), std::string::npos);
    EXPECT_NE(trace.find("<name>frun Tärnö &amp; Co.txt 1.1</name>"), std::string::npos);
    EXPECT_NE(trace.find("<name>Elsa.txt 1.2</name>"), std::string::npos);
}

// Points logged at the same second as the point before them: a log imported twice (every
// line doubled), a 5 Hz logger (five lines a second), an end placemark repeating the last
// point, repeats with lines without a fix between them. The race replays exactly as the same
// race with the repeated lines deleted, and as the reference replays it.
TEST_F(ReferenceTrace, RepeatedTimesReplayAsIfDeleted)
{
    struct Line {
        std::string text;
        bool repeat; // deleted in the second race
    };
    const auto fix = [](double lat, double lon, int seconds) {
        return std::to_string(lat) + "," + std::to_string(lon) + ",20080621," + testing::Hms(seconds);
    };
    std::vector<std::vector<Line>> boats(3);
    for (int i = 0; i < 600; ++i) {
        const int t = 36000 - 400 + 3 * i;
        const double lat = 57.6 + i * 2e-4, lon = 11.5 + i * 1e-4;
        boats[0].push_back({fix(lat, lon, t), false}); // imported twice
        boats[0].push_back({fix(lat, lon, t), true});
        for (int tick = 0; tick < 5; ++tick) // 5 Hz: the first point of each second counts
            boats[1].push_back({fix(lat - 0.01 + tick * 4e-5, lon, t), tick > 0});
        boats[2].push_back({fix(lat + 0.01, lon, t), false});
        if (i % 40 == 3) { // a line without a fix, then the same second again
            boats[2].push_back({"0,0,20080621," + testing::Hms(t), false});
            boats[2].push_back({fix(lat + 0.02, lon, t), true});
        }
    }
    boats[2].push_back({boats[2].back().text, true}); // the end placemark repeats the last point
    boats[2].push_back({boats[2].back().text, true});
    const std::vector<std::string> entries = {"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,",
                                              "b.txt , 2008-06-21 10:00:00 , 1.05 , 300 , ,",
                                              "c.txt , 2008-06-21 10:00:00 , 0.95 , 900 , ,"};
    for (const bool withRepeats : {true, false}) {
        const std::string folder = withRepeats ? "repeats" : "deleted";
        std::filesystem::create_directories(dir.path() / folder);
        for (std::size_t b = 0; b < boats.size(); ++b) {
            std::vector<std::string> lines{"lat,lon,date,time"};
            for (const Line& line : boats[b])
                if (withRepeats || !line.repeat)
                    lines.push_back(line.text);
            dir.write(folder + "/" + std::string(1, static_cast<char>('a' + b)) + ".txt", lines);
        }
        dir.write(folder + "/race.TP1", entries);
    }
    for (const char* options : {"", "--resolution 3 --points 5", "--resolution 1"}) {
        ExpectSameTrace(dir, dir.file("repeats/race.TP1"), options);
        const std::string withRepeats = Slurp(dir.file("ours.trace"));
        ExpectSameTrace(dir, dir.file("deleted/race.TP1"), options);
        EXPECT_TRUE(withRepeats == Slurp(dir.file("ours.trace"))) << options;
    }
}

// A race across the 180th meridian (off Fiji): boats a few miles apart are a few miles apart, every
// piece is drawn the short way with both ends in -180 to 180, and the camera follows the
// fleet across with its focus in -180 to 180 and a range from the fleet's true size.
TEST_F(ReferenceTrace, RaceAcrossThe180thMeridian)
{
    // Three boats sailing east from 179.9 E to 179.9 W, one sailing west the other way.
    const auto track = [](double lat, double fromLon, double degreesPerStep) {
        std::vector<std::string> lines{"lat,lon,date,time"};
        for (int i = 0; i <= 480; ++i) {
            double lon = fromLon + i * degreesPerStep;
            lon = lon > 180 ? lon - 360 : lon < -180 ? lon + 360 : lon;
            lines.push_back(std::to_string(lat + i * 1e-5) + "," + std::to_string(lon) + ",20080621," +
                            testing::Hms(35700 + 5 * i));
        }
        return lines;
    };
    dir.write("a.txt", track(-17.000, 179.90, 4e-4));
    dir.write("b.txt", track(-17.003, 179.90, 4.1e-4));
    dir.write("c.txt", track(-16.997, 179.89, 4.2e-4));
    dir.write("d.txt", track(-17.010, -179.92, -3.5e-4));
    dir.write("race.TP1", {"a.txt , 2008-06-21 10:00:00 , 1 , 0 , ,", "b.txt , 2008-06-21 10:00:00 , 1 , 300 , ,",
                           "c.txt , 2008-06-21 10:00:00 , 1 , 600 , ,", "d.txt , 2008-06-21 10:00:00 , 1 , 900 , ,"});
    for (const char* options : {"", "--resolution 7 --points 3", "--resolution 60"})
        ExpectSameTrace(dir, dir.file("race.TP1"), options);

    std::istringstream trace(Slurp(dir.file("ours.trace")));
    int pieces = 0, crossings = 0, cameras = 0;
    for (std::string line; std::getline(trace, line);) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "dst") {
            int row = 0;
            double nm = 0;
            if (words >> row >> nm) {
                EXPECT_LT(nm, 20) << line; // not the 21,000 nm of the long way round
            }
        } else if (kind == "kml") {
            const auto from = line.find("<coordinates>") + 13;
            double lon1 = 0, lat1 = 0, z = 0, lon2 = 0;
            char comma = 0;
            std::istringstream(line.substr(from)) >> lon1 >> comma >> lat1 >> comma >> z >> comma >> lon2;
            EXPECT_LE(std::abs(lon1), 180) << line;
            EXPECT_LE(std::abs(lon2), 180) << line;
            const double apart = std::abs(lon1 - lon2);
            EXPECT_LT(std::min(apart, 360 - apart), 0.1) << line;
            ++pieces;
            crossings += apart > 180;
        } else if (kind == "camera") {
            double lat = 0, lon = 0, range = 0;
            words >> lat >> lon >> range;
            EXPECT_LE(std::abs(lon), 180) << line;
            EXPECT_GT(std::abs(lon), 179.5) << line;
            EXPECT_LT(range, 100000) << line; // a fleet a few nautical miles wide
            ++cameras;
        }
    }
    EXPECT_GT(pieces, 100);
    EXPECT_GE(crossings, 4); // every boat crossed
    EXPECT_GT(cameras, 10);
}

// The awkward cases: latitude-0 lines in the middle and at the end, a gap of exactly five
// minutes and more, a file that ends mid-race, header-only files, an empty last line, a last
// line without a break, CR line ends, ";" as separator, a LYS below 1, a first boat that
// starts late.
TEST_F(ReferenceTrace, EdgeCaseRace)
{
    std::vector<std::string> a{"# logger", "# boat A", "lat,lon,date,time"};
    std::vector<std::string> b{"lat;lon;date;time"};
    std::vector<std::string> c{"h"};
    int t = 36000 - 400;
    for (int i = 0; i < 300; ++i) {
        const std::string lat = std::to_string(57.6 + i * 0.0003);
        const std::string lon = std::to_string(11.5 - i * 0.0002);
        a.push_back((i % 37 == 5 ? std::string("0") : lat) + "," + lon + ",20080621," + testing::Hms(t));
        if (i % 50 == 7)
            a.push_back("");
        b.push_back(lat + ";" + std::to_string(11.51 + i * 0.0001) + ";20080621;" + testing::Hms(t + 3));
        if (i < 120)
            c.push_back(std::to_string(57.59 - i * 0.0002) + "," + lon + ",20080621," + testing::Hms(t + 1));
        t += (i == 100) ? 300 : (i == 150 ? 420 : 7);
    }
    a.push_back("");
    dir.write("a.txt", a);
    dir.write("b.txt", b, "\r");
    dir.write("c.txt", c, "\n");
    dir.writeBytes("d.txt", "# only a header\r\n");
    dir.writeBytes("late.txt",
                   "h\n57.61,11.49,20080621,101500\n57.62,11.49,20080621,101510\n57.63,11.49,20080621,101520");
    dir.write("race.TP1",
              {"late.txt , 2008-06-21 10:00:00 , 1.0 , 100 , ,", "a.txt , 2008-06-21 09:58:00 , 0.8 , 0 , ,",
               "b.txt , 2008-06-21 10:00:00 , 1.12 , 1279 , ;", "c.txt , 2008-06-21 10:01:30 , 1.05 , 600 , ,",
               "d.txt , 2008-06-21 10:00:00 , 1 , 2000 , ,"});
    for (const char* options :
         {"", "--resolution 5 --points 4", "--resolution 299", "--resolution 0.5 --max-steps 3000"})
        ExpectSameTrace(dir, dir.file("race.TP1"), options);
}

} // namespace
} // namespace tideplot
