#include "earth/chart/chartview.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tideplot {

namespace {

constexpr double kMaxLatDeg = 89.5;

double ToRadians(double degrees)
{
    return degrees * std::numbers::pi / 180;
}

double ToDegrees(double radians)
{
    return radians * 180 / std::numbers::pi;
}

QString FormatDegreesMinutes(double value, double stepMinutes, QChar positive, QChar negative)
{
    const int decimals = stepMinutes < 1 ? 1 : 0;
    const double scale = decimals == 1 ? 10 : 1;
    const long long units = std::llround(std::abs(value) * 60 * scale);
    const long long perDegree = static_cast<long long>(60 * scale);
    const long long degrees = units / perDegree;
    const double minutes = static_cast<double>(units % perDegree) / scale;
    QString text =
        QStringLiteral("%1°%2'").arg(degrees).arg(minutes, decimals == 1 ? 4 : 2, 'f', decimals, QLatin1Char('0'));
    if (units != 0)
        text += value > 0 ? positive : negative;
    return text;
}

} // namespace

QPointF ProjectLatLon(double latDeg, double lonDeg)
{
    const double lat = ToRadians(std::clamp(latDeg, -kMaxLatDeg, kMaxLatDeg));
    return {kChartEarthRadiusMetres * ToRadians(lonDeg),
            kChartEarthRadiusMetres * std::log(std::tan(std::numbers::pi / 4 + lat / 2))};
}

LatLon UnprojectPoint(const QPointF& projected)
{
    const double lat = std::numbers::pi / 2 - 2 * std::atan(std::exp(-projected.y() / kChartEarthRadiusMetres));
    return {ToDegrees(lat), ToDegrees(projected.x() / kChartEarthRadiusMetres)};
}

double ChartViewport::groundMetresPerPixel() const
{
    return kChartGroundWidthPerRange * RangeMetres / std::max(SizePx.width(), 1.0);
}

double ChartViewport::pixelsPerProjectedMetre() const
{
    return std::cos(ToRadians(UnprojectPoint(Focus).LatDeg)) / groundMetresPerPixel();
}

QTransform ChartViewport::projectedToScreen() const
{
    // East e and north n about the focus turn by the heading, so that the heading points
    // up: x = s (e cos h - n sin h), y = -s (e sin h + n cos h), y growing downwards.
    const double s = pixelsPerProjectedMetre();
    const double h = ToRadians(HeadingDeg);
    const double c = s * std::cos(h);
    const double n = s * std::sin(h);
    const double m11 = c, m12 = -n, m21 = -n, m22 = -c;
    const double dx = SizePx.width() / 2 - (m11 * Focus.x() + m21 * Focus.y());
    const double dy = SizePx.height() / 2 - (m12 * Focus.x() + m22 * Focus.y());
    return QTransform(m11, m12, m21, m22, dx, dy);
}

double GridStepMinutes(double pixelsPerMinute, double minSpacingPx)
{
    static constexpr double kSteps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 2700};
    for (const double step : kSteps) {
        if (step * pixelsPerMinute >= minSpacingPx)
            return step;
    }
    return kSteps[std::size(kSteps) - 1];
}

QString FormatLatitude(double latDeg, double stepMinutes)
{
    return FormatDegreesMinutes(latDeg, stepMinutes, u'N', u'S');
}

QString FormatLongitude(double lonDeg, double stepMinutes)
{
    return FormatDegreesMinutes(lonDeg, stepMinutes, u'E', u'W');
}

double ScaleBarNauticalMiles(double pixelsPerNauticalMile, double maxPx)
{
    double best = 0;
    for (int exponent = -3; exponent <= 5; ++exponent) {
        for (const double mantissa : {1.0, 2.0, 5.0}) {
            const double length = mantissa * std::pow(10.0, exponent);
            if (length * pixelsPerNauticalMile <= maxPx)
                best = length;
        }
    }
    return best;
}

QString FormatNauticalMiles(double nauticalMiles)
{
    return QStringLiteral("%1 NM").arg(QString::number(nauticalMiles, 'g', 6));
}

double NormalizedHeading(double degrees)
{
    double h = std::fmod(degrees, 360.0);
    if (h < 0)
        h += 360;
    return h >= 360 ? 0 : h + 0.0;
}

} // namespace tideplot
