#pragma once

#include "wind.h"

#include "core/windline.h"

#include <string>
#include <vector>

// The wind as the boats' instruments measured it, and as the user typed it.
namespace tideplot {

// What a boat's instruments measured: the true wind's direction of its wind file beside its
// track file (WindFilePath, windfile.h), smoothed over a minute: every minute on the minute
// (UTC) the circular mean of the seconds from half a minute before it to half a minute after,
// for the minutes from `first` to `last` (date values: the boat's fixes); NaN where the file
// gives no direction. Empty when there is no wind file or no direction in it. Throws Error
// naming the file, the line and the field of a line that cannot be read.
std::vector<WindPoint> ReadMeasuredWind(const std::string& trackPath, double first, double last);

// The race's measured wind: every minute the mean of the boats' measured winds there (each
// point's Support the boats that gave it), and where none measured, `estimate`'s. Not Known
// when no boat measured any.
WindEstimate MeasuredWind(const std::vector<const std::vector<WindPoint>*>& boats, const WindEstimate& estimate);

// The wind typed as moments and directions (the course file's wind lines), the race clock's
// counted from `firstStart` (date value of the first boat's start), UTC times of day taken
// on the day that puts them from 6 hours before the first start to 18 hours after it. Given,
// its series the lines in time order. Not Known without lines.
WindEstimate TypedWindSeries(const std::vector<TypedWind>& lines, double firstStart);

} // namespace tideplot
