#pragma once

#include "core/error.h"

#include <cstddef>

// The replay's timeline against its memory budget: the bytes a timeline holds, the steps a
// race takes at another resolution, and the verdict when they would not fit (as numbers: the
// windows write them out).
namespace tideplot {

// The timeline keeps the race state every kCheckpointSteps steps (checkpoint i stands before
// step i * kCheckpointSteps + 1).
inline constexpr long long kCheckpointSteps = 256;

// The most the replay may hold, and the part of it the timeline may.
struct MemoryBudget {
    std::size_t TimelineBytes = 0;
    std::size_t WholeBytes = 0;
};

// The bytes a timeline of `steps` steps of `boats` boats holds: its series and its checkpoints.
std::size_t TimelineBytes(int boats, long long steps);

// The steps of a race that ends at `endClock` at another resolution.
long long EstimatedSteps(double endClock, double resolutionSeconds);

// A race's timeline at a resolution against the budget.
struct TimelineVerdict {
    long long Steps = 0;          // the race's steps at the resolution (from where it ends)
    double ResolutionSeconds = 0; // that resolution
    std::size_t NeededBytes = 0;  // what its timeline would hold (a few steps to spare)
    std::size_t BudgetBytes = 0;  // what the timeline may hold
    std::size_t WholeBytes = 0;   // of what the replay may hold
    double FinestSeconds = 0;     // the finest resolution that fits; 0: none does
    // A timeline found beyond its budget while building it though its estimate fits (within a
    // step or two of the budget) has a verdict that fits, all the same.
    bool fits() const { return NeededBytes <= BudgetBytes; }
    bool operator==(const TimelineVerdict& other) const;
    bool operator!=(const TimelineVerdict& other) const { return !(*this == other); }
};

// The verdict on the timeline of `boats` boats and a race that ends at `endClock` at a
// resolution (FinestSeconds is found only when it does not fit).
TimelineVerdict JudgeTimeline(double endClock, int boats, MemoryBudget budget, double resolutionSeconds);

// What the replay throws when asked to play or go to a moment, or to take settings, that its
// timeline does not fit: the verdict, for the window to say.
class TimelineOverBudget : public Error {
public:
    explicit TimelineOverBudget(const TimelineVerdict& verdict)
        : Error("the replay's timeline does not fit its memory budget"), verdict_(verdict)
    {
    }
    const TimelineVerdict& verdict() const { return verdict_; }

private:
    TimelineVerdict verdict_;
};

} // namespace tideplot
