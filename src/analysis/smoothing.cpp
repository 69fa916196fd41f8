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

void LegVector(const MotionSample& a, const MotionSample& b, double& east, double& north)
{
    long long dLon7 = static_cast<long long>(b.Lon7) - a.Lon7;
    if (dLon7 > 1800000000LL)
        dLon7 -= 3600000000LL;
    else if (dLon7 < -1800000000LL)
        dLon7 += 3600000000LL;
    const double midLat = (static_cast<double>(b.Lat7) + a.Lat7) * 0.5e-7;
    east = static_cast<double>(dLon7) * 1e-7 * std::cos(Radians(midLat)) * kMetresPerDegreeLat;
    north = (static_cast<double>(b.Lat7) - a.Lat7) * 1e-7 * kMetresPerDegreeLat;
}

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
    return p;
}

namespace {

// Through a turn a velocity within about 0.15 m/s (tricube weights), at least a few fixes
// wide; on a steady stretch up to a minute either side.
void SetWindows(TrackCharacter& c)
{
    const double dt = c.IntervalSeconds;
    c.TurnHalfWindow = std::clamp(HalfWindowFor(c, 3.43, 0.15), std::max(3.0, 2.0 * dt), std::max(15.0, 2.0 * dt));
    c.SteadyHalfWindow = std::max(50.0, 4 * dt);
}

} // namespace

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
    SetWindows(c);
    return c;
}

void CharacterTally::add(const MotionSample& sample, bool afterJump)
{
    if (afterJump)
        run_ = 0;
    if (count_ > 0)
        ++intervals_[static_cast<std::int64_t>(sample.Seconds) - before_[1].Seconds];
    const std::size_t middle = count_ - 1; // the fix before this one
    if (run_ >= 2 && (middle - 1) % stride_ == 0) {
        // The triple about the fix before this one, as Characterise takes it.
        const MotionSample &a = before_[0], &b = before_[1];
        const double h1 = static_cast<double>(b.Seconds) - a.Seconds;
        const double h2 = static_cast<double>(sample.Seconds) - b.Seconds;
        const double scale = std::sqrt(1 / (h1 * h1) + 1 / (h2 * h2) + (1 / h1 + 1 / h2) * (1 / h1 + 1 / h2));
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        LegVector(a, b, x1, y1);
        LegVector(b, sample, x2, y2);
        triples_.push_back(
            {middle, h1, h2, std::fabs(x2 / h2 - x1 / h1) / scale, std::fabs(y2 / h2 - y1 / h1) / scale});
        if (triples_.size() >= 20000) {
            // Those about every 2 stride-th fix stay.
            stride_ *= 2;
            triples_.erase(std::remove_if(triples_.begin(), triples_.end(),
                                          [this](const Triple& t) { return (t.middle - 1) % stride_ != 0; }),
                           triples_.end());
        }
    }
    before_[0] = before_[1];
    before_[1] = sample;
    ++count_;
    ++run_;
}

TrackCharacter CharacterTally::result() const
{
    TrackCharacter c;
    // The median interval as Median takes it: the one at half the count, counted from the shortest.
    std::size_t total = 0, seen = 0;
    for (const auto& [seconds, n] : intervals_)
        total += n;
    for (const auto& [seconds, n] : intervals_) {
        seen += n;
        if (seen > total / 2) {
            c.IntervalSeconds = std::max(1.0, static_cast<double>(seconds));
            break;
        }
    }
    std::vector<double> values;
    values.reserve(2 * triples_.size());
    for (const Triple& t : triples_) {
        if (t.h1 > 3 * c.IntervalSeconds || t.h2 > 3 * c.IntervalSeconds)
            continue;
        values.push_back(t.dx);
        values.push_back(t.dy);
    }
    c.NoiseMetres = 1.4826 * Median(values);
    SetWindows(c);
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
