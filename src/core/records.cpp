#include "records.h"

#include "datetime.h"
#include "error.h"
#include "scan.h"
#include "text.h"

#include <algorithm>
#include <bit>
#include <cctype>
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

namespace {

constexpr int kEntryFields = 5;

// The fields of a boat entry line split at ",": the separator "," at its end makes no
// field of its own.
int EntryFieldCount(std::string_view line)
{
    auto commas = std::count(line.begin(), line.end(), ',');
    if (!line.empty() && line.back() == ',')
        --commas;
    return static_cast<int>(commas) + 1;
}

// The LYS number of a text, or throws Error saying why the replay cannot take it.
double ReadLys(std::string_view field)
{
    const std::string shown = Shown(TrimBlanks(field));
    double lys = 0;
    try {
        if (!TryNumberOfText(field, lys))
            throw Error("the LYS number " + shown + " is not a number (such as 1.05)");
    } catch (const Error& e) {
        if (std::string_view(e.what()).find("is too large") == std::string_view::npos)
            throw;
        throw Error("the LYS number " + shown + " is too large");
    }
    if (!(lys > 0))
        throw Error("the LYS number " + shown + " is not a positive number");
    if (lys < kMinLys || lys > kMaxLys)
        throw Error("the LYS number " + shown + " lies outside " + ShortNumberText(kMinLys) + " to " +
                    ShortNumberText(kMaxLys) + ", the handicap numbers a replay takes");
    return lys;
}

double ReadStartTime(std::string_view field)
{
    double start = 0;
    if (!TryDateValueFromText(field, start))
        throw Error("the start time " + Shown(TrimSpaces(field)) + " is not a valid date and time");
    if (start < DateValueFromText(kEarliestStartText))
        throw Error("the start time " + Shown(TrimSpaces(field)) + " lies before " + std::string(kEarliestStartText) +
                    ", the earliest start taken (dates count from 1899-12-30)");
    return start;
}

std::int32_t ReadColour(std::string_view field)
{
    try {
        return RoundToInt32(LeadingNumber(field));
    } catch (const Error& e) {
        throw Error(std::string("the colour number: ") + e.what());
    }
}

} // namespace

BoatEntry ReadBoatEntry(std::string_view line)
{
    if (const int fields = EntryFieldCount(line); fields > kEntryFields)
        throw Error("the entry has " + std::to_string(fields) + " fields separated by \",\" where a boat entry has " +
                    std::to_string(kEntryFields) +
                    ": a value holds a \",\"; a decimal comma must be a point (an LYS number such as 1.05, not "
                    "1,05), and a file name or start time cannot hold a \",\"");
    BoatEntry entry;
    entry.StartTime = ReadStartTime(GetField(line, 1, ','));
    entry.Lys = ReadLys(GetField(line, 2, ','));
    entry.Colour = ReadColour(GetField(line, 3, ','));
    entry.SepChar = line.empty() ? ',' : line.back();
    const auto field0 = GetField(line, 0, ',');
    if (field0.find('\0') != std::string_view::npos)
        throw Error("the track file name " + Shown(TrimTrailingSpaces(field0)) + " holds a NUL byte");
    entry.Name = BoatDisplayName(field0);
    entry.TrackFile = std::string(TrimTrailingSpaces(field0));
    return entry;
}

std::string EntryBoxesCommaProblem(std::string_view startTime, std::string_view lys, std::string_view colour)
{
    const std::pair<const char*, std::string_view> boxes[] = {
        {"The start time (Start tid)", startTime}, {"The LYS number (LYS tal)", lys}, {"The colour (Färg)", colour}};
    for (const auto& [what, text] : boxes)
        if (text.find(',') != std::string_view::npos)
            return std::string(what) + " " + Shown(text) +
                   " holds a \",\", which would split the boat entry: write a decimal comma as a point (1.05).";
    return {};
}

std::string LysBoxText(std::string_view typed)
{
    if (std::count(typed.begin(), typed.end(), ',') == 1 && typed.find('.') == std::string_view::npos)
        return CommaToPoint(typed);
    return std::string(typed);
}

