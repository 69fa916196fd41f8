#include "trackfixes.h"

#include "text.h"

namespace tideplot {

TrackLineError::TrackLineError(const std::string& path, long line, std::string text, std::string reason)
    : Error(FileLabel(path) + ", line " + std::to_string(line) + ": " + reason), Line(line), Text(std::move(text)),
      Reason(std::move(reason))
{
}

TrackLineReader::TrackLineReader(const std::string& path, char sep) : file_(path), sep_(sep) {}

bool TrackLineReader::fill()
{
    while (!file_.AtEnd()) {
        const long long offset = file_.Offset();
        const std::string_view text = file_.ReadLine();
        bool fix = false;
        double lat = 0, lon = 0, time = 0;
        next_.Problem.clear();
        if (!text.empty()) {
            try {
                fix = ReadTrackFix(SplitTrackLine(text, sep_), times_, lat, lon, time);
            } catch (const Error& e) {
                next_.Problem = e.what();
            }
        }
        if (fix) {
            if (haveLastFix_ && time == lastFixTime_)
                continue; // a repeat
            haveLastFix_ = true;
            lastFixTime_ = time;
        }
        next_.Text.assign(text);
        next_.Fix = fix;
        next_.Lat = lat;
        next_.Lon = lon;
        next_.Time = time;
        next_.Number = file_.LineNumber();
        next_.Offset = offset;
        return true;
    }
    return false;
}

bool TrackLineReader::AtEnd()
{
    if (!haveNext_)
        haveNext_ = fill();
    return !haveNext_;
}

const TrackLine& TrackLineReader::ReadLine()
{
    if (AtEnd())
        throw Error(file_.Path() + ": read past the end of the file");
    std::swap(current_, next_);
    haveNext_ = false;
    if (!current_.Problem.empty())
        throw TrackLineError(file_.Path(), current_.Number, current_.Text, current_.Problem);
    return current_;
}

void SkipTrackHeader(LineReader& file)
{
    while (!file.AtEnd() && file.ReadLine().find('#') != std::string_view::npos) {
    }
}

TrackFixReader::TrackFixReader(const std::string& path, char sep) : lines_(path, sep) {}

bool TrackFixReader::next(TrackFix& fix)
{
    if (!headerSkipped_) {
        headerSkipped_ = true;
        SkipTrackHeader(lines_.HeaderLines());
    }
    while (!lines_.AtEnd()) {
        const TrackLine& line = lines_.ReadLine();
        if (line.Fix) {
            fix = TrackFix{line.Lat, line.Lon, line.Time, line.Number};
            return true;
        }
    }
    return false;
}

} // namespace tideplot
