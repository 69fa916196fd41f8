#pragma once

#include "course.h"
#include "results.h"
#include "windline.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The course file: RACE.TP1.course beside the race file RACE.TP1, where the race keeps
// what is not a boat (the race file stays a list of boat entries, so older readers keep
// reading it). A text file of lines, in any order, each a key and its values:
//
//     start 57.601157 11.497429 57.598843 11.502571
//     mark W 57.5804 11.4693 starboard
//     gate L 57.6005 11.5008 57.6011 11.5018
//     course W L
//     laps 2
//     finish 57.601157 11.497429 57.598843 11.502571
//     wind 00:12:00 345
//
// Lines are LAT1 LON1 LAT2 LON2 and positions LAT LON, in decimal degrees with "." as the
// decimal point, separated by blanks (the numbers of a line may be separated by commas too).
// NAME is one word. Keys are read in either case. The program writes each number as the
// shortest text that reads back as the same double, in plain decimals (never an exponent),
// so a course survives any number of saves unchanged. A line starting with "#" is a
// comment; lines of other keys are not the program's business: they are passed over when
// reading and kept as they are, in their place, when the course is saved, so keys that
// later versions add survive an older program. The `wind` lines (windline.h) are read for
// the analysis but are no part of the course: saving the course keeps them as they are.
// Lines may end in CR LF, LF or CR; the file is written with CR LF, atomically (OutputFile).
namespace tideplot {

inline constexpr std::string_view kCourseFileSuffix = ".course";
inline constexpr std::string_view kFinishKey = "finish";

// The keys of the lines that say the course (course.h), the ones SaveCourse replaces.
inline constexpr std::string_view kCourseKeys[] = {"start", "mark", "gate", "course", "laps", "finish"};

// RACE.TP1 -> RACE.TP1.course
std::string CourseFilePath(const std::string& raceFileName);

// Four numbers LAT1 LON1 LAT2 LON2, separated by commas (blanks around them allowed) or by
// blanks; each a decimal with "." as the decimal point (an exponent allowed). Throws Error
// quoting the text when there are not four numbers or one does not read, and as
// CheckFinishLine when the line is off the globe or of zero length. `what` names the line
// in the messages.
FinishLine LineFromText(std::string_view text, std::string_view what);
inline FinishLine FinishLineFromText(std::string_view text)
{
    return LineFromText(text, "the finish line");
}

// "LAT1 LON1 LAT2 LON2", each number the shortest plain decimal that reads back exactly.
std::string FinishLineText(const FinishLine& line);
// "LAT LON" likewise.
std::string PositionText(double lat, double lon);

// The lines of a course file and the course they say.
struct CourseFile {
    std::vector<std::string> Lines; // every line as read, without its line break
    Course Plan;
    long FinishLineNumber = 0; // 1-based; 0 without a finish line
    // The wind lines, in the order of the file (the analysis takes them in time order).
    std::vector<TypedWind> WindLines;
};

// Reads a course file, the whole of it or nothing. Throws Error naming the file and the line
// of anything wrong: a line of a key whose values do not read (a number, a side that is
// neither port nor starboard, laps that are no whole number from 1 to kMaxLaps), a line of
// zero length or a position off the globe, a mark or gate named twice, a second start,
// finish, course or laps line, a wind line that does not read (TypedWindFromText), a course
// naming no mark or one that is not there, laps above
// 1 without marks; naming the file when it cannot be read or is no regular file (a FIFO, a
// device: refused before it is opened).
CourseFile ReadCourseFile(const std::string& path);

// The course of a race, from its course file. Throws Error naming the course file when it
// is missing or holds no finish line (saying how to set one: the chart window's "Set finish
// line", or `tideplot results RACE.TP1 --finish LAT1,LON1,LAT2,LON2`), and as ReadCourseFile.
Course ReadCourse(const std::string& raceFileName);
// Its finish line, likewise.
FinishLine ReadCourseFinishLine(const std::string& raceFileName);

// Saves the finish line of a race into its course file: the finish line's line replaced
// (or added at the end, or a new file made), every other line kept. Throws Error as
// CheckFinishLine before anything is written, and naming the file when it cannot be read or
// written; the old file stays whole then.
void SaveCourseFinishLine(const std::string& raceFileName, const FinishLine& line);

// Saves a course into the race's course file: the lines of every key of kCourseKeys
// replaced by CourseTextLines(course), written where the first of them stood (at the end
// when there was none), every other line kept in its place. Throws as SaveCourseFinishLine.
void SaveCourse(const std::string& raceFileName, const Course& course);

} // namespace tideplot
