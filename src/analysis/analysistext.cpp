#include "analysistext.h"

#include "core/datetime.h"

#include <cmath>
#include <cstdio>

namespace tideplot {

namespace {

std::string Tenths(double value)
{
    if (!std::isfinite(value))
        return {};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return std::string(buffer) == "-0.0" ? "0.0" : buffer;
}

std::string Count(int n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string LossMetresText(double metres)
{
    return Tenths(metres);
}

std::string KnotsText(double knots)
{
    return Tenths(knots);
}

std::string WindDegreesText(const WindEstimate& wind)
{
    if (!wind.Known || !std::isfinite(wind.FromDeg))
        return {};
    return std::to_string(std::lround(NormalDegrees(wind.FromDeg)) % 360);
}

std::string WindSourceText(const WindEstimate& wind)
{
    if (!wind.Known)
        return "unknown: fewer than three tacks and gybes to estimate it from";
    const std::string counts = Count(wind.Tacks, "tack", "tacks") + " and " + Count(wind.Gybes, "gybe", "gybes");
    return wind.Given ? "given; " + counts + " found" : "estimated from " + counts;
}

std::string ManoeuvreRaceTimeText(const BoatSource& boat, const Manoeuvre& manoeuvre)
{
    return RaceClockText(RaceClockAt(boat, manoeuvre.MiddleSeconds));
}

} // namespace tideplot
