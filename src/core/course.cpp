#include "course.h"

#include "coursefile.h"
#include "geometry.h"

#include <cmath>

namespace tideplot {

std::string_view MarkSideName(MarkSide side)
{
    return side == MarkSide::Port ? "port" : "starboard";
}

double CourseMark::PointLon() const
{
    return Gate ? FoldLongitude(Lon + LongitudeDifference(Lon2, Lon) / 2) : Lon;
}

std::vector<std::size_t> Course::Lap() const
{
    if (!Order.empty())
        return Order;
    std::vector<std::size_t> lap(Marks.size());
    for (std::size_t i = 0; i < lap.size(); ++i)
        lap[i] = i;
    return lap;
}

std::vector<CourseLeg> Course::Sequence() const
{
    const std::vector<std::size_t> lap = Lap();
    std::vector<CourseLeg> sequence;
    sequence.reserve(lap.size() * static_cast<std::size_t>(std::max(Laps, 0)));
    for (int k = 1; k <= Laps; ++k)
        for (const std::size_t mark : lap)
            sequence.push_back({mark, k});
    return sequence;
}

std::optional<std::size_t> Course::Find(std::string_view name) const
{
    for (std::size_t i = 0; i < Marks.size(); ++i)
        if (Marks[i].Name == name)
            return i;
    return std::nullopt;
}

std::vector<std::string> CourseTextLines(const Course& course)
{
    std::vector<std::string> lines;
    if (course.Start)
        lines.push_back("start " + FinishLineText(*course.Start));
    for (const CourseMark& mark : course.Marks) {
        if (mark.Gate)
            lines.push_back("gate " + mark.Name + " " +
                            FinishLineText(FinishLine{mark.Lat, mark.Lon, mark.Lat2, mark.Lon2}));
        else
            lines.push_back("mark " + mark.Name + " " + PositionText(mark.Lat, mark.Lon) + " " +
                            std::string(MarkSideName(mark.Side)));
    }
    bool fileOrder = course.Order.size() == course.Marks.size();
    for (std::size_t i = 0; fileOrder && i < course.Order.size(); ++i)
        fileOrder = course.Order[i] == i;
    if (!course.Order.empty() && !fileOrder) {
        std::string text = "course";
        for (const std::size_t i : course.Order)
            text += " " + course.Marks.at(i).Name;
        lines.push_back(text);
    }
    if (course.Laps != 1)
        lines.push_back("laps " + std::to_string(course.Laps));
    if (course.Finish)
        lines.push_back(std::string(kFinishKey) + " " + FinishLineText(*course.Finish));
    return lines;
}

double LineMiddleLat(const FinishLine& line)
{
    return (line.Lat1 + line.Lat2) / 2;
}

double LineMiddleLon(const FinishLine& line)
{
    return FoldLongitude(line.Lon1 + LongitudeDifference(line.Lon2, line.Lon1) / 2);
}

double PlaneDistanceNm(double lat1, double lon1, double lat2, double lon2)
{
    const double dLat = lat2 - lat1;
    const double dLon = LongitudeDifference(lon2, lon1) * std::cos(Radians((lat1 + lat2) / 2));
    return 60 * std::hypot(dLat, dLon);
}

double CourseDistanceNm(const Course& course)
{
    const std::vector<CourseLeg> sequence = course.Sequence();
    if (sequence.empty())
        return 0;
    double total = 0;
    const CourseMark* before = nullptr;
    for (const CourseLeg& leg : sequence) {
        const CourseMark& mark = course.Marks[leg.Mark];
        if (before)
            total += PlaneDistanceNm(before->PointLat(), before->PointLon(), mark.PointLat(), mark.PointLon());
        else if (course.Start)
            total += PlaneDistanceNm(LineMiddleLat(*course.Start), LineMiddleLon(*course.Start), mark.PointLat(),
                                     mark.PointLon());
        before = &mark;
    }
    if (course.Finish)
        total += PlaneDistanceNm(before->PointLat(), before->PointLon(), LineMiddleLat(*course.Finish),
                                 LineMiddleLon(*course.Finish));
    return total;
}

} // namespace tideplot
