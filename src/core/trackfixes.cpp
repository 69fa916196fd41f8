#include "trackfixes.h"

#include "text.h"

#include <algorithm>
#include <cstring>

namespace tideplot {

TrackLineError::TrackLineError(const std::string& path, long line, std::string text, std::string reason)
    : Error(FileLabel(path) + ", line " + std::to_string(line) + ": " + reason), Line(line), Text(std::move(text)),
      Reason(std::move(reason))
{
}

namespace {

// NumberOfText of a coordinate. The usual one, a plain decimal of at most 15 digits with a
// point (-?digits.digits), is read here: its digits as one whole number, divided once by
// the power of ten of its decimals, both exact, which gives the correctly rounded value
// NumberOfText gives.
double CoordinateValue(std::string_view text)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (negative)
        ++p;
    std::uint64_t digits = 0;
    const char* const wholeFrom = p;
    for (; p != end && static_cast<unsigned>(*p - '0') < 10; ++p)
        digits = digits * 10 + static_cast<unsigned>(*p - '0');
    const auto whole = p - wholeFrom;
    if (whole == 0 || p == end || *p != '.')
        return NumberOfText(text);
    const char* const decimalsFrom = ++p;
    for (; p != end && static_cast<unsigned>(*p - '0') < 10; ++p)
        digits = digits * 10 + static_cast<unsigned>(*p - '0');
    const auto decimals = p - decimalsFrom;
    if (p != end || decimals == 0 || whole + decimals > 15)
        return NumberOfText(text);
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const double magnitude = static_cast<double>(digits) / kPowersOfTen[decimals];
    return negative ? -magnitude : magnitude;
}

} // namespace

double TrackLine::Lat() const
{
    return CoordinateValue(std::string_view(Text).substr(LatFrom, LatSize));
}

double TrackLine::Lon() const
{
    return CoordinateValue(std::string_view(Text).substr(LonFrom, LonSize));
}

TrackLineReader::TrackLineReader(const std::string& path, char sep) : file_(path), sep_(sep) {}

bool TrackLineReader::fill()
{
    TrackLine& next = lines_[1 - current_];
    while (!file_.AtEnd()) {
        const long long offset = file_.Offset();
        const std::string_view text = file_.ReadLine();
        bool fix = false, positionChecked = false;
        double time = 0;
        TrackLineFields fields;
        next.Problem.clear();
        if (!text.empty()) {
            try {
                fix = fixes_.read(text, sep_, fields, time, positionChecked);
            } catch (const Error& e) {
                next.Problem = e.what();
            }
        }
        if (fix) {
            if (haveLastFix_ && time == lastFixTime_)
                continue; // a repeat, whatever else it holds
            haveLastFix_ = true;
            lastFixTime_ = time;
            try {
                if (!positionChecked)
                    CheckTrackFixPosition(fields);
            } catch (const Error& e) {
                next.Problem = e.what();
            }
            const auto at = [&](std::string_view field) {
                return static_cast<std::uint32_t>(field.data() - text.data());
            };
            next.LatFrom = at(fields.Lat);
            next.LatSize = static_cast<std::uint32_t>(fields.Lat.size());
            next.LonFrom = at(fields.Lon);
            next.LonSize = static_cast<std::uint32_t>(fields.Lon.size());
        }
        // Lines of one file mostly have one length: the text is copied over the last one's.
        next.Text.resize(text.size());
        if (!text.empty())
            std::memcpy(next.Text.data(), text.data(), text.size());
        next.Fix = fix;
        next.Time = time;
        next.Number = file_.LineNumber();
        next.Offset = offset;
        return true;
    }
    return false;
}

const TrackLine& TrackLineReader::ReadPast(double start, double after, bool& fixPassed)
{
    for (;;) {
        if (!AtEnd()) {
            const TrackLine& next = lines_[1 - current_];
            if (next.Fix && next.Problem.empty() && !(next.Time - start > after))
                passShapedFixes(start, after, fixPassed);
        }
        const TrackLine& line = ReadLine();
        if (AtEnd() || (line.Fix && line.Time - start > after))
            return line;
        fixPassed = fixPassed || line.Fix;
    }
}

