#include "legs.h"

#include "raceanalysis.h"

#include "core/courseprogress.h"
#include "core/datetime.h"
#include "core/geometry.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace tideplot {

namespace {

// Calls `each(sample, seconds)` for every piece of track from a sample to the next that
// overlaps `from` to `to` (seconds after the start), with the seconds it overlaps; pieces
// across a gap in the log (longer than four intervals, and 20 s) are left out.
template <class Each> void ForEachPiece(const BoatMotion& motion, double from, double to, Each each)
{
    const std::vector<MotionSample>& samples = motion.Samples;
    const double gap = std::max(20.0, 4 * motion.Character.IntervalSeconds * motion.KeptEvery);
    auto it = std::lower_bound(samples.begin(), samples.end(), from,
                               [](const MotionSample& s, double t) { return s.Seconds < t; });
    if (it != samples.begin())
        --it;
    for (auto i = static_cast<std::size_t>(it - samples.begin()); i + 1 < samples.size() && samples[i].Seconds < to;
         ++i) {
        const MotionSample& a = samples[i];
        const double next = samples[i + 1].Seconds;
        if (next - a.Seconds > gap || !std::isfinite(a.SpeedKn) || !std::isfinite(a.CourseDeg))
            continue;
        const double overlap = std::min(next, to) - std::max<double>(a.Seconds, from);
        if (overlap > 0)
            each(a, overlap);
    }
}

// The wind at a sample, taken again only every 5 seconds.
class WindEvery5s {
public:
    WindEvery5s(const WindEstimate& wind, double startTime) : wind_(wind), start_(startTime) {}
    double At(double seconds)
    {
        if (seconds - at_ >= 5 || seconds < at_) {
            from_ = wind_.At(start_ + seconds / kSecondsPerDay);
            at_ = seconds;
        }
        return from_;
    }

private:
    const WindEstimate& wind_;
    double start_;
    double at_ = -1e300;
    double from_ = kNoValue;
};

struct Point {
    double lat = 0, lon = 0;
};

Point MarkPoint(const CourseGeometry& course, std::size_t place)
{
    const CourseMark& mark = course.course().Marks[course.sequence()[place].Mark];
    return {mark.PointLat(), mark.PointLon()};
}

Point PositionAt(const std::vector<MotionSample>& samples, double seconds)
{
    const auto it = std::lower_bound(samples.begin(), samples.end(), seconds,
                                     [](const MotionSample& s, double t) { return s.Seconds < t; });
    const MotionSample& s = it == samples.end() ? samples.back() : *it;
    return {s.Lat(), s.Lon()};
}

double BearingDeg(const Point& from, const Point& to)
{
    const double x = LongitudeDifference(to.lon, from.lon) * std::cos(Radians((from.lat + to.lat) / 2));
    return NormalDegrees(std::atan2(x, to.lat - from.lat) * 180 / Pi);
}

constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;

// The leg's distance, speeds, tacks and gybes from the boat's track.
void Measure(LegAnalysis& leg, const BoatAnalysis& boat, const WindEstimate& wind, const Point& to)
{
    const double start = boat.Source.StartTime;
    WindEvery5s windAt(wind, start);
    double covered = 0, distance = 0, made = 0, madeCovered = 0;
    ForEachPiece(boat.Motion, leg.StartSeconds, leg.EndSeconds, [&](const MotionSample& s, double seconds) {
        covered += seconds;
        distance += s.SpeedKn * seconds;
        double towards = kNoValue;
        if (leg.Kind == LegKind::Reach)
            towards = BearingDeg({s.Lat(), s.Lon()}, to);
        else if (leg.Kind != LegKind::Unknown)
            towards = windAt.At(s.Seconds) + (leg.Kind == LegKind::Downwind ? 180 : 0);
        if (std::isfinite(towards)) {
            made += s.SpeedKn * std::cos((s.CourseDeg - towards) * kRadiansPerDegree) * seconds;
            madeCovered += seconds;
        }
    });
    leg.DistanceNm = distance / 3600;
    if (covered > 0) {
        leg.MeanSpeedKn = distance / covered;
        // Over the time the wind was known, when that is most of the leg.
        if (madeCovered >= covered / 2)
            leg.VmgKn = made / madeCovered;
    }
    double loss = 0;
    int losses = 0;
    for (const Manoeuvre& m : boat.Manoeuvres) {
        if (m.BeforeStart || m.MiddleSeconds < leg.StartSeconds || m.MiddleSeconds >= leg.EndSeconds)
            continue;
        if (m.Kind != ManoeuvreKind::Tack && m.Kind != ManoeuvreKind::Gybe)
            continue;
        ++(m.Kind == ManoeuvreKind::Tack ? leg.Tacks : leg.Gybes);
        if (std::isfinite(m.LossMetres)) {
            loss += m.LossMetres;
            ++losses;
        }
    }
    if (losses > 0)
        leg.MeanLossMetres = loss / losses;
    TimeOnEachTack(boat.Motion, start, wind, leg.StartSeconds, leg.EndSeconds, leg.PortSeconds, leg.StarboardSeconds);
}

} // namespace

