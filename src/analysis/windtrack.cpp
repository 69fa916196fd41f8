#include "windtrack.h"

#include "motion.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tideplot::windtrack {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The window about a moment: the narrowest of kNarrowest to kWidest seconds either side that
// holds kWantedTurns turns near the axis; with fewer than kFewestTurns within kWidest the axis
// is not known there.
constexpr double kNarrowest = 240;
constexpr double kWidest = 900;
constexpr std::size_t kWantedTurns = 12;
constexpr std::size_t kFewestTurns = 2;
// With turns on one side of a moment only (before the fleet's first turns, after its last),
// the axis is carried this far from the nearest.
constexpr double kReach = 60;
// The passes: the turns taken lie within this many degrees of the axis of the pass before.
// The first takes the median axis of its turns (a mark rounding among tacks moves it little);
// the others a line through the turns, each weighed by Tukey's biweight of its distance from
// the axis before.
constexpr double kGates[] = {35, 16, 14};
constexpr double kBiweightDeg = 14;

double Tricube(double u)
{
    const double a = 1 - u * u * u;
    return u < 1 ? a * a * a : 0;
}

// The series with every moment not known taken from the nearest known one (`fallback` when
// none is).
std::vector<double> Filled(std::vector<double> axes, double fallback)
{
    const std::size_t n = axes.size();
    std::size_t last = n; // the last known moment
    for (std::size_t i = 0; i <= n; ++i) {
        if (i < n && std::isnan(axes[i]))
            continue;
        // Moments last + 1 up to i - 1 are not known.
        for (std::size_t g = last == n ? 0 : last + 1; g < i; ++g) {
            const bool nearerLast = last != n && (i == n || g - last <= i - g);
            axes[g] = nearerLast ? axes[last] : i < n ? axes[i] : fallback;
        }
        last = i;
    }
    return axes;
}

struct Near {
    double dt = 0;       // seconds from the moment
    double residual = 0; // the turn's axis less the prior's at its time
    double robust = 1;   // its biweight
};

// The half width of the window about a moment: the narrowest that holds kWantedTurns turns.
double HalfWidth(const std::vector<Near>& near)
{
    std::vector<double> distances;
    for (const Near& n : near)
        distances.push_back(std::fabs(n.dt));
    const std::size_t k = std::min(kWantedTurns, distances.size()) - 1;
    std::nth_element(distances.begin(), distances.begin() + static_cast<std::ptrdiff_t>(k), distances.end());
    return std::clamp(1.25 * distances[k], kNarrowest, kWidest);
}

// The correction to the prior at the moment from the turns near it: the weighted median of
// their residuals (tricube weights over the window), which a rounding among tacks does not
// move far. NaN with fewer than kFewestTurns.
double LocalMedian(std::vector<Near> near, std::uint16_t& support)
{
    support = 0;
    if (near.size() < kFewestTurns)
        return kNaN;
    const double h = HalfWidth(near);
    double total = 0;
    for (Near& n : near) {
        n.robust = Tricube(std::fabs(n.dt) / h);
        total += n.robust;
        support += n.robust > 0 ? 1 : 0;
    }
    if (support < kFewestTurns)
        return kNaN;
    std::sort(near.begin(), near.end(), [](const Near& a, const Near& b) { return a.residual < b.residual; });
    double below = 0;
    for (const Near& n : near)
        if ((below += n.robust) >= total / 2)
            return n.residual;
    return near.back().residual;
}

