#pragma once

#include "core/course.h"
#include "core/coursecolours.h"
#include "earth/chart/chartview.h"

#include <QColor>
#include <QPointF>

#include <cstddef>
#include <optional>

class QPainter;

// The race course on the chart: the start line chequered in its colour, the finish line
// chequered black, each mark a buoy in the colour of its side (red: left to port, green: to
// starboard) with its name beside it, each gate two yellow buoys with a dashed line between.
namespace tideplot {

// The colour of a course colour constant (coursecolours.h).
QColor CourseColour(std::uint32_t rgb);
// The colour of a mark's buoys: its side's, or the gates'.
QColor MarkColour(const CourseMark& mark);

// Draws the course. A course of a finish line alone is drawn exactly as DrawFinishLine draws it.
void DrawCourse(QPainter& painter, const ChartViewport& viewport, const Course& course);

// A buoy of the course: a mark (End 0), or one of a gate's two (End 0 or 1).
struct CourseBuoy {
    std::size_t Mark = 0;
    int End = 0;
    bool operator==(const CourseBuoy&) const = default;
};

// The buoy drawn nearest to `atPx`, when it is within `radiusPx` of it.
std::optional<CourseBuoy> CourseBuoyAt(const ChartViewport& viewport, const Course& course, const QPointF& atPx,
                                       double radiusPx = 10);

// Moves a buoy of the course to the position (degrees).
void MoveCourseBuoy(Course& course, const CourseBuoy& buoy, double lat, double lon);

} // namespace tideplot
