#pragma once

// A boat's fixes as a track in a flat plane, how it was logged, and its smoothing: the
// least-squares lines through runs of fixes that give the boat's velocity. Internal to the
// motion analysis (motion.cpp, turnsearch.cpp).

#include "motion.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <vector>

namespace tideplot::trackmotion {

inline constexpr double kDegreesPerRadian = 180.0 / 3.14159265358979323846;
// Plane sailing, as the replay measures: a minute of latitude is a nautical mile.
inline constexpr double kMetresPerDegreeLat = 60 * 1852.0;
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

inline double Length(double east, double north)
{
    return std::sqrt(east * east + north * north);
}

inline double Bearing(double east, double north)
{
    return NormalDegrees(std::atan2(east, north) * kDegreesPerRadian);
}

// The fixes in a flat plane, metres east (x) and north (y) of the first fix, and their times
// in seconds since the boat's start. Each leg from fix to fix is plane sailing's (the
// difference of longitude the short way, scaled by the cosine of the leg's mid-latitude), so
// distances stay true along a track that runs over degrees of latitude.
struct Plane {
    std::vector<double> t, x, y;
};

// The leg from fix a to fix b, metres east and north, plane sailing as ToPlane takes it.
void LegVector(const MotionSample& a, const MotionSample& b, double& east, double& north);

// The samples in the plane.
Plane ToPlane(const std::vector<MotionSample>& samples);

// The windows of the smoothing. A straight line fitted to the fixes within +-H seconds, dt
// apart, with a scatter s per axis, gives a velocity whose variance is c s^2 dt / H^3, c the
// kernel's constant (the integral of K^2 u^2 over the square of that of K u^2): 1.5 for equal
// weights, 3.43 for tricube ones.
double HalfWindowFor(const TrackCharacter& c, double kernel, double velocityError);

// How the track was logged: its usual interval, the noise of a position, and the smoothing's
// windows that follow from them.
TrackCharacter Characterise(const Plane& p);

// The same told from the fixes handed one at a time, for a track too long to hold: the
// intervals counted by length, and the noise from some ten to twenty thousand triples of
// fixes (every 2^k-th, k growing with the track). Memory: a few hundred kilobytes.
class CharacterTally {
public:
    // The next fix in time order; `afterJump`: the track jumped to it (no triple across).
    void add(const MotionSample& sample, bool afterJump);
    TrackCharacter result() const;

private:
    struct Triple {
        std::size_t middle = 0;                // the fix the triple is about, from the first
        double h1 = 0, h2 = 0, dx = 0, dy = 0; // the intervals and the scaled second differences
    };
    std::map<std::int64_t, std::size_t> intervals_;
    std::size_t count_ = 0; // fixes
    std::size_t stride_ = 1;
    std::vector<Triple> triples_;
    MotionSample before_[2]; // the two fixes before the next
    std::size_t run_ = 0;    // fixes since the last jump
};

// Sums of t, t^2, x, x t, y, y t over the fixes, for the least-squares line through any run
// of them in constant time. The sums run from the start of each block of kBlock fixes, about
// the block's first fix, so that they stay small and exact in double precision over a track
// of any length; a run across blocks adds each block's part moved to one origin.
class LineSums {
public:
    explicit LineSums(const Plane& p) : p_(p)
    {
        const std::size_t n = p.t.size();
        sums_.resize(n + n / kBlock + 1);
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t block = i / kBlock;
            const std::size_t origin = block * kBlock;
            if (i == origin)
                sums_[Slot(i)] = Moments{};
            const double t = p.t[i] - p.t[origin], x = p.x[i] - p.x[origin], y = p.y[i] - p.y[origin];
            Moments m = sums_[Slot(i)];
            m.t += t;
            m.tt += t * t;
            m.x += x;
            m.xt += x * t;
            m.y += y;
            m.yt += y * t;
            sums_[Slot(i) + 1] = m;
        }
    }

