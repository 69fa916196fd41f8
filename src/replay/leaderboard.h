#pragma once

#include "core/course.h"
#include "core/courseprogress.h"
#include "core/results.h"
#include "replay/fleetframe.h"

#include <memory>
#include <optional>
#include <vector>

// The live leaderboard of a replay with a course (or a finish line alone): the boats that
// have finished, by corrected time, then those still sailing, by the course they still have
// to sail (the distance to the next mark or gate, or line, and the legs after it; with a
// finish line alone, the distance to it), each with its gap to the one ahead of them all. A
// boat sails the course as the replay draws it (CourseWatch: its start, roundings and finish
// from the pieces drawn, on the race clock), so its finish comes at its corrected time. It
// follows the pieces drawn, so after a seek it stands as if the replay had played to that
// step. The results table itself comes from the track files (results.h); where the two differ
// (a crossing inside a gap of the log, a corner cut between steps), the table holds.
namespace tideplot {

struct LeaderboardRow {
    int Boat = 0; // index in the race file
    bool Finished = false;
    double CorrectedDays = 0; // the race clock at its finish: its corrected time
    double DistanceNm = -1;   // the course still to sail; negative before the boat is drawn
    // Its gap to the one ahead of them all: a finished boat's behind the first to finish
    // (days of corrected time), a sailing boat's behind the nearest sailing (nautical
    // miles); none for those two themselves and for a boat not yet drawn.
    bool HasGap = false;
    double GapDays = 0;
    double GapNm = 0;
};

class Leaderboard : public FrameObserver {
public:
    // The course the boats race; none: no leaderboard. Throws Error as CourseGeometry.
    void setCourse(const std::optional<Course>& course);
    const std::optional<Course>& course() const { return course_; }
    // The finish line of the course, in place of the one it had (a course of the finish line
    // alone when there was none); none: no leaderboard.
    void setFinishLine(const std::optional<FinishLine>& line);
    std::optional<FinishLine> finishLine() const { return course_ ? course_->Finish : std::nullopt; }

    void raceStarted(const FleetInfo& fleet) override;
    void seriesChanged(const ReplaySeries& series) override;
    void frame(const FleetFrame& frame) override;
    // Goes on from the step it stood at when the replay went on from there; otherwise from
    // the last of its snapshots before the step (every kSnapshotSteps steps of the series,
    // taken when the series or the line is new), so a seek observes at most that many steps
    // or those it went on by.
    void rewound(const FleetFrame& frame, const ReplaySeries& series, long long keptSteps) override;

    // The boats in leaderboard order; empty without a finish line.
    std::vector<LeaderboardRow> rows() const;

    static constexpr long long kSnapshotSteps = 1024;

private:
    // The watch at every kSnapshotSteps-th step of the series: the whole race observed once
    // (a 64-boat day at one second a step, some 7 million pieces, in a few tens of ms).
    void takeSnapshots();

    std::optional<Course> course_;
    std::shared_ptr<const CourseGeometry> geometry_;
    std::optional<CourseWatch> watch_;
    const ReplaySeries* series_ = nullptr; // the series of the race, once it has one
    long long watchedStep_ = 0;            // the steps the watch has observed
    std::vector<CourseWatch> snapshots_;   // snapshot i: the watch after step (i + 1) * kSnapshotSteps
    int boats_ = 0;
};

} // namespace tideplot
