#include "replay/timelinebudget.h"

#include "core/datetime.h"
#include "core/replay.h"
#include "core/replayseries.h"

#include <algorithm>
#include <cmath>

namespace tideplot {

namespace {

// The estimate of a race's steps at another resolution may miss its last step or two.
constexpr long long kEstimateMarginSteps = 16;
// What a checkpoint holds a boat beyond its fixed part: the two track lines around it.
constexpr std::size_t kCheckpointLineBytes = 2 * 64;

// `seconds` rounded up to two significant digits, a resolution a user types: 0.2347 -> 0.24.
double RoundUpToTwoDigits(double seconds)
{
    const double scale = std::pow(10.0, std::floor(std::log10(seconds)) - 1);
    return std::ceil(seconds / scale - 1e-9) * scale;
}

} // namespace

std::size_t TimelineBytes(int boats, long long steps)
{
    const auto blocks = static_cast<long long>(ReplaySeries::kBlockSteps);
    const long long stored = (std::max(steps, 0LL) + blocks - 1) / blocks * blocks;
    const auto checkpoints = static_cast<std::size_t>(std::max(steps, 0LL) / kCheckpointSteps + 1);
    const std::size_t checkpoint = sizeof(RaceCheckpoint) + static_cast<std::size_t>(std::max(boats, 0)) *
                                                                (sizeof(RaceCheckpoint::Boat) + kCheckpointLineBytes);
    return ReplaySeries::BytesFor(boats, stored) + checkpoints * checkpoint;
}

long long EstimatedSteps(double endClock, double resolutionSeconds)
{
    const double span = (endClock - kRaceClockAtStart) * kSecondsPerDay;
    return static_cast<long long>(std::floor(std::max(span, 0.0) / resolutionSeconds + 1e-9)) + 1;
}

bool TimelineVerdict::operator==(const TimelineVerdict& other) const
{
    return Steps == other.Steps && ResolutionSeconds == other.ResolutionSeconds && NeededBytes == other.NeededBytes &&
           BudgetBytes == other.BudgetBytes && WholeBytes == other.WholeBytes && FinestSeconds == other.FinestSeconds;
}

TimelineVerdict JudgeTimeline(double endClock, int boats, MemoryBudget budget, double resolutionSeconds)
{
    TimelineVerdict verdict;
    verdict.Steps = EstimatedSteps(endClock, resolutionSeconds);
    verdict.ResolutionSeconds = resolutionSeconds;
    verdict.NeededBytes = TimelineBytes(boats, verdict.Steps + kEstimateMarginSteps);
    verdict.BudgetBytes = budget.TimelineBytes;
    verdict.WholeBytes = budget.WholeBytes;
    if (verdict.fits())
        return verdict;
    // The most steps the budget holds, and the resolution that takes no more.
    long long fitting = 0;
    for (long long step = std::size_t{1} << 40; step > 0; step /= 2)
        if (TimelineBytes(boats, fitting + step + kEstimateMarginSteps) <= budget.TimelineBytes)
            fitting += step;
    const double span = (endClock - kRaceClockAtStart) * kSecondsPerDay;
    const double finest = fitting > 1 ? RoundUpToTwoDigits(span / static_cast<double>(fitting - 1)) : 0;
    verdict.FinestSeconds = fitting > 1 && ValidResolution(finest) ? finest : 0;
    return verdict;
}

} // namespace tideplot
