#include "motion.h"

#include "fixfilter.h"
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
#include <limits>
#include <system_error>
#include <utility>

namespace tideplot {

using namespace trackmotion;

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

// The steady sailing and the distance at fixes `from` to `to` of a piece, each with the leg
// to the fix after it when the piece holds it: the seconds sailed steadily at each course
// (where the course changes by less than 15 degrees about a fix, `change` being FindTurns'),
// and from the start the metres sailed, along the smoothed speeds, straight across a gap of
// more than `gapSeconds`.
void TallyCoursesAndDistance(const Plane& plane, const std::vector<MotionSample>& out, const std::vector<float>& change,
                             double gapSeconds, std::size_t from, std::size_t to, BoatMotion& motion, double& metres)
{
    const std::vector<double>& t = plane.t;
    const std::size_t n = out.size();
    for (std::size_t i = from; i < to; ++i) {
        const double h = i + 1 < n ? t[i + 1] - t[i] : 0;
        const MotionSample& s = out[i];
        if (h > 0 && h <= gapSeconds && std::isfinite(change[i]) && std::fabs(change[i]) < 15 && s.SpeedKn >= 1.5) {
            const auto bin = std::min<std::size_t>(71, static_cast<std::size_t>(s.CourseDeg / 5));
            motion.SteadyCourseSeconds[bin] += static_cast<float>(h);
        }
        if (s.Seconds < 0 || i + 1 >= n)
            continue;
        const MotionSample& next = out[i + 1];
        if (h <= gapSeconds && std::isfinite(s.SpeedKn) && std::isfinite(next.SpeedKn))
            metres += 0.5 * (s.SpeedKn + next.SpeedKn) * kMetresPerKnotSecond * h;
        else
            metres += Length(plane.x[i + 1] - plane.x[i], plane.y[i + 1] - plane.y[i]);
    }
}

// The first of the samples whose time is at or after `seconds`.
std::size_t IndexOfSeconds(const std::vector<MotionSample>& samples, double seconds)
{
    return static_cast<std::size_t>(std::lower_bound(samples.begin(), samples.end(), seconds,
                                                     [](const MotionSample& s, double at) { return s.Seconds < at; }) -
                                    samples.begin());
}

// A track's fixes analysed a piece at a time, each stretch between jumps on its own. A piece
// takes five minutes (or 40 intervals) of fixes either side along, so that the turns about its
// ends and the speeds there are those of the whole track; it keeps the turns that start
// within it and hands on its samples.
class TrackPieces {
public:
    using Samples = std::function<void(const MotionSample* samples, std::size_t count)>;
    TrackPieces(std::string label, const TrackCharacter& character, const TrackAnalysisOptions& options,
                BoatMotion& motion, Samples samples)
        : label_(std::move(label)), character_(character), options_(options), motion_(motion),
          samples_(std::move(samples)), piece_(std::max<std::size_t>(16, options.PieceFixes)),
          contextSeconds_(std::max(300.0, 40 * character.IntervalSeconds))
    {
    }

    void add(const MotionSample& sample, bool afterJump)
    {
        if (afterJump)
            endStretch();
        buffer_.push_back(sample);
        if (buffer_.size() >= piece_)
            run(false);
    }
    // A whole stretch between jumps, shorter than a piece, and its plane when it is known.
    void addStretch(std::vector<MotionSample>&& stretch, const Plane* plane = nullptr)
    {
        endStretch();
        buffer_ = std::move(stretch);
        plane_ = plane;
        endStretch();
    }
    // Ends the last stretch; the distance is the motion's from then.
    void finish()
    {
        endStretch();
        motion_.DistanceNm = metres_ / 1852.0;
    }

private:
    void endStretch()
    {
        if (!buffer_.empty())
            run(true);
        plane_ = nullptr;
    }
    void run(bool last);
    void analyse(std::size_t from, std::size_t to, double lower, double upper);

