#include "courseproposal.h"

#include "core/geometry.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace tideplot {

namespace {

constexpr double kMetresPerDegree = 60 * 1852.0;
constexpr std::size_t kMostPlacingTurns = 100;

struct Vec {
    double x = 0;
    double y = 0;
};
Vec operator+(Vec a, Vec b)
{
    return {a.x + b.x, a.y + b.y};
}
Vec operator-(Vec a, Vec b)
{
    return {a.x - b.x, a.y - b.y};
}
Vec operator*(double s, Vec a)
{
    return {s * a.x, s * a.y};
}
double Dot(Vec a, Vec b)
{
    return a.x * b.x + a.y * b.y;
}
Vec Unit(Vec a)
{
    const double length = std::hypot(a.x, a.y);
    return length > 0 ? Vec{a.x / length, a.y / length} : Vec{};
}
// Metres east and north of a position of the race.
struct Plane {
    double lat0 = 0, lon0 = 0, lonScale = 1;
    Vec At(double lat, double lon) const
    {
        return {LongitudeDifference(lon, lon0) * lonScale * kMetresPerDegree, (lat - lat0) * kMetresPerDegree};
    }
    // Back to degrees, rounded to a millionth (a tenth of a metre).
    std::pair<double, double> Degrees(Vec p) const
    {
        const auto round6 = [](double v) { return std::round(v * 1e6) / 1e6; };
        return {round6(lat0 + p.y / kMetresPerDegree), round6(FoldLongitude(lon0 + p.x / lonScale / kMetresPerDegree))};
    }
};

// The boat's position `seconds` after its gun, between the samples either side; nothing
// outside its track.
std::optional<Vec> PositionAt(const Plane& plane, const std::vector<MotionSample>& samples, double seconds)
{
    const auto after = std::lower_bound(samples.begin(), samples.end(), seconds,
                                        [](const MotionSample& s, double t) { return s.Seconds < t; });
    if (after == samples.end() || (after == samples.begin() && after->Seconds > seconds))
        return std::nullopt;
    const Vec b = plane.At(after->Lat(), after->Lon());
    if (after->Seconds == seconds || after == samples.begin())
        return b;
    const auto before = after - 1;
    const Vec a = plane.At(before->Lat(), before->Lon());
    const double s = (seconds - before->Seconds) / (after->Seconds - before->Seconds);
    return a + s * (b - a);
}

struct TurnPoint {
    std::size_t boat = 0;
    double seconds = 0;
    double deg = 0; // turned, either way
    Vec at;         // half way through the turn
    bool starboard = false;
    int cluster = -1;
    // The fixes of the turn, from a little before it to a little after.
    const std::vector<MotionSample>* samples = nullptr;
    std::size_t first = 0, last = 0;
};

// The boats' turns of more than `leastDeg` after their guns.
std::vector<TurnPoint> TurnsAfterGun(const RaceAnalysis& race, const Plane& plane, double leastDeg)
{
    constexpr double kAroundSeconds = 15;
    std::vector<TurnPoint> turns;
    for (std::size_t k = 0; k < race.Boats.size(); ++k) {
        const BoatMotion& motion = race.Boats[k].Motion;
        const auto index = [&](double seconds) {
            return static_cast<std::size_t>(
                std::lower_bound(motion.Samples.begin(), motion.Samples.end(), seconds,
                                 [](const MotionSample& s, double t) { return s.Seconds < t; }) -
                motion.Samples.begin());
        };
        for (const Turn& turn : motion.Turns) {
            if (!(std::fabs(turn.TurnDeg) > leastDeg) || !(turn.HalfSeconds > 0))
                continue;
            if (const auto at = PositionAt(plane, motion.Samples, turn.HalfSeconds))
                turns.push_back({k, turn.HalfSeconds, std::fabs(turn.TurnDeg), *at, turn.TurnDeg > 0, -1,
                                 &motion.Samples, index(turn.StartSeconds - kAroundSeconds),
                                 index(turn.EndSeconds + kAroundSeconds)});
        }
    }
    return turns;
}

// Whether a mark at `m` lies inside the turn: the boat's track through the turn goes round it
// the turn's way by half the turn or more, never nearer than kInsideMetres.
bool Inside(const TurnPoint& t, Vec m, const Plane& plane)
{
    double swept = 0;
    std::optional<Vec> before;
    for (std::size_t i = t.first; i < t.last && i < t.samples->size(); ++i) {
        const MotionSample& s = (*t.samples)[i];
        const Vec now = plane.At(s.Lat(), s.Lon()) - m;
        if (std::hypot(now.x, now.y) < kInsideMetres)
            return false;
        if (before)
            swept += std::atan2(before->x * now.y - before->y * now.x, Dot(*before, now));
        before = now;
    }
    return (t.starboard ? -swept : swept) >= Radians(t.deg) / 2;
}

std::size_t DistinctBoats(const std::vector<TurnPoint>& turns, const std::vector<std::size_t>& members)
{
    std::vector<std::size_t> boats;
    for (const std::size_t i : members)
        boats.push_back(turns[i].boat);
    std::sort(boats.begin(), boats.end());
    return static_cast<std::size_t>(std::unique(boats.begin(), boats.end()) - boats.begin());
}

// Each turn's neighbours within kMarkRadiusMetres turning the same way (itself included),
// found through a grid of cells that size.
std::vector<std::vector<std::size_t>> Neighbours(const std::vector<TurnPoint>& turns)
{
    std::map<std::pair<long long, long long>, std::vector<std::size_t>> cells;
    const auto cell = [](Vec p) {
        return std::pair{static_cast<long long>(std::floor(p.x / kMarkRadiusMetres)),
                         static_cast<long long>(std::floor(p.y / kMarkRadiusMetres))};
    };
    for (std::size_t i = 0; i < turns.size(); ++i)
        cells[cell(turns[i].at)].push_back(i);
    std::vector<std::vector<std::size_t>> near(turns.size());
    for (std::size_t i = 0; i < turns.size(); ++i) {
        const auto [cx, cy] = cell(turns[i].at);
        for (long long dx = -1; dx <= 1; ++dx)
            for (long long dy = -1; dy <= 1; ++dy) {
                const auto it = cells.find({cx + dx, cy + dy});
                if (it == cells.end())
                    continue;
                for (const std::size_t j : it->second)
                    if (turns[j].starboard == turns[i].starboard &&
                        std::hypot(turns[j].at.x - turns[i].at.x, turns[j].at.y - turns[i].at.y) <= kMarkRadiusMetres)
                        near[i].push_back(j);
            }
    }
    return near;
}

// Clusters of turns (indices into `turns`) turning the same way, densest first, each from
// enough boats.
std::vector<std::vector<std::size_t>> Clusters(std::vector<TurnPoint>& turns, std::size_t boats)
{
    const std::size_t leastBoats = boats == 1 ? 1 : std::max<std::size_t>(2, (4 * boats + 4) / 5);
    const std::size_t leastTurns = boats == 1 ? 2 : leastBoats;
    const auto near = Neighbours(turns);
    std::vector<std::vector<std::size_t>> clusters;
    for (;;) {
        std::vector<std::size_t> best;
        for (std::size_t i = 0; i < turns.size(); ++i) {
            if (turns[i].cluster >= 0)
                continue;
            std::vector<std::size_t> members;
            for (const std::size_t j : near[i])
                if (turns[j].cluster < 0)
                    members.push_back(j);
            if (members.size() > best.size())
                best = std::move(members);
        }
        if (best.size() < leastTurns || DistinctBoats(turns, best) < leastBoats)
            return clusters;
        for (const std::size_t i : best)
            turns[i].cluster = static_cast<int>(clusters.size());
        clusters.push_back(std::move(best));
    }
}

// The mark of a cluster, on the side its turns went to: of the points around the
// middle of their half-way points, the one inside the most turns there of kPlacingTurnDeg or
// more to that side (also the smaller turns of boats that came in on another course), the
// nearest to the middle of those.
CourseMark MarkOf(const std::vector<TurnPoint>& turns, const std::vector<std::size_t>& members,
                  const std::vector<TurnPoint>& placing, const Plane& plane, ProposedMark& support)
{
    const bool side = turns[members.front()].starboard;
    Vec centre;
    for (const std::size_t i : members)
        centre = centre + (1.0 / static_cast<double>(members.size())) * turns[i].at;
    std::vector<const TurnPoint*> around;
    for (const TurnPoint& t : placing)
        if (t.starboard == side && std::hypot(t.at.x - centre.x, t.at.y - centre.y) <= kMarkRadiusMetres)
            around.push_back(&t);
    // A long race's thousands of roundings: every n-th of them tells as much.
    if (around.size() > kMostPlacingTurns) {
        std::vector<const TurnPoint*> some;
        for (std::size_t i = 0; i < kMostPlacingTurns; ++i)
            some.push_back(around[i * around.size() / kMostPlacingTurns]);
        around = std::move(some);
    }
    Vec best = centre;
    std::size_t bestInside = 0;
    double bestDistance = 0;
    const int steps = static_cast<int>(kMarkRadiusMetres / kSearchStepMetres);
    for (int ix = -steps; ix <= steps; ++ix)
        for (int iy = -steps; iy <= steps; ++iy) {
            const Vec m = centre + Vec{ix * kSearchStepMetres, iy * kSearchStepMetres};
            const auto inside = static_cast<std::size_t>(
                std::count_if(around.begin(), around.end(), [&](const TurnPoint* t) { return Inside(*t, m, plane); }));
            const double distance = std::hypot(m.x - centre.x, m.y - centre.y);
            if (inside > bestInside || (inside == bestInside && distance < bestDistance)) {
                best = m;
                bestInside = inside;
                bestDistance = distance;
            }
        }
    const auto [lat, lon] = plane.Degrees(best);
    support = {static_cast<int>(DistinctBoats(turns, members)), static_cast<int>(around.size()),
               static_cast<int>(bestInside)};
    CourseMark mark;
    mark.Side = side ? MarkSide::Starboard : MarkSide::Port;
    mark.Lat = lat;
    mark.Lon = lon;
    return mark;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The start line square to the leg from the fleet at its guns to the first mark.
std::optional<FinishLine> StartLineOf(const RaceAnalysis& race, const Plane& plane, const CourseMark& firstMark)
{
    std::vector<Vec> atGun;
    for (const BoatAnalysis& boat : race.Boats)
        if (const auto p = PositionAt(plane, boat.Motion.Samples, 0))
            atGun.push_back(*p);
    if (atGun.empty())
        return std::nullopt;
    Vec mean;
    for (const Vec& p : atGun)
        mean = mean + (1.0 / static_cast<double>(atGun.size())) * p;
    const Vec up = Unit(plane.At(firstMark.Lat, firstMark.Lon) - mean);
    if (up.x == 0 && up.y == 0)
        return std::nullopt;
    const Vec across{-up.y, up.x}; // P1 -> P2: the first mark on the right
    std::vector<double> along;
    for (const Vec& p : atGun)
        along.push_back(Dot(p - mean, up));
    const double middle = Median(along);
    double ahead = middle;
    for (const double a : along)
        if (a <= middle + kStartSpreadMetres)
            ahead = std::max(ahead, a);
    const double line = ahead + kInsideMetres;
    // Where the boats cross it first after their guns, within ten minutes.
    double least = 1e300, most = -1e300;
    for (std::size_t k = 0; k < race.Boats.size(); ++k) {
        const auto& samples = race.Boats[k].Motion.Samples;
        std::optional<Vec> before = PositionAt(plane, samples, 0);
        for (const MotionSample& s : samples) {
            if (s.Seconds <= 0 || s.Seconds > 600 || !before)
                continue;
            const Vec now = plane.At(s.Lat(), s.Lon());
            const double a = Dot(*before - mean, up) - line, b = Dot(now - mean, up) - line;
            if (a < 0 && b >= 0) {
                const double across0 = Dot(*before - mean, across), across1 = Dot(now - mean, across);
                const double at = across0 + a / (a - b) * (across1 - across0);
                least = std::min(least, at);
                most = std::max(most, at);
                break;
            }
            before = now;
        }
    }
    if (least > most)
        for (const Vec& p : atGun) {
            least = std::min(least, Dot(p - mean, across));
            most = std::max(most, Dot(p - mean, across));
        }
    const Vec centre = mean + line * up;
    const auto [lat1, lon1] = plane.Degrees(centre + (least - kStartMarginMetres) * across);
    const auto [lat2, lon2] = plane.Degrees(centre + (most + kStartMarginMetres) * across);
    return FinishLine{lat1, lon1, lat2, lon2};
}

} // namespace

CourseProposal ProposeCourse(const RaceAnalysis& race)
{
    CourseProposal proposal;
    const BoatAnalysis* first = nullptr;
    for (const BoatAnalysis& boat : race.Boats)
        if (!first && !boat.Motion.Samples.empty())
            first = &boat;
    if (!first)
        return proposal;
    const MotionSample& origin = first->Motion.Samples.front();
    const Plane plane{origin.Lat(), origin.Lon(), std::cos(Radians(origin.Lat()))};
    std::vector<TurnPoint> turns = TurnsAfterGun(race, plane, kMarkTurnDeg);
    const std::vector<TurnPoint> placing = TurnsAfterGun(race, plane, kPlacingTurnDeg);
    const auto clusters = Clusters(turns, race.Boats.size());

    // Each cluster's turns per boat and the moment of each boat's first; a mark is turned at
    // on every lap by the middle boat, as often as the most turned at of them (three in four),
    // which leaves out the tacks at a layline that some boats make on some laps.
    struct Found {
        std::size_t cluster = 0;
        double firstSeconds = 0;
        std::vector<double> visits; // per boat
    };
    std::vector<Found> found;
    double mostVisits = 0;
    for (std::size_t c = 0; c < clusters.size(); ++c) {
        Found f{c, 0, std::vector<double>(race.Boats.size(), 0)};
        std::map<std::size_t, double> firsts;
        for (const std::size_t i : clusters[c]) {
            ++f.visits[turns[i].boat];
            const auto [it, added] = firsts.try_emplace(turns[i].boat, turns[i].seconds);
            it->second = std::min(it->second, turns[i].seconds);
        }
        std::vector<double> times;
        for (const auto& [boat, seconds] : firsts)
            times.push_back(seconds);
        f.firstSeconds = Median(times);
        mostVisits = std::max(mostVisits, Median(f.visits));
        found.push_back(std::move(f));
    }
    std::erase_if(found, [&](const Found& f) { return 4 * Median(f.visits) < 3 * mostVisits; });
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.firstSeconds < b.firstSeconds; });
    std::vector<double> laps(race.Boats.size(), 1e9);
    for (std::size_t i = 0; i < found.size(); ++i) {
        for (std::size_t k = 0; k < laps.size(); ++k)
            laps[k] = std::min(laps[k], found[i].visits[k]);
        ProposedMark support;
        CourseMark mark = MarkOf(turns, clusters[found[i].cluster], placing, plane, support);
        mark.Name = std::to_string(i + 1);
        mark.Name.insert(mark.Name.begin(), 'M'); // (GCC 12 warns of a false overlap in "M" + ...)
        proposal.Plan.Marks.push_back(mark);
        proposal.Marks.push_back(support);
    }
    if (!found.empty())
        proposal.Plan.Laps = std::clamp(static_cast<int>(Median(laps)), 1, kMaxLaps);
    if (!proposal.Plan.Marks.empty())
        proposal.Plan.Start = StartLineOf(race, plane, proposal.Plan.Marks.front());
    return proposal;
}

} // namespace tideplot
