// TrackFixTimeReader (records.h): the lines of a track read front to back, a line of the
// usual fix's shape judged from the bytes that change from line to line.
#include "records.h"

#include "datetime.h"
#include "scan.h"

#include <cmath>
#include <cstring>

namespace tideplot {

bool TrackFixTimeReader::read(std::string_view line, char sep, TrackLineFields& fields, double& time,
                              bool& positionChecked)
{
    if (length_ != 0 && readShaped(line, sep, fields, time)) {
        positionChecked = true;
        return true;
    }
    fields = SplitTrackLine(line, sep);
    const bool fix = ReadTrackFixTime(fields, times_, time, positionChecked);
    if (fix && positionChecked)
        learn(line, sep, fields);
    return fix;
}

void TrackFixTimeReader::learn(std::string_view line, char sep, const TrackLineFields& fields)
{
    // A fix whose position was checked: both coordinates are plain decimals below their
    // limits, and the latitude is not 0; its date is the time reader's day.
    length_ = 0;
    const char* const begin = line.data();
    const std::size_t size = line.size();
    if (!ByteMaskFits(size) || !times_.known_ || fields.Date.size() != 8 ||
        std::memcmp(fields.Date.data(), times_.date_, 8) != 0)
        return;
    // A coordinate is shaped when it has a point, after at most four bytes (sign and whole
    // degrees), and one to eight decimals, and both its first eight bytes and the eight that
    // end with it lie in the line. Its whole degrees are kept, so they must not read as 0
    // when the latitude decides that the line is a fix.
    const auto shape = [&](std::string_view field, bool wholeNotZero, Coordinate& c) {
        const std::size_t from = static_cast<std::size_t>(field.data() - begin);
        const std::size_t end = from + field.size();
        const std::size_t point = field.find('.');
        if (point == std::string_view::npos || point > 4 || field.size() - point - 1 < 1 ||
            field.size() - point - 1 > 8 || from + 8 > size || end < 8)
            return false;
        if (wholeNotZero && field.substr(0, point).find_first_not_of("-0") == std::string_view::npos)
            return false;
        c.From = static_cast<std::uint32_t>(from);
        c.End = static_cast<std::uint32_t>(end);
        c.PrefixMask = ~std::uint64_t{0} >> (8 * (7 - point));
        c.Prefix = scan::Load(field.data()) & c.PrefixMask;
        c.DecimalMask = ~std::uint64_t{0} << (8 * (8 - (field.size() - point - 1)));
        return true;
    };
    // The time is read as one word with the two bytes before it.
    if (!shape(fields.Lat, true, lat_) || !shape(fields.Lon, false, lon_) || fields.Time.data() - begin < 2)
        return;
    sep_ = sep;
    separators_ = ByteMask(begin, size, sep);
    dateFrom_ = static_cast<std::uint32_t>(fields.Date.data() - begin);
    timeFrom_ = static_cast<std::uint32_t>(fields.Time.data() - begin);
    timeEnd_ = static_cast<std::uint32_t>(timeFrom_ + fields.Time.size());
    date_ = scan::Load(fields.Date.data());
    daySeconds_ = times_.dayNumber_ * 86400;
    dayBeforeEpoch_ = times_.dayNumber_ < 0;
    length_ = static_cast<std::uint32_t>(size);
}

bool TrackFixTimeReader::readShaped(std::string_view line, char sep, TrackLineFields& fields, double& time) const
{
    // The same length and separators: the same fields.
    const char* const begin = line.data();
    long long seconds = 0;
    if (line.size() != length_ || sep != sep_ || ByteMask(begin, length_, sep) != separators_ ||
        !shapedBody(begin, seconds))
        return false;
    time = static_cast<double>(seconds) / kSecondsPerDay;
    fields = shapedFields(begin);
    return true;
}

namespace {

// The second of the day of the time hhmmss in bytes 2 to 7 of `word`, when those are six
// digits of a time: the tens and units of each pair in one multiplication.
inline bool SecondOfDay(std::uint64_t word, int& second)
{
    constexpr std::uint64_t kTimeBytes = 0xFFFFFFFFFFFF0000ULL;
    if ((scan::NonDigits(word) & kTimeBytes) != 0)
        return false;
    const std::uint64_t digits = (word & kTimeBytes) - (0x3030303030303030ULL & kTimeBytes);
    constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FFULL;
    const std::uint64_t pairs = (digits & kEvenBytes) * 10 + ((digits >> 8) & kEvenBytes);
    const auto hour = static_cast<int>((pairs >> 16) & 0xFFFF), minute = static_cast<int>((pairs >> 32) & 0xFFFF),
               sec = static_cast<int>(pairs >> 48);
    if (hour > 23 || minute > 59 || sec > 59)
        return false;
    second = hour * 3600 + minute * 60 + sec;
    return true;
}

} // namespace

inline bool TrackFixTimeReader::shapedBody(const char* begin, long long& seconds) const
{
    // The same sign, whole degrees and point, and decimals that are digits: plain decimals
    // below their limits, the latitude not 0.
    const auto shaped = [&](const Coordinate& c) {
        return (scan::Load(begin + c.From) & c.PrefixMask) == c.Prefix &&
               (scan::NonDigits(scan::Load(begin + c.End - 8)) & c.DecimalMask) == 0;
    };
    int second = 0;
    if (!shaped(lat_) || !shaped(lon_) || scan::Load(begin + dateFrom_) != date_ ||
        !SecondOfDay(scan::Load(begin + timeFrom_ - 2), second))
        return false;
    // The time as TrackTimeReader reads it on a known day (DateValueOfDay), in seconds.
    seconds = dayBeforeEpoch_ ? daySeconds_ - second : daySeconds_ + second;
    return true;
}

TrackLineFields TrackFixTimeReader::shapedFields(const char* begin) const
{
    return {std::string_view(begin, lat_.End), std::string_view(begin + lon_.From, lon_.End - lon_.From),
            std::string_view(begin + dateFrom_, 8), std::string_view(begin + timeFrom_, timeEnd_ - timeFrom_)};
}

namespace {

// The seconds of one day from the epoch, as a shape's lines give them, and their times:
// one rounding of seconds / 86400, so a later second never has an earlier time and no two
// seconds of the day have the same.
struct DaySeconds {
    long long First, Last;
    static double Time(long long seconds) { return static_cast<double>(seconds) / kSecondsPerDay; }
    // The second whose time is `time`; First - 1 when none is.
    long long Of(double time) const
    {
        const double seconds = time * kSecondsPerDay;
        if (!(seconds >= static_cast<double>(First) - 1 && seconds <= static_cast<double>(Last) + 1))
            return First - 1;
        const long long second = std::llround(seconds);
        return second >= First && second <= Last && Time(second) == time ? second : First - 1;
    }
    // The first second whose time - `start` lies above `after`; Last + 1 when none does.
    long long FirstAfter(double start, double after) const
    {
        const auto past = [&](long long second) { return Time(second) - start > after; };
        const double estimate = (start + after) * kSecondsPerDay;
        long long second = !(estimate > static_cast<double>(First))    ? First
                           : estimate >= static_cast<double>(Last) + 1 ? Last + 1
                                                                       : static_cast<long long>(estimate);
        while (second > First && past(second - 1))
            --second;
        while (second <= Last && !past(second))
            ++second;
        return second;
    }
};

} // namespace

TrackFixTimeReader::ShapedRun TrackFixTimeReader::passShaped(const char* begin, const char* end, char sep, double last,
                                                             double start, double after) const
{
    ShapedRun run;
    if (length_ == 0 || sep != sep_)
        return run;
    // Lines are compared by their seconds: a repeat has the second of the last fix, and a
    // line past `after` a second from the first one past it.
    const DaySeconds day{dayBeforeEpoch_ ? daySeconds_ - 86399 : daySeconds_,
                         dayBeforeEpoch_ ? daySeconds_ : daySeconds_ + 86399};
    long long repeat = day.Of(last), taken = 0;
    const long long limit = day.FirstAfter(start, after);
    const char* p = begin;
    // The line break right after the shape's length, none before it, the separators where
    // the shape has them; the byte after a CR read as LineReader reads it.
    while (static_cast<std::size_t>(end - p) > length_ + 1) {
        const char lineBreak = p[length_];
        if (lineBreak != '\n' && lineBreak != '\r')
            break;
        const ByteMaskPair masks = ByteMasks(p, length_, sep, '\n', '\r');
        long long second = 0;
        if (masks.First != separators_ || masks.Either != 0 || !shapedBody(p, second))
            break;
        if (second != repeat) {
            if (second >= limit)
                break;
            run.Last = p;
            run.LastLine = run.Lines + 1;
            taken = repeat = second;
        }
        p += length_ + (lineBreak == '\r' && p[length_ + 1] == '\n' ? 2 : 1);
        ++run.Lines;
    }
    if (run.Last)
        run.LastTime = DaySeconds::Time(taken);
    run.Bytes = static_cast<std::size_t>(p - begin);
    return run;
}

} // namespace tideplot
