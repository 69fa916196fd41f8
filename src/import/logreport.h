#pragma once

// What the import says about a log, in words a sailor acts on. Internal to the log import.

#include "logimport.h"

#include <string>
#include <vector>

namespace tideplot::logreport {

// "3 points skipped, the first at line 57: the latitude ...".
std::string SkippedText(const LogReading& reading);

// Why a log without usable points gave none: what it holds, and what the import needs.
std::string NoPointText(const LogReading& reading, int otherKmlRead);

// The warnings about a log that was read: cut short, skipped points, points out of order or
// before 1990, zone offsets. Each starts with "LOG: ".
std::vector<std::string> ReadingWarnings(const std::string& log, const LogReading& reading);

// "26 points already in the track file were skipped (it ends at 2008-07-12 16:40:12)".
std::string AlreadyThereText(long points, bool split, LogSecond fileEnd);

// How an NMEA log's true wind was found, one line each ("the true wind of 7,890 seconds is
// the instruments' true wind angle (MWV T, VWT) turned with the heading").
std::vector<std::string> WindNotes(const WindSummary& wind);
// What may be off in it: directions from the course over ground, speeds over the ground,
// magnetic headings taken as true.
std::vector<std::string> WindWarnings(const WindSummary& wind);
// "7,890 seconds of wind, heading and boat speed went to LOG.wind.txt".
std::string WindFileText(const WindFileWritten& wind);

} // namespace tideplot::logreport