std::string BoatDisplayName(std::string_view field0)
{
    constexpr std::size_t kNameLength = 20;
    const auto folderEnd = field0.find_last_of("/\\");
    const std::string_view fileName = folderEnd == std::string_view::npos ? field0 : field0.substr(folderEnd + 1);
    return std::string(TrimSpaces(fileName.substr(LastCharactersStart(fileName, kNameLength))));
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
    if (ByteMaskFits(line.size())) {
        // The usual line, 16 to 64 bytes: every separator's place in one mask.
        for (std::uint64_t hits = ByteMask(begin, line.size(), sep); hits != 0 && found < 4; hits &= hits - 1)
            bounds[++found] = begin + std::countr_zero(hits) + 1;
    } else {
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

namespace {

// The date field is exactly eight digits and the time field starts with six.
bool TrackTimeForm(std::string_view d, std::string_view t)
{
    return d.size() == 8 && t.size() >= 6 && AllDigits(d) && AllDigits(t.substr(0, 6));
}

// The time hhmmss that starts at `t` (six bytes) on day `dayNumber`, when it is one.
bool TimeOnDay(const char* t, long long dayNumber, double& value)
{
    const auto digit = [&](int i) { return static_cast<unsigned>(t[i] - '0'); };
    const unsigned h1 = digit(0), h2 = digit(1), m1 = digit(2), m2 = digit(3), s1 = digit(4), s2 = digit(5);
    if (h1 > 9 || h2 > 9 || m1 > 9 || m2 > 9 || s1 > 9 || s2 > 9)
        return false;
    const unsigned hour = h1 * 10 + h2, minute = m1 * 10 + m2, second = s1 * 10 + s2;
    if (hour > 23 || minute > 59 || second > 59)
        return false;
    value = DateValueOfDay(dayNumber, static_cast<int>(hour * 3600 + minute * 60 + second));
    return true;
}

} // namespace

bool TryTrackFieldsTime(std::string_view d, std::string_view t, double& value)
{
    if (!TrackTimeForm(d, t))
        return false;
    const int year = Digits(d, 0, 4), month = Digits(d, 4, 2), day = Digits(d, 6, 2);
    const int hour = Digits(t, 0, 2), minute = Digits(t, 2, 2), second = Digits(t, 4, 2);
    if (!IsValidDateTime(year, month, day, hour, minute, second))
        return false;
    value = DateValue(year, month, day, hour, minute, second);
    return true;
}

bool TrackTimeReader::read(std::string_view d, std::string_view t, double& value)
{
    if (d.size() != 8 || t.size() < 6)
        return false;
    if (!known_ || std::memcmp(d.data(), date_, 8) != 0) {
        if (!AllDigits(d))
            return false;
        const int year = Digits(d, 0, 4), month = Digits(d, 4, 2), day = Digits(d, 6, 2);
        if (!IsValidDateTime(year, month, day, 0, 0, 0))
            return false;
        std::memcpy(date_, d.data(), 8);
        dayNumber_ = DayNumber(year, month, day);
        known_ = true;
    }
    return TimeOnDay(t.data(), dayNumber_, value);
}

double TrackFieldsTime(std::string_view d, std::string_view t)
{
    double value = 0;
    if (TryTrackFieldsTime(d, t, value))
        return value;
    if (d.size() != 8 || !AllDigits(d))
        throw Error("the date " + Shown(d) + " is not eight digits (YYYYMMDD, such as 20080621)");
    if (t.size() < 6 || !AllDigits(t.substr(0, 6)))
        throw Error("the time " + Shown(t) + " does not start with six digits (hhmmss, such as 143005)");
    throw Error("the date " + Shown(d) + " and time " + Shown(t) + " give no valid date and time (" +
                Shown(JoinedDateText(d, t).view()) + ")");
}

void CheckOnGlobe(const TrackLineFields& fields, double lat, double lon)
{
    if (!(lat >= -90 && lat <= 90))
        throw Error("the latitude " + Shown(fields.Lat) + " is not a number from -90 to 90");
    if (!(lon >= -180 && lon <= 180))
        throw Error("the longitude " + Shown(fields.Lon) + " is not a number from -180 to 180");
}

namespace {

// A coordinate of a fix: a number, or throws Error naming the field.
double FixCoordinate(std::string_view field, const char* what)
{
    double value = 0;
    bool number = false;
    try {
        number = TryNumberOfText(field, value);
    } catch (const Error&) {
        throw Error(std::string("the ") + what + " " + Shown(field) + " is too large a number");
    }
    if (!number)
        throw Error(std::string("the ") + what + " " + Shown(field) + " is not a number (such as " +
                    (what[1] == 'a' ? "57.7012345" : "11.9012345") + ")");
    return value;
}

// Whether a latitude that is no number still reads as 0 by its leading number (a line of
// text, "0x10"): then the line has no fix.
bool ReadsAsZero(std::string_view latitude)
{
    try {
        return LeadingNumber(latitude) == 0;
    } catch (const Error&) {
        return false; // too large: no 0
    }
}

} // namespace

namespace {

// True when the `count` bytes before `end` (1 to 8, inside a field of 8 bytes or more
// that ends at `end`) are all digits, tested as one word (never a wrong yes).
bool LastBytesAreDigits(const char* end, std::size_t count)
{
    return (scan::NonDigits(scan::Load(end - 8)) & (~std::uint64_t{0} << (8 * (8 - count)))) == 0;
}

// True when `field` is a plain decimal (-?digits[.digits]) whose whole part is below
// `limit` (at most three digits): its value then lies strictly between -limit and limit.
// `nonzero` tells whether the value is not 0. The number is not converted.
bool PlainDecimalBelow(std::string_view field, int limit, bool& nonzero)
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
    nonzero = whole != 0;
    if (p == end)
        return true;
    if (*p != '.')
        return false;
    ++p;
    const auto fraction = static_cast<std::size_t>(end - p);
    if (fraction == 0)
        return true;
    if (nonzero && fraction <= 8 && field.size() >= 8)
        return LastBytesAreDigits(end, fraction);
    for (; p != end; ++p) {
        if (static_cast<unsigned>(*p - '0') >= 10)
            return false;
        nonzero = nonzero || *p != '0';
    }
    return true;
}

} // namespace

namespace {

// Whether a latitude that is no plain decimal makes its line a fix: not when it reads as 0.
bool LatitudeIsFix(std::string_view latitude)
{
    double value = 0;
    bool number = false;
    try {
        number = TryNumberOfText(latitude, value);
    } catch (const Error&) {
        number = false; // too large: refused below
    }
    if (!number) {
        if (ReadsAsZero(latitude))
            return false;
        FixCoordinate(latitude, "latitude"); // throws
    }
    return value != 0;
}

} // namespace

bool ReadTrackFixTime(const TrackLineFields& fields, TrackTimeReader& times, double& time, bool& positionChecked)
{
    // The usual fix, plain decimals on the globe, is judged without converting them.
    bool fix = false, lonNonzero = false;
    const bool plainLat = PlainDecimalBelow(fields.Lat, 90, fix);
    positionChecked = plainLat && PlainDecimalBelow(fields.Lon, 180, lonNonzero);
    if (!plainLat)
        fix = LatitudeIsFix(fields.Lat);
    if (!fix)
        return false;
    if (!times.read(fields.Date, fields.Time, time))
        time = TrackFieldsTime(fields.Date, fields.Time); // throws with the reason
    return true;
}

void CheckTrackFixPosition(const TrackLineFields& fields)
{
    CheckOnGlobe(fields, FixCoordinate(fields.Lat, "latitude"), FixCoordinate(fields.Lon, "longitude"));
}

bool ReadTrackFix(const TrackLineFields& fields, TrackTimeReader& times, double& lat, double& lon, double& time)
{
    bool positionChecked = false;
    if (!ReadTrackFixTime(fields, times, time, positionChecked))
        return false;
    lat = FixCoordinate(fields.Lat, "latitude");
    lon = FixCoordinate(fields.Lon, "longitude");
    CheckOnGlobe(fields, lat, lon);
    return true;
}

TrackPoint ReadTrackPoint(std::string_view line, char sep, double startTime)
{
    if (line.empty())
        return TrackPoint{0, 0, -startTime};
    const TrackLineFields fields = SplitTrackLine(line, sep);
    TrackPoint point;
    TrackTimeReader times;
    double time = 0;
    if (!ReadTrackFix(fields, times, point.Lat, point.Lon, time)) {
        point.Lat = 0;
        point.Lon = LeadingNumber(fields.Lon);
        CheckOnGlobe(fields, point.Lat, point.Lon);
        time = TrackFieldsTime(fields.Date, fields.Time);
    }
    point.Elapsed = time - startTime;
    return point;
}

} // namespace tideplot
