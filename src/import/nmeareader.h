#pragma once

#include "logpoints.h"
#include "logreader.h"

#include <string>
#include <string_view>

// The NMEA 0183 log reader. A log is lines of sentences (see nmeasentence.h for what may
// stand around them), ended by CR LF, LF or CR. Its points are the fixes of one kind of
// sentence, as gpsbabel takes them: GGA (a fix quality other than 0) once the log has given
// a fix in one, else RMC (status A) once it has, else GLL (status A); each fix once (a time
// written again gives no second point), in the order of the log: the position as decimal
// degrees with 7 decimals (nmea::DecimalDegrees), the time of day as written (a fraction of
// a second dropped) on the date of the last RMC or ZDA sentence before it, or of the first
// one after it when it comes before any (a date moves on at midnight). A log whose sentences
// give no date takes LogReadOptions::GivenDate as the date of its first time, and without it
// is refused with LogDateNeeded. A sentence whose checksum is wrong, and a line that holds no
// sentence or is longer than any (4 KiB), is passed over and counted. The instruments'
// sentences (heading, boat speed, wind: see nmeainstruments.h) give the lines of the wind
// file, each at the time of the log's clock: the last RMC, or the last GGA, GLL or ZDA when
// no RMC has come for more than a second. See logreader.h for the contract.
namespace tideplot {

// Reads the NMEA log at `logPath` front to back, in one pass (two when its first date
// comes after its first position), without loading it whole; adds its points to `points`
// and its wind file's lines (when it has any) to `wind` (when not null). Throws Error
// naming the log when it cannot be read or holds no NMEA sentence at all (looking no
// further than its first 16 MiB for one), LogDateNeeded when it needs a date.
LogReadResult ReadNmeaPoints(const std::string& logPath, LogPoints& points, LogPoints* wind,
                             const LogProgress& progress = {}, const LogReadOptions& options = {});

// True when `start`, the first bytes of a file, holds a line that is an NMEA sentence with
// a checksum that is right.
bool LooksLikeNmea(std::string_view start);

} // namespace tideplot