    std::string label_;
    const TrackCharacter& character_;
    const TrackAnalysisOptions& options_;
    BoatMotion& motion_;
    Samples samples_;
    std::size_t piece_;
    double contextSeconds_;
    std::vector<MotionSample> buffer_; // the piece: the fixes before ownFrom_ are the last piece's
    const Plane* plane_ = nullptr;     // the buffer's, when addStretch was given it
    std::size_t ownFrom_ = 0;
    double metres_ = 0;
    bool stopped_ = false;
};

void TrackPieces::run(bool last)
{
    if (stopped_ || (options_.Cancel && options_.Cancel->load())) {
        stopped_ = true;
        buffer_.clear();
        return;
    }
    const std::size_t n = buffer_.size();
    const std::size_t most = piece_ / 4; // the most fixes taken along either side
    constexpr double kAll = std::numeric_limits<double>::infinity();
    if (last) {
        analyse(ownFrom_, n, ownFrom_ > 0 ? buffer_[ownFrom_].Seconds : -kAll, kAll);
        buffer_.clear();
        ownFrom_ = 0;
        return;
    }
    const std::size_t to = std::max(IndexOfSeconds(buffer_, buffer_.back().Seconds - contextSeconds_), n - most);
    analyse(ownFrom_, to, ownFrom_ > 0 ? buffer_[ownFrom_].Seconds : -kAll, buffer_[to].Seconds);
    const std::size_t keep = std::max(IndexOfSeconds(buffer_, buffer_[to].Seconds - contextSeconds_), to - most);
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(keep));
    ownFrom_ = to - keep;
}

// Analyses the piece, and takes its fixes `from` to `to` and the turns that start from
// `lower` up to `upper`.
void TrackPieces::analyse(std::size_t from, std::size_t to, double lower, double upper)
{
    for (MotionSample& s : buffer_)
        s.SpeedKn = s.CourseDeg = kNoValue;
    Plane own;
    if (!plane_)
        own = ToPlane(buffer_);
    const Plane& plane = plane_ ? *plane_ : own;
    const LineSums sums(plane);
    std::vector<Turn> turns;
    std::vector<float> change;
    double gapSeconds = 0;
    {
        const Smoothed turnFit = LocalLinear(plane, character_.TurnHalfWindow);
        const TurnSearch search = MakeTurnSearch(plane, sums, turnFit, character_);
        turns = FindTurns(search, change);
        gapSeconds = search.gapSeconds;
    }
    SmoothSeries(plane, sums, character_, turns, buffer_);
    TallyCoursesAndDistance(plane, buffer_, change, gapSeconds, from, to, motion_, metres_);
    for (Turn& turn : turns) {
        if (options_.EverySample || turn.StartSeconds < lower || turn.StartSeconds >= upper)
            continue;
        if (options_.MostTurns > 0 && motion_.Turns.size() >= options_.MostTurns)
            throw Error(label_ + ": the track has more than " + std::to_string(options_.MostTurns) +
                        " turns, more than the analysis takes of one boat of this race");
        motion_.Turns.push_back(std::move(turn));
    }
    samples_(buffer_.data() + from, to - from);
}

// Hands `filter` the fixes of the track file as the replay takes them, each fix whose time is
// not after the fix before it passed over and counted.
void ReadFixes(const std::string& path, char sep, double startTime, std::size_t mostFixes, TrackReading& reading,
               FixFilter& filter)
{
    TrackFixReader reader(path, sep);
    TrackFix fix;
    long long last = 0;
    std::size_t taken = 0;
    reading.PassedOver = 0;
    reading.FirstPassedOverLine = 0;
    while (reader.next(fix)) {
        // Fix times and start times are whole seconds: rounding takes the date values'
        // floating-point error out of the seconds counted from the start.
        const double seconds = std::round((fix.Time - startTime) * kSecondsPerDay);
        if (!(std::fabs(seconds) < 2e9))
            ThrowAt(FileLabel(path), fix.Line, "the fix lies more than 60 years from the boat's start");
        const auto whole = static_cast<long long>(seconds);
        if (taken > 0 && whole <= last) {
            if (reading.PassedOver++ == 0)
                reading.FirstPassedOverLine = fix.Line;
            continue;
        }
        last = whole;
        if (taken++ >= mostFixes)
            ThrowAt(FileLabel(path), fix.Line,
                    "the track has more than " + std::to_string(mostFixes) +
                        " fixes, more than the analysis takes of one boat");
        MotionSample sample;
        sample.Seconds = static_cast<std::int32_t>(whole);
        sample.Lat7 = static_cast<std::int32_t>(std::llround(fix.Lat * 1e7));
        sample.Lon7 = static_cast<std::int32_t>(std::llround(FoldLongitude(fix.Lon) * 1e7));
        filter.add(sample, fix.Line);
    }
    filter.finish();
}

// The stretches one after the other (one stretch is not copied).
const std::vector<MotionSample>& Joined(const std::vector<std::vector<MotionSample>>& stretches,
                                        std::vector<MotionSample>& all)
{
    if (stretches.size() == 1)
        return stretches[0];
    for (const std::vector<MotionSample>& stretch : stretches)
        all.insert(all.end(), stretch.begin(), stretch.end());
    return all;
}

