// The sample race in examples/sample-race as the replay reads it, and the race generator
// that made it.

#include "core/datetime.h"
#include "core/geometry.h"
#include "core/records.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tideplot {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The lines of a file, each ended by CR LF (a last line without one fails the test).
std::vector<std::string> CrLfLines(const fs::path& path)
{
    const std::string bytes = ReadBytes(path);
    EXPECT_TRUE(bytes.ends_with("\r\n")) << path;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(bytes.substr(at, end - at));
    return lines;
}

const fs::path kSample = fs::path(TIDEPLOT_SOURCE_DIR) / "examples" / "sample-race";

// Each boat's track, as the replay reads it, lies in open water west of Vinga, off
// Gothenburg: a point every 1 to 5 s at most 12 knots, from minutes before its boat's
// start for about two hours.
TEST(SampleRace, FourBoatsSailingOffGothenburg)
{
    const auto race = CrLfLines(kSample / "race.TP1");
    ASSERT_EQ(race.size(), 4u);
    for (const std::string& entry : race) {
        const BoatEntry e = ReadBoatEntry(entry);
        std::vector<TrackPoint> points; // the lines after the "#" lines and the column header
        for (const std::string& line : CrLfLines(kSample / e.TrackFile))
            if (std::isdigit(static_cast<unsigned char>(line[0])))
                points.push_back(ReadTrackPoint(line, e.SepChar, e.StartTime));
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
}

// Runs the generator; the output folder is made afresh.
void Generate(const fs::path& out, const std::string& options)
{
    fs::remove_all(out);
    const std::string command = std::string("\"") + TIDEPLOT_RACEGEN + "\" --out \"" + out.string() + "\" " + options;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

const fs::path kScratch = fs::path(TIDEPLOT_BINARY_DIR) / "racegen-test";

TEST(RaceGenerator, MakesTheSampleRace)
{
    Generate(kScratch / "sample", "--sample");
    for (const auto& f : fs::directory_iterator(kSample)) {
        if (f.path().extension() != ".md") {
            EXPECT_EQ(ReadBytes(f.path()), ReadBytes(kScratch / "sample" / f.path().filename())) << f.path();
        }
    }
}

TEST(RaceGenerator, RefusesBadOptions)
{
    const std::string exe = std::string("\"") + TIDEPLOT_RACEGEN + "\" ";
    const std::string out = " --out \"" + (kScratch / "bad").string() + "\" 2>/dev/null";
    for (const char* bad : {"--boats 8", "--boats 0", "--hours x", "--interval 0", "--interval-min 5 --interval-max 2",
                            "--sample --boats 3", "--frobnicate"})
        EXPECT_NE(std::system((exe + bad + out).c_str()), 0) << bad;
}

} // namespace
} // namespace tideplot
