#include "records.h"

#include "datetime.h"
#include "error.h"
#include "scan.h"
#include "text.h"

#include <bit>
#include <cstring>

namespace tideplot {

namespace {

// Up to `count` characters of `text` from the 0-based `start`, as many as exist.
std::string_view Mid(std::string_view text, std::size_t start, std::size_t count)
{
    if (start >= text.size())
        return {};
    return text.substr(start, count);
}

bool AllDigits(std::string_view text)
{
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

int Digits(std::string_view text, std::size_t from, std::size_t count)
{
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

// The text "YYYY-MM-DD hh:mm:ss" joined from the characters of the date and time fields
// (as many as there are): at most 19 characters.
struct JoinedText {
    char buffer[24];
    std::size_t length = 0;
    void put(std::string_view part)
    {
        for (const char c : part)
            buffer[length++] = c;
    }
    std::string_view view() const { return std::string_view(buffer, length); }
};

JoinedText JoinedDateText(std::string_view d, std::string_view t)
{
    JoinedText text;
    text.put(Mid(d, 0, 4));
    text.put("-");
    text.put(Mid(d, 4, 2));
    text.put("-");
    text.put(Mid(d, 6, 2));
    text.put(" ");
    text.put(Mid(t, 0, 2));
    text.put(":");
    text.put(Mid(t, 2, 2));
    text.put(":");
    text.put(Mid(t, 4, 2));
    return text;
}

std::string Shown(std::string_view text)
{
    return QuotedText(text);
}

} // namespace

BoatEntry ReadBoatEntry(std::string_view line)
{
    BoatEntry entry;
    const auto startField = GetField(line, 1, ',');
    double start = 0;
    if (!TryDateValueFromText(startField, start))
        throw Error("the start time " + Shown(TrimSpaces(startField)) + " is not a valid date and time");
    if (start < DateValueFromText(kEarliestStartText))
        throw Error("the start time " + Shown(TrimSpaces(startField)) + " lies before " +
                    std::string(kEarliestStartText) + ", the earliest start taken (dates count from 1899-12-30)");
    entry.StartTime = start;
    const auto lysField = GetField(line, 2, ',');
    try {
        entry.Lys = LeadingNumber(lysField);
    } catch (const Error&) {
        throw Error("the LYS number " + Shown(TrimSpaces(lysField)) + " is too large"); // the one failure of a number
    }
    if (!(entry.Lys > 0))
        throw Error("the LYS number " + Shown(TrimSpaces(lysField)) + " is not a positive number");
    if (entry.Lys < kMinLys || entry.Lys > kMaxLys)
        throw Error("the LYS number " + Shown(TrimSpaces(lysField)) + " lies outside " + ShortNumberText(kMinLys) +
                    " to " + ShortNumberText(kMaxLys) + ", the handicap numbers a replay takes");
    try {
        entry.Colour = RoundToInt32(LeadingNumber(GetField(line, 3, ',')));
    } catch (const Error& e) {
        throw Error(std::string("the colour number: ") + e.what());
    }
    entry.SepChar = line.empty() ? ',' : line.back();
    const auto field0 = GetField(line, 0, ',');
    if (field0.find('\0') != std::string_view::npos)
        throw Error("the track file name " + Shown(TrimTrailingSpaces(field0)) + " holds a NUL byte");
    entry.Name = BoatDisplayName(field0);
    entry.TrackFile = std::string(TrimTrailingSpaces(field0));
    return entry;
}

std::string BoatDisplayName(std::string_view field0)
{
    constexpr std::size_t kNameLength = 20;
    return std::string(TrimSpaces(field0.substr(LastCharactersStart(field0, kNameLength))));
}

std::string BoatEntryLine(std::string_view trackFile, std::string_view startTime, std::string_view lys,
                          std::string_view colour, std::string_view sepChar)
{
    std::string line;
    line.reserve(trackFile.size() + startTime.size() + lys.size() + colour.size() + sepChar.size() + 12);
    for (const auto part : {trackFile, startTime, lys, colour}) {
        line += part;
        line += kEntrySeparator;
    }
    line += sepChar;
    return line;
}

TrackLineFields SplitTrackLine(std::string_view line, char sep)
{
    // One pass up to the fourth separator; fields are short, so a plain loop wins.
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    const char* bounds[5] = {begin, end, end, end, end};
    int found = 0;
    const char* p = begin;
    // Eight bytes at a time while they last, then byte by byte.
    const std::uint64_t pattern = scan::kOnes * static_cast<unsigned char>(sep);
    while (found < 4 && end - p >= 8) {
        for (std::uint64_t hits = scan::Matches(scan::Load(p), pattern); hits != 0 && found < 4; hits &= hits - 1)
            bounds[++found] = p + (std::countr_zero(hits) >> 3) + 1;
        p += 8;
    }
    if (found < 4) {
        for (; p != end; ++p) {
            if (*p == sep) {
                bounds[++found] = p + 1;
                if (found == 4)
                    break;
            }
        }
    }
    // Field i runs from bounds[i] to the separator before bounds[i + 1], the last one
    // found to the end of the line; fields past it are empty.
    auto field = [&](int i) -> std::string_view {
        if (i > found)
            return {};
        const char* stop = i < found ? bounds[i + 1] - 1 : end;
        return std::string_view(bounds[i], static_cast<std::size_t>(stop - bounds[i]));
    };
    return {field(0), field(1), field(2), field(3)};
}

double TrackPointTime(std::string_view line, char sep)
{
    if (line.empty())
        return 0;
    const TrackLineFields fields = SplitTrackLine(line, sep);
    return TrackFieldsTime(fields.Date, fields.Time);
}

bool TryTrackFieldsTime(std::string_view d, std::string_view t, double& value)
{
    // The usual eight and six digits: the joined text would be "YYYY-MM-DD hh:mm:ss"
    // in full, so read the digits in place.
    if (d.size() >= 8 && t.size() >= 6 && AllDigits(d.substr(0, 8)) && AllDigits(t.substr(0, 6))) {
        const int year = Digits(d, 0, 4), month = Digits(d, 4, 2), day = Digits(d, 6, 2);
        const int hour = Digits(t, 0, 2), minute = Digits(t, 2, 2), second = Digits(t, 4, 2);
        if (!IsValidDateTime(year, month, day, hour, minute, second))
            return false;
        value = DateValue(year, month, day, hour, minute, second);
        return true;
    }
    return TryDateValueFromText(JoinedDateText(d, t).view(), value);
}

bool TrackTimeReader::read(std::string_view d, std::string_view t, double& value)
{
    if (t.size() < 6 || d.size() < 8)
        return TryTrackFieldsTime(d, t, value);
    if (!known_ || std::memcmp(d.data(), date_, 8) != 0) {
        if (!AllDigits(d.substr(0, 8)))
            return TryTrackFieldsTime(d, t, value);
        const int year = Digits(d, 0, 4), month = Digits(d, 4, 2), day = Digits(d, 6, 2);
        if (!IsValidDateTime(year, month, day, 0, 0, 0))
            return false;
        std::memcpy(date_, d.data(), 8);
        dayNumber_ = DayNumber(year, month, day);
        known_ = true;
    }
    const auto digit = [&](std::size_t i) { return static_cast<unsigned>(t[i] - '0'); };
    const unsigned h1 = digit(0), h2 = digit(1), m1 = digit(2), m2 = digit(3), s1 = digit(4), s2 = digit(5);
    if (h1 > 9 || h2 > 9 || m1 > 9 || m2 > 9 || s1 > 9 || s2 > 9)
        return TryTrackFieldsTime(d, t, value);
    const unsigned hour = h1 * 10 + h2, minute = m1 * 10 + m2, second = s1 * 10 + s2;
    if (hour > 23 || minute > 59 || second > 59)
        return false;
    value = DateValueOfDay(dayNumber_, static_cast<int>(hour * 3600 + minute * 60 + second));
    return true;
}

double TrackFieldsTime(std::string_view d, std::string_view t)
{
    double value = 0;
    if (!TryTrackFieldsTime(d, t, value))
        throw Error("the date " + Shown(d) + " and time " + Shown(t) + " give no valid date and time (" +
                    Shown(JoinedDateText(d, t).view()) + ")");
    return value;
}

double TrackLineLatitude(std::string_view line, char sep)
{
    return LeadingNumber(GetField(line, 0, sep));
}

void CheckOnGlobe(const TrackLineFields& fields, double lat, double lon)
{
    if (!(lat >= -90 && lat <= 90))
        throw Error("the latitude " + Shown(fields.Lat) + " is not a number from -90 to 90");
    if (!(lon >= -180 && lon <= 180))
        throw Error("the longitude " + Shown(fields.Lon) + " is not a number from -180 to 180");
}

namespace {

// True when the `count` bytes before `end` (1 to 8, inside a field of 8 bytes or more
// that ends at `end`) are all digits. One word: a byte is a digit when its high nibble
// is 3, also after adding 6. A carry out of a byte of 0xFA or more can only make the
// next byte fail, so the answer is never a wrong yes.
bool LastBytesAreDigits(const char* end, std::size_t count)
{
    const std::uint64_t word = scan::Load(end - 8);
    constexpr std::uint64_t kHighNibbles = 0xF0F0F0F0F0F0F0F0ULL;
    constexpr std::uint64_t kThrees = 0x3030303030303030ULL;
    const std::uint64_t off =
        ((word & kHighNibbles) ^ kThrees) | (((word + 0x0606060606060606ULL) & kHighNibbles) ^ kThrees);
    return (off & (~std::uint64_t{0} << (8 * (8 - count)))) == 0;
}

// True when `field` is a plain decimal (-?digits[.digits]) whose whole part is below
// `limit` (at most three digits): its value then lies strictly between -limit and limit.
bool PlainDecimalBelow(std::string_view field, int limit)
{
    const char* p = field.data();
    const char* const end = p + field.size();
    if (p != end && *p == '-')
        ++p;
    int whole = 0;
    int digits = 0;
    for (; p != end && static_cast<unsigned>(*p - '0') < 10; ++p) {
        if (++digits > 3)
            return false;
        whole = whole * 10 + (*p - '0');
    }
    if (digits == 0 || whole >= limit)
        return false;
    if (p == end)
        return true;
    if (*p != '.')
        return false;
    ++p;
    const auto fraction = static_cast<std::size_t>(end - p);
    if (fraction == 0)
        return true;
    if (fraction <= 8 && field.size() >= 8)
        return LastBytesAreDigits(end, fraction);
    for (; p != end; ++p)
        if (static_cast<unsigned>(*p - '0') >= 10)
            return false;
    return true;
}

} // namespace

void CheckOnGlobe(const TrackLineFields& fields)
{
    if (PlainDecimalBelow(fields.Lat, 90) && PlainDecimalBelow(fields.Lon, 180))
        return;
    CheckOnGlobe(fields, LeadingNumber(fields.Lat), LeadingNumber(fields.Lon));
}

TrackPoint ReadTrackPoint(std::string_view line, char sep, double startTime)
{
    const TrackLineFields fields = SplitTrackLine(line, sep);
    TrackPoint point;
    point.Lat = LeadingNumber(fields.Lat);
    point.Lon = LeadingNumber(fields.Lon);
    CheckOnGlobe(fields, point.Lat, point.Lon);
    point.Elapsed = (line.empty() ? 0 : TrackFieldsTime(fields.Date, fields.Time)) - startTime;
    return point;
}

} // namespace tideplot