// Every n-th of `count` samples from the first, and the last, for at most `most` (0: all).
class SampleKeeper {
public:
    SampleKeeper(std::size_t count, std::size_t most, BoatMotion& motion) : count_(count), motion_(motion)
    {
        if (most > 0 && count > most) {
            most = std::max<std::size_t>(2, most);
            motion.KeptEvery = static_cast<int>((count - 1 + most - 2) / (most - 1));
        }
        motion.Samples.reserve((count + motion.KeptEvery - 1) / static_cast<std::size_t>(motion.KeptEvery) + 1);
    }
    void operator()(const MotionSample* samples, std::size_t n)
    {
        const auto every = static_cast<std::size_t>(motion_.KeptEvery);
        n = std::min(n, count_ - next_);
        if (every == 1)
            motion_.Samples.insert(motion_.Samples.end(), samples, samples + n);
        for (std::size_t i = 0; every > 1 && i < n; ++i)
            if ((next_ + i) % every == 0 || next_ + i + 1 == count_)
                motion_.Samples.push_back(samples[i]);
        next_ += n;
    }

private:
    std::size_t count_;
    BoatMotion& motion_;
    std::size_t next_ = 0;
};

} // namespace

BoatMotion AnalyseTrack(const std::string& path, char sep, double startTime, const TrackAnalysisOptions& options,
                        TrackReading& reading)
{
    reading = TrackReading{};
    BoatMotion motion;
    const std::size_t piece = std::max<std::size_t>(16, options.PieceFixes);
    // The first pass: how the track was logged, and the track itself while it is one piece.
    std::vector<std::vector<MotionSample>> stretches(1); // between jumps
    bool fits = true;
    CharacterTally tally;
    double started = kNaN, ended = kNaN;
    {
        std::error_code error;
        stretches[0].reserve(std::min<std::size_t>(std::filesystem::file_size(path, error) / 32, piece));
        FixFilter filter([&](const MotionSample& s, bool afterJump) {
            if (std::isnan(started) && s.Seconds >= 0)
                started = s.Seconds;
            ended = s.Seconds;
            if (fits && ++reading.Fixes > piece) {
                // Too long to hold: only told how it was logged from here on.
                fits = false;
                for (const std::vector<MotionSample>& stretch : stretches)
                    for (std::size_t i = 0; i < stretch.size(); ++i)
                        tally.add(stretch[i], i == 0 && &stretch != &stretches[0]);
                std::vector<std::vector<MotionSample>>().swap(stretches);
                --reading.Fixes;
            }
            if (fits) {
                if (afterJump)
                    stretches.emplace_back();
                stretches.back().push_back(s);
                return;
            }
            ++reading.Fixes;
            tally.add(s, afterJump);
        });
        ReadFixes(path, sep, startTime, options.MostFixes, reading, filter);
        reading.Glitches = filter.Glitches;
        reading.FirstGlitchLine = filter.FirstGlitchLine;
        reading.Jumps = filter.Jumps;
        reading.FirstJumpLine = filter.FirstJumpLine;
    }
    motion.SailingSeconds = std::isfinite(started) ? ended - started : 0;
    TrackPieces::Samples samples;
    if (options.EverySample)
        samples = [&every = options.EverySample](const MotionSample* s, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i)
                every(s[i]);
        };
    else
        samples = SampleKeeper(reading.Fixes, options.MostSamplesKept, motion);
    if (fits) {
        std::vector<MotionSample> all;
        const Plane plane = ToPlane(Joined(stretches, all));
        motion.Character = Characterise(plane);
        TrackPieces pieces(FileLabel(path), motion.Character, options, motion, samples);
        if (stretches.size() == 1)
            pieces.addStretch(std::move(stretches[0]), &plane);
        else
            for (std::vector<MotionSample>& stretch : stretches)
                pieces.addStretch(std::move(stretch));
        pieces.finish();
        return motion;
    }
    // The second pass: piece by piece, no more fixes than the first took.
    motion.Character = tally.result();
    TrackPieces pieces(FileLabel(path), motion.Character, options, motion, samples);
    std::size_t taken = 0;
    FixFilter filter([&](const MotionSample& s, bool afterJump) {
        if (taken++ < reading.Fixes)
            pieces.add(s, afterJump);
    });
    TrackReading again;
    ReadFixes(path, sep, startTime, options.MostFixes, again, filter);
    pieces.finish();
    return motion;
}

} // namespace tideplot
