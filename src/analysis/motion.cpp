#include "motion.h"

#include "analysis/motionfit.h"
#include "analysis/turns.h"
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

using namespace motionfit;

namespace {

double Median(std::vector<double>& values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
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

// The series: the turn's window (equal weights, the same variance as the tricube one)
// through a turn; from its end, while the boat accelerates, a window that widens by half
// the time since; on a steady stretch as wide as the boat sails steadily, up to
// SteadyHalfWindow either side.
void SmoothSeries(const Plane& plane, const LineSums& sums, const TrackCharacter& character,
                  const std::vector<Turn>& turns, std::vector<MotionSample>& out)
{
    const std::vector<double>& t = plane.t;
    const double dt = character.IntervalSeconds;
    const double inTurn = std::max(0.76 * character.TurnHalfWindow, 1.5 * dt);
    const double widest = character.SteadyHalfWindow;
    // The turns about each fix, fixes taken in order: the end and the recovery of the last
    // turn started by then, and the start of the next.
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

// The seconds sailed steadily at each course (not turning: a change of course under 15
// degrees; 1.5 knots or more), and the distance sailed from the start and the time it took.
void SteadyCoursesAndDistance(const Plane& plane, const std::vector<float>& change, double gapSeconds,
                              BoatMotion& motion)
{
    const std::vector<double>& t = plane.t;
    const std::vector<MotionSample>& out = motion.Samples;
    const std::size_t n = t.size();
    double distance = 0;
    bool started = false;
    double startedAt = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double h = i + 1 < n ? t[i + 1] - t[i] : 0;
        const MotionSample& s = out[i];
        if (h > 0 && h <= gapSeconds && std::isfinite(change[i]) && std::fabs(change[i]) < 15 && s.SpeedKn >= 1.5) {
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
            if (h <= gapSeconds && std::isfinite(s.SpeedKn) && std::isfinite(next.SpeedKn))
                distance += 0.5 * (s.SpeedKn + next.SpeedKn) * kMetresPerKnotSecond * h;
            else
                distance += Length(plane.x[i + 1] - plane.x[i], plane.y[i + 1] - plane.y[i]);
        }
    }
    motion.DistanceNm = distance / 1852.0;
    motion.SailingSeconds = started ? t[n - 1] - startedAt : 0;
}

} // namespace

namespace motionfit {

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

} // namespace motionfit

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
    Characterise(plane, motion.Character);
    const TrackCharacter& character = motion.Character;
    const LineSums sums(plane);

    const Smoothed turnFit = LocalLinear(plane, character.TurnHalfWindow);
    const TurnSearch search = MakeTurnSearch(plane, sums, turnFit, character);
    std::vector<float> change;
    motion.Turns = FindTurns(search, change);

    SmoothSeries(plane, sums, character, motion.Turns, out);
    SteadyCoursesAndDistance(plane, change, search.gapSeconds, motion);
    return motion;
}

} // namespace tideplot
