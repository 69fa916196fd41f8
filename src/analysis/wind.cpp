#include "wind.h"

#include "windtrack.h"

#include "core/datetime.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tideplot {

namespace {

using windtrack::AxisTurn;

constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;
// A turn lies on the wind's axis (a tack or gybe the estimate rests on) within this many degrees.
constexpr double kOnAxisDeg = 14;

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

template <typename Field> double MedianOf(const std::vector<AxisTurn>& turns, Field field)
{
    std::vector<double> values;
    values.reserve(turns.size());
    for (const AxisTurn& t : turns)
        values.push_back(t.*field);
    return Median(std::move(values));
}

double Vote(double value)
{
    return std::clamp(value, -3.0, 3.0);
}

// The circular mean of doubled angles (degrees).
double DoubledMean(const std::vector<AxisTurn>& turns)
{
    double s = 0, c = 0;
    for (const AxisTurn& t : turns) {
        s += std::sin(2 * t.bisector * kRadiansPerDegree);
        c += std::cos(2 * t.bisector * kRadiansPerDegree);
    }
    return NormalDegrees(std::atan2(s, c) / kRadiansPerDegree);
}

// The turns that may be tacks or gybes, in time order (seconds from `origin`, a date value):
// between steady courses, of kAxisTurnMinDeg to kAxisTurnMaxDeg, from a knot or more.
std::vector<AxisTurn> AxisTurns(const std::vector<WindBoat>& boats, double origin)
{
    std::vector<AxisTurn> turns;
    for (const WindBoat& boat : boats) {
        const double start = (boat.StartTime - origin) * kSecondsPerDay;
        for (const Turn& turn : boat.Motion->Turns) {
            const double size = std::fabs(turn.TurnDeg);
            if (!turn.Steady || size < kAxisTurnMinDeg || size > kAxisTurnMaxDeg || !(turn.SpeedBeforeKn >= 1))
                continue;
            turns.push_back({start + turn.HalfSeconds, NormalDegrees(turn.CourseBeforeDeg + turn.TurnDeg / 2), size / 2,
                             turn.MinSpeedKn / turn.SpeedBeforeKn, turn.SpeedBeforeKn});
        }
    }
    std::sort(turns.begin(), turns.end(), [](const AxisTurn& a, const AxisTurn& b) { return a.seconds < b.seconds; });
    return turns;
}

// The densest axis, doubled: doubled bisectors in 1-degree bins, a Gaussian kernel of 12
// degrees (6 on the axis) round the circle; the middle of the densest bin.
double DensestDoubledAxis(const std::vector<AxisTurn>& turns)
{
    std::array<double, 360> counts{};
    for (const AxisTurn& t : turns)
        counts[static_cast<std::size_t>(NormalDegrees(2 * t.bisector)) % 360] += 1;
    std::array<double, 360> density{};
    std::array<double, 37> kernel{};
    for (std::size_t d = 0; d < kernel.size(); ++d)
        kernel[d] = std::exp(-static_cast<double>(d * d) / (2 * 12.0 * 12.0));
    for (int g = 0; g < 360; ++g)
        for (int d = -36; d <= 36; ++d)
            density[static_cast<std::size_t>(g)] +=
                counts[static_cast<std::size_t>((g + d + 360) % 360)] * kernel[static_cast<std::size_t>(std::abs(d))];
    const auto peak = static_cast<double>(std::max_element(density.begin(), density.end()) - density.begin());
    return peak + 0.5;
}

// The turns within 15, then 12 degrees of the axis, and their mean axis: `doubled` in and out.
// (The series then follows the axis over time: windtrack.h.)
std::vector<AxisTurn> NearAxis(const std::vector<AxisTurn>& turns, double& doubled)
{
    std::vector<AxisTurn> near;
    for (const double width : {15.0, 12.0, 12.0}) {
        std::vector<AxisTurn> within;
        for (const AxisTurn& t : turns)
            if (std::fabs(AngleDifference(2 * t.bisector, doubled)) <= 2 * width)
                within.push_back(t);
        if (within.empty())
            break;
        near = std::move(within);
        doubled = DoubledMean(near);
    }
    return near;
}

// The turns' votes for the wind coming from the end of the axis `ahead` passes through (positive)
// rather than the end `astern` does: tacks lose more speed, turn through more and are sailed
// slower; with turns through one end only, whether they look like tacks.
double TurnVotes(const std::vector<AxisTurn>& ahead, const std::vector<AxisTurn>& astern)
{
    double votes = 0;
    if (!ahead.empty() && !astern.empty()) {
        votes += Vote((MedianOf(astern, &AxisTurn::dip) - MedianOf(ahead, &AxisTurn::dip)) / 0.05);
        votes += Vote((MedianOf(ahead, &AxisTurn::half) - MedianOf(astern, &AxisTurn::half)) / 5);
        const double aheadSpeed = MedianOf(ahead, &AxisTurn::speed), asternSpeed = MedianOf(astern, &AxisTurn::speed);
        votes += Vote((asternSpeed - aheadSpeed) / (0.025 * (aheadSpeed + asternSpeed)));
    } else {
        const std::vector<AxisTurn>& only = ahead.empty() ? astern : ahead;
        const double tackLike =
            Vote((0.9 - MedianOf(only, &AxisTurn::dip)) / 0.05) + Vote((MedianOf(only, &AxisTurn::half) - 32) / 5);
        votes += ahead.empty() ? -tackLike : tackLike;
    }
    return votes;
}

// The end of the axis `axis` (degrees 0 up to 180) nearest `reference` (degrees true).
double EndNear(double axis, double reference)
{
    return std::fabs(AngleDifference(axis, reference)) <= 90 ? axis : NormalDegrees(axis + 180);
}

// The moments of a series over the boats' fixes: every step on the step (UTC), a minute
// unless the fixes span more than kMostWindPoints minutes.
struct Grid {
    double origin = 0; // date value of the first moment
    double step = kWindStepSeconds;
    std::size_t count = 0;
    double Time(std::size_t j) const { return origin + static_cast<double>(j) * step / kSecondsPerDay; }
};

Grid GridOver(const std::vector<WindBoat>& boats)
{
    double first = INFINITY, last = -INFINITY;
    for (const WindBoat& boat : boats) {
        const std::vector<MotionSample>& samples = boat.Motion->Samples;
        if (samples.empty())
            continue;
        const double start = std::round(boat.StartTime * kSecondsPerDay);
        first = std::min(first, start + samples.front().Seconds);
        last = std::max(last, start + samples.back().Seconds);
    }
    Grid grid;
    if (!(first <= last))
        return grid;
    const double minutes = (last - first) / kWindStepSeconds + 2;
    grid.step = kWindStepSeconds * std::max(1.0, std::ceil(minutes / static_cast<double>(kMostWindPoints)));
    const double from = std::floor(first / grid.step) * grid.step;
    grid.origin = from / kSecondsPerDay;
    grid.count = static_cast<std::size_t>(std::ceil((last - from) / grid.step)) + 1;
    return grid;
}

// The fleet's steady courses' vote for the wind coming from the end of the axis nearest
// `reference` (positive) rather than the other: nobody sails steadily within 30 degrees of
// the wind's eye, while many run within 30 degrees of dead downwind. A fix counts as steady
// sailing at 1.5 knots or more with the course about ten seconds before and after it within 15
// degrees of its own. No vote without steady sailing.
double CourseVote(const std::vector<WindBoat>& boats, const Grid& grid, const std::vector<double>& axes,
                  double reference)
{
    double total = 0, aheadTime = 0, asternTime = 0;
    for (const WindBoat& boat : boats) {
        // Fixes about five seconds apart: the fix ten seconds either side, and the time to the next.
        const std::vector<MotionSample>& samples = boat.Motion->Samples;
        const double apart = boat.Motion->Character.IntervalSeconds * boat.Motion->KeptEvery;
        const auto k = static_cast<std::size_t>(std::max(1.0, std::round(10 / apart)));
        const auto every = std::max<std::size_t>(1, k / 2);
        const double gap = std::max(20.0, 4 * apart);
        const double start = (boat.StartTime - grid.origin) * kSecondsPerDay;
        for (std::size_t i = k; i + k < samples.size(); i += every) {
            const MotionSample& s = samples[i];
            const double h = samples[i + every].Seconds - s.Seconds;
            if (!(s.SpeedKn >= 1.5) || h > static_cast<double>(every) * gap ||
                samples[i + k].Seconds - samples[i - k].Seconds > 2 * static_cast<double>(k) * gap ||
                !(std::fabs(AngleDifference(s.CourseDeg, samples[i - k].CourseDeg)) < 15) ||
                !(std::fabs(AngleDifference(s.CourseDeg, samples[i + k].CourseDeg)) < 15))
                continue;
            const double axis = windtrack::AxisAt(axes, grid.step, start + s.Seconds);
            if (std::isnan(axis))
                continue;
            const double off = std::fabs(AngleDifference(s.CourseDeg, EndNear(axis, reference)));
            total += h;
            aheadTime += off <= 30 ? h : 0;
            asternTime += off >= 150 ? h : 0;
        }
    }
    return total > 0 ? Vote((asternTime - aheadTime) / total / 0.02) : 0;
}

} // namespace

