#pragma once

// What every reader notes in its LogReadResult for each point of a log, usable or not.
// Internal to the log readers.

#include "logreader.h"

#include <cstdint>
#include <string>

namespace tideplot {

// A usable point at `second`, on line `line` of the log, in the log's track `trackId` (a
// number that changes where a track begins or ends): counted, with the times it tells of
// (first, last, out of order, before 1990) and its track's span.
void TallyPoint(LogReadResult& result, LogSecond second, long line, std::int64_t trackId);

// A point that cannot be used, and why.
void TallySkipped(LogReadResult& result, long line, const std::string& reason);

} // namespace tideplot
