// The program's trace against a second implementation of the same rules, written
// separately in Python (tests/reference/replay_reference.py): they must agree line by
// line, to the last digit.
#include "support/process.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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
}

TEST_F(ReferenceTrace, GeneratedSevenBoatRace)
{
    const auto gen = RunCommand(std::string(TIDEPLOT_RACEGEN) + " --out " + Quote(dir.path().string()) +
                                " --boats 7 --hours 1 --interval 1 --seed 7");
    ASSERT_EQ(gen.status, 0) << gen.output;
    ExpectSameTrace(dir, dir.file("race.TP1"), "");
    ExpectSameTrace(dir, dir.file("race.TP1"), "--resolution 3.3 --points 7");
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

// Display names count letters, not bytes: the legend, the documents and the trace keep
// "ö" and "å" whole where a cut at 20 bytes would split them; the documents escape "&".
TEST_F(ReferenceTrace, MultiByteNamesCutByCharacters)
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
    dir.write("Båtar/Tärnö & Co.txt", track(1));
    dir.write("race.TP1", {"Båtar\\Fröken Sjöström.txt , 2008-06-21 10:00:00 , 1 , 0 , ,",
                           "Båtar/Tärnö & Co.txt , 2008-06-21 10:00:00 , 1.1 , 700 , ,"});
    ExpectSameTrace(dir, dir.file("race.TP1"), "--resolution 60");
    const std::string trace = Slurp(dir.file("ours.trace"));
    EXPECT_EQ(trace.rfind("legend 0 255 Fröken Sjöström.txt 1\nlegend 1 12386048 åtar/Tärnö & Co.txt 1.1\n", 0), 0u)
        << trace.substr(0, 200);
    EXPECT_NE(trace.find("<name>Fröken Sjöström.txt 1</name>"), std::string::npos);
    EXPECT_NE(trace.find("<name>åtar/Tärnö &amp; Co.txt 1.1</name>"), std::string::npos);
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