WindEstimate EstimateWind(const std::vector<WindBoat>& boats)
{
    WindEstimate estimate;
    const Grid grid = GridOver(boats);
    const std::vector<AxisTurn> turns = AxisTurns(boats, grid.origin);
    if (grid.count == 0 || turns.size() < static_cast<std::size_t>(kFewestForWind))
        return estimate;
    double doubled = DensestDoubledAxis(turns);
    if (NearAxis(turns, doubled).size() < static_cast<std::size_t>(kFewestForWind))
        return estimate;
    const double reference = doubled / 2;
    std::vector<std::uint16_t> support;
    const std::vector<double> axes = windtrack::FollowAxis(turns, reference, grid.count, grid.step, support);

    // The turns on the axis at their moment, through each end; which end is the wind's eye.
    std::vector<AxisTurn> ahead, astern;
    for (const AxisTurn& t : turns) {
        const double axis = windtrack::AxisAt(axes, grid.step, t.seconds);
        if (std::isnan(axis) || std::fabs(windtrack::AxisDifference(t.bisector, axis)) > kOnAxisDeg)
            continue;
        (std::fabs(AngleDifference(t.bisector, EndNear(axis, reference))) <= 90 ? ahead : astern).push_back(t);
    }
    if (ahead.size() + astern.size() < static_cast<std::size_t>(kFewestForWind))
        return estimate;
    const bool fromAhead = TurnVotes(ahead, astern) + CourseVote(boats, grid, axes, reference) >= 0;

    estimate.Source = WindSource::Estimated;
    estimate.StepSeconds = grid.step;
    estimate.Series.resize(grid.count);
    for (std::size_t j = 0; j < grid.count; ++j) {
        WindPoint& p = estimate.Series[j];
        p.Time = grid.Time(j);
        p.Support = support[j];
        if (std::isfinite(axes[j]))
            p.FromDeg = static_cast<float>(NormalDegrees(EndNear(axes[j], reference) + (fromAhead ? 0 : 180)));
    }
    estimate.FromDeg = MeanWindDeg(estimate.Series);
    estimate.Known = std::isfinite(estimate.FromDeg);
    estimate.Tacks = static_cast<int>((fromAhead ? ahead : astern).size());
    estimate.Gybes = static_cast<int>((fromAhead ? astern : ahead).size());
    return estimate;
}

