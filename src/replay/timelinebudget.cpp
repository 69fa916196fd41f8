#include "replay/timelinebudget.h"

#include "core/datetime.h"
#include "core/replay.h"
#include "core/text.h"
#include "replay/replaysession.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tideplot {

namespace {

// The estimate of a race's steps at another resolution may miss its last step or two.
constexpr long long kEstimateMarginSteps = 16;

// `seconds` rounded up to two significant digits, a resolution a user types: 0.2347 -> 0.24.
double RoundUpToTwoDigits(double seconds)
{
    const double scale = std::pow(10.0, std::floor(std::log10(seconds)) - 1);
    return std::ceil(seconds / scale - 1e-9) * scale;
}

} // namespace

std::string MegabytesText(std::size_t bytes)
{
    const double megabytes = static_cast<double>(bytes) / (1 << 20);
    char text[32];
    std::snprintf(text, sizeof text, megabytes < 100 ? "%.1f MB" : "%.0f MB", megabytes);
    return text;
}

long long EstimatedSteps(double endClock, double resolutionSeconds)
{
    const double span = (endClock - kRaceClockAtStart) * kSecondsPerDay;
    return static_cast<long long>(std::floor(std::max(span, 0.0) / resolutionSeconds + 1e-9)) + 1;
}

std::string BudgetProblem(double endClock, int boats, std::size_t budgetBytes, std::size_t wholeBytes,
                          double resolutionSeconds)
{
    const long long steps = EstimatedSteps(endClock, resolutionSeconds);
    const std::size_t needed = ReplaySession::TimelineBytes(boats, steps + kEstimateMarginSteps);
    if (needed <= budgetBytes)
        return {};
    // The most steps the budget holds, and the resolution that takes no more.
    long long fitting = 0;
    for (long long step = std::size_t{1} << 40; step > 0; step /= 2)
        if (ReplaySession::TimelineBytes(boats, fitting + step + kEstimateMarginSteps) <= budgetBytes)
            fitting += step;
    // (Built by appending: GCC 12 warns of an overlap in an inserted prefix, wrongly.)
    std::string text = "the race takes ";
    text += std::to_string(steps);
    text += " steps at a resolution of ";
    text += ShortNumberText(resolutionSeconds);
    text += " s, and its timeline would need ";
    text += MegabytesText(needed);
    text += ", more than the ";
    text += MegabytesText(budgetBytes);
    if (wholeBytes > budgetBytes) {
        text += " it may have of the ";
        text += MegabytesText(wholeBytes);
    }
    text += " the replay may use (the setting Replay/MemoryMB): ";
    const double span = (endClock - kRaceClockAtStart) * kSecondsPerDay;
    const double finest = fitting > 1 ? RoundUpToTwoDigits(span / static_cast<double>(fitting - 1)) : 0;
    if (fitting > 1 && ValidResolution(finest)) {
        text += "the finest resolution that fits is ";
        text += ShortNumberText(finest);
        text += " s";
    } else {
        text += "no resolution up to ";
        text += ShortNumberText(kMaxResolutionSeconds);
        text += " s fits";
    }
    return text;
}

} // namespace tideplot
