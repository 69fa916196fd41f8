#include "motion.h"

#include "core/datetime.h"
#include "core/error.h"
#include "core/geometry.h"
#include "core/text.h"
#include "core/trackfixes.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace tideplot {

namespace {

constexpr double kDegreesPerRadian = 180.0 / 3.14159265358979323846;
// Plane sailing, as the replay measures: a minute of latitude is a nautical mile.
constexpr double kMetresPerDegreeLat = 60 * 1852.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A turn is a change of course of at least this much between the twenty seconds or so
// before a moment and those after it: a gybe of a boat running deep is 20 to 30 degrees.
constexpr double kTurnDeg = 20;
// Below this speed (metres a second, about one knot) a boat has no course worth the name.
constexpr double kMovingMetresPerSecond = 0.5;
// The seconds of steady sailing measured either side of a turn: before it (for its course and
// the velocity made good the loss is reckoned against) and after it (for its course).
constexpr double kBeforeWindow = 80;
constexpr double kAfterWindow = 20;
constexpr double kShortestSteadyWindow = 10;
// The speed counts as regained at this share of the speed before; the reckoning ends at the
// latest this long after the turn.
constexpr double kRegainedShare = 0.98;
constexpr double kLongestRecovery = 60;

double Length(double east, double north)
{
    return std::sqrt(east * east + north * north);
}

double Bearing(double east, double north)
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

double Median(std::vector<double>& values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// The windows of the smoothing. A straight line fitted to the fixes within +-H seconds, dt
// apart, with a scatter s per axis, gives a velocity whose variance is c s^2 dt / H^3, c the
// kernel's constant (the integral of K^2 u^2 over the square of that of K u^2): 1.5 for equal
// weights, 3.43 for tricube ones.
double HalfWindowFor(const TrackCharacter& c, double kernel, double velocityError)
{
    return std::cbrt(kernel * c.NoiseMetres * c.NoiseMetres * c.IntervalSeconds / (velocityError * velocityError));
}

// The usual interval, and the noise of a position from the second differences of the fixes:
// for fixes h1 and h2 seconds apart, d = (x2 - x1) / h2 - (x1 - x0) / h1 holds the noise
// with variance s^2 (1/h1^2 + 1/h2^2 + (1/h1 + 1/h2)^2) and the boat's acceleration, small
// between fixes; the median of |d| scaled to one standard deviation (1.4826, the normal
// distribution's) is robust to turns.
void Characterise(const Plane& p, TrackCharacter& c)
{
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
}

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
std::size_t IndexAtOrAfter(const std::vector<double>& t, double time)
{
    return static_cast<std::size_t>(std::lower_bound(t.begin(), t.end(), time) - t.begin());
}
std::size_t IndexAfter(const std::vector<double>& t, double time)
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
double Interpolate(const std::vector<double>& t, const std::vector<double>& v, double time)
{
    const std::size_t j = IndexAtOrAfter(t, time);
    if (j == 0)
        return v.front();
    if (j >= t.size())
        return v.back();
    const double f = (time - t[j - 1]) / (t[j] - t[j - 1]);
    return v[j - 1] + f * (v[j] - v[j - 1]);
}

// What the search for turns works on.
struct TurnSearch {
    const Plane& plane;
    const LineSums& sums;
    const Smoothed& turn;                  // positions and velocities smoothed over TurnHalfWindow
    std::vector<double> recoverySpeed;     // m/s, equal weights over the recovery window
    std::vector<double> courseUnwrapped;   // the turn-smoothed course, unwrapped within stretches
    std::vector<double> turnSpeed;         // the turn-smoothed speed, m/s
    std::vector<std::uint32_t> gapsBefore; // gaps among the intervals before each fix
    std::vector<std::size_t> stretches;    // the first fix of each stretch between gaps
    double gapSeconds = 0;
    double span = 0; // the seconds before and after a moment whose courses are compared
    double beforeWindow = 0, afterWindow = 0, shortestWindow = 0;
};

bool SameStretch(const TurnSearch& s, std::size_t a, std::size_t b)
{
    return s.gapsBefore[a] == s.gapsBefore[b];
}

// The first and the last fix of the stretch between gaps that fix i lies in.
std::size_t StretchFirst(const TurnSearch& s, std::size_t i)
{
    return s.stretches[s.gapsBefore[i]];
}
std::size_t StretchLast(const TurnSearch& s, std::size_t i)
{
    const std::size_t next = s.gapsBefore[i] + 1;
    return (next < s.stretches.size() ? s.stretches[next] : s.plane.t.size()) - 1;
}

// A turn found by the course before and after a moment, before it is measured.
struct Candidate {
    std::size_t peak = 0; // the fix of the greatest change of course
    double strength = 0;  // that change, degrees
    double turnDeg = 0;   // the turn, signed
    double base = 0;      // the course before, on the branch of the unwrapped course
    double start = 0, half = 0, end = 0;
    std::size_t first = 0, last = 0; // the fixes the turn may lie within
};

// The unwrapped course at `time`; NaN where it is not known.
double CourseAt(const TurnSearch& s, double time)
{
    return Interpolate(s.plane.t, s.courseUnwrapped, time);
}

// Where the unwrapped course passes a tenth, half and nine tenths of `turnDeg` from `base`
// between fixes `from` and `to`, the half-way passing nearest `near`; false when it does not
// pass half way.
bool Locate(const TurnSearch& s, std::size_t from, std::size_t to, double near, double base, double turnDeg,
            double& start, double& half, double& end)
{
    const std::vector<double>& t = s.plane.t;
    const auto share = [&](std::size_t j) { return (s.courseUnwrapped[j] - base) / turnDeg; };
    const auto passing = [&](std::size_t j, double value) {
        const double a = share(j), b = share(j + 1);
        const double f = b != a ? std::clamp((value - a) / (b - a), 0.0, 1.0) : 0.5;
        return t[j] + f * (t[j + 1] - t[j]);
    };
    std::size_t halfAt = to;
    double halfTime = 0;
    for (std::size_t j = from; j < to; ++j) {
        if (!(share(j) < 0.5 && share(j + 1) >= 0.5))
            continue;
        const double at = passing(j, 0.5);
        if (halfAt == to || std::fabs(at - near) < std::fabs(halfTime - near)) {
            halfAt = j;
            halfTime = at;
        }
    }
    if (halfAt == to)
        return false;
    half = halfTime;
    std::size_t j = halfAt;
    while (j > from && std::isfinite(s.courseUnwrapped[j - 1]) && share(j) > 0.1)
        --j;
    start = share(j) <= 0.1 ? passing(j, 0.1) : t[j];
    std::size_t k = halfAt + 1;
    while (k < to && std::isfinite(s.courseUnwrapped[k + 1]) && share(k) < 0.9)
        ++k;
    end = share(k) >= 0.9 ? passing(k - 1, 0.9) : t[k];
    start = std::min(start, half);
    end = std::max(end, half);
    return true;
}

// The steady velocity before a turn that starts at `start` (from no earlier than `limit`) and
// after one that ends at `end` (up to `limit`): the least-squares lines of the fixes there, or
// the turn-smoothed velocity at the turn's ends when too few fixes lie there.
struct Side {
    LineSums::Line line;
    bool steady = false; // fitted to enough fixes over long enough
};

Side SteadyBefore(const TurnSearch& s, double start, double limit)
{
    const std::vector<double>& t = s.plane.t;
    Side side;
    const std::size_t a = IndexAtOrAfter(t, std::max(start - s.beforeWindow, limit));
    const std::size_t b = IndexAfter(t, start);
    if (s.sums.Fit(a, b, side.line)) {
        side.steady = b >= a + 3 && t[b - 1] - t[a] >= s.shortestWindow;
        return side;
    }
    const std::size_t j = std::min(IndexAtOrAfter(t, start), t.size() - 1);
    side.line = {t[j], s.turn.x[j], s.turn.y[j], s.turn.vx[j], s.turn.vy[j]};
    return side;
}

Side SteadyAfter(const TurnSearch& s, double end, double limit)
{
    const std::vector<double>& t = s.plane.t;
    Side side;
    const std::size_t a = IndexAtOrAfter(t, end);
    const std::size_t b = IndexAfter(t, std::min(end + s.afterWindow, limit));
    if (s.sums.Fit(a, b, side.line)) {
        side.steady = b >= a + 3 && t[b - 1] - t[a] >= s.shortestWindow;
        return side;
    }
    const std::size_t j = std::min(a, t.size() - 1);
    side.line = {t[j], s.turn.x[j], s.turn.y[j], s.turn.vx[j], s.turn.vy[j]};
    return side;
}

// Settles a candidate's turn between the steady courses either side: the courses measured
// before its start and after its end give the whole turn, whose tenth and nine tenths give
// the start and end anew, until they stay (a long rounding takes a few rounds).
bool Settle(const TurnSearch& s, Candidate& c, double lower, double upper)
{
    const std::vector<double>& t = s.plane.t;
    for (int round = 0; round < 6; ++round) {
        const Side before = SteadyBefore(s, c.start, std::max(lower, t[c.first]));
        const Side after = SteadyAfter(s, c.end, std::min(upper, t[c.last]));
        const double uStart = CourseAt(s, c.start), uEnd = CourseAt(s, c.end);
        if (!std::isfinite(uStart) || !std::isfinite(uEnd) || !std::isfinite(before.line.vx) ||
            !std::isfinite(after.line.vx))
            return round > 0;
        const double base = uStart + AngleDifference(Bearing(before.line.vx, before.line.vy), uStart);
        const double turnDeg = uEnd + AngleDifference(Bearing(after.line.vx, after.line.vy), uEnd) - base;
        if (std::fabs(turnDeg) < kTurnDeg)
            return false;
        double start = 0, half = 0, end = 0;
        if (!Locate(s, c.first, c.last, c.half, base, turnDeg, start, half, end))
            return round > 0;
        const bool same = std::fabs(start - c.start) < 0.5 && std::fabs(end - c.end) < 0.5;
        c.base = base;
        c.turnDeg = turnDeg;
        c.start = start;
        c.half = half;
        c.end = end;
        if (same)
            break;
    }
    return true;
}

std::vector<Candidate> FindCandidates(const TurnSearch& s, std::vector<float>& change)
{
    const std::vector<double>& t = s.plane.t;
    const std::size_t n = t.size();
    const double d = s.span;
    change.assign(n, kNoValue);
    std::size_t jb = 0, ja = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double tb = t[i] - d, ta = t[i] + d;
        if (tb < t.front() || ta > t.back())
            continue;
        while (t[jb + 1] < tb)
            ++jb;
        while (t[ja] < ta)
            ++ja;
        if (!SameStretch(s, jb, ja))
            continue;
        // The smoothed positions a span before and after, between the fixes either side.
        const double fb = (tb - t[jb]) / (t[jb + 1] - t[jb]);
        const double fa = (ta - t[ja - 1]) / (t[ja] - t[ja - 1]);
        const double bx = s.turn.x[jb] + fb * (s.turn.x[jb + 1] - s.turn.x[jb]);
        const double by = s.turn.y[jb] + fb * (s.turn.y[jb + 1] - s.turn.y[jb]);
        const double ax = s.turn.x[ja - 1] + fa * (s.turn.x[ja] - s.turn.x[ja - 1]);
        const double ay = s.turn.y[ja - 1] + fa * (s.turn.y[ja] - s.turn.y[ja - 1]);
        const double dbx = s.turn.x[i] - bx, dby = s.turn.y[i] - by;
        const double dax = ax - s.turn.x[i], day = ay - s.turn.y[i];
        const double least = kMovingMetresPerSecond * d;
        if (dbx * dbx + dby * dby < least * least || dax * dax + day * day < least * least)
            continue;
        // The angle from the course before to the course after, clockwise positive.
        change[i] = static_cast<float>(std::atan2(dby * dax - dbx * day, dbx * dax + dby * day) * kDegreesPerRadian);
    }

    // Each run of changes of one sign beyond kTurnDeg is a turn at its greatest.
    std::vector<Candidate> runs;
    for (std::size_t i = 0; i < n;) {
        if (!(std::fabs(change[i]) >= kTurnDeg)) {
            ++i;
            continue;
        }
        const bool right = change[i] > 0;
        Candidate c;
        c.peak = i;
        for (; i < n && std::fabs(change[i]) >= kTurnDeg && (change[i] > 0) == right; ++i)
            if (std::fabs(change[i]) > std::fabs(change[c.peak]))
                c.peak = i;
        c.strength = std::fabs(change[c.peak]);
        runs.push_back(c);
    }

    std::vector<Candidate> found;
    for (std::size_t k = 0; k < runs.size(); ++k) {
        Candidate c = runs[k];
        const double tc = t[c.peak];
        if (!std::isfinite(s.courseUnwrapped[c.peak]))
            continue;
        // The fixes the turn may lie within: its stretch without gaps, up to the turns found
        // either side and three spans away.
        c.first = c.peak;
        c.last = c.peak;
        const double from = std::max(tc - 3 * d, k > 0 ? t[runs[k - 1].peak] : -1e300);
        const double to = std::min(tc + 3 * d, k + 1 < runs.size() ? t[runs[k + 1].peak] : 1e300);
        while (c.first > 0 && t[c.first - 1] >= from && SameStretch(s, c.first - 1, c.peak) &&
               std::isfinite(s.courseUnwrapped[c.first - 1]))
            --c.first;
        while (c.last + 1 < n && t[c.last + 1] <= to && SameStretch(s, c.last + 1, c.peak) &&
               std::isfinite(s.courseUnwrapped[c.last + 1]))
            ++c.last;
        // The turn as the courses a span before and after the peak tell it; the unwrapped
        // course tells a turn that goes round further than 180 degrees.
        const double before = CourseAt(s, std::max(tc - d, t[c.first]));
        const double after = CourseAt(s, std::min(tc + d, t[c.last]));
        if (!std::isfinite(before) || !std::isfinite(after))
            continue;
        c.base = before;
        c.turnDeg = after - before;
        if (std::fabs(c.turnDeg) < kTurnDeg)
            continue;
        if (!Locate(s, c.first, c.last, tc, c.base, c.turnDeg, c.start, c.half, c.end))
            continue;
        found.push_back(c);
    }
    return found;
}

// Settles and measures each candidate: the steady courses and speeds either side, the least
// speed, when the speed is regained and the shortfall of distance made good over that time.
std::vector<Turn> MeasureTurns(const TurnSearch& s, std::vector<Candidate> candidates)
{
    const std::vector<double>& t = s.plane.t;
    const std::size_t n = t.size();
    std::vector<Candidate> settled;
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        Candidate c = candidates[k];
        const double lower = settled.empty() ? -1e300 : settled.back().end;
        const double upper = k + 1 < candidates.size() ? candidates[k + 1].start : 1e300;
        if (!Settle(s, c, lower, upper))
            continue;
        // Turns that overlap are one: the larger stays.
        if (!settled.empty() && c.start < settled.back().end) {
            if (std::fabs(c.turnDeg) > std::fabs(settled.back().turnDeg))
                settled.back() = c;
            continue;
        }
        settled.push_back(c);
    }

