#include "smoothing.h"

#include "core/geometry.h"

namespace tideplot::trackmotion {

namespace {

double Median(std::vector<double>& values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

Plane ToPlane(const std::vector<MotionSample>& samples)
{
    const std::size_t n = samples.size();
    Plane p;
    p.t.resize(n);
    p.x.resize(n);
    p.y.resize(n);
    double x = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const MotionSample& s = samples[i];
        p.t[i] = s.Seconds;
        p.y[i] = (s.Lat7 - samples[0].Lat7) * 1e-7 * kMetresPerDegreeLat;
        if (i > 0) {
            const MotionSample& b = samples[i - 1];
            long long dLon7 = static_cast<long long>(s.Lon7) - b.Lon7;
            if (dLon7 > 1800000000LL)
                dLon7 -= 3600000000LL;
            else if (dLon7 < -1800000000LL)
                dLon7 += 3600000000LL;
            const double midLat = (static_cast<double>(s.Lat7) + b.Lat7) * 0.5e-7;
            x += static_cast<double>(dLon7) * 1e-7 * std::cos(Radians(midLat)) * kMetresPerDegreeLat;
        }
        p.x[i] = x;
    }
    // A fix that jumps, more than 50 knots away from both fixes beside it while they agree with
    // each other, is a glitch of the receiver: it is taken where they put it.
    constexpr double kJump = 50 * 1852.0 / 3600;
    const auto speed = [&](std::size_t a, std::size_t b) {
        return std::sqrt((p.x[b] - p.x[a]) * (p.x[b] - p.x[a]) + (p.y[b] - p.y[a]) * (p.y[b] - p.y[a])) /
               (p.t[b] - p.t[a]);
    };
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (speed(i - 1, i) > kJump && speed(i, i + 1) > kJump && speed(i - 1, i + 1) < kJump / 2) {
            const double f = (p.t[i] - p.t[i - 1]) / (p.t[i + 1] - p.t[i - 1]);
            p.x[i] = p.x[i - 1] + f * (p.x[i + 1] - p.x[i - 1]);
            p.y[i] = p.y[i - 1] + f * (p.y[i + 1] - p.y[i - 1]);
        }
    }
    return p;
}

double HalfWindowFor(const TrackCharacter& c, double kernel, double velocityError)
{
    return std::cbrt(kernel * c.NoiseMetres * c.NoiseMetres * c.IntervalSeconds / (velocityError * velocityError));
}

// The usual interval, and the noise of a position from the second differences of the fixes:
// for fixes h1 and h2 seconds apart, d = (x2 - x1) / h2 - (x1 - x0) / h1 holds the noise
// with variance s^2 (1/h1^2 + 1/h2^2 + (1/h1 + 1/h2)^2) and the boat's acceleration, small
// between fixes; the median of |d| scaled to one standard deviation (1.4826, the normal
// distribution's) is robust to turns.
TrackCharacter Characterise(const Plane& p)
{
    TrackCharacter c;
    const std::size_t n = p.t.size();
    std::vector<double> values;
    values.reserve(2 * n);
    for (std::size_t i = 1; i < n; ++i)
        values.push_back(p.t[i] - p.t[i - 1]);
    c.IntervalSeconds = values.empty() ? 1 : std::max(1.0, Median(values));
    values.clear();
    // Some ten thousand triples of fixes tell the noise well enough.
    const std::size_t stride = std::max<std::size_t>(1, n / 10000);
    for (std::size_t i = 1; i + 1 < n; i += stride) {
        const double h1 = p.t[i] - p.t[i - 1];
        const double h2 = p.t[i + 1] - p.t[i];
        if (h1 > 3 * c.IntervalSeconds || h2 > 3 * c.IntervalSeconds)
            continue;
        const double scale = std::sqrt(1 / (h1 * h1) + 1 / (h2 * h2) + (1 / h1 + 1 / h2) * (1 / h1 + 1 / h2));
        values.push_back(std::fabs((p.x[i + 1] - p.x[i]) / h2 - (p.x[i] - p.x[i - 1]) / h1) / scale);
        values.push_back(std::fabs((p.y[i + 1] - p.y[i]) / h2 - (p.y[i] - p.y[i - 1]) / h1) / scale);
    }
    c.NoiseMetres = 1.4826 * Median(values);
    // Through a turn a velocity within about 0.15 m/s (tricube weights), at least a few fixes
    // wide; on a steady stretch up to a minute either side.
    const double dt = c.IntervalSeconds;
    c.TurnHalfWindow = std::clamp(HalfWindowFor(c, 3.43, 0.15), std::max(3.0, 2.0 * dt), std::max(15.0, 2.0 * dt));
    c.SteadyHalfWindow = std::max(50.0, 4 * dt);
    return c;
}

Smoothed LocalLinear(const Plane& p, double h)
{
    const std::size_t n = p.t.size();
    Smoothed s;
    s.vx.resize(n);
    s.vy.resize(n);
    s.x.resize(n);
    s.y.resize(n);
    const double* t = p.t.data();
    const double* x = p.x.data();
    const double* y = p.y.data();
    const double inverse = 1 / h;
    std::size_t lo = 0, hi = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double ti = t[i];
        while (t[lo] <= ti - h)
            ++lo;
        while (hi < n && t[hi] < ti + h)
            ++hi;
        double s0 = 0, s1 = 0, s2 = 0, sx = 0, sxt = 0, sy = 0, syt = 0;
        for (std::size_t j = lo; j < hi; ++j) {
            const double tau = t[j] - ti;
            const double u = std::fabs(tau) * inverse;
            const double a = 1 - u * u * u;
            const double w = a * a * a;
            const double wt = w * tau;
            const double dx = x[j] - x[i];
            const double dy = y[j] - y[i];
            s0 += w;
            s1 += wt;
            s2 += wt * tau;
            sx += w * dx;
            sxt += wt * dx;
            sy += w * dy;
            syt += wt * dy;
        }
        const double det = s0 * s2 - s1 * s1;
        if (hi - lo >= 2 && det > 1e-12 * s0 * s2) {
            s.vx[i] = (s0 * sxt - s1 * sx) / det;
            s.vy[i] = (s0 * syt - s1 * sy) / det;
            s.x[i] = x[i] + (s2 * sx - s1 * sxt) / det;
            s.y[i] = y[i] + (s2 * sy - s1 * syt) / det;
        } else {
            s.vx[i] = s.vy[i] = kNaN;
            s.x[i] = x[i];
            s.y[i] = y[i];
        }
    }
    return s;
}

} // namespace tideplot::trackmotion
