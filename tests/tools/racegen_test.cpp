// The sample race in examples/sample-race as the replay reads it, and the race generator
// that made it.

#include "core/datetime.h"
#include "core/geometry.h"
#include "core/linereader.h"
#include "core/records.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace tideplot {
namespace {

namespace fs = std::filesystem;
using testing::Slurp;

const fs::path kSample = fs::path(TIDEPLOT_SOURCE_DIR) / "examples" / "sample-race";

// Each boat's track, as the replay reads it, lies in open water west of Vinga, off
// Gothenburg: a point every 1 to 5 s at most 12 knots, from minutes before its boat's
// start for about two hours.
TEST(SampleRace, FourBoatsSailingOffGothenburg)
{
    LineReader race((kSample / "race.TP1").string());
    int boats = 0;
    while (!race.AtEnd()) {
        const std::string entry(race.ReadLine());
        const BoatEntry e = ReadBoatEntry(entry);
        ++boats;
        LineReader track((kSample / e.TrackFile).string());
        std::vector<TrackPoint> points;
        while (!track.AtEnd()) {
            const std::string_view line = track.ReadLine();
            if (std::isdigit(static_cast<unsigned char>(line[0]))) // not a "#" line nor the column header
                points.push_back(ReadTrackPoint(line, e.SepChar, e.StartTime));
        }
        ASSERT_GT(points.size(), 1000u) << entry;
        EXPECT_LT(points.front().Elapsed * 1440, -3) << entry;
        EXPECT_GT((points.back().Elapsed - points.front().Elapsed) * 24, 1.9) << entry;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const TrackPoint& p = points[i];
            ASSERT_TRUE(p.Lat > 57.55 && p.Lat < 57.65 && p.Lon > 11.40 && p.Lon < 11.56) << entry << ", point " << i;
            if (i == 0)
                continue;
            const double seconds = std::round((p.Elapsed - points[i - 1].Elapsed) * kSecondsPerDay);
            ASSERT_TRUE(seconds >= 1 && seconds <= 5) << entry << ", point " << i << ": " << seconds << " s";
            ASSERT_LT(CourseAndDistance(p, points[i - 1]).Distance / (seconds / 3600.0), 12.0)
                << entry << ", point " << i;
        }
    }
    EXPECT_EQ(boats, 4);
}

const fs::path kScratch = fs::path(TIDEPLOT_BINARY_DIR) / "racegen-test";

// Made afresh, the sample race is the one in the examples, byte for byte (its README and its
// course file, written by hand where the boats round the marks, aside).
TEST(RaceGenerator, MakesTheSampleRace)
{
    fs::remove_all(kScratch / "sample");
    const std::string command =
        std::string("\"") + TIDEPLOT_RACEGEN + "\" --sample --out \"" + (kScratch / "sample").string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const auto& f : fs::directory_iterator(kSample)) {
        if (f.path().extension() != ".md" && f.path().extension() != ".course") {
            EXPECT_EQ(Slurp(f.path()), Slurp(kScratch / "sample" / f.path().filename())) << f.path();
        }
    }
}

TEST(RaceGenerator, RefusesBadOptions)
{
    const std::string exe = std::string("\"") + TIDEPLOT_RACEGEN + "\" ";
    const std::string out = " --out \"" + (kScratch / "bad").string() + "\" 2>/dev/null";
    for (const char* bad : {"--boats 65", "--boats 0", "--hours x", "--interval 0", "--interval-min 5 --interval-max 2",
                            "--sample --boats 3", "--frobnicate"})
        EXPECT_NE(std::system((exe + bad + out).c_str()), 0) << bad;
}

// The generator of races whose manoeuvres are known: the same options give the same files,
// its truth names the wind and every boat; bad options are refused.
TEST(ManoeuvreGenerator, SameOptionsSameFilesAndRefusesBadOnes)
{
    const std::string exe = std::string("\"") + TIDEPLOT_MANOEUVREGEN + "\" ";
    std::string first;
    for (const char* folder : {"mg1", "mg2"}) {
        fs::remove_all(kScratch / folder);
        const std::string command = exe + "--out \"" + (kScratch / folder).string() +
                                    "\" --boats 2 --hours 0.2 --interval-min 1 --interval-max 3 --wind 45 --seed 7";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const std::string files = Slurp(kScratch / folder / "race.TP1") + Slurp(kScratch / folder / "boat2.txt") +
                                  Slurp(kScratch / folder / "race.truth.json");
        if (first.empty())
            first = files;
        else
            EXPECT_EQ(files, first);
    }
    EXPECT_NE(first.find("{\"wind_from_deg\": 45.0, \"boats\": ["), std::string::npos);
    EXPECT_NE(first.find("\"row\": 2"), std::string::npos);
    const std::string out = " --out \"" + (kScratch / "mgbad").string() + "\" 2>/dev/null";
    for (const char* bad : {"--boats 65", "--wind 361", "--interval 0", "--interval-min 5 --interval-max 2",
                            "--interval 2 --interval-min 1", "--lost 0.9", "--frobnicate"})
        EXPECT_NE(std::system((exe + bad + out).c_str()), 0) << bad;
}

} // namespace
} // namespace tideplot
