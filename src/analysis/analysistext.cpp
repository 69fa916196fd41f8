#include "analysistext.h"

#include "analysisfiles.h"
#include "core/datetime.h"

#include <algorithm>
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

std::string WindRangeText(const WindEstimate& wind)
{
    if (!wind.Known)
        return {};
    double least = 0, most = 0;
    for (const WindPoint& p : wind.Series) {
        if (std::isnan(p.FromDeg))
            continue;
        const double off = AngleDifference(p.FromDeg, wind.FromDeg);
        least = std::min(least, off);
        most = std::max(most, off);
    }
    if (most - least < 3)
        return {};
    const auto degrees = [&](double off) {
        return std::to_string(std::lround(NormalDegrees(wind.FromDeg + off)) % 360);
    };
    return degrees(least) + " to " + degrees(most);
}

std::string WindSourceText(const RaceAnalysis& race)
{
    const WindEstimate& wind = race.Wind;
    if (!wind.Known)
        return "unknown: fewer than three tacks and gybes to estimate it from";
    const std::string counts = Count(wind.Tacks, "tack", "tacks") + " and " + Count(wind.Gybes, "gybe", "gybes");
    const std::string range = WindRangeText(wind);
    const std::string shifting = range.empty() ? std::string() : ", shifting " + range;
    if (wind.Source == WindSource::Estimated)
        return "estimated from " + counts + shifting;
    std::string source = "given";
    if (wind.Source == WindSource::Given && !wind.Series.empty())
        source += " at " + Count(static_cast<int>(wind.Series.size()), "moment", "moments");
    if (wind.Source == WindSource::Measured) {
        int boats = 0;
        for (const BoatAnalysis& boat : race.Boats)
            boats += boat.MeasuredWind.empty() ? 0 : 1;
        source = "measured by the instruments of " + Count(boats, "boat", "boats");
        const WindDifference d = CompareWinds(race.Estimate, wind);
        if (std::isfinite(d.MeanDeg)) {
            const long off = std::lround(d.MeanDeg);
            source +=
                off == 0 ? " (the estimate within a degree)"
                : off > 0
                    ? " (the estimate " + Count(static_cast<int>(off), "degree", "degrees") + " clockwise of it)"
                    : " (the estimate " + Count(static_cast<int>(-off), "degree", "degrees") + " anticlockwise of it)";
        }
    }
    return source + shifting + "; " + counts + " found";
}

std::string LineBiasText(const StartLineBias& bias)
{
    if (!std::isfinite(bias.BiasDeg))
        return "the wind at the gun is not known";
    if (bias.FavouredEnd == 0)
        return "square to the wind from " + FixedText(bias.WindFromDeg, 0) + " degrees at the gun";
    return "the P" + std::to_string(bias.FavouredEnd) + " end favoured by " + FixedText(std::fabs(bias.BiasDeg), 0) +
           " degrees (the wind from " + FixedText(bias.WindFromDeg, 0) + " at the gun)";
}

std::string ManoeuvreRaceTimeText(const BoatSource& boat, const Manoeuvre& manoeuvre)
{
    return RaceClockText(RaceClockAt(boat, manoeuvre.MiddleSeconds));
}

} // namespace tideplot
