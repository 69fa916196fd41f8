// The sample race in examples/sample-race as the replay reads it, and the race generator
// that made it.

#include "core/datetime.h"
#include "core/geometry.h"
#include "core/records.h"

#include <gtest/gtest.h>

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

// The lines of a file whose every line ends in CR LF, without their line ends; a stray CR
// or LF, or a last line without its CR LF, fails the test.
std::vector<std::string> CrLfLines(const fs::path& path)
{
    const std::string bytes = ReadBytes(path);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << path << ": the last line does not end in CR LF";
            break;
        }
        lines.push_back(bytes.substr(at, end - at));
        EXPECT_EQ(lines.back().find_first_of("\r\n"), std::string::npos) << path << " line " << lines.size();
        at = end + 2;
    }
    return lines;
}

// Lines the replay skips before the first point: the "#" lines and the one after them.
std::size_t HeaderLines(const std::vector<std::string>& lines)
{
    std::size_t n = 0;
    while (n < lines.size() && lines[n].find('#') != std::string::npos)
        ++n;
    return n + 1;
}

std::vector<BoatEntry> ReadRace(const fs::path& raceFile, std::vector<std::string>* lines = nullptr)
{
    std::vector<BoatEntry> entries;
    for (const std::string& line : CrLfLines(raceFile)) {
        entries.push_back(ReadBoatEntry(line));
        if (lines)
            lines->push_back(line);
    }
    return entries;
}

const fs::path kSample = fs::path(TIDEPLOT_SOURCE_DIR) / "examples" / "sample-race";

TEST(SampleRace, IsFourBoatsWithDifferentStartsAndLysNumbers)
{
    std::vector<std::string> lines;
    const auto entries = ReadRace(kSample / "race.TP1", &lines);
    ASSERT_EQ(entries.size(), 4u);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        EXPECT_TRUE(fs::is_regular_file(kSample / entries[k].TrackFile)) << entries[k].TrackFile;
        EXPECT_EQ(entries[k].Name, entries[k].TrackFile); // short names show whole
        EXPECT_GE(entries[k].Colour, 0);
        EXPECT_LE(entries[k].Colour, 1279);
        EXPECT_TRUE(lines[k].ends_with(std::string(" , ") + entries[k].SepChar)) << lines[k];
        if (k > 0) {
            EXPECT_GT(entries[k].StartTime, entries[k - 1].StartTime);
            EXPECT_NE(entries[k].Lys, entries[k - 1].Lys);
            EXPECT_NE(entries[k].Colour, entries[k - 1].Colour);
        }
    }
}

TEST(SampleRace, TracksAreWellFormedAndSailable)
{
    const auto entries = ReadRace(kSample / "race.TP1");
    std::uintmax_t bytes = 0;
    for (const auto& f : fs::directory_iterator(kSample))
        bytes += f.file_size();
    EXPECT_LT(bytes, 1000000u);

    bool hashHeader = false;
    bool semicolon = false;
    for (const BoatEntry& e : entries) {
        SCOPED_TRACE(e.TrackFile);
        const auto lines = CrLfLines(kSample / e.TrackFile);
        const std::size_t skip = HeaderLines(lines);
        hashHeader = hashHeader || skip > 1;
        semicolon = semicolon || e.SepChar == ';';
        ASSERT_GT(lines.size(), skip + 1000);
        TrackPoint previous;
        for (std::size_t i = skip; i < lines.size(); ++i) {
            const TrackPoint p = ReadTrackPoint(lines[i], e.SepChar, e.StartTime);
            // Open water west of Vinga, off Gothenburg.
            ASSERT_TRUE(p.Lat > 57.55 && p.Lat < 57.65 && p.Lon > 11.40 && p.Lon < 11.56) << lines[i];
            if (i > skip) {
                const double seconds = std::round((p.Elapsed - previous.Elapsed) * kSecondsPerDay);
                ASSERT_GE(seconds, 1) << lines[i];
                ASSERT_LE(seconds, 5) << lines[i];
                const double knots = CourseAndDistance(p, previous).Distance / (seconds / 3600.0);
                ASSERT_LT(knots, 12.0) << lines[i];
            }
            previous = p;
        }
        // The track begins minutes before the boat's start and lasts about two hours.
        const TrackPoint first = ReadTrackPoint(lines[skip], e.SepChar, e.StartTime);
        EXPECT_LT(first.Elapsed * 1440, -3);
        EXPECT_GT((previous.Elapsed - first.Elapsed) * 24, 1.9);
    }
    EXPECT_TRUE(hashHeader);
    EXPECT_TRUE(semicolon);
}

// Runs the generator; the output folder is made afresh.
void Generate(const fs::path& out, const std::string& options)
{
    fs::remove_all(out);
    const std::string command = std::string("\"") + TIDEPLOT_RACEGEN + "\" --out \"" + out.string() + "\" " + options;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

const fs::path kScratch = fs::path(TIDEPLOT_BINARY_DIR) / "racegen-test";

TEST(RaceGenerator, SameSeedSameBytes)
{
    Generate(kScratch / "a", "--boats 3 --hours 0.5 --seed 7 --unicsv");
    Generate(kScratch / "b", "--boats 3 --hours 0.5 --seed 7 --unicsv");
    std::size_t files = 0;
    for (const auto& f : fs::directory_iterator(kScratch / "a")) {
        EXPECT_EQ(ReadBytes(f.path()), ReadBytes(kScratch / "b" / f.path().filename())) << f.path().filename();
        ++files;
    }
    EXPECT_EQ(files, 7u); // race file, three tracks, three unicsv copies
    Generate(kScratch / "c", "--boats 3 --hours 0.5 --seed 8");
    EXPECT_NE(ReadBytes(kScratch / "a" / "boat1.txt"), ReadBytes(kScratch / "c" / "boat1.txt"));
}

TEST(RaceGenerator, MakesTheSampleRace)
{
    Generate(kScratch / "sample", "--sample");
    for (const auto& f : fs::directory_iterator(kSample)) {
        if (f.path().extension() != ".md") {
            EXPECT_EQ(ReadBytes(f.path()), ReadBytes(kScratch / "sample" / f.path().filename())) << f.path();
        }
    }
}

TEST(RaceGenerator, OnePointASecond)
{
    Generate(kScratch / "seven", "--boats 7 --hours 1 --interval 1 --race-name seven");
    const auto entries = ReadRace(kScratch / "seven" / "seven.TP1");
    ASSERT_EQ(entries.size(), 7u);
    for (const BoatEntry& e : entries) {
        const auto lines = CrLfLines(kScratch / "seven" / e.TrackFile);
        ASSERT_EQ(lines.size(), 1u + 3600u) << e.TrackFile; // column header, then 3600 points
        EXPECT_EQ(lines[0], "lat,lon,date,time");
        const TrackPoint a = ReadTrackPoint(lines[1], e.SepChar, e.StartTime);
        const TrackPoint b = ReadTrackPoint(lines.back(), e.SepChar, e.StartTime);
        EXPECT_EQ(std::round((b.Elapsed - a.Elapsed) * kSecondsPerDay), 3599);
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
