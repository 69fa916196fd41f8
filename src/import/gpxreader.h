#pragma once

#include "logpoints.h"
#include "logreader.h"

#include <string>

// The GPX log reader. The points of a GPX log (1.0 or 1.1) are its track points, the trkpt
// elements, in the order of the log: the lat and lon attributes exactly as the log writes
// them (a decimal number from -90 to 90 and one from -180 to 180) and the clock time of the
// trkpt's time element as written ("YYYY-MM-DDThh:mm:ss", optionally with a fraction of a
// second and a zone, which are dropped; no zone conversion). A track point without a
// usable time or position is skipped. Route points (rtept) and waypoints (wpt) are plans and
// marks, not a track: they are only counted. Each trk element is a track of the log. See
// logreader.h for the contract.
namespace tideplot {

// Reads the GPX log file at `logPath` front to back without loading it whole (a large log
// in parts on several threads) and adds its usable points to `points`. Throws Error naming
// the log, the line and what is wrong when the log cannot be read, is empty or not
// well-formed XML; `points` may then hold some of the log's points. `progress` is called on
// the calling thread.
LogReadResult ReadGpxPoints(const std::string& logPath, LogPoints& points, const LogProgress& progress = {},
                            const LogReadOptions& options = {});

} // namespace tideplot
