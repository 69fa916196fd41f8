#include "motion.h"

#include "smoothing.h"
#include "turnsearch.h"

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

using namespace trackmotion;

BoatTrack ReadBoatTrack(const std::string& path, char sep, double startTime, std::size_t mostFixes)
{
    BoatTrack track;
    TrackFixReader reader(path, sep);
    std::error_code error;
    const auto bytes = std::filesystem::file_size(path, error);
    if (!error)
        track.Samples.reserve(std::min(static_cast<std::size_t>(bytes / 32), mostFixes));
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
        if (track.Samples.size() >= mostFixes)
            ThrowAt(FileLabel(path), fix.Line,
                    "the track has more than " + std::to_string(mostFixes) +
                        " fixes, more than the analysis takes of one boat");
        MotionSample sample;
        sample.Seconds = static_cast<std::int32_t>(whole);
        sample.Lat7 = static_cast<std::int32_t>(std::llround(fix.Lat * 1e7));
        sample.Lon7 = static_cast<std::int32_t>(std::llround(FoldLongitude(fix.Lon) * 1e7));
        track.Samples.push_back(sample);
    }
    track.Samples.shrink_to_fit();
    return track;
}

namespace {

// The series of speeds and courses: the turn's window (equal weights, the same variance as the
// tricube one) through a turn; from its end, while the boat accelerates, a window that widens
// by half the time since; on a steady stretch as wide as the boat sails steadily, up to
// SteadyHalfWindow either side.
void SmoothSeries(const Plane& plane, const LineSums& sums, const TrackCharacter& character,
                  const std::vector<Turn>& turns, std::vector<MotionSample>& out)
{
    const std::vector<double>& t = plane.t;
    const double inTurn = std::max(0.76 * character.TurnHalfWindow, 1.5 * character.IntervalSeconds);
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

// The seconds sailed steadily at each course (where the course changes by less than 15 degrees
// about a fix, `change` being FindTurns'), and the distance sailed from the start: along the
// smoothed speeds, straight across a gap of more than `gapSeconds`.
void TallyCoursesAndDistance(const Plane& plane, const std::vector<float>& change, double gapSeconds,
                             BoatMotion& motion)
{
    const std::vector<double>& t = plane.t;
    const std::vector<MotionSample>& out = motion.Samples;
    const std::size_t n = out.size();
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

BoatMotion AnalyseMotion(std::vector<MotionSample> samples)
{
    BoatMotion motion;
    motion.Samples = std::move(samples);
    if (motion.Samples.empty())
        return motion;
    const Plane plane = ToPlane(motion.Samples);
    motion.Character = Characterise(plane);
    const LineSums sums(plane);
    const Smoothed turnFit = LocalLinear(plane, motion.Character.TurnHalfWindow);
    const TurnSearch search = MakeTurnSearch(plane, sums, turnFit, motion.Character);
    std::vector<float> change;
    motion.Turns = FindTurns(search, change);
    SmoothSeries(plane, sums, motion.Character, motion.Turns, motion.Samples);
    TallyCoursesAndDistance(plane, change, search.gapSeconds, motion);
    return motion;
}

} // namespace tideplot
