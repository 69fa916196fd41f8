#pragma once

#include <cstddef>
#include <string>

// The replay's timeline against its memory budget: the steps a race takes at another
// resolution, and what to say when they would not fit.
namespace tideplot {

// "12.3 MB", "256 MB".
std::string MegabytesText(std::size_t bytes);

// The steps of a race that ends at `endClock` at another resolution.
long long EstimatedSteps(double endClock, double resolutionSeconds);

// Why the timeline of `boats` boats and a race that ends at `endClock` would not fit
// `budgetBytes` (of the `wholeBytes` the replay may use) at a resolution: the steps, the bytes
// and the finest resolution that fits ("" when it fits).
std::string BudgetProblem(double endClock, int boats, std::size_t budgetBytes, std::size_t wholeBytes,
                          double resolutionSeconds);

} // namespace tideplot