std::string_view LegKindName(LegKind kind)
{
    switch (kind) {
    case LegKind::Upwind:
        return "upwind";
    case LegKind::Downwind:
        return "downwind";
    case LegKind::Reach:
        return "reach";
    case LegKind::Unknown:
        break;
    }
    return "";
}

void TimeOnEachTack(const BoatMotion& motion, double startTime, const WindEstimate& wind, double from, double to,
                    double& port, double& starboard)
{
    port = starboard = 0;
    if (!wind.Known)
        return;
    WindEvery5s windAt(wind, startTime);
    ForEachPiece(motion, from, to, [&](const MotionSample& s, double seconds) {
        const double w = windAt.At(s.Seconds);
        // The wind over the starboard side: it comes from 0 to 180 degrees to the right of the course.
        if (std::isfinite(w))
            (NormalDegrees(w - s.CourseDeg) <= 180 ? starboard : port) += seconds;
    });
}

std::vector<LegAnalysis> BoatLegs(const CourseGeometry& course, const BoatAnalysis& boat, const WindEstimate& wind)
{
    std::vector<LegAnalysis> legs;
    const CourseSailed& sailed = boat.Sailed;
    const std::vector<MotionSample>& samples = boat.Motion.Samples;
    if (!sailed.Started || samples.empty())
        return legs;
    const std::vector<CourseLeg>& sequence = course.sequence();
    const std::size_t n = sequence.size();
    double from = sailed.StartSeconds.value_or(0);
    for (std::size_t i = 0; i <= n; ++i) {
        const bool last = i == n;
        if (!last && i >= sailed.RoundingSeconds.size())
            break;
        if (last && !sailed.FinishSeconds)
            break;
        LegAnalysis leg;
        leg.Place = i;
        leg.From = i == 0 ? "start" : course.course().Marks[sequence[i - 1].Mark].Name;
        leg.To = last ? "finish" : course.course().Marks[sequence[i].Mark].Name;
        leg.Lap = last ? (n > 0 ? sequence[n - 1].Lap : 1) : sequence[i].Lap;
        leg.StartSeconds = from;
        leg.EndSeconds = last ? *sailed.FinishSeconds : sailed.RoundingSeconds[i];
        const Point begin = i > 0 ? MarkPoint(course, i - 1)
                            : course.start()
                                ? Point{LineMiddleLat(course.start()->line()), LineMiddleLon(course.start()->line())}
                                : PositionAt(samples, from);
        const Point end = last ? Point{LineMiddleLat(course.finish().line()), LineMiddleLon(course.finish().line())}
                               : MarkPoint(course, i);
        const double windFrom =
            wind.Known ? wind.At(boat.Source.StartTime + (leg.StartSeconds + leg.EndSeconds) / 2 / kSecondsPerDay)
                       : kNoValue;
        // A leg from a mark back to it (a course of one mark) has no direction: no kind.
        const bool across = PlaneDistanceNm(begin.lat, begin.lon, end.lat, end.lon) * 1852 >= 10;
        if (std::isfinite(windFrom) && across) {
            const double off = std::fabs(AngleDifference(BearingDeg(begin, end), windFrom));
            leg.Kind = off <= kUpwindLegDeg         ? LegKind::Upwind
                       : off >= 180 - kUpwindLegDeg ? LegKind::Downwind
                                                    : LegKind::Reach;
        }
        Measure(leg, boat, wind, end);
        from = leg.EndSeconds;
        legs.push_back(std::move(leg));
    }
    return legs;
}

void RankLegs(std::vector<BoatAnalysis>& boats)
{
    // Each place's corrected times at the legs' ends.
    std::map<std::size_t, std::vector<double>> ends;
    for (const BoatAnalysis& boat : boats)
        for (const LegAnalysis& leg : boat.Legs)
            ends[leg.Place].push_back(leg.EndSeconds * boat.Source.Lys);
    for (auto& entry : ends)
        std::sort(entry.second.begin(), entry.second.end());
    for (BoatAnalysis& boat : boats) {
        for (LegAnalysis& leg : boat.Legs) {
            const std::vector<double>& times = ends[leg.Place];
            const double corrected = leg.EndSeconds * boat.Source.Lys;
            // Times shown as the same second share a rank, as the results rank.
            const long long shown = ShownSeconds(corrected);
            leg.Rank = 1 + static_cast<int>(std::count_if(times.begin(), times.end(),
                                                          [&](double t) { return ShownSeconds(t) < shown; }));
            leg.GapSeconds = corrected - times.front();
        }
    }
}

} // namespace tideplot
