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

} // namespace tideplot::logreport
