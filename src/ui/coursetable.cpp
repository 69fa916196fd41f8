#include "ui/coursetable.h"

#include "core/coursefile.h"
#include "core/error.h"
#include "core/results.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>

namespace tideplot {

namespace {

const char* const kColumnNames[kCourseColumns] = {"name",     "kind",      "side",       "latitude",
                                                   "longitude", "latitude 2", "longitude 2"};

// A fault in one cell: thrown inside the reading, returned as a CourseReading.
struct CellFault {
    int Row;
    int Column;
    QString Fault;
};

QString RowLabel(const std::vector<CourseRow>& rows, int row)
{
    if (row == 0)
        return QStringLiteral("The start line");
    if (row + 1 == static_cast<int>(rows.size()))
        return QStringLiteral("The finish line");
    const QString name = rows[static_cast<std::size_t>(row)][kCourseName].trimmed();
    return QStringLiteral("Row %1 (%2)").arg(row + 1).arg(name.isEmpty() ? QStringLiteral("no name") : name);
}

double Degrees(const std::vector<CourseRow>& rows, int row, int column)
{
    const QString text = rows[static_cast<std::size_t>(row)][column].trimmed();
    const bool lat = column == kCourseLat1 || column == kCourseLat2;
    const QString range = lat ? QStringLiteral("-90 to 90, north positive") : QStringLiteral("-180 to 180, east positive");
    const QString what = QString::fromLatin1(kColumnNames[column]);
    if (text.isEmpty())
        throw CellFault{row, column, QStringLiteral("%1: its %2 is missing: type decimal degrees (%3).")
                                         .arg(RowLabel(rows, row), what, range)};
    const QByteArray latin = text.toLatin1();
    const char* first = latin.constData();
    const char* last = first + latin.size();
    if (first != last && *first == '+')
        ++first;
    double value = 0;
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::fixed);
    if (ec != std::errc() || end != last || !std::isfinite(value))
        throw CellFault{row, column, QStringLiteral("%1: \"%2\" is no %3: type decimal degrees with \".\" as the "
                                                    "decimal point (%4).")
                                         .arg(RowLabel(rows, row), text, what, range)};
    if (std::fabs(value) > (lat ? 90 : 180))
        throw CellFault{row, column, QStringLiteral("%1: the %2 %3 is off the globe (%4).")
                                         .arg(RowLabel(rows, row), what, text, range)};
    return value;
}

bool Empty(const CourseRow& row, int from, int to)
{
    for (int c = from; c <= to; ++c)
        if (!row[c].trimmed().isEmpty())
            return false;
    return true;
}

// A line of the row's four numbers, checked for its length.
FinishLine Line(const std::vector<CourseRow>& rows, int row)
{
    const int last = static_cast<int>(rows.size()) - 1;
    const std::string what = row == 0      ? std::string("The start line")
                             : row == last ? std::string("The finish line")
                                           : (RowLabel(rows, row) + QStringLiteral(": the gate")).toStdString();
    const FinishLine line{Degrees(rows, row, kCourseLat1), Degrees(rows, row, kCourseLon1),
                          Degrees(rows, row, kCourseLat2), Degrees(rows, row, kCourseLon2)};
    try {
        CheckFinishLine(line, what);
    } catch (const Error& e) {
        throw CellFault{row, kCourseLat2, QString::fromLocal8Bit(e.what())};
    }
    return line;
}

CourseMark MarkOfRow(const std::vector<CourseRow>& rows, int r)
{
    const CourseRow& row = rows[static_cast<std::size_t>(r)];
    CourseMark mark;
    const QString name = row[kCourseName].trimmed();
    if (name.isEmpty() || name.contains(QRegularExpression(QStringLiteral("\\s"))) || name.startsWith(u'#'))
        throw CellFault{r, kCourseName, QStringLiteral("%1: a mark's name is one word (\"W\", \"Gate2\").")
                                            .arg(RowLabel(rows, r))};
    mark.Name = name.toLocal8Bit().toStdString();
    const QString kind = row[kCourseKind].trimmed();
    if (kind == QLatin1String(kGateKind)) {
        mark.Gate = true;
        const FinishLine ends = Line(rows, r);
        mark.Lat = ends.Lat1, mark.Lon = ends.Lon1, mark.Lat2 = ends.Lat2, mark.Lon2 = ends.Lon2;
        return mark;
    }
    if (kind != QLatin1String(kMarkKind))
        throw CellFault{r, kCourseKind, QStringLiteral("%1: the kind is \"mark\" or \"gate\".").arg(RowLabel(rows, r))};
    const QString side = row[kCourseSide].trimmed().toLower();
    if (side == u"port")
        mark.Side = MarkSide::Port;
    else if (side == u"starboard")
        mark.Side = MarkSide::Starboard;
    else
        throw CellFault{r, kCourseSide, QStringLiteral("%1: the side a boat leaves the mark on is \"port\" or "
                                                       "\"starboard\".")
                                            .arg(RowLabel(rows, r))};
    mark.Lat = Degrees(rows, r, kCourseLat1);
    mark.Lon = Degrees(rows, r, kCourseLon1);
    return mark;
}

Course Read(const std::vector<CourseRow>& rows, int laps, const std::vector<CourseMark>& kept, bool finishRequired)
{
    Course course;
    const int last = static_cast<int>(rows.size()) - 1;
    if (!Empty(rows.front(), kCourseLat1, kCourseLon2))
        course.Start = Line(rows, 0);
    for (int r = 1; r < last; ++r) {
        const CourseMark mark = MarkOfRow(rows, r);
        if (const auto same = course.Find(mark.Name)) {
            if (!(course.Marks[*same] == mark))
                throw CellFault{r, kCourseName,
                                QStringLiteral("%1: %2 is named above with another kind, side or position: a mark "
                                               "sailed twice in a lap is one buoy; give its rows the same cells, or "
                                               "give this one another name.")
                                    .arg(RowLabel(rows, r), rows[static_cast<std::size_t>(r)][kCourseName].trimmed())};
            course.Order.push_back(*same);
            continue;
        }
        course.Order.push_back(course.Marks.size());
        course.Marks.push_back(mark);
    }
    for (const CourseMark& mark : kept)
        if (!course.Find(mark.Name))
            course.Marks.push_back(mark);
    bool fileOrder = course.Order.size() == course.Marks.size();
    for (std::size_t i = 0; fileOrder && i < course.Order.size(); ++i)
        fileOrder = course.Order[i] == i;
    if (fileOrder)
        course.Order.clear();
    if (!Empty(rows.back(), kCourseLat1, kCourseLon2))
        course.Finish = Line(rows, last);
    else if (finishRequired)
        throw CellFault{last, kCourseLat1, QStringLiteral("The finish line is missing: type its two ends or place it "
                                                          "on the chart.")};
    if (laps > 1 && course.Marks.empty())
        throw CellFault{-1, -1, QStringLiteral("%1 laps need marks to sail round: add a mark or give 1 lap.").arg(laps)};
    course.Laps = laps;
    return course;
}

} // namespace

