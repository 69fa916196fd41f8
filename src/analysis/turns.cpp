#include "analysis/turns.h"

#include <algorithm>
#include <cmath>

namespace tideplot::motionfit {

namespace {

// A turn is a change of course of at least this much between the twenty seconds or so
// before a moment and those after it: a gybe of a boat running deep is 20 to 30 degrees.
constexpr double kTurnDeg = 20;
// The seconds of steady sailing measured either side of a turn: before it (for its course and
// the velocity made good the loss is reckoned against) and after it (for its course).
constexpr double kBeforeWindow = 80;
constexpr double kAfterWindow = 20;
constexpr double kShortestSteadyWindow = 10;
// The speed counts as regained at this share of the speed before; the reckoning ends at the
// latest this long after the turn.
constexpr double kRegainedShare = 0.98;
constexpr double kLongestRecovery = 60;

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

// The change of course at every fix: the angle from the course a span before to the course
// a span after (clockwise positive, degrees; NaN where the fixes do not tell it).
void ChangesOfCourse(const TurnSearch& s, std::vector<float>& change)
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
}

// Each run of changes of one sign beyond kTurnDeg is a turn at its greatest.
std::vector<Candidate> RunsOfChange(const std::vector<float>& change)
{
    const std::size_t n = change.size();
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
    return runs;
}

// Bounds run k of `runs` and finds its turn in the unwrapped course: false when it is none.
bool BoundRun(const TurnSearch& s, const std::vector<Candidate>& runs, std::size_t k, Candidate& c)
{
    const std::vector<double>& t = s.plane.t;
    const std::size_t n = t.size();
    const double d = s.span;
    c = runs[k];
    const double tc = t[c.peak];
    if (!std::isfinite(s.courseUnwrapped[c.peak]))
        return false;
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
        return false;
    c.base = before;
    c.turnDeg = after - before;
    if (std::fabs(c.turnDeg) < kTurnDeg)
        return false;
    return Locate(s, c.first, c.last, tc, c.base, c.turnDeg, c.start, c.half, c.end);
}

std::vector<Candidate> FindCandidates(const TurnSearch& s, std::vector<float>& change)
{
    ChangesOfCourse(s, change);
    const std::vector<Candidate> runs = RunsOfChange(change);
    std::vector<Candidate> found;
    for (std::size_t k = 0; k < runs.size(); ++k) {
        Candidate c;
        if (BoundRun(s, runs, k, c))
            found.push_back(c);
    }
    return found;
}

// Settles each candidate; of turns that overlap, the larger stays.
std::vector<Candidate> SettleCandidates(const TurnSearch& s, const std::vector<Candidate>& candidates)
{
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
    return settled;
}

// The fix at which the speed is regained after a turn that ends at fix `endFix`: back at 98 %
// of the speed before (`speedBefore`, m/s), or no longer growing (less than 1 % of it in the
// next ten seconds) once it grew from its least; at the latest the fix of the most it reached
// up to `cap` seconds.
std::size_t SpeedRegained(const TurnSearch& s, std::size_t endFix, double speedBefore, double cap)
{
    const std::vector<double>& t = s.plane.t;
    const std::size_t n = t.size();
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
    return recovered;
}

// The course through the turn, from a fix before its start to one after its end, as degrees
// turned from `base` (the course before, on the branch of the unwrapped course).
void TraceTurn(const TurnSearch& s, const Candidate& c, double base, std::size_t startFix, std::size_t endFix,
               Turn& turn)
{
    const std::vector<double>& t = s.plane.t;
    const std::size_t first = StretchFirst(s, c.peak), last = StretchLast(s, c.peak);
    const std::size_t traceFrom = startFix > first ? startFix - 1 : startFix;
    const std::size_t traceTo = std::min(endFix + 1, last);
    for (std::size_t j = traceFrom; j <= traceTo; ++j) {
        if (!std::isfinite(s.courseUnwrapped[j]))
            continue;
        turn.TraceSeconds.push_back(static_cast<float>(t[j] - c.start));
        turn.TraceTurnedDeg.push_back(static_cast<float>(s.courseUnwrapped[j] - base));
    }
}

// Measures a settled candidate between the end of the turn before it (`previousEnd`, its
// speed regained at `previousRecovered`) and the start of the next (`nextStart`): the steady
// courses and speeds either side, the least speed, when the speed is regained and the
// shortfall of distance made good over that time. False when the courses either side tell
// no turn.
bool MeasureTurn(const TurnSearch& s, const Candidate& c, double nextStart, double previousEnd,
                 double previousRecovered, Turn& turn)
{
    const std::vector<double>& t = s.plane.t;
    const std::size_t n = t.size();
    const std::size_t first = StretchFirst(s, c.peak), last = StretchLast(s, c.peak);
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
        return false;
    turn.SpeedBeforeKn = Length(vbx, vby) / kMetresPerKnotSecond;

    const std::size_t startFix = std::min(IndexAtOrAfter(t, c.start), n - 1);
    const std::size_t endFix = std::min(IndexAtOrAfter(t, c.end), n - 1);
    const double cap = std::min({c.end + kLongestRecovery, nextStart, t[last]});
    const std::size_t recovered = SpeedRegained(s, endFix, turn.SpeedBeforeKn * kMetresPerKnotSecond, cap);
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
    TraceTurn(s, c, c.base + AngleDifference(turn.CourseBeforeDeg, c.base), startFix, endFix, turn);
    return true;
}

// Settles and measures each candidate.
std::vector<Turn> MeasureTurns(const TurnSearch& s, const std::vector<Candidate>& candidates)
{
    const std::vector<Candidate> settled = SettleCandidates(s, candidates);
    std::vector<Turn> turns;
    turns.reserve(settled.size());
    double previousEnd = -1e300, previousRecovered = -1e300;
    for (std::size_t k = 0; k < settled.size(); ++k) {
        const double nextStart = k + 1 < settled.size() ? settled[k + 1].start : 1e300;
        Turn turn;
        if (!MeasureTurn(s, settled[k], nextStart, previousEnd, previousRecovered, turn))
            continue;
        previousEnd = settled[k].end;
        previousRecovered = turn.RecoveredSeconds;
        turns.push_back(std::move(turn));
    }
    return turns;
}

} // namespace

TurnSearch MakeTurnSearch(const Plane& plane, const LineSums& sums, const Smoothed& turnFit,
                          const TrackCharacter& character)
{
    const std::vector<double>& t = plane.t;
    const std::size_t n = t.size();
    const double dt = character.IntervalSeconds;
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
    return search;
}

std::vector<Turn> FindTurns(const TurnSearch& search, std::vector<float>& change)
{
    return MeasureTurns(search, FindCandidates(search, change));
}

} // namespace tideplot::motionfit