    std::vector<Turn> turns;
    turns.reserve(settled.size());
    double previousEnd = -1e300, previousRecovered = -1e300;
    for (std::size_t k = 0; k < settled.size(); ++k) {
        const Candidate& c = settled[k];
        const double nextStart = k + 1 < settled.size() ? settled[k + 1].start : 1e300;
        const std::size_t first = StretchFirst(s, c.peak), last = StretchLast(s, c.peak);

        Turn turn;
        turn.StartSeconds = c.start;
        turn.HalfSeconds = c.half;
        turn.EndSeconds = c.end;
        // Before: up to kBeforeWindow seconds of steady sailing after the last turn's speed was
        // regained (or at least after it ended).
        double lower = std::max(previousRecovered, t[first]);
        if (c.start - lower < s.shortestWindow)
            lower = std::max(previousEnd, t[first]);
        const Side before = SteadyBefore(s, c.start, lower);
        const Side after = SteadyAfter(s, c.end, std::min(nextStart, t[last]));
        turn.Steady = before.steady && after.steady;
        const double vbx = before.line.vx, vby = before.line.vy;
        turn.CourseBeforeDeg = Bearing(vbx, vby);
        turn.CourseAfterDeg = Bearing(after.line.vx, after.line.vy);
        const double measured = AngleDifference(turn.CourseAfterDeg, turn.CourseBeforeDeg);
        turn.TurnDeg = measured + 360 * std::round((c.turnDeg - measured) / 360);
        if (std::fabs(turn.TurnDeg) < kTurnDeg || !std::isfinite(turn.TurnDeg))
            continue;
        turn.SpeedBeforeKn = Length(vbx, vby) / kMetresPerKnotSecond;

        // The speed regained: back at 98 % of the speed before, or no longer growing (less than 1 %
        // of it in the next ten seconds) once it grew from its least; at the latest the most it
        // reached before the next turn or a minute after this one.
        const std::size_t startFix = std::min(IndexAtOrAfter(t, c.start), n - 1);
        const std::size_t endFix = std::min(IndexAtOrAfter(t, c.end), n - 1);
        const double cap = std::min({c.end + kLongestRecovery, nextStart, t[last]});
        const double speedBefore = turn.SpeedBeforeKn * kMetresPerKnotSecond;
        std::size_t recovered = endFix;
        std::size_t lowest = endFix;
        for (std::size_t j = endFix; j < n && t[j] <= cap; ++j) {
            const double v = s.recoverySpeed[j];
            if (v >= kRegainedShare * speedBefore) {
                recovered = j;
                break;
            }
            if (v < s.recoverySpeed[lowest])
                lowest = j;
            if (j > lowest) {
                const double later = Interpolate(t, s.recoverySpeed, t[j] + 10);
                if (later - v < 0.01 * speedBefore && v > s.recoverySpeed[lowest] + 0.02 * speedBefore) {
                    recovered = j;
                    break;
                }
            }
            if (v > s.recoverySpeed[recovered] || !std::isfinite(s.recoverySpeed[recovered]))
                recovered = j;
        }
        turn.RecoveredSeconds = std::max(t[recovered], c.end);
        turn.SpeedAfterKn = s.recoverySpeed[recovered] / kMetresPerKnotSecond;
        double least = turn.SpeedBeforeKn;
        for (std::size_t j = startFix; j < n && t[j] <= turn.RecoveredSeconds; ++j)
            if (std::isfinite(s.turnSpeed[j]))
                least = std::min(least, s.turnSpeed[j] / kMetresPerKnotSecond);
        turn.MinSpeedKn = least;

        // The shortfall: from the start of the turn, where the line before puts the boat, to
        // when the speed is regained, where the turn-smoothed track puts it.
        const double reckoned = turn.RecoveredSeconds - c.start;
        turn.ShortfallEast = vbx * reckoned - (s.turn.x[recovered] - before.line.X(c.start));
        turn.ShortfallNorth = vby * reckoned - (s.turn.y[recovered] - before.line.Y(c.start));

        // The course through the turn, from a fix before its start to one after its end.
        const double base = c.base + AngleDifference(turn.CourseBeforeDeg, c.base);
        const std::size_t traceFrom = startFix > first ? startFix - 1 : startFix;
        const std::size_t traceTo = std::min(endFix + 1, last);
        for (std::size_t j = traceFrom; j <= traceTo; ++j) {
            if (!std::isfinite(s.courseUnwrapped[j]))
                continue;
            turn.TraceSeconds.push_back(static_cast<float>(t[j] - c.start));
            turn.TraceTurnedDeg.push_back(static_cast<float>(s.courseUnwrapped[j] - base));
        }
        previousEnd = c.end;
        previousRecovered = turn.RecoveredSeconds;
        turns.push_back(std::move(turn));
    }
    return turns;
}

} // namespace

