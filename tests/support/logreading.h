#pragma once
// What a log reading gave besides its points, as one line of text: two readings of the same
// log, whole or cut in parts, in much or little memory, must give the same.
#include "import/logreader.h"

#include <cstdint>
#include <initializer_list>
#include <string>

namespace tideplot::testing {

// Every field of the result but Parts.
inline std::string DescribeLogReading(const LogReadResult& r)
{
    const LogContents& h = r.Contents;
    const LogTimes& t = r.Times;
    std::string text = r.Skipped.FirstReason + " " + r.ZoneOffset + (r.OtherZoneOffsets ? "+" : "");
    for (const std::int64_t n : std::initializer_list<std::int64_t>{r.PointCount,
                                                                    r.Lines,
                                                                    r.EndedEarlyAt,
                                                                    r.Skipped.Count,
                                                                    r.Skipped.First.Line,
                                                                    r.Skipped.First.Point,
                                                                    h.UntimedPlacemarks,
                                                                    h.LineStrings,
                                                                    h.LineStringPoints,
                                                                    h.Tracks,
                                                                    h.TrackPoints,
                                                                    h.RoutePoints,
                                                                    h.Waypoints,
                                                                    h.Sentences,
                                                                    h.PositionSentences,
                                                                    h.Records,
                                                                    r.BadChecksums.Count,
                                                                    r.BadChecksums.First,
                                                                    r.Unread.Count,
                                                                    r.Unread.First,
                                                                    r.Wind.Seconds,
                                                                    r.Wind.TrueWind,
                                                                    t.First,
                                                                    t.FirstPlace.Line,
                                                                    t.FirstPlace.Point,
                                                                    t.Last,
                                                                    t.Disorders,
                                                                    t.FirstDisorder.Line,
                                                                    t.FirstDisorder.Point,
                                                                    t.DisorderTime,
                                                                    t.DisorderAfter,
                                                                    t.Before1990,
                                                                    t.FirstBefore1990.Line,
                                                                    t.FirstBefore1990Time})
        text.append(" ").append(std::to_string(n));
    // (Built by appending: GCC 12 warns of an overlap in an inserted prefix, wrongly.)
    for (const TrackSpan& span : r.Tracks)
        text.append(" [")
            .append(std::to_string(span.Id))
            .append(" ")
            .append(std::to_string(span.First))
            .append("-")
            .append(std::to_string(span.Last))
            .append(" ")
            .append(std::to_string(span.Points))
            .append("]");
    return text;
}

} // namespace tideplot::testing
