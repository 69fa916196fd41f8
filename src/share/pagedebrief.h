#pragma once

#include "analysis/raceanalysis.h"
#include "core/workpool.h"

#include <memory>
#include <string>
#include <vector>

// The debrief on the web page: the race's analysis (the one `tideplot analyse` and the
// Analysis window make, by the same code and options) worked out on the program's pool while
// the replay plays the page's steps, then written into the page's data:
// - "analysis": the JSON of `tideplot analyse --json` (AnalysisJson), packed: the wind, each
//   boat's totals, manoeuvres, start and legs, which the page shows as they are;
// - "every" and "motion": each boat's speed, course and VMG at every `every`-th step of the
//   page, as the Analysis window's speed graph reads them out at that race time (the fix
//   nearest it, none beyond a minute), packed per boat (MotionStream).
namespace tideplot {

// The most boat-steps of speed, course and VMG a page holds: beyond, every n-th step.
inline constexpr long long kMostDebriefBoatSteps = 1'200'000;

// A boat's speed (tenths of a knot), course (whole degrees) and VMG (tenths of a knot) at
// each of `raceSeconds` (ascending, race time: elapsed since the boat's start x LYS), as the
// Analysis window reads them out: per moment a 0 where no fix lies within a minute, else
// 1 + the zig-zag change of the speed from the last speed written, the course's change
// (signed, -180 to 179), and 0 where the VMG is not known or 1 + its zig-zag change.
std::string MotionStream(const BoatAnalysis& boat, const WindEstimate& wind, const std::vector<double>& raceSeconds);

class PageDebrief {
public:
    // Opens the race as `tideplot analyse` does (its course file's wind lines and course) and
    // starts its analysis on the program's pool. A race the analysis cannot take gives a page
    // without the debrief (why() says why).
    explicit PageDebrief(const std::string& raceFile);
    // Stops the analysis when it is still running.
    ~PageDebrief();
    PageDebrief(const PageDebrief&) = delete;
    PageDebrief& operator=(const PageDebrief&) = delete;

    // The race clock (days) of the page's next step.
    void step(double raceClockDays) { clocks_.push_back(raceClockDays * 86400.0); }
    // Waits for the analysis; then ",\"debrief\":{...}" for the page's data of `boats` boats,
    // or "" without an analysis of that many boats.
    std::string json(std::size_t boats);
    const std::string& why() const { return why_; }

private:
    std::shared_ptr<JobOutcome<RaceAnalysis>> job_;
    std::vector<double> clocks_; // race seconds of every step from 1
    std::string why_;
};

} // namespace tideplot
