#include "windseries.h"

#include "core/datetime.h"
#include "core/windfile.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace tideplot {

namespace {

constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;

// Sums of unit vectors, a mean direction each.
struct Directions {
    std::vector<double> sin, cos;
    std::vector<std::uint16_t> count;
    explicit Directions(std::size_t n) : sin(n), cos(n), count(n) {}
    void add(std::size_t i, double deg)
    {
        sin[i] += std::sin(deg * kRadiansPerDegree);
        cos[i] += std::cos(deg * kRadiansPerDegree);
        count[i] = static_cast<std::uint16_t>(std::min(65535, count[i] + 1));
    }
    float mean(std::size_t i) const
    {
        return count[i] == 0 || (sin[i] == 0 && cos[i] == 0)
                   ? kNoValue
                   : static_cast<float>(NormalDegrees(std::atan2(sin[i], cos[i]) / kRadiansPerDegree));
    }
};

} // namespace

std::vector<WindPoint> ReadMeasuredWind(const std::string& trackPath, double first, double last)
{
    const std::string path = WindFilePath(trackPath);
    std::error_code error;
    if (!(last >= first) || !std::filesystem::is_regular_file(path, error))
        return {};
    const double from = std::round(first * kSecondsPerDay / kWindStepSeconds);
    const double to = std::round(last * kSecondsPerDay / kWindStepSeconds);
    const auto count = static_cast<std::size_t>(to - from) + 1;
    Directions minutes(count);
    bool any = false;
    WindFileReader reader(path);
    WindFileLine line;
    while (reader.next(line)) {
        if (!line.TwdDeg)
            continue;
        const double minute = std::round(line.Time * kSecondsPerDay / kWindStepSeconds) - from;
        if (minute < 0 || minute >= static_cast<double>(count))
            continue;
        minutes.add(static_cast<std::size_t>(minute), *line.TwdDeg);
        any = true;
    }
    if (!any)
        return {};
    std::vector<WindPoint> series(count);
    for (std::size_t i = 0; i < count; ++i) {
        series[i].Time = (from + static_cast<double>(i)) * kWindStepSeconds / kSecondsPerDay;
        series[i].FromDeg = minutes.mean(i);
        series[i].Support = std::isnan(series[i].FromDeg) ? 0 : 1;
    }
    return series;
}

WindEstimate MeasuredWind(const std::vector<const std::vector<WindPoint>*>& boats, const WindEstimate& estimate)
{
    WindEstimate wind;
    if (boats.empty())
        return wind;
    double first = INFINITY, last = -INFINITY;
    for (const std::vector<WindPoint>* boat : boats) {
        if (boat->empty())
            continue;
        first = std::min(first, boat->front().Time);
        last = std::max(last, boat->back().Time);
    }
    for (const WindPoint& p : estimate.Series) {
        first = std::min(first, p.Time);
        last = std::max(last, p.Time);
    }
    if (!(first <= last))
        return wind;
    const double minute = kWindStepSeconds / kSecondsPerDay;
    const auto count = static_cast<std::size_t>(std::llround((last - first) / minute)) + 1;
    Directions sums(count);
    const auto index = [&](double time) { return std::llround((time - first) / minute); };
    for (const std::vector<WindPoint>* boat : boats)
        for (const WindPoint& p : *boat)
            if (!std::isnan(p.FromDeg))
                sums.add(static_cast<std::size_t>(index(p.Time)), p.FromDeg);
    wind.Series.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        WindPoint& p = wind.Series[i];
        p.Time = first + static_cast<double>(i) * minute;
        p.FromDeg = sums.mean(i);
        p.Support = sums.count[i];
        wind.Known = wind.Known || p.Support > 0;
        if (p.Support == 0 && estimate.Known)
            p.FromDeg = static_cast<float>(estimate.At(p.Time));
    }
    if (!wind.Known)
        return WindEstimate{};
    wind.Source = WindSource::Measured;
    wind.StepSeconds = kWindStepSeconds;
    wind.FromDeg = MeanWindDeg(wind.Series);
    return wind;
}

WindEstimate TypedWindSeries(const std::vector<TypedWind>& lines, double firstStart)
{
    WindEstimate wind;
    if (lines.empty())
        return wind;
    const double startSecond = std::round(firstStart * kSecondsPerDay);
    const double day = std::floor((startSecond - 6 * 3600) / kSecondsPerDay) * kSecondsPerDay;
    for (const TypedWind& line : lines) {
        double second = startSecond + line.Seconds;
        if (line.Utc) {
            second = day + line.Seconds;
            if (second < startSecond - 6 * 3600)
                second += kSecondsPerDay;
        }
        wind.Series.push_back({second / kSecondsPerDay, static_cast<float>(NormalDegrees(line.FromDeg)), 0});
    }
    std::stable_sort(wind.Series.begin(), wind.Series.end(),
                     [](const WindPoint& a, const WindPoint& b) { return a.Time < b.Time; });
    wind.Known = wind.Given = true;
    wind.Source = WindSource::Given;
    wind.FromDeg = MeanWindDeg(wind.Series);
    return wind;
}

} // namespace tideplot
