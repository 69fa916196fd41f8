#include "manoeuvres.h"

#include "core/datetime.h"

#include <algorithm>
#include <cmath>

namespace tideplot {

namespace {

constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;

// How far (degrees, 0 up to 360) the turn goes from the course before to `direction`, turning
// its way.
double TurnedTo(const Turn& turn, double direction)
{
    return turn.TurnDeg >= 0 ? NormalDegrees(direction - turn.CourseBeforeDeg)
                             : NormalDegrees(turn.CourseBeforeDeg - direction);
}

bool Crosses(const Turn& turn, double direction)
{
    const double turned = TurnedTo(turn, direction);
    return turned > kAxisMarginDeg && turned < std::fabs(turn.TurnDeg) - kAxisMarginDeg;
}

// The seconds after the boat's start at which the turn had turned `turned` degrees (0 up to
// |TurnDeg|): the middle of the first and the last passing on the traced course (noise can
// pass it more than once), or in proportion between the turn's tenth and nine tenths when
// the trace does not reach it.
double TimeTurned(const Turn& turn, double turned)
{
    const double sign = turn.TurnDeg >= 0 ? 1 : -1;
    const std::vector<float>& secs = turn.TraceSeconds;
    const std::vector<float>& deg = turn.TraceTurnedDeg;
    double first = 0, last = 0;
    bool found = false;
    for (std::size_t j = 0; j + 1 < deg.size(); ++j) {
        const double a = sign * deg[j], b = sign * deg[j + 1];
        if (a < turned && b >= turned) {
            const double f = (turned - a) / (b - a);
            const double at = secs[j] + f * (secs[j + 1] - secs[j]);
            if (!found)
                first = at;
            last = at;
            found = true;
        }
    }
    if (found)
        return turn.StartSeconds + (first + last) / 2;
    const double share = std::clamp((turned / std::fabs(turn.TurnDeg) - 0.1) / 0.8, 0.0, 1.0);
    return turn.StartSeconds + share * (turn.EndSeconds - turn.StartSeconds);
}

// The position at `seconds`, straight between the fixes either side.
void PositionAt(const std::vector<MotionSample>& samples, double seconds, double& lat, double& lon)
{
    const auto it = std::lower_bound(samples.begin(), samples.end(), seconds,
                                     [](const MotionSample& s, double t) { return s.Seconds < t; });
    if (it == samples.begin() || it == samples.end()) {
        const MotionSample& s = it == samples.end() ? samples.back() : *it;
        lat = s.Lat();
        lon = s.Lon();
        return;
    }
    const MotionSample& a = *(it - 1);
    const MotionSample& b = *it;
    const double f = (seconds - a.Seconds) / static_cast<double>(b.Seconds - a.Seconds);
    long long dLon7 = static_cast<long long>(b.Lon7) - a.Lon7;
    if (dLon7 > 1800000000LL)
        dLon7 -= 3600000000LL;
    else if (dLon7 < -1800000000LL)
        dLon7 += 3600000000LL;
    lat = a.Lat() + f * (b.Lat() - a.Lat());
    lon = a.Lon() + f * static_cast<double>(dLon7) * 1e-7;
    if (lon > 180)
        lon -= 360;
    else if (lon < -180)
        lon += 360;
}

// Whether a turn of `kind` ends a beat or a run against a wind from `windFromDeg`: a bear-away
// or a head-up of more than kRoundingTurnDeg from sailing upwind to downwind or back, or
// between either and a reach when it is no tack (a gybe) on the way. So a tack whose far side
// the wind's estimate puts on a reach stays a tack.
bool EndsBeatOrRun(const Turn& turn, double windFromDeg, ManoeuvreKind kind)
{
    const bool throughAxis = kind == ManoeuvreKind::Tack || kind == ManoeuvreKind::Gybe;
    if (!(std::fabs(turn.TurnDeg) > (throughAxis ? kRoundingThroughAxisDeg : kRoundingTurnDeg)))
        return false;
    // 0 upwind, 1 a reach, 2 downwind.
    const auto mode = [&](double course) {
        const double off = std::fabs(AngleDifference(course, windFromDeg));
        return off < kUpwindDeg ? 0 : off > kDownwindDeg ? 2 : 1;
    };
    const int before = mode(turn.CourseBeforeDeg), after = mode(turn.CourseAfterDeg);
    if (before == after)
        return false;
    if (before != 1 && after != 1)
        return true;
    return before + after == 1 ? kind != ManoeuvreKind::Tack : kind != ManoeuvreKind::Gybe;
}

// For each turn, whether it is the one at a rounding: each moment taken by the turn whose span
// (widened by kRoundingReachSeconds) holds it, the nearest by its middle.
std::vector<bool> TurnsAtMarks(const BoatMotion& motion, const std::vector<double>& roundings)
{
    std::vector<bool> at(motion.Turns.size(), false);
    std::size_t first = 0;
    for (const double r : roundings) {
        while (first < motion.Turns.size() && motion.Turns[first].EndSeconds + kRoundingReachSeconds < r)
            ++first;
        std::size_t best = motion.Turns.size();
        for (std::size_t k = first; k < motion.Turns.size(); ++k) {
            const Turn& turn = motion.Turns[k];
            if (turn.StartSeconds - kRoundingReachSeconds > r)
                break;
            if (turn.EndSeconds + kRoundingReachSeconds < r)
                continue;
            if (best == motion.Turns.size() ||
                std::fabs(turn.HalfSeconds - r) < std::fabs(motion.Turns[best].HalfSeconds - r))
                best = k;
        }
        if (best < at.size())
            at[best] = true;
    }
    return at;
}

} // namespace

std::string_view ManoeuvreKindName(ManoeuvreKind kind)
{
    switch (kind) {
    case ManoeuvreKind::Tack:
        return "tack";
    case ManoeuvreKind::Gybe:
        return "gybe";
    case ManoeuvreKind::Rounding:
        return "rounding";
    case ManoeuvreKind::Turn:
        break;
    }
    return "turn";
}

ManoeuvreKind KindOfTurn(const Turn& turn, double windFromDeg)
{
    const bool eye = Crosses(turn, windFromDeg);
    const bool downwind = Crosses(turn, windFromDeg + 180);
    if (eye && !downwind)
        return ManoeuvreKind::Tack;
    if (downwind && !eye)
        return ManoeuvreKind::Gybe;
    return ManoeuvreKind::Turn;
}

std::vector<Manoeuvre> ClassifyTurns(const BoatMotion& motion, const WindEstimate& wind, double startTime,
                                     const std::vector<double>* roundings)
{
    std::vector<Manoeuvre> manoeuvres;
    const std::vector<bool> atMark = roundings ? TurnsAtMarks(motion, *roundings) : std::vector<bool>();
    for (std::size_t k = 0; k < motion.Turns.size(); ++k) {
        const Turn& turn = motion.Turns[k];
        const double windFromDeg = wind.Known ? wind.At(startTime + turn.HalfSeconds / kSecondsPerDay) : kNoValue;
        Manoeuvre m;
        m.Kind = std::isfinite(windFromDeg) ? KindOfTurn(turn, windFromDeg) : ManoeuvreKind::Turn;
        if (roundings ? atMark[k] : std::isfinite(windFromDeg) && EndsBeatOrRun(turn, windFromDeg, m.Kind))
            m.Kind = ManoeuvreKind::Rounding;
        if (m.Kind == ManoeuvreKind::Turn && std::fabs(turn.TurnDeg) < kReportedTurnDeg)
            continue;
        m.TurnIndex = k;
        m.CourseBeforeDeg = turn.CourseBeforeDeg;
        m.CourseAfterDeg = turn.CourseAfterDeg;
        m.SpeedBeforeKn = turn.SpeedBeforeKn;
        m.MinSpeedKn = turn.MinSpeedKn;
        m.SpeedAfterKn = turn.SpeedAfterKn;
        m.DurationSeconds = turn.RecoveredSeconds - turn.StartSeconds;
        if (m.Kind == ManoeuvreKind::Turn || m.Kind == ManoeuvreKind::Rounding) {
            m.MiddleSeconds = turn.HalfSeconds;
        } else {
            // The axis crossed: towards the wind for a tack, away from it for a gybe; the loss
            // is the shortfall along it.
            const double axis = m.Kind == ManoeuvreKind::Tack ? windFromDeg : windFromDeg + 180;
            m.MiddleSeconds = TimeTurned(turn, TurnedTo(turn, axis));
            m.LossMetres = turn.ShortfallEast * std::sin(axis * kRadiansPerDegree) +
                           turn.ShortfallNorth * std::cos(axis * kRadiansPerDegree);
        }
        m.BeforeStart = m.MiddleSeconds < 0;
        PositionAt(motion.Samples, m.MiddleSeconds, m.Lat, m.Lon);
        manoeuvres.push_back(m);
    }
    return manoeuvres;
}

} // namespace tideplot
