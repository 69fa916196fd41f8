#include "replay/leaderboard.h"

#include "core/datetime.h"
#include "core/error.h"
#include "core/racehandicap.h"

#include <algorithm>
#include <cmath>

namespace tideplot {

namespace {

// The watch sees boat `boat` drawn up to `at` at the race clock.
void Observe(CourseWatch& watch, int boat, const TrackPoint& at, double raceClock)
{
    if (boat < watch.BoatCount())
        watch.Observe(boat, at.Lat, at.Lon, raceClock);
}

void ObserveStep(CourseWatch& watch, const ReplaySeries& series, long long step)
{
    series.forEachPiece(step, step,
                        [&watch](const DrawnPiece& piece) { Observe(watch, piece.Boat, piece.To, piece.RaceClock); });
}

// A finish at the race clock of a step counts at that step: the clock in days carries the
// floating-point error of its seconds.
constexpr double kClockSlackSeconds = 1e-6;

} // namespace

void Leaderboard::setCourse(const std::optional<Course>& course)
{
    geometry_ = course ? std::make_shared<const CourseGeometry>(*course) : nullptr;
    course_ = course;
    watch_.reset();
    finishes_.clear();
    watchedStep_ = 0;
    if (geometry_) {
        watch_.emplace(geometry_, static_cast<int>(fleet_.Boats.size()));
        for (const FleetBoat& boat : fleet_.Boats) {
            finishes_.push_back(
                {std::make_unique<TrackFinishReader>(boat.TrackFile, boat.SepChar, boat.StartTime, boat.Lys, geometry_),
                 std::nullopt});
            if (fleet_.Handicap)
                finishes_.back().Reader->setHandicap(fleet_.Handicap, static_cast<int>(finishes_.size()) - 1);
        }
    }
    takeSnapshots();
}

void Leaderboard::readFinishes()
{
    for (Finish& finish : finishes_) {
        if (!finish.Reader)
            continue;
        try {
            finish.CorrectedSeconds = finish.Reader->FinishedBy(raceClockDays_ * kSecondsPerDay + kClockSlackSeconds);
        } catch (const Error&) {
            // The replay tells what is wrong with the file when it gets there; the drawn
            // track finishes meanwhile.
            finish.Reader.reset();
            finish.CorrectedSeconds.reset();
        }
    }
}

void Leaderboard::setFinishLine(const std::optional<FinishLine>& line)
{
    if (!line) {
        setCourse(std::nullopt);
        return;
    }
    Course course = course_.value_or(Course{});
    course.Finish = line;
    setCourse(course);
}

void Leaderboard::seriesChanged(const ReplaySeries& series)
{
    series_ = &series;
    takeSnapshots();
}

void Leaderboard::takeSnapshots()
{
    snapshots_.clear();
    if (!watch_ || !series_)
        return;
    CourseWatch watch = *watch_;
    watch.Reset();
    for (long long step = 1; step <= series_->stepCount(); ++step) {
        ObserveStep(watch, *series_, step);
        if (step % kSnapshotSteps == 0)
            snapshots_.push_back(watch);
    }
}

void Leaderboard::raceStarted(const FleetInfo& fleet)
{
    fleet_ = fleet;
    raceClockDays_ = kRaceClockAtStart;
    setCourse(course_);
}

void Leaderboard::frame(const FleetFrame& frame)
{
    for (std::size_t k = 0; watch_ && k < frame.Boats.size(); ++k)
        if (frame.Boats[k].Drawn)
            Observe(*watch_, static_cast<int>(k), frame.Boats[k].To, frame.RaceClock);
    watchedStep_ = frame.Step;
    raceClockDays_ = frame.RaceClock;
    readFinishes();
}

void Leaderboard::rewound(const FleetFrame& frame, const ReplaySeries& series, long long keptSteps)
{
    if (!watch_)
        return;
    // From the step it stood at when the replay went on from there, unless a snapshot lies
    // beyond it: from the last snapshot at or before the step, or from the start.
    const auto usable = static_cast<std::size_t>(
        std::min<long long>(frame.Step / kSnapshotSteps, static_cast<long long>(snapshots_.size())));
    const long long snapshotStep = static_cast<long long>(usable) * kSnapshotSteps;
    long long from = keptSteps;
    if (keptSteps == 0 || keptSteps != watchedStep_ || snapshotStep > keptSteps) {
        if (usable > 0)
            *watch_ = snapshots_[usable - 1];
        else
            watch_->Reset();
        from = snapshotStep;
    }
    for (long long step = from + 1; step <= frame.Step; ++step)
        ObserveStep(*watch_, series, step);
    watchedStep_ = frame.Step;
    raceClockDays_ = frame.RaceClock;
    readFinishes();
}

std::vector<LeaderboardRow> Leaderboard::rows() const
{
    std::vector<LeaderboardRow> rows;
    if (!watch_)
        return rows;
    for (int k = 0; k < watch_->BoatCount(); ++k) {
        LeaderboardRow row;
        row.Boat = k;
        if (const Finish& finish = finishes_.at(static_cast<std::size_t>(k)); finish.Reader) {
            row.Finished = finish.CorrectedSeconds.has_value();
            row.CorrectedSeconds = finish.CorrectedSeconds.value_or(0);
        } else {
            row.Finished = watch_->Finished(k);
            row.CorrectedSeconds = watch_->FinishRaceClock(k) * kSecondsPerDay;
            if (fleet_.Handicap && row.Finished)
                row.CorrectedSeconds = fleet_.Handicap->Corrected(
                    k, fleet_.Handicap->ElapsedAtClock(k, watch_->FinishRaceClock(k)) * kSecondsPerDay, 1.0);
        }
        row.DistanceNm = row.Finished ? 0 : watch_->DistanceNm(k);
        rows.push_back(row);
    }
    // Finished boats by corrected time as shown, as the results rank them, then the others by
    // the course still to sail (those not yet drawn last), each in race file order when equal.
    std::stable_sort(rows.begin(), rows.end(), [](const LeaderboardRow& a, const LeaderboardRow& b) {
        if (a.Finished != b.Finished)
            return a.Finished;
        if (a.Finished)
            return ShownSeconds(a.CorrectedSeconds) < ShownSeconds(b.CorrectedSeconds);
        if ((a.DistanceNm < 0) != (b.DistanceNm < 0))
            return b.DistanceNm < 0;
        return a.DistanceNm < b.DistanceNm;
    });
    const auto firstFinish = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r.Finished; });
    const auto firstSailing =
        std::find_if(rows.begin(), rows.end(), [](const auto& r) { return !r.Finished && r.DistanceNm >= 0; });
    for (std::size_t i = 0; i < rows.size(); ++i) {
        LeaderboardRow& row = rows[i];
        const bool tied = i > 0 && row.Finished && rows[i - 1].Finished &&
                          ShownSeconds(rows[i - 1].CorrectedSeconds) == ShownSeconds(row.CorrectedSeconds);
        row.Rank = tied ? rows[i - 1].Rank : static_cast<int>(i) + 1;
        if (row.Finished && &row != &*firstFinish) {
            row.HasGap = true;
            row.AheadSeconds = firstFinish->CorrectedSeconds;
        } else if (!row.Finished && row.DistanceNm >= 0 && &row != &*firstSailing) {
            row.HasGap = true;
            row.GapNm = row.DistanceNm - firstSailing->DistanceNm;
        }
    }
    return rows;
}

} // namespace tideplot
