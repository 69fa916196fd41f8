#include "earth/chart/chartcourse.h"

#include "core/geometry.h"
#include "earth/chart/chartpainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tideplot {

namespace {

constexpr double kBuoyRadiusPx = 6;
constexpr double kLineSquarePx = 6; // as DrawChequeredLine draws them

bool SameSegment(const FinishLine& a, const FinishLine& b)
{
    return a == b || a == FinishLine{b.Lat2, b.Lon2, b.Lat1, b.Lon1};
}

QPointF ScreenOf(const QTransform& toScreen, double lat, double lon)
{
    return toScreen.map(ProjectLatLon(lat, lon));
}

void DrawBuoy(QPainter& painter, const QPointF& at, const QColor& fill)
{
    painter.setPen(QPen(Qt::black, 1.5));
    painter.setBrush(fill);
    painter.drawEllipse(at, kBuoyRadiusPx, kBuoyRadiusPx);
}

// The name to the right of the buoy, dark on a pale halo so that it reads on sea and map alike.
void DrawName(QPainter& painter, const QPointF& at, const std::string& name)
{
    const QString text = QString::fromLocal8Bit(name);
    QFont font = painter.font();
    font.setBold(true);
    const QFontMetricsF metrics(font);
    QPainterPath path;
    path.addText(at + QPointF(kBuoyRadiusPx + 3, metrics.ascent() / 2 - 1), font, text);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255, 220), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawPath(path);
}

} // namespace

QColor CourseColour(std::uint32_t rgb)
{
    return QColor::fromRgb(static_cast<QRgb>(0xff000000u | rgb));
}

QColor MarkColour(const CourseMark& mark)
{
    if (mark.Gate)
        return CourseColour(kGateRgb);
    return CourseColour(mark.Side == MarkSide::Port ? kPortMarkRgb : kStarboardMarkRgb);
}

void DrawCourse(QPainter& painter, const ChartViewport& viewport, const Course& course)
{
    if (course.FinishOnly()) {
        if (course.Finish)
            DrawFinishLine(painter, viewport, course.Finish->Lat1, course.Finish->Lon1, course.Finish->Lat2,
                           course.Finish->Lon2);
        return;
    }
    if (course.Start && !(course.Finish && SameSegment(*course.Start, *course.Finish)))
        DrawChequeredLine(painter, viewport, course.Start->Lat1, course.Start->Lon1, course.Start->Lat2,
                          course.Start->Lon2, CourseColour(kStartLineRgb));
    if (course.Finish)
        DrawFinishLine(painter, viewport, course.Finish->Lat1, course.Finish->Lon1, course.Finish->Lat2,
                       course.Finish->Lon2);
    const QTransform toScreen = viewport.projectedToScreen();
    if (course.Start && course.Finish && SameSegment(*course.Start, *course.Finish)) {
        // One line serves as start and finish: every other black square in the start's colour.
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing, true);
        QPen squares(CourseColour(kStartLineRgb), kLineSquarePx, Qt::CustomDashLine, Qt::FlatCap);
        squares.setDashPattern({1, 3});
        painter.setPen(squares);
        painter.drawLine(
            ScreenOf(toScreen, course.Finish->Lat1, course.Finish->Lon1),
            ScreenOf(toScreen, course.Finish->Lat2, UnwrapLongitude(course.Finish->Lon2, course.Finish->Lon1)));
        painter.restore();
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const CourseMark& mark : course.Marks) {
        if (!mark.Gate)
            continue;
        QPen dashed(QColor(40, 40, 40), 2, Qt::DashLine, Qt::FlatCap);
        painter.setPen(dashed);
        painter.drawLine(ScreenOf(toScreen, mark.Lat, mark.Lon), ScreenOf(toScreen, mark.Lat2, mark.Lon2));
    }
    for (const CourseMark& mark : course.Marks) {
        const QPointF at = ScreenOf(toScreen, mark.Lat, mark.Lon);
        DrawBuoy(painter, at, MarkColour(mark));
        if (mark.Gate)
            DrawBuoy(painter, ScreenOf(toScreen, mark.Lat2, mark.Lon2), MarkColour(mark));
        DrawName(painter, at, mark.Name);
    }
    painter.restore();
}

std::optional<CourseBuoy> CourseBuoyAt(const ChartViewport& viewport, const Course& course, const QPointF& atPx,
                                       double radiusPx)
{
    const QTransform toScreen = viewport.projectedToScreen();
    std::optional<CourseBuoy> nearest;
    double best = radiusPx;
    for (std::size_t i = 0; i < course.Marks.size(); ++i) {
        const CourseMark& mark = course.Marks[i];
        for (int end = 0; end < (mark.Gate ? 2 : 1); ++end) {
            const QPointF at =
                end == 0 ? ScreenOf(toScreen, mark.Lat, mark.Lon) : ScreenOf(toScreen, mark.Lat2, mark.Lon2);
            const double distance = std::hypot(at.x() - atPx.x(), at.y() - atPx.y());
            if (distance <= best) {
                best = distance;
                nearest = CourseBuoy{i, end};
            }
        }
    }
    return nearest;
}

void MoveCourseBuoy(Course& course, const CourseBuoy& buoy, double lat, double lon)
{
    if (buoy.Mark >= course.Marks.size())
        return;
    CourseMark& mark = course.Marks[buoy.Mark];
    if (buoy.End == 1 && mark.Gate) {
        mark.Lat2 = lat;
        mark.Lon2 = lon;
    } else {
        mark.Lat = lat;
        mark.Lon = lon;
    }
}

} // namespace tideplot