BoatTrack ReadBoatTrack(const std::string& path, char sep, double startTime)
{
    BoatTrack track;
    TrackFixReader reader(path, sep);
    std::error_code error;
    const auto bytes = std::filesystem::file_size(path, error);
    if (!error)
        track.Samples.reserve(static_cast<std::size_t>(bytes / 32));
    TrackFix fix;
    long long last = 0;
    while (reader.next(fix)) {
        // Fix times and start times are whole seconds: rounding takes the date values'
        // floating-point error out of the seconds counted from the start.
        const double seconds = std::round((fix.Time - startTime) * kSecondsPerDay);
        if (!(std::fabs(seconds) < 2e9))
            ThrowAt(FileLabel(path), fix.Line, "the fix lies more than 60 years from the boat's start");
        const auto whole = static_cast<long long>(seconds);
        if (!track.Samples.empty() && whole <= last) {
            if (track.PassedOver++ == 0)
                track.FirstPassedOverLine = fix.Line;
            continue;
        }
        last = whole;
        MotionSample sample;
        sample.Seconds = static_cast<std::int32_t>(whole);
        sample.Lat7 = static_cast<std::int32_t>(std::llround(fix.Lat * 1e7));
        sample.Lon7 = static_cast<std::int32_t>(std::llround(FoldLongitude(fix.Lon) * 1e7));
        track.Samples.push_back(sample);
    }
    track.Samples.shrink_to_fit();
    return track;
}