WindEstimate GivenWind(double fromDeg)
{
    WindEstimate wind;
    wind.Known = wind.Given = true;
    wind.Source = WindSource::Given;
    wind.FromDeg = NormalDegrees(fromDeg);
    return wind;
}

double WindEstimate::At(double dateValue) const
{
    if (Series.empty())
        return Known ? FromDeg : kNoValue;
    if (StepSeconds > 0) {
        const double x = (dateValue - Series.front().Time) * kSecondsPerDay / StepSeconds;
        if (x < -0.5 || x > static_cast<double>(Series.size()) - 0.5)
            return kNoValue;
        const double at = std::clamp(x, 0.0, static_cast<double>(Series.size() - 1));
        const auto i = std::min(static_cast<std::size_t>(at), Series.size() - 1);
        const double f = at - static_cast<double>(i);
        const double a = Series[i].FromDeg, b = i + 1 < Series.size() ? Series[i + 1].FromDeg : a;
        if (std::isnan(a) || std::isnan(b))
            return f <= 0.5 ? a : b;
        return NormalDegrees(a + f * AngleDifference(b, a));
    }
    // Given moments: the first before them, the last after them, straight between.
    const auto after = std::lower_bound(Series.begin(), Series.end(), dateValue,
                                        [](const WindPoint& p, double t) { return p.Time < t; });
    if (after == Series.begin())
        return Series.front().FromDeg;
    if (after == Series.end())
        return Series.back().FromDeg;
    const WindPoint& a = *(after - 1);
    const WindPoint& b = *after;
    const double f = b.Time > a.Time ? (dateValue - a.Time) / (b.Time - a.Time) : 1;
    return NormalDegrees(a.FromDeg + f * AngleDifference(b.FromDeg, a.FromDeg));
}

double MeanWindDeg(const std::vector<WindPoint>& series)
{
    double s = 0, c = 0;
    int n = 0;
    for (const WindPoint& p : series) {
        if (std::isnan(p.FromDeg))
            continue;
        s += std::sin(p.FromDeg * kRadiansPerDegree);
        c += std::cos(p.FromDeg * kRadiansPerDegree);
        ++n;
    }
    return n > 0 ? NormalDegrees(std::atan2(s, c) / kRadiansPerDegree) : kNoValue;
}

WindDifference CompareWinds(const WindEstimate& wind, const WindEstimate& reference)
{
    WindDifference d;
    double sum = 0, absolute = 0;
    const auto compare = [&](double time, double referenceDeg) {
        const double deg = wind.At(time);
        if (std::isnan(deg) || std::isnan(referenceDeg))
            return;
        const double difference = AngleDifference(deg, referenceDeg);
        sum += difference;
        absolute += std::fabs(difference);
        ++d.Moments;
    };
    // A measured series holds the estimate where nothing was measured: only measured moments count.
    for (const WindPoint& p : reference.Series)
        if (reference.Source != WindSource::Measured || p.Support > 0)
            compare(p.Time, p.FromDeg);
    if (reference.Series.empty() && reference.Known)
        for (const WindPoint& p : wind.Series)
            compare(p.Time, reference.FromDeg);
    if (d.Moments > 0) {
        d.MeanDeg = sum / d.Moments;
        d.MeanAbsoluteDeg = absolute / d.Moments;
    }
    return d;
}

} // namespace tideplot
