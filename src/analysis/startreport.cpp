#include "startreport.h"

#include "core/geometry.h"

#include <algorithm>
#include <cmath>

namespace tideplot {

namespace {

constexpr double kMetresPerDegree = 60 * 1852.0;
// Slower than this at the gun, the time to the line cannot be told.
constexpr double kLeastSpeedKn = 0.5;

struct Plane {
    double lat1, lon1, scale;
    double dx, dy; // P2 - P1, metres

    explicit Plane(const FinishLine& line)
        : lat1(line.Lat1), lon1(line.Lon1), scale(std::cos(Radians((line.Lat1 + line.Lat2) / 2)))
    {
        dx = LongitudeDifference(line.Lon2, line.Lon1) * scale * kMetresPerDegree;
        dy = (line.Lat2 - line.Lat1) * kMetresPerDegree;
    }
    double X(double lon) const { return LongitudeDifference(lon, lon1) * scale * kMetresPerDegree; }
    double Y(double lat) const { return (lat - lat1) * kMetresPerDegree; }
};

} // namespace

StartReport BoatStart(const FinishLine& line, const std::vector<MotionSample>& samples, const CourseSailed& sailed)
{
    StartReport report;
    report.Ocs = sailed.Ocs;
    report.Returned = sailed.Ocs && sailed.StartSeconds.has_value();
    const auto after =
        std::lower_bound(samples.begin(), samples.end(), 0, [](const MotionSample& s, int t) { return s.Seconds < t; });
    if (after == samples.end() || (after->Seconds > 0 && after == samples.begin()))
        return report;
    const MotionSample& b = *after;
    const MotionSample& a = after->Seconds == 0 ? b : *(after - 1);
    const double f = b.Seconds == a.Seconds ? 1 : -a.Seconds / static_cast<double>(b.Seconds - a.Seconds);
    const Plane plane(line);
    const double x = plane.X(a.Lon()) + f * (plane.X(b.Lon()) - plane.X(a.Lon()));
    const double y = plane.Y(a.Lat()) + f * (plane.Y(b.Lat()) - plane.Y(a.Lat()));
    const double length2 = plane.dx * plane.dx + plane.dy * plane.dy;
    const double along = (x * plane.dx + y * plane.dy) / length2;
    const double t = std::clamp(along, 0.0, 1.0);
    const double distance = std::hypot(x - t * plane.dx, y - t * plane.dy);
    const bool left = plane.dx * y - plane.dy * x > 0;
    report.LineDistanceMetres = left ? distance : -distance;
    report.LinePosition = along;
    report.SpeedKn = std::isfinite(a.SpeedKn) && std::isfinite(b.SpeedKn) ? a.SpeedKn + f * (b.SpeedKn - a.SpeedKn)
                     : std::isfinite(b.SpeedKn)                           ? b.SpeedKn
                                                                          : a.SpeedKn;
    if (sailed.StartSeconds) {
        if (report.LineDistanceMetres <= 0)
            report.SecondsLate = *sailed.StartSeconds;
        else if (report.SpeedKn >= kLeastSpeedKn)
            report.SecondsLate =
                *sailed.StartSeconds - report.LineDistanceMetres / (report.SpeedKn * kMetresPerKnotSecond);
    }
    return report;
}

StartLineBias LineBias(const FinishLine& line, double windFromDeg)
{
    StartLineBias bias;
    if (!std::isfinite(windFromDeg))
        return bias;
    const Plane plane(line);
    const double bearing = std::atan2(plane.dx, plane.dy) * 180 / Pi;
    bias.WindFromDeg = windFromDeg;
    bias.BiasDeg = AngleDifference(windFromDeg, bearing + 90);
    if (std::fabs(bias.BiasDeg) >= 0.5)
        bias.FavouredEnd = bias.BiasDeg > 0 ? 1 : 2;
    return bias;
}

} // namespace tideplot