void TrackLineReader::passShapedFixes(double start, double after, bool& fixPassed)
{
    // Each line passed over is one that reading line by line would have passed over: a
    // repeat of the last fix, or a fix (with a line that counts after it) before `after`.
    const std::string_view buffered = file_.Buffered();
    const char* const begin = buffered.data();
    const TrackFixTimeReader::ShapedRun run =
        fixes_.passShaped(begin, begin + buffered.size(), sep_, lastFixTime_, start, after);
    if (run.Last) {
        fixPassed = true;
        TrackLine& next = lines_[1 - current_];
        const TrackLineFields fields = fixes_.shapedFields(run.Last);
        next.Text.assign(run.Last, fixes_.shapedLength());
        next.Fix = true;
        next.Time = run.LastTime;
        next.Number = file_.LineNumber() + run.LastLine;
        next.Offset = file_.Offset() + (run.Last - begin);
        next.Problem.clear();
        next.LatFrom = 0;
        next.LatSize = static_cast<std::uint32_t>(fields.Lat.size());
        next.LonFrom = static_cast<std::uint32_t>(fields.Lon.data() - run.Last);
        next.LonSize = static_cast<std::uint32_t>(fields.Lon.size());
        lastFixTime_ = run.LastTime;
    }
    file_.PassBuffered(run.Bytes, run.Lines);
}

TrackLineReader::TrackLineReader(LineReader::SameFile same, const TrackLineReader& other)
    : file_(same, other.file_), sep_(other.sep_)
{
}

std::unique_ptr<TrackLineReader> TrackLineReader::share() const
{
    auto copy = std::make_unique<TrackLineReader>(LineReader::SameFile{}, *this);
    copy->restore(position());
    return copy;
}

void TrackLineReader::ReadPastEnd() const
{
    throw Error(file_.Path() + ": read past the end of the file");
}

void TrackLineReader::LineCannotBeRead(const TrackLine& line) const
{
    throw TrackLineError(file_.Path(), line.Number, line.Text, line.Problem);
}

TrackLineReader::Position TrackLineReader::position() const
{
    Position at;
    at.FileOffset = file_.Offset();
    at.FileLine = file_.LineNumber();
    at.Fixes = fixes_;
    at.Lines[0] = lines_[0];
    at.Lines[1] = lines_[1];
    at.Current = current_;
    at.HaveNext = haveNext_;
    at.HaveLastFix = haveLastFix_;
    at.LastFixTime = lastFixTime_;
    return at;
}

void TrackLineReader::restore(const Position& at)
{
    file_.Seek(at.FileOffset, at.FileLine);
    fixes_ = at.Fixes;
    lines_[0] = at.Lines[0];
    lines_[1] = at.Lines[1];
    current_ = at.Current;
    haveNext_ = at.HaveNext;
    haveLastFix_ = at.HaveLastFix;
    lastFixTime_ = at.LastFixTime;
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
            const std::string_view text(line.Text);
            fix = TrackFix{line.Lat(),
                           line.Lon(),
                           line.Time,
                           line.Number,
                           text.substr(line.LatFrom, line.LatSize),
                           text.substr(line.LonFrom, line.LonSize)};
            return true;
        }
    }
    return false;
}

void FixBox::add(double lat, double lon)
{
    if (!empty()) {
        // The longitude nearest the box's middle: the short way across the 180-degree meridian.
        const double middle = (WestLon + EastLon) / 2;
        while (lon - middle > 180)
            lon -= 360;
        while (lon - middle < -180)
            lon += 360;
    }
    SouthLat = std::min(SouthLat, lat);
    NorthLat = std::max(NorthLat, lat);
    WestLon = std::min(WestLon, lon);
    EastLon = std::max(EastLon, lon);
}

void FixBox::add(const FixBox& other)
{
    if (other.empty())
        return;
    add(other.SouthLat, other.WestLon);
    add(other.NorthLat, other.EastLon);
}

FixBox TrackFixesBox(const std::string& path, char sep, const std::atomic<bool>* cancel)
{
    TrackFixReader reader(path, sep);
    FixBox box;
    TrackFix fix;
    for (long fixes = 1; reader.next(fix); ++fixes) {
        box.add(fix.Lat, fix.Lon);
        if (cancel && fixes % 4096 == 0 && cancel->load(std::memory_order_relaxed))
            break;
    }
    return box;
}

} // namespace tideplot