BoatMotion AnalyseMotion(std::vector<MotionSample> samples)
{
    BoatMotion motion;
    motion.Samples = std::move(samples);
    std::vector<MotionSample>& out = motion.Samples;
    const std::size_t n = out.size();
    if (n == 0)
        return motion;
    const Plane plane = ToPlane(out);
    const std::vector<double>& t = plane.t;
    Characterise(plane, motion.Character);
    const TrackCharacter& character = motion.Character;
    const double dt = character.IntervalSeconds;
    const LineSums sums(plane);

    const Smoothed turnFit = LocalLinear(plane, character.TurnHalfWindow);
    TurnSearch search{plane, sums, turnFit, {}, {}, {}, {}, {}, 0, 0, 0, 0, 0};
    search.gapSeconds = std::max(20.0, 4 * dt);
    search.span = std::max(20.0, 3 * dt);
    search.beforeWindow = std::max(kBeforeWindow, 4 * dt);
    search.afterWindow = std::max(kAfterWindow, 3 * dt);
    search.shortestWindow = std::max(kShortestSteadyWindow, 2 * dt);
    search.gapsBefore.resize(n);
    search.courseUnwrapped.assign(n, kNaN);
    search.turnSpeed.assign(n, kNaN);
    std::uint32_t gaps = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i == 0 || t[i] - t[i - 1] > search.gapSeconds) {
            gaps += i > 0 ? 1 : 0;
            search.stretches.push_back(i);
        }
        search.gapsBefore[i] = gaps;
        const double vx = turnFit.vx[i], vy = turnFit.vy[i];
        if (!std::isfinite(vx))
            continue;
        const double speed = Length(vx, vy);
        search.turnSpeed[i] = speed;
        if (speed < 0.2 * kMovingMetresPerSecond)
            continue;
        const double course = Bearing(vx, vy);
        const bool continues =
            i > 0 && std::isfinite(search.courseUnwrapped[i - 1]) && search.gapsBefore[i - 1] == gaps;
        search.courseUnwrapped[i] =
            continues ? search.courseUnwrapped[i - 1] + AngleDifference(course, search.courseUnwrapped[i - 1]) : course;
    }
    {
        // The speed regained is judged on a steadier speed: equal weights, a velocity within
        // about 0.04 m/s.
        const double h = std::clamp(HalfWindowFor(character, 1.5, 0.04), std::max(8.0, 2.5 * dt), 45.0);
        search.recoverySpeed.assign(n, kNaN);
        BoxVelocities(
            plane, sums,
            [h](std::size_t, double& before, double& after) {
                before = h;
                after = h;
            },
            [&search](std::size_t i, double vx, double vy) { search.recoverySpeed[i] = Length(vx, vy); });
    }

    std::vector<float> change;
    motion.Turns = MeasureTurns(search, FindCandidates(search, change));

    // The series: the turn's window (equal weights, the same variance as the tricube one)
    // through a turn; from its end, while the boat accelerates, a window that widens by half
    // the time since; on a steady stretch as wide as the boat sails steadily, up to
    // SteadyHalfWindow either side.
    {
        const double inTurn = std::max(0.76 * character.TurnHalfWindow, 1.5 * dt);
        const double widest = character.SteadyHalfWindow;
        // The turns about each fix, fixes taken in order: the end and the recovery of the last
        // turn started by then, and the start of the next.
        const std::vector<Turn>& turns = motion.Turns;
        std::size_t next = 0;
        double lastEnd = -1e300, lastRecovered = -1e300;
        BoxVelocities(
            plane, sums,
            [&](std::size_t i, double& before, double& after) {
                for (; next < turns.size() && turns[next].StartSeconds <= t[i]; ++next) {
                    lastEnd = turns[next].EndSeconds;
                    lastRecovered = turns[next].RecoveredSeconds;
                }
                const double growing = inTurn + 0.5 * std::max(0.0, t[i] - lastEnd);
                const double room = next < turns.size() ? turns[next].StartSeconds - t[i] : 1e300;
                before = std::clamp(growing, inTurn, widest);
                after = std::clamp(t[i] < lastRecovered ? std::min(growing, room) : room, inTurn, widest);
            },
            [&out](std::size_t i, double vx, double vy) {
                out[i].SpeedKn = static_cast<float>(Length(vx, vy) / kMetresPerKnotSecond);
                out[i].CourseDeg = static_cast<float>(Bearing(vx, vy));
            });
    }

    // Steady courses and the distance sailed from the start.
    double distance = 0;
    bool started = false;
    double startedAt = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double h = i + 1 < n ? t[i + 1] - t[i] : 0;
        const MotionSample& s = out[i];
        if (h > 0 && h <= search.gapSeconds && std::isfinite(change[i]) && std::fabs(change[i]) < 15 &&
            s.SpeedKn >= 1.5) {
            const auto bin = std::min<std::size_t>(71, static_cast<std::size_t>(s.CourseDeg / 5));
            motion.SteadyCourseSeconds[bin] += static_cast<float>(h);
        }
        if (s.Seconds < 0)
            continue;
        if (!started) {
            started = true;
            startedAt = t[i];
        }
        if (i + 1 < n) {
            const MotionSample& next = out[i + 1];
            if (h <= search.gapSeconds && std::isfinite(s.SpeedKn) && std::isfinite(next.SpeedKn))
                distance += 0.5 * (s.SpeedKn + next.SpeedKn) * kMetresPerKnotSecond * h;
            else
                distance += Length(plane.x[i + 1] - plane.x[i], plane.y[i + 1] - plane.y[i]);
        }
    }
    motion.DistanceNm = distance / 1852.0;
    motion.SailingSeconds = started ? t[n - 1] - startedAt : 0;
    return motion;
}

} // namespace tideplot
