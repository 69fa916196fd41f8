// The course file beside the race file: the finish line written, read back exactly, the
// other lines kept, and what is refused.
#include "core/coursefile.h"
#include "core/error.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace tideplot {
namespace {

using testing::Slurp;
using testing::TempDir;

std::string LineText(const FinishLine& line)
{
    char text[160];
    std::snprintf(text, sizeof text, "%.17g %.17g %.17g %.17g", line.Lat1, line.Lon1, line.Lat2, line.Lon2);
    return text;
}

TEST(CourseFile, FinishLineRoundTrip)
{
    TempDir dir;
    const std::string race = dir.file("race.TP1");
    const FinishLine lines[] = {
        {57.6009, 11.4983, 57.5991, 11.5017},
        {0.1 + 0.2, -179.99999999999997, -0.000001, 180},
        {-90, 1e-7, 57.123456789012345, std::nextafter(11.5, 12.0)},
    };
    for (const FinishLine& line : lines) {
        SaveCourseFinishLine(race, line);
        EXPECT_EQ(LineText(ReadCourseFinishLine(race)), LineText(line));
    }
    // Plain decimals, the shortest that read back, CR LF.
    SaveCourseFinishLine(race, lines[0]);
    EXPECT_EQ(Slurp(dir.file("race.TP1.course")), "finish 57.6009 11.4983 57.5991 11.5017\r\n");
    SaveCourseFinishLine(race, lines[2]);
    EXPECT_EQ(Slurp(dir.file("race.TP1.course")), "finish -90 0.0000001 57.123456789012344 11.500000000000002\r\n");
}

TEST(CourseFile, OtherLinesAreKeptInTheirPlace)
{
    TempDir dir;
    dir.writeBytes("race.TP1.course", "# club race\nwind 220 12\n  Finish 1 2 3 4\nrating Elsa.txt 1.05\n"
                                      "finish 5 6 7 8");
    // Two finish lines: refused on reading, naming both lines.
    try {
        ReadCourseFinishLine(dir.file("race.TP1"));
        ADD_FAILURE() << "a second finish line read";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "race.TP1.course, line 5: a second finish line; the first is on line 3");
    }
    // Saving replaces the first and drops the second; everything else stays.
    SaveCourseFinishLine(dir.file("race.TP1"), FinishLine{57.6, 11.5, 57.61, 11.5});
    EXPECT_EQ(Slurp(dir.file("race.TP1.course")),
              "# club race\r\nwind 220 12\r\nfinish 57.6 11.5 57.61 11.5\r\nrating Elsa.txt 1.05\r\n");
    const CourseFile course = ReadCourseFile(dir.file("race.TP1.course"));
    EXPECT_EQ(course.Lines.size(), 4u);
    EXPECT_EQ(course.FinishLineNumber, 3);
}

TEST(CourseFile, FinishLineTexts)
{
    struct Case {
        const char* text;
        const char* read; // LineText of the line, or the start of the error
    };
    const Case cases[] = {
        {"57.6,11.5,57.61,11.5", "57.600000000000001 11.5 57.609999999999999 11.5"},
        {" 57.6 , 11.5 ,57.61, +11.5 ", "57.600000000000001 11.5 57.609999999999999 11.5"},
        {"57.6 11.5\t5761e-2 11.5", "57.600000000000001 11.5 57.609999999999999 11.5"},
        {"57.6,11.5,57.61", "the finish line \"57.6,11.5,57.61\" holds 3 fields: expected four numbers"},
        {"57,6 11,5 57,61 11,5", "the finish line \"57,6 11,5 57,61 11,5\" holds 5 fields"},
        {"57.6 11.5 57.61 11.5x", "the finish line \"57.6 11.5 57.61 11.5x\": LON2 \"11.5x\" is not a number"},
        {"57.6,,57.61,11.5", "the finish line \"57.6,,57.61,11.5\": LON1 \"\" is not a number"},
        {"57.6 11.5 nan 11.5", "the finish line \"57.6 11.5 nan 11.5\": LAT2 \"nan\" is not a number"},
        {"57.6 11.5 57.6 11.5", "the finish line has zero length"},
        {"91 11.5 57.6 11.5", "the finish line's P1 latitude 91 is off the globe: latitudes lie from -90 to 90"},
    };
    for (const Case& c : cases) {
        std::string read;
        try {
            read = LineText(FinishLineFromText(c.text));
        } catch (const Error& e) {
            read = e.what();
        }
        EXPECT_EQ(read.substr(0, std::string(c.read).size()), c.read) << c.text << " -> " << read;
    }
}

TEST(CourseFile, MissingOrWithoutFinishLine)
{
    TempDir dir;
    const std::string race = dir.file("race.TP1");
    const auto message = [&] {
        try {
            ReadCourseFinishLine(race);
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message(), "no finish line for race.TP1: its course file \"" + race +
                             ".course\" does not exist; set the finish line in the chart window (Set finish line), "
                             "or give it on the command line: tideplot results " +
                             race + " --finish LAT1,LON1,LAT2,LON2");
    dir.writeBytes("race.TP1.course", "wind 220 12\r\n");
    EXPECT_EQ(message().rfind("the course file \"" + race +
                                  ".course\" holds no finish line (a line \"finish LAT1 LON1 LAT2 LON2\"); set",
                              0),
              0u)
        << message();
    dir.writeBytes("race.TP1.course", "wind 220 12\r\nfinish 57.6 11.5 57.6 11.5\r\n");
    EXPECT_EQ(message().substr(0, 58), "race.TP1.course, line 2: the finish line has zero length: ");
    // Nothing is written for a line that is refused; the old file stays.
    EXPECT_THROW(SaveCourseFinishLine(race, FinishLine{57.6, 11.5, 95, 11.5}), Error);
    EXPECT_EQ(Slurp(race + ".course"), "wind 220 12\r\nfinish 57.6 11.5 57.6 11.5\r\n");
}

} // namespace
} // namespace tideplot
