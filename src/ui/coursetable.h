#pragma once

#include "core/course.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

// The course as the Course window's table shows it, one row a text per column: the start
// line first, then the marks and gates in the order a lap sails them (a mark sailed twice in
// a lap has two rows of the same name), then the finish line. Reading the rows back checks
// every cell and says which is wrong and why.
namespace tideplot {

enum CourseColumn { kCourseName, kCourseKind, kCourseSide, kCourseLat1, kCourseLon1, kCourseLat2, kCourseLon2 };
inline constexpr int kCourseColumns = 7;

// The texts of the Kind column.
inline constexpr const char* kStartLineKind = "start line";
inline constexpr const char* kFinishLineKind = "finish line";
inline constexpr const char* kMarkKind = "mark";
inline constexpr const char* kGateKind = "gate";

struct CourseRow {
    std::array<QString, kCourseColumns> Cells;
    const QString& operator[](int column) const { return Cells[static_cast<std::size_t>(column)]; }
    QString& operator[](int column) { return Cells[static_cast<std::size_t>(column)]; }
};

// A number of degrees as the course file writes it (the shortest plain decimal that reads back).
QString DegreesText(double degrees);

// The rows of a course: the start line (its cells empty without one), every mark of a lap,
// the finish line (empty without one).
std::vector<CourseRow> CourseRows(const Course& course);

// What the rows say, or where they are wrong.
struct CourseReading {
    std::optional<Course> Plan;
    int Row = -1;    // the row of the fault, -1 for the whole table
    int Column = -1; // its column, -1 for the whole row
    QString Fault;   // in words for the user, naming the row
};

// Reads the rows (start line first, finish line last) and the laps back into a course.
// Marks of `kept` that no row names stay in the course as they are, out of the lap (the
// course file may hold marks a lap does not sail). Every cell is checked: names one word,
// the same name meaning the same buoy, sides port or starboard, numbers with "." as the
// decimal point within the globe, lines and gates of some length, a finish line given
// (unless `finishRequired` is false: then a course without one reads), laps above 1 only
// with marks.
CourseReading ReadCourseRows(const std::vector<CourseRow>& rows, int laps, const std::vector<CourseMark>& kept,
                             bool finishRequired = true);

} // namespace tideplot