QString DegreesText(double degrees)
{
    const std::string text = PositionText(degrees, 0);
    return QString::fromLatin1(text.substr(0, text.find(' ')));
}

std::vector<CourseRow> CourseRows(const Course& course)
{
    std::vector<CourseRow> rows;
    auto lineRow = [&](const char* kind, const std::optional<FinishLine>& line) {
        CourseRow row;
        row[kCourseName] = QString::fromLatin1(kind);
        row[kCourseName][0] = row[kCourseName][0].toUpper();
        row[kCourseKind] = QString::fromLatin1(kind);
        if (line) {
            row[kCourseLat1] = DegreesText(line->Lat1), row[kCourseLon1] = DegreesText(line->Lon1);
            row[kCourseLat2] = DegreesText(line->Lat2), row[kCourseLon2] = DegreesText(line->Lon2);
        }
        rows.push_back(row);
    };
    lineRow(kStartLineKind, course.Start);
    for (const std::size_t i : course.Lap()) {
        const CourseMark& mark = course.Marks[i];
        CourseRow row;
        row[kCourseName] = QString::fromLocal8Bit(mark.Name);
        row[kCourseKind] = QString::fromLatin1(mark.Gate ? kGateKind : kMarkKind);
        if (!mark.Gate)
            row[kCourseSide] = QString::fromLatin1(MarkSideName(mark.Side));
        row[kCourseLat1] = DegreesText(mark.Lat), row[kCourseLon1] = DegreesText(mark.Lon);
        if (mark.Gate)
            row[kCourseLat2] = DegreesText(mark.Lat2), row[kCourseLon2] = DegreesText(mark.Lon2);
        rows.push_back(row);
    }
    lineRow(kFinishLineKind, course.Finish);
    return rows;
}

CourseReading ReadCourseRows(const std::vector<CourseRow>& rows, int laps, const std::vector<CourseMark>& kept,
                             bool finishRequired)
{
    CourseReading reading;
    if (rows.size() < 2) {
        reading.Fault = QStringLiteral("The table has no start and finish rows.");
        return reading;
    }
    try {
        reading.Plan = Read(rows, laps, kept, finishRequired);
    } catch (const CellFault& fault) {
        reading.Row = fault.Row;
        reading.Column = fault.Column;
        reading.Fault = fault.Fault;
    }
    return reading;
}

} // namespace tideplot
