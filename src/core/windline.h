#pragma once

#include <string_view>

// A `wind` line of the course file: where the wind came from at a moment, typed by the user,
//
//     wind 00:25:00 245        25 minutes after the first start (the race clock)
//     wind -00:04:00 240       four minutes before it
//     wind 14:30:00Z 250       at 14:30:00 UTC (also written "14:30:00 UTC")
//
// The analysis takes the wind straight between the lines' moments (the short way round), the
// first line's before them and the last line's after them.
namespace tideplot {

inline constexpr std::string_view kWindKey = "wind";

struct TypedWind {
    // On the race clock: seconds after the first boat's start (negative before it), real
    // seconds whatever the boats' handicaps. In UTC: the second of the day, 0 up to 86400.
    double Seconds = 0;
    bool Utc = false;
    double FromDeg = 0; // where the wind comes from, degrees true, 0 up to 360
};

// The values of a `wind` line after its key: "DEG" (one direction for the whole race, taken as
// the wind at the first start), "HH:MM:SS DEG", "-HH:MM:SS DEG", "HH:MM:SSZ DEG"
// or "HH:MM:SS UTC DEG", separated by blanks; DEG a decimal with "." from 0 to 360. Throws Error
// quoting the text when it is none of these (minutes or seconds of 60 or more, a UTC time of 24
// hours or more, a direction out of range).
TypedWind TypedWindFromText(std::string_view values);

} // namespace tideplot