    // The line through fixes a to b (b excluded) by least squares: its velocity and its
    // position at the fixes' mean time. False for fewer than two fixes or all at one time.
    struct Line {
        double t = 0, x = 0, y = 0, vx = 0, vy = 0;
        double X(double at) const { return x + vx * (at - t); }
        double Y(double at) const { return y + vy * (at - t); }
    };
    bool Fit(std::size_t a, std::size_t b, Line& line) const
    {
        if (b < a + 2)
            return false;
        // Moments about fix a: each block's part moved from its own origin.
        double n = 0, t = 0, tt = 0, x = 0, xt = 0, y = 0, yt = 0;
        for (std::size_t from = a; from < b;) {
            const std::size_t origin = from / kBlock * kBlock;
            const std::size_t to = std::min(b, origin + kBlock);
            const Moments& hi = sums_[Slot(to - 1) + 1];
            const Moments& lo = sums_[Slot(from)];
            const double k = static_cast<double>(to - from);
            const double dt = p_.t[origin] - p_.t[a], dx = p_.x[origin] - p_.x[a], dy = p_.y[origin] - p_.y[a];
            const double st = hi.t - lo.t, sx = hi.x - lo.x, sy = hi.y - lo.y;
            n += k;
            t += st + k * dt;
            tt += (hi.tt - lo.tt) + 2 * dt * st + k * dt * dt;
            x += sx + k * dx;
            xt += (hi.xt - lo.xt) + dt * sx + dx * st + k * dx * dt;
            y += sy + k * dy;
            yt += (hi.yt - lo.yt) + dt * sy + dy * st + k * dy * dt;
            from = to;
        }
        const double stt = tt - t * t / n;
        if (!(stt > 1e-9))
            return false;
        line.t = p_.t[a] + t / n;
        line.x = p_.x[a] + x / n;
        line.y = p_.y[a] + y / n;
        line.vx = (xt - x * t / n) / stt;
        line.vy = (yt - y * t / n) / stt;
        return true;
    }

private:
    static constexpr std::size_t kBlock = 4096;
    struct Moments {
        double t = 0, tt = 0, x = 0, xt = 0, y = 0, yt = 0;
    };
    // Each block keeps its sums from an empty one: slot of fix i's sums before it.
    static std::size_t Slot(std::size_t i) { return i + i / kBlock; }

    const Plane& p_;
    std::vector<Moments> sums_;
};

// The first index whose time is at or after `time`, and the first after it.
inline std::size_t IndexAtOrAfter(const std::vector<double>& t, double time)
{
    return static_cast<std::size_t>(std::lower_bound(t.begin(), t.end(), time) - t.begin());
}
inline std::size_t IndexAfter(const std::vector<double>& t, double time)
{
    return static_cast<std::size_t>(std::upper_bound(t.begin(), t.end(), time) - t.begin());
}

// Smoothing by local linear regression: at each fix, a straight line x = a + b (t - ti) fitted
// to the fixes about it by least squares; b is the velocity at the fix and a its smoothed
// position. On evenly spaced fixes and away from the ends this is a Savitzky-Golay filter
// (A. Savitzky, M. J. E. Golay, Analytical Chemistry 36, 1964), whose first derivative is the
// same for degrees 1 and 2; unlike it, it takes uneven logging, gaps and the ends of a track.
//
// Through turns the weights are tricube, (1 - |u|^3)^3 of u = (t - ti) / H (LOESS: W. S.
// Cleveland, "Robust locally weighted regression and smoothing scatterplots", JASA 74, 1979),
// H from the noise. The series of speeds and courses takes equal weights over a window that
// widens, up to a minute either side, as far as the boat sails steadily, and narrows to the
// turn's H through a turn: an adaptive bandwidth, which a steady stretch needs against the slow
// wander of a GPS position. A fix with no other in its window has no velocity (NaN).
struct Smoothed {
    std::vector<double> x, y, vx, vy;
};

Smoothed LocalLinear(const Plane& p, double h);

// The velocity at each fix i from the equal-weight line over [t - before, t + after], the
// seconds window(i, before, after) gives, handed to velocity(i, vx, vy) (not for a fix alone in
// its window). Fixes are taken in order; the window's ends move mostly by a fix or two.
template <typename Window, typename Velocity>
void BoxVelocities(const Plane& p, const LineSums& sums, Window window, Velocity velocity)
{
    const std::vector<double>& t = p.t;
    const std::size_t n = t.size();
    LineSums::Line line;
    std::size_t a = 0, b = 0; // [a, b): the fixes within the window
    for (std::size_t i = 0; i < n; ++i) {
        double before = 0, after = 0;
        window(i, before, after);
        const double from = t[i] - before, to = t[i] + after;
        while (a > 0 && t[a - 1] >= from)
            --a;
        while (a < n && t[a] < from)
            ++a;
        while (b < n && t[b] <= to)
            ++b;
        while (b > 0 && t[b - 1] > to)
            --b;
        if (sums.Fit(a, b, line))
            velocity(i, line.vx, line.vy);
    }
}

// A value of a series at `time`, straight between the fixes either side.
inline double Interpolate(const std::vector<double>& t, const std::vector<double>& v, double time)
{
    const std::size_t j = IndexAtOrAfter(t, time);
    if (j == 0)
        return v.front();
    if (j >= t.size())
        return v.back();
    const double f = (time - t[j - 1]) / (t[j] - t[j - 1]);
    return v[j - 1] + f * (v[j] - v[j - 1]);
}

} // namespace tideplot::trackmotion
