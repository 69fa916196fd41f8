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
// boat's finish is the results' own (results.h, courseprogress.h: the course sailed by the
// fixes of its track file, read as far as the race clock has come), shown once the race
// clock reaches that corrected time; so the leaderboard at the end of the race ranks, times
// and ties the boats exactly as the results table does. Where they are still sailing, the
// boats sail the course as the replay draws them (CourseWatch: from the pieces drawn, on the
// race clock), which also finishes a boat whose track file cannot be read. It follows the
// pieces drawn, so after a seek it stands as if the replay had played to that step.
namespace tideplot {

struct LeaderboardRow {
    int Boat = 0; // index in the race file
    // 1 up: its place in the leaderboard, shared by boats finished in the same corrected time
    // as shown (as the results' ranks are).
    int Rank = 0;
    bool Finished = false;
    double CorrectedSeconds = 0; // its corrected time at the finish
    double DistanceNm = -1;      // the course still to sail; negative before the boat is drawn
    // Its gap to the one ahead of them all: a finished boat's behind the first to finish
    // (that boat's corrected time), a sailing boat's behind the nearest sailing (nautical
    // miles); none for those two themselves and for a boat not yet drawn.
    bool HasGap = false;
    double AheadSeconds = 0;
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

    // Each boat's finish from its track file, read as far as the race clock has come.
    struct Finish {
        std::unique_ptr<TrackFinishReader> Reader; // none when the file cannot be read: the drawn track finishes
        std::optional<double> CorrectedSeconds;    // once the race clock has reached it
    };
    void readFinishes();

    std::optional<Course> course_;
    FleetInfo fleet_;
    std::vector<Finish> finishes_;
    double raceClockDays_ = 0; // where the replay stands
    std::shared_ptr<const CourseGeometry> geometry_;
    std::optional<CourseWatch> watch_;
    const ReplaySeries* series_ = nullptr; // the series of the race, once it has one
    long long watchedStep_ = 0;            // the steps the watch has observed
    std::vector<CourseWatch> snapshots_;   // snapshot i: the watch after step (i + 1) * kSnapshotSteps
};

} // namespace tideplot
