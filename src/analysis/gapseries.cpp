#include "gapseries.h"

#include "raceanalysis.h"

#include "core/datetime.h"

#include <algorithm>
#include <cmath>

namespace tideplot {

namespace {

constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;

// The seconds after its gun at which a boat first had no more than `toSail` to sail; NaN
// when it never had.
double FirstThere(const std::vector<float>& toSail, double toSailNm)
{
    // toSail never grows: the steps that still had more to sail come first.
    const auto it = std::partition_point(toSail.begin(), toSail.end(), [&](float v) { return v > toSailNm; });
    if (it == toSail.end())
        return kNoValue;
    const auto j = static_cast<double>(it - toSail.begin());
    if (it == toSail.begin() || !std::isfinite(*(it - 1)) || *(it - 1) == *it)
        return j * kToSailStepSeconds;
    const double before = *(it - 1), after = *it;
    return (j - 1 + (before - toSailNm) / (before - after)) * kToSailStepSeconds;
}

} // namespace

std::vector<float> AxisToSailNm(const BoatAnalysis& boat, const WindEstimate& wind)
{
    std::vector<float> toSail;
    const std::vector<MotionSample>& samples = boat.Motion.Samples;
    if (!wind.Known || samples.empty() || samples.back().Seconds < 0)
        return toSail;
    const double gap = std::max(20.0, 4 * boat.Motion.Character.IntervalSeconds * boat.Motion.KeptEvery);
    double made = 0, windAt = -1e300, from = kNoValue;
    const auto keepUpTo = [&](double seconds) {
        while (static_cast<double>(toSail.size()) * kToSailStepSeconds <= seconds)
            toSail.push_back(static_cast<float>(-made));
    };
    for (std::size_t i = 0; i + 1 < samples.size(); ++i) {
        const MotionSample& s = samples[i];
        const double next = samples[i + 1].Seconds;
        if (next <= 0)
            continue;
        keepUpTo(std::max<double>(s.Seconds, 0) - 1e-9);
        if (s.Seconds - windAt >= 5) {
            from = wind.At(DateValueAt(boat.Source, s.Seconds));
            windAt = s.Seconds;
        }
        const double h = next - std::max<double>(s.Seconds, 0);
        if (next - s.Seconds > gap || !std::isfinite(s.SpeedKn) || !std::isfinite(s.CourseDeg) || !std::isfinite(from))
            continue;
        made += std::fabs(s.SpeedKn * std::cos((s.CourseDeg - from) * kRadiansPerDegree)) * h / 3600;
    }
    keepUpTo(samples.back().Seconds);
    return toSail;
}

void GapSeries(RaceAnalysis& race)
{
    race.GapFirstTime = 0;
    race.GapStepSeconds = 0;
    double first = INFINITY, last = -INFINITY;
    for (BoatAnalysis& boat : race.Boats) {
        boat.GapSeconds.clear();
        const std::vector<float>& toSail = boat.Sailed.ToSailNm;
        if (toSail.empty())
            continue;
        first = std::min(first, boat.Source.StartTime);
        last = std::max(last, DateValueAt(boat.Source, static_cast<double>(toSail.size() - 1) * kToSailStepSeconds));
    }
    if (!(last >= first))
        return;
    const double span = (last - first) * kSecondsPerDay;
    const double step = kToSailStepSeconds *
                        std::max(1.0, std::ceil(span / static_cast<double>(kMostGapPoints - 1) / kToSailStepSeconds));
    const auto points = static_cast<std::size_t>(std::floor(span / step)) + 1;
    race.GapFirstTime = first;
    race.GapStepSeconds = step;
    for (BoatAnalysis& boat : race.Boats) {
        const std::vector<float>& toSail = boat.Sailed.ToSailNm;
        if (toSail.empty())
            continue;
        boat.GapSeconds.assign(points, kNoValue);
        for (std::size_t i = 0; i < points; ++i) {
            const double elapsed = (first - boat.Source.StartTime) * kSecondsPerDay + static_cast<double>(i) * step;
            double j = std::floor(elapsed / kToSailStepSeconds + 1e-6);
            // A boat that finished keeps its gap at the finish after its last fix.
            if (boat.Sailed.FinishSeconds && j >= static_cast<double>(toSail.size()))
                j = static_cast<double>(toSail.size() - 1);
            if (j < 0 || j >= static_cast<double>(toSail.size()) || !std::isfinite(toSail[static_cast<std::size_t>(j)]))
                continue;
            const double here = toSail[static_cast<std::size_t>(j)];
            const double own = FirstThere(toSail, here) * boat.Source.Lys;
            double best = own;
            for (const BoatAnalysis& other : race.Boats)
                if (&other != &boat && !other.Sailed.ToSailNm.empty())
                    best = std::min(best, FirstThere(other.Sailed.ToSailNm, here) * other.Source.Lys);
            boat.GapSeconds[i] = static_cast<float>(own - best);
        }
    }
}

} // namespace tideplot
