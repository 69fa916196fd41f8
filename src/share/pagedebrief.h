#pragma once

#include "analysis/raceanalysis.h"
#include "core/workpool.h"

#include <memory>
#include <string>
#include <vector>

// The debrief on the web page: the race's analysis (the one `tideplot analyse` and the
// Analysis window make, by the same code and options) worked out on the program's pool while
// the replay plays the page's steps, then written into the page's data as "debrief":
// - "analysis": each boat's "row", "start" and "legs" as `tideplot analyse --json` writes
//   them (AppendBoatDebriefJson), packed; "wind" and "line", the wind and the start line as
//   the Analysis window says them;
// - "every" and "boats": per boat [its speed, course and VMG at every `every`-th step of the
//   page (MotionStream), its tacks and gybes (ManoeuvreStream)], each packed.
namespace tideplot {

// The most boat-steps of speed, course and VMG a page holds: beyond, every n-th step.
inline constexpr long long kMostDebriefBoatSteps = 600'000;

// A boat's speed (tenths of a knot), course (whole degrees) and VMG (tenths of a knot) at
// each of `raceSeconds` (ascending, race time: elapsed since the boat's start x LYS), as the
// Analysis window reads them out, in three runs one after the other: per moment a 0 where no
// fix lies within a minute, else 1 + the zig-zag change of the speed from the last speed
// written; then, for each moment with a speed, the course's change (signed, -180 to 179);
// then for each the VMG: 0 where it is not known, else 1 + its zig-zag change.
std::string MotionStream(const BoatAnalysis& boat, const WindEstimate& wind, const std::vector<double>& raceSeconds);

// A boat's tacks and gybes from its start on (those `analyse` counts), in time order: per
// manoeuvre the zig-zag change of its race time (whole seconds, as its race_time reads) times
// two, plus one for a gybe; then the signed changes of its latitude and longitude in
// millionths of a degree.
std::string ManoeuvreStream(const BoatAnalysis& boat);

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
