#pragma once

#include "results.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The course file: RACE.TP1.course beside the race file RACE.TP1, where the race keeps
// what is not a boat (the race file stays a list of boat entries, so older readers keep
// reading it). A text file of lines; the one that starts with the word "finish" holds the
// finish line:
//
//     finish 57.6009 11.4983 57.5991 11.5017
//
// LAT1 LON1 LAT2 LON2 in decimal degrees with "." as the decimal point, separated by
// blanks (commas are read too). The program writes each number as the shortest text that
// reads back as the same double, in plain decimals (never an exponent), so a finish line
// survives any number of saves unchanged. Other lines are not the program's business: they
// are passed over when reading and kept as they are, in their place, when the finish line
// is saved, so keys that later versions add survive an older program. Lines may end in
// CR LF, LF or CR; the file is written with CR LF, atomically (OutputFile).
namespace tideplot {

inline constexpr std::string_view kCourseFileSuffix = ".course";
inline constexpr std::string_view kFinishKey = "finish";

// RACE.TP1 -> RACE.TP1.course
std::string CourseFilePath(const std::string& raceFileName);

// Four numbers LAT1 LON1 LAT2 LON2, separated by commas (blanks around them allowed) or by
// blanks; each a decimal with "." as the decimal point (an exponent allowed). Throws Error
// quoting the text when there are not four numbers or one does not read, and as
// CheckFinishLine when the line is off the globe or of zero length.
FinishLine FinishLineFromText(std::string_view text);

// "LAT1 LON1 LAT2 LON2", each number the shortest plain decimal that reads back exactly.
std::string FinishLineText(const FinishLine& line);

// The lines of a course file and the finish line among them.
struct CourseFile {
    std::vector<std::string> Lines; // every line as read, without its line break
    std::optional<FinishLine> Finish;
    long FinishLineNumber = 0; // 1-based; 0 without a finish line
};

// Reads a course file. Throws Error naming the file and line: a finish line that does not
// read, a second finish line; naming the file when it cannot be read or is no regular
// file (a FIFO, a device: refused before it is opened).
CourseFile ReadCourseFile(const std::string& path);

// The finish line of a race, from its course file. Throws Error naming the course file
// when it is missing or holds no finish line (saying how to set one: the chart window's
// "Set finish line", or `tideplot results RACE.TP1 --finish LAT1,LON1,LAT2,LON2`), and as
// ReadCourseFile.
FinishLine ReadCourseFinishLine(const std::string& raceFileName);

// Saves the finish line of a race into its course file: the finish line's line replaced
// (or added at the end, or a new file made), every other line kept. Throws Error as
// CheckFinishLine before anything is written, and naming the file when it cannot be read or
// written; the old file stays whole then.
void SaveCourseFinishLine(const std::string& raceFileName, const FinishLine& line);

} // namespace tideplot
