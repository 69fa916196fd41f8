#include "wind.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tideplot {

namespace {

constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;

// A turn that may be a tack or a gybe.
struct AxisTurn {
    double bisector = 0; // the direction half way round the turn
    double half = 0;     // half the turn: the angle of each course off the bisector
    double dip = 0;      // the least speed as a share of the speed before
    double speed = 0;    // knots before the turn
};

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

// The steady turns of the right size that may be tacks or gybes, and the seconds the fleet
// sailed steadily at each course (5-degree bins).
std::vector<AxisTurn> AxisTurns(const std::vector<const BoatMotion*>& boats, std::array<double, 72>& courses)
{
    std::vector<AxisTurn> turns;
    for (const BoatMotion* boat : boats) {
        for (std::size_t b = 0; b < courses.size(); ++b)
            courses[b] += boat->SteadyCourseSeconds[b];
        for (const Turn& turn : boat->Turns) {
            const double size = std::fabs(turn.TurnDeg);
            if (!turn.Steady || size < kAxisTurnMinDeg || size > kAxisTurnMaxDeg || !(turn.SpeedBeforeKn >= 1))
                continue;
            turns.push_back({NormalDegrees(turn.CourseBeforeDeg + turn.TurnDeg / 2), size / 2,
                             turn.MinSpeedKn / turn.SpeedBeforeKn, turn.SpeedBeforeKn});
        }
    }
    return turns;
}

// The densest axis of the turns' bisectors, doubled (degrees): doubled bisectors in 1-degree
// bins, a Gaussian kernel of 12 degrees (6 on the axis) round the circle.
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
    return static_cast<double>(std::max_element(density.begin(), density.end()) - density.begin()) + 0.5;
}

// The turns within 15, then 12 degrees of the axis `doubled`, which becomes their mean axis.
std::vector<AxisTurn> TurnsNearAxis(const std::vector<AxisTurn>& turns, double& doubled)
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

// The votes that the wind comes from `axis` rather than from its other end (positive: from
// `axis`): tacks dip the speed more and turn further than gybes, boats sail slower upwind,
// and the fleet spends less time sailing straight into the wind than straight away from it.
double WindEyeVotes(const std::vector<AxisTurn>& ahead, const std::vector<AxisTurn>& astern, double axis,
                    const std::array<double, 72>& courses)
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
    double total = 0, aheadTime = 0, asternTime = 0;
    for (std::size_t b = 0; b < courses.size(); ++b) {
        const double centre = 5.0 * static_cast<double>(b) + 2.5;
        total += courses[b];
        if (std::fabs(AngleDifference(centre, axis)) <= 20)
            aheadTime += courses[b];
        if (std::fabs(AngleDifference(centre, axis + 180)) <= 20)
            asternTime += courses[b];
    }
    if (total > 0)
        votes += Vote((asternTime - aheadTime) / total / 0.02);
    return votes;
}

} // namespace

WindEstimate EstimateWind(const std::vector<const BoatMotion*>& boats)
{
    std::array<double, 72> courses{};
    const std::vector<AxisTurn> turns = AxisTurns(boats, courses);
    WindEstimate estimate;
    if (turns.size() < static_cast<std::size_t>(kFewestForWind))
        return estimate;
    double doubled = DensestDoubledAxis(turns);
    const std::vector<AxisTurn> near = TurnsNearAxis(turns, doubled);
    if (near.size() < static_cast<std::size_t>(kFewestForWind))
        return estimate;
    const double axis = doubled / 2;

    // The turns through each end of the axis, and which end is the wind's eye.
    std::vector<AxisTurn> ahead, astern;
    for (const AxisTurn& t : near)
        (std::fabs(AngleDifference(t.bisector, axis)) <= 90 ? ahead : astern).push_back(t);
    const bool fromAhead = WindEyeVotes(ahead, astern, axis, courses) >= 0;
    estimate.Known = true;
    estimate.FromDeg = NormalDegrees(fromAhead ? axis : axis + 180);
    estimate.Tacks = static_cast<int>((fromAhead ? ahead : astern).size());
    estimate.Gybes = static_cast<int>((fromAhead ? astern : ahead).size());
    return estimate;
}

} // namespace tideplot
