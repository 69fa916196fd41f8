#include "racecheck.h"

#include "datetime.h"
#include "error.h"
#include "linereader.h"
#include "records.h"
#include "text.h"
#include "trackfixes.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

namespace tideplot {

namespace {

constexpr double kHourDays = 1.0 / 24;

// The date value of a track line that is a fix, or nothing.
std::optional<double> FixTime(std::string_view line, char sep)
{
    if (line.empty())
        return std::nullopt;
    try {
        TrackTimeReader times;
        double lat = 0, lon = 0, time = 0;
        if (ReadTrackFix(SplitTrackLine(line, sep), times, lat, lon, time))
            return time;
    } catch (const Error&) {
    }
    return std::nullopt;
}

struct Fix {
    double Time = 0;
    long long Offset = 0; // where its line starts in the file
};

// The first fix after the header lines, read front to back as the replay reads them.
// Throws Error for a line the replay refuses.
std::optional<Fix> FirstFix(const std::string& path, char sep)
{
    TrackLineReader file(path, sep);
    SkipTrackHeader(file.HeaderLines());
    while (!file.AtEnd()) {
        const TrackLine& line = file.ReadLine();
        if (line.Fix)
            return Fix{line.Time, line.Offset};
    }
    return std::nullopt;
}

bool IsRegularFile(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The time of the last fix at or after `from` (where a line starts), read from the end
// of the file back, a block at a time.
std::optional<double> LastFixTime(const std::string& path, char sep, long long from)
{
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file || fseeko(file.get(), 0, SEEK_END) != 0)
        return std::nullopt;
    long long end = ftello(file.get());
    std::string block;
    while (end > from) {
        // A block holds at least one whole line: no line is longer than kMaxLineBytes.
        const long long start = std::max(from, end - 2 * static_cast<long long>(kMaxLineBytes));
        block.resize(static_cast<std::size_t>(end - start));
        if (fseeko(file.get(), start, SEEK_SET) != 0 ||
            std::fread(block.data(), 1, block.size(), file.get()) != block.size())
            return std::nullopt;
        // The first line of a block that does not start at `from` may be cut: it is
        // read whole with the next block.
        std::size_t first = 0;
        if (start > from) {
            first = block.find_first_of("\r\n");
            if (first == std::string::npos)
                return std::nullopt;
        }
        std::size_t lineEnd = block.size();
        while (lineEnd > first) {
            const std::size_t brk = block.find_last_of("\r\n", lineEnd - 1);
            const std::size_t lineStart = (brk == std::string::npos || brk < first) ? first : brk + 1;
            if (const auto time = FixTime(std::string_view(block).substr(lineStart, lineEnd - lineStart), sep))
                return time;
            if (lineStart == first)
                break;
            lineEnd = lineStart - 1;
        }
        end = start + static_cast<long long>(first);
    }
    return std::nullopt;
}

} // namespace

std::vector<std::string> StartTimeWarnings(const RaceState& state)
{
    std::vector<std::string> warnings;
    for (int k = 0; k < state.BoatCount; ++k) {
        if (!state.TrackFile[k])
            continue;
        const std::string& path = state.TrackFile[k]->Path();
        const char sep = state.SepChar[k];
        const double start = state.StartTime[k];
        // A pipe or a device is read by the replay alone: opened again here it could wait
        // for a writer, or never end.
        if (!IsRegularFile(path))
            continue;
        std::optional<Fix> first;
        std::optional<double> last;
        try {
            first = FirstFix(path, sep);
            if (first)
                last = LastFixTime(path, sep, first->Offset);
        } catch (const Error&) {
            continue;
        }
        const std::string boat = "boat " + QuotedText(state.BoatName[k]) + " (" + FileLabel(state.RaceFileName) +
                                 ", line " + std::to_string(state.EntryLine[k]) + ") starts at " + DateText(start);
        if (!first) {
            warnings.push_back(boat + ", but its track " + QuotedText(FileLabel(path)) +
                               " holds no fix (no line with a position and a time): the boat is never drawn");
            continue;
        }
        const double lastTime = last.value_or(first->Time);
        const std::string track = boat + ", but its track " + QuotedText(FileLabel(path));
        if (lastTime < first->Time) {
            // Its last fix is earlier than its first: the log runs back in time, wholly or in part.
            const bool misses = first->Time < start || lastTime > start + kHourDays;
            warnings.push_back(track + " runs backwards, from " + DateText(first->Time) + " on its first fix to " +
                               DateText(lastTime) +
                               " on its last: the replay and the analysis take a track forward in time and pass "
                               "over what goes back, so little of it is shown (was the log written newest first?)" +
                               (misses ? " The track also misses the start: are the start time and the track in "
                                         "the same time zone?"
                                       : ""));
            continue;
        }
        if (lastTime >= start && first->Time <= start + kHourDays)
            continue;
        warnings.push_back(
            track + " runs from " + DateText(first->Time) + " to " + DateText(lastTime) +
            (lastTime < start ? ", ending before the start" : ", starting more than an hour after the start") +
            ": are the start time and the track in the same time zone? (Logs mostly keep UTC.)");
    }
    return warnings;
}

} // namespace tideplot
