// The course file beside the race file: the finish line written, read back exactly, the
// other lines kept, and what is refused.
#include "core/course.h"
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
    dir.writeBytes("race.TP1.course", "# club race\ntide 220 12\n  Finish 1 2 3 4\nrating Elsa.txt 1.05\n"
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
              "# club race\r\ntide 220 12\r\nfinish 57.6 11.5 57.61 11.5\r\nrating Elsa.txt 1.05\r\n");
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
    dir.writeBytes("race.TP1.course", "tide 220 12\r\n");
    EXPECT_EQ(message().rfind("the course file \"" + race +
                                  ".course\" holds no finish line (a line \"finish LAT1 LON1 LAT2 LON2\"); set",
                              0),
              0u)
        << message();
    dir.writeBytes("race.TP1.course", "tide 220 12\r\nfinish 57.6 11.5 57.6 11.5\r\n");
    EXPECT_EQ(message().substr(0, 58), "race.TP1.course, line 2: the finish line has zero length: ");
    // Nothing is written for a line that is refused; the old file stays.
    EXPECT_THROW(SaveCourseFinishLine(race, FinishLine{57.6, 11.5, 95, 11.5}), Error);
    EXPECT_EQ(Slurp(race + ".course"), "tide 220 12\r\nfinish 57.6 11.5 57.6 11.5\r\n");
}

// A whole course read: lines in any order, keys in either case, comments and unknown keys
// passed over; the lap in the order of the course line, or of the file without one.
TEST(CourseFile, ReadsACourse)
{
    TempDir dir;
    dir.writeBytes("race.TP1.course", "# Saturday\r\nLAPS 2\ngate L 57.600 11.500 57.600 11.502\r"
                                      "finish 57.601 11.497 57.599 11.503\nwind 12:00:00 220\n"
                                      "mark W 57.58 11.47 starboard\nmark Spare 57.59 11.48 Port\n"
                                      "course W L\nstart 57.601 11.497 57.599 11.503\n");
    const Course course = ReadCourse(dir.file("race.TP1"));
    ASSERT_EQ(course.Marks.size(), 3u);
    EXPECT_TRUE(course.Marks[0].Gate);
    EXPECT_EQ(course.Marks[1].Side, MarkSide::Starboard);
    EXPECT_EQ(course.Marks[2].Side, MarkSide::Port);
    EXPECT_EQ(course.Laps, 2);
    ASSERT_EQ(course.Sequence().size(), 4u);
    EXPECT_EQ(course.Marks[course.Sequence()[3].Mark].Name, "L");
    EXPECT_EQ(course.Sequence()[3].Lap, 2);
    EXPECT_TRUE(course.Start && course.Finish);
    EXPECT_NEAR(course.Marks[0].PointLon(), 11.501, 1e-12);
    const CourseFile file = ReadCourseFile(dir.file("race.TP1.course"));
    ASSERT_EQ(file.WindLines.size(), 1u);
    EXPECT_EQ(file.WindLines[0].Seconds, 12 * 3600);
    EXPECT_EQ(file.WindLines[0].FromDeg, 220);

    dir.writeBytes("race.TP1.course", "mark A 57.58 11.47 port\ngate B 57.6 11.5 57.6 11.502\nfinish 1 2 3 4\n");
    const Course inFileOrder = ReadCourse(dir.file("race.TP1"));
    EXPECT_EQ(inFileOrder.Lap(), (std::vector<std::size_t>{0, 1}));
    EXPECT_FALSE(inFileOrder.Start);
}

