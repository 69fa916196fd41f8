#include "logtally.h"

#include "core/datetime.h"

#include <algorithm>

namespace tideplot {

namespace {

LogSecond Second1990()
{
    static const LogSecond second = DayNumber(1990, 1, 1) * 86400;
    return second;
}

} // namespace

void TallyPoint(LogReadResult& result, LogSecond second, long line, std::int64_t trackId)
{
    ++result.PointCount;
    const LogPlace place{line, result.PointCount + result.Skipped.Count};
    LogTimes& t = result.Times;
    std::vector<TrackSpan>& tracks = result.Tracks;
    if (result.PointCount == 1) {
        t.First = second;
        t.FirstPlace = place;
    } else if (second < t.Last && tracks.back().Id == trackId && t.Disorders++ == 0) {
        t.FirstDisorder = place;
        t.DisorderTime = second;
        t.DisorderAfter = t.Last;
    }
    t.Last = second;
    if (second < Second1990() && t.Before1990++ == 0) {
        t.FirstBefore1990 = place;
        t.FirstBefore1990Time = second;
    }
    if (tracks.empty() || (tracks.back().Id != trackId && tracks.size() < kMaxTrackSpans)) {
        tracks.push_back(TrackSpan{trackId, second, second, 1});
    } else {
        TrackSpan& span = tracks.back();
        span.Id = trackId;
        span.First = std::min(span.First, second);
        span.Last = std::max(span.Last, second);
        ++span.Points;
    }
}

void TallySkipped(LogReadResult& result, long line, const std::string& reason)
{
    if (result.Skipped.Count++ == 0) {
        result.Skipped.First = LogPlace{line, result.PointCount + result.Skipped.Count};
        result.Skipped.FirstReason = reason;
    }
}

} // namespace tideplot