// The correction to the prior at the moment from the turns near it: a straight line through
// their residuals (tricube weights over the window), or their weighted mean when they lie
// close together in time. NaN with fewer than kFewestTurns.
double LocalFit(const std::vector<Near>& near, std::uint16_t& support)
{
    support = 0;
    if (near.size() < kFewestTurns)
        return kNaN;
    const double h = HalfWidth(near);
    double s0 = 0, s1 = 0, s2 = 0, t0 = 0, t1 = 0;
    for (const Near& n : near) {
        const double w = Tricube(std::fabs(n.dt) / h) * n.robust;
        if (w <= 0)
            continue;
        ++support;
        s0 += w;
        s1 += w * n.dt;
        s2 += w * n.dt * n.dt;
        t0 += w * n.residual;
        t1 += w * n.residual * n.dt;
    }
    if (support < kFewestTurns || s0 <= 0)
        return kNaN;
    const double det = s0 * s2 - s1 * s1;
    const bool line = det > s0 * s0 * (h / 6) * (h / 6);
    return line ? (s2 * t0 - s1 * t1) / det : t0 / s0;
}

// One pass: the axis at every moment from the turns within `gate` degrees of the prior's:
// their median axis, or when `robust` a line through them, each weighed by its distance from
// the prior.
std::vector<double> Pass(const std::vector<AxisTurn>& turns, const std::vector<double>& prior, bool robust, double gate,
                         double step, std::vector<std::uint16_t>& support)
{
    const std::size_t count = prior.size();
    std::vector<double> axes(count, kNaN);
    support.assign(count, 0);
    // Each turn's distance from the prior's axis at its moment.
    std::vector<double> residuals(turns.size());
    for (std::size_t i = 0; i < turns.size(); ++i)
        residuals[i] = AxisDifference(turns[i].bisector, AxisAt(prior, step, turns[i].seconds));
    std::vector<Near> near;
    std::size_t from = 0;
    for (std::size_t j = 0; j < count; ++j) {
        const double at = static_cast<double>(j) * step;
        while (from < turns.size() && turns[from].seconds < at - kWidest)
            ++from;
        near.clear();
        for (std::size_t i = from; i < turns.size() && turns[i].seconds <= at + kWidest; ++i) {
            if (std::fabs(residuals[i]) > gate)
                continue;
            const double e = residuals[i] / kBiweightDeg;
            near.push_back({turns[i].seconds - at, residuals[i],
                            !robust            ? 1
                            : std::fabs(e) < 1 ? (1 - e * e) * (1 - e * e)
                                               : 0});
        }
        const bool bothSides = !near.empty() && near.front().dt < 0 && near.back().dt > 0;
        if (!bothSides && !near.empty() && std::min(std::fabs(near.front().dt), std::fabs(near.back().dt)) > kReach)
            continue;
        const double correction = robust ? LocalFit(near, support[j]) : LocalMedian(near, support[j]);
        if (std::isfinite(correction))
            axes[j] = NormalDegrees(2 * (prior[j] + correction)) / 2;
    }
    return axes;
}

} // namespace

double AxisDifference(double a, double b)
{
    return AngleDifference(2 * a, 2 * b) / 2;
}

double AxisAt(const std::vector<double>& axes, double step, double seconds)
{
    if (axes.empty())
        return kNaN;
    const double x = std::clamp(seconds / step, 0.0, static_cast<double>(axes.size() - 1));
    const auto i = static_cast<std::size_t>(x);
    const double f = x - static_cast<double>(i);
    const double a = axes[i];
    const double b = i + 1 < axes.size() ? axes[i + 1] : a;
    if (std::isnan(a))
        return f >= 0.5 ? b : kNaN;
    if (std::isnan(b))
        return f <= 0.5 ? a : kNaN;
    return NormalDegrees(2 * (a + f * AxisDifference(b, a))) / 2;
}

std::vector<double> FollowAxis(const std::vector<AxisTurn>& turns, double axis, std::size_t count, double step,
                               std::vector<std::uint16_t>& support)
{
    std::vector<double> prior(count, axis);
    std::vector<double> axes;
    for (std::size_t pass = 0; pass < std::size(kGates); ++pass) {
        axes = Pass(turns, prior, pass > 0, kGates[pass], step, support);
        prior = Filled(axes, axis);
    }
    return axes;
}

} // namespace tideplot::windtrack
