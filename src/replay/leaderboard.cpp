#include "replay/leaderboard.h"

#include <algorithm>
#include <cmath>

namespace tideplot {

void Leaderboard::setFinishLine(const std::optional<FinishLine>& line)
{
    line_ = line;
    watch_.reset();
    if (line_)
        watch_.emplace(*line_, boats_);
}

void Leaderboard::raceStarted(const FleetInfo& fleet)
{
    boats_ = static_cast<int>(fleet.Boats.size());
    setFinishLine(line_);
}

void Leaderboard::observe(int boat, const TrackPoint& at, double raceClock)
{
    if (watch_ && boat < watch_->BoatCount())
        watch_->Observe(boat, at.Lat, at.Lon, raceClock);
}

void Leaderboard::frame(const FleetFrame& frame)
{
    for (std::size_t k = 0; k < frame.Boats.size(); ++k)
        if (frame.Boats[k].Drawn)
            observe(static_cast<int>(k), frame.Boats[k].To, frame.RaceClock);
}

void Leaderboard::rewound(const FleetFrame& frame, const ReplaySeries& series, long long keptSteps)
{
    if (keptSteps == 0 && watch_)
        watch_->Reset();
    if (watch_)
        series.forEachPiece(keptSteps + 1, frame.Step,
                            [this](const DrawnPiece& piece) { observe(piece.Boat, piece.To, piece.RaceClock); });
}

std::vector<LeaderboardRow> Leaderboard::rows() const
{
    std::vector<LeaderboardRow> rows;
    if (!watch_)
        return rows;
    for (int k = 0; k < watch_->BoatCount(); ++k) {
        LeaderboardRow row;
        row.Boat = k;
        row.Finished = watch_->Finished(k);
        row.CorrectedDays = watch_->FinishRaceClock(k);
        row.DistanceNm = watch_->DistanceNm(k);
        rows.push_back(row);
    }
    // Finished boats by corrected time, then the others by their distance to the line
    // (those not yet drawn last), each in race file order when equal.
    std::stable_sort(rows.begin(), rows.end(), [](const LeaderboardRow& a, const LeaderboardRow& b) {
        if (a.Finished != b.Finished)
            return a.Finished;
        if (a.Finished)
            return a.CorrectedDays < b.CorrectedDays;
        if ((a.DistanceNm < 0) != (b.DistanceNm < 0))
            return b.DistanceNm < 0;
        return a.DistanceNm < b.DistanceNm;
    });
    const auto firstFinish = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r.Finished; });
    const auto firstSailing =
        std::find_if(rows.begin(), rows.end(), [](const auto& r) { return !r.Finished && r.DistanceNm >= 0; });
    for (LeaderboardRow& row : rows) {
        if (row.Finished && &row != &*firstFinish) {
            row.HasGap = true;
            row.GapDays = row.CorrectedDays - firstFinish->CorrectedDays;
        } else if (!row.Finished && row.DistanceNm >= 0 && &row != &*firstSailing) {
            row.HasGap = true;
            row.GapNm = row.DistanceNm - firstSailing->DistanceNm;
        }
    }
    return rows;
}

} // namespace tideplot
