#pragma once

#include "analysis/raceanalysis.h"
#include "core/workpool.h"

#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The race analysis of a replay (src/analysis), worked out on the program's pool (WorkPool) so
// that the windows never wait for it: a 64-boat day logged every second takes some seconds. Started at
// Start, cancelled when the replay closes. Its result is read on the thread that started it,
// and judged there against another wind (cheap: no track is read again).
namespace tideplot {

class AnalysisRun {
public:
    AnalysisRun();
    // Cancels a run under way without waiting for it: its job stops at its next boat.
    ~AnalysisRun();
    AnalysisRun(const AnalysisRun&) = delete;
    AnalysisRun& operator=(const AnalysisRun&) = delete;

    // Analyses the boats (BoatSources, taken while the replay has their track files open),
    // the wind estimated from the fleet; `done` is called on this thread when the result is
    // there or the analysis failed. Forgets the last result; a run under way is cancelled.
    // The result keeps at most `mostSamplesKept` samples (AnalysisOptions; 0: every fix). The
    // course and the wind lines are the course file's (AnalysisOptions::RaceCourse, WindLines).
    void start(std::vector<BoatSource> boats, std::function<void()> done, std::size_t mostSamplesKept = 0,
               std::optional<Course> course = std::nullopt, std::vector<TypedWind> windLines = {});
    // Stops a run under way without waiting for it: its `done` is never called. A result
    // already there is kept.
    void cancel();

    bool running() const { return job_ != nullptr; }
    // The result once it is there; null before, after a failure and after a cancel.
    const RaceAnalysis* result() const { return result_.get(); }
    // Why the last run failed: the track file, its line and the fault ("" when it did not).
    const std::string& failure() const { return failure_; }
    // The seconds the last run took from start to its result.
    double seconds() const { return seconds_; }

    // The turns judged anew against a wind from `windFromDeg`, or estimated from the fleet
    // again (none). Nothing without a result.
    void setWind(std::optional<double> windFromDeg);

private:
    void lookAtJob(); // the run's end taken, and `done` called

    std::shared_ptr<JobOutcome<RaceAnalysis>> job_; // the run under way
    std::function<void()> done_;
    QTimer look_;
    QElapsedTimer elapsed_;
    std::unique_ptr<RaceAnalysis> result_;
    std::string failure_;
    double seconds_ = 0;
};

} // namespace tideplot