// Everything wrong in a course file is said with its line, and nothing of it is read.
TEST(CourseFile, RefusesWhatIsWrongByLine)
{
    const std::string finish = "finish 57.601 11.497 57.599 11.503\n";
    struct Case {
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {"mark W 57.58 11.47 port\nmark W 57.59 11.47 port\n" + finish,
         "line 2: the name \"W\" is given twice: a mark or gate of that name is on line 1"},
        {"gate W 57.6 11.5 57.6 11.502\nmark W 57.59 11.47 port\n" + finish, "line 2: the name \"W\" is given twice"},
        {"mark W 57.58 11.47 port\ncourse W L\n" + finish,
         "line 2: the course names \"L\", which is no mark or gate of this file"},
        {"course W\n" + finish, "line 1: the course names \"W\", which is no mark or gate of this file (it has none)"},
        {"course\n" + finish, "line 1: the course names no mark or gate"},
        {"mark W 57.58 11.47 port\nlaps 0\n" + finish, "line 2: the laps \"0\" are no whole number from 1 to 1000"},
        {"mark W 57.58 11.47 port\nlaps 2.5\n" + finish, "line 2: the laps \"2.5\" are no whole number"},
        {"laps 2\n" + finish, "line 1: laps 2 without a mark or gate"},
        {"mark W 57.58 11.47 portside\n" + finish,
         "line 1: the mark \"W\": the side \"portside\" is neither port nor starboard"},
        {"mark W 57.58 11.47\n" + finish, "line 1: a mark is \"mark NAME LAT LON port|starboard\""},
        {"mark W 57,58 11.47 port\n" + finish, "line 1: the mark \"W\": LAT \"57,58\" is not a number"},
        {"mark W 97.58 11.47 port\n" + finish, "line 1: the mark \"W\": the latitude 97.58 is off the globe"},
        {"gate G 57.6 11.5 57.6 11.5\n" + finish, "line 1: the gate \"G\" has zero length"},
        {"gate G 57.6 11.5 57.6\n" + finish, "line 1: a gate is \"gate NAME LAT1 LON1 LAT2 LON2\""},
        {"start 57.6 11.5 57.6 11.5\n" + finish, "line 1: the start line has zero length"},
        {"start 57.6 11.5 57.7\n" + finish, "line 1: the start line \"57.6 11.5 57.7\" holds 3 fields"},
        {"start 1 2 3 4\nstart 1 2 3 5\n" + finish, "line 2: a second start line; the first is on line 1"},
        {"mark W 57.58 11.47 port\nlaps 2\nlaps 3\n" + finish, "line 3: a second laps line; the first is on line 2"},
        {"mark W 57.58 11.47 port\ncourse W\ncourse W W\n" + finish, "line 3: a second course line"},
        {finish + finish, "line 2: a second finish line; the first is on line 1"},
        {finish + "wind 00:61:00 220\n", "line 2: the wind line \"00:61:00 220\" is not \"DEG\" (the whole race), \"HH:MM:SS DEG\""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.writeBytes("race.TP1.course", c.text);
        std::string error = "no error";
        try {
            ReadCourse(dir.file("race.TP1"));
        } catch (const Error& e) {
            error = e.what();
        }
        EXPECT_EQ(error.substr(0, 17 + c.error.size()), "race.TP1.course, " + c.error) << c.text;
    }
}

// Saving a course replaces its lines where the first of them stood and keeps every other line;
// what is saved reads back as the same course.
TEST(CourseFile, SavesACourseKeepingOtherLines)
{
    TempDir dir;
    dir.writeBytes("race.TP1.course", "# club race\nrating Elsa.txt 1.05\nmark Old 57 11 port\nwind 12:00:00 220\n"
                                      "finish 57.601 11.497 57.599 11.503\n");
    Course course;
    course.Start = FinishLine{57.601157, 11.497429, 57.598843, 11.502571};
    course.Finish = course.Start;
    CourseMark w;
    w.Name = "W";
    w.Lat = 57.581137;
    w.Lon = 11.46887;
    w.Side = MarkSide::Starboard;
    CourseMark l = w;
    l.Name = "L";
    l.Gate = true;
    l.Side = MarkSide::Port; // a gate has no side: read as the default
    l.Lat2 = 57.6;
    l.Lon2 = 11.5;
    course.Marks = {w, l};
    course.Order = {1, 0, 1};
    course.Laps = 3;
    SaveCourse(dir.file("race.TP1"), course);
    EXPECT_EQ(Slurp(dir.file("race.TP1.course")), "# club race\r\nrating Elsa.txt 1.05\r\n"
                                                  "start 57.601157 11.497429 57.598843 11.502571\r\n"
                                                  "mark W 57.581137 11.46887 starboard\r\n"
                                                  "gate L 57.581137 11.46887 57.6 11.5\r\n"
                                                  "course L W L\r\nlaps 3\r\n"
                                                  "finish 57.601157 11.497429 57.598843 11.502571\r\n"
                                                  "wind 12:00:00 220\r\n");
    EXPECT_EQ(ReadCourse(dir.file("race.TP1")), course);
}

} // namespace
} // namespace tideplot
