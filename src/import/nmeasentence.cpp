#include "nmeasentence.h"

#include "core/datetime.h"
#include "core/text.h"

#include <charconv>
#include <cstdint>

namespace tideplot::nmea {

namespace {

// The longest address read ("GPRMC", "PGRME", ...).
constexpr std::size_t kMaxAddress = 16;
// The fraction digits of minutes worked out; further ones are below a millionth of a metre.
constexpr std::size_t kMaxMinuteDecimals = 9;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsAddressChar(char c)
{
    return (c >= 'A' && c <= 'Z') || IsDigit(c);
}

int HexValue(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Where the sentence starts in the line: a "$" or "!" followed by an address (capitals and
// digits, beginning with a capital) and "," or "*" or the end; npos when there is none.
std::size_t SentenceStart(std::string_view line)
{
    for (std::size_t at = line.find_first_of("$!"); at != std::string_view::npos;
         at = line.find_first_of("$!", at + 1)) {
        std::size_t end = at + 1;
        while (end < line.size() && end - at <= kMaxAddress && IsAddressChar(line[end]))
            ++end;
        const std::size_t length = end - at - 1;
        if (length >= 3 && length <= kMaxAddress && line[at + 1] >= 'A' && line[at + 1] <= 'Z' &&
            (end == line.size() || line[end] == ',' || line[end] == '*'))
            return at;
    }
    return std::string_view::npos;
}

std::string HexText(unsigned value)
{
    const char* digits = "0123456789ABCDEF";
    return {digits[(value >> 4) & 0xF], digits[value & 0xF]};
}

long long Power10(std::size_t n)
{
    long long value = 1;
    while (n-- > 0)
        value *= 10;
    return value;
}

} // namespace

LineKind ReadLine(std::string_view line, Sentence& sentence, std::string& problem)
{
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos)
        return LineKind::Blank;
    const std::size_t start = SentenceStart(line);
    if (start == std::string_view::npos) {
        problem = "no NMEA sentence (\"$\" and an address such as GPRMC) in " + QuotedText(line, 40);
        return LineKind::NotASentence;
    }
    std::string_view data = line.substr(start + 1);
    // Sentences are printable ASCII; a line of binary garbage that happens to hold "$GPRMC," is none.
    for (const char c : data) {
        if (c < 0x20 || c > 0x7E) {
            problem = "no NMEA sentence: it holds bytes that are no printable ASCII";
            return LineKind::NotASentence;
        }
    }
    const std::size_t star = data.find('*');
    sentence.HasChecksum = star != std::string_view::npos;
    if (sentence.HasChecksum) {
        // Two hexadecimal digits; some instruments leave out a leading zero ("*6").
        const std::string_view sum = data.substr(star + 1, 2);
        data = data.substr(0, star);
        const bool one = line.size() == start + 1 + star + 2 && !sum.empty() && HexValue(sum[0]) >= 0;
        if (!one && (sum.size() < 2 || HexValue(sum[0]) < 0 || HexValue(sum[1]) < 0)) {
            problem = "the checksum " + QuotedText(std::string("*").append(sum)) + " is not two hexadecimal digits";
            return LineKind::BadChecksum;
        }
        unsigned computed = 0;
        for (const char c : data)
            computed ^= static_cast<unsigned char>(c);
        const auto written = unsigned(one ? HexValue(sum[0]) : HexValue(sum[0]) * 16 + HexValue(sum[1]));
        if (computed != written) {
            problem = "the checksum is " + HexText(written) + ", the sentence gives " + HexText(computed);
            return LineKind::BadChecksum;
        }
    }
    const std::size_t comma = data.find(',');
    const std::string_view address = data.substr(0, comma);
    const bool proprietary = address[0] == 'P';
    sentence.Talker = address.substr(0, proprietary ? 1 : 2);
    sentence.Type = address.substr(proprietary ? 1 : 2);
    sentence.Count = 0;
    std::string_view rest = comma == std::string_view::npos ? std::string_view() : data.substr(comma + 1);
    if (comma != std::string_view::npos) {
        for (;;) {
            const std::size_t next = rest.find(',');
            if (sentence.Count < kMaxFields)
                sentence.Fields[sentence.Count++] = rest.substr(0, next);
            if (next == std::string_view::npos)
                break;
            rest.remove_prefix(next + 1);
        }
    }
    return LineKind::Sentence;
}

bool ReadNumber(std::string_view text, double& value)
{
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    std::size_t digits = 0, points = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsDigit(text[i]))
            ++digits;
        else if (text[i] == '.')
            ++points;
        else if (!(text[i] == '-' && i == 0))
            return false;
    }
    if (digits == 0 || points > 1)
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return ec == std::errc() && end == text.data() + text.size();
}

std::optional<int> ReadTimeOfDay(std::string_view text)
{
    if (text.size() < 6)
        return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!IsDigit(text[i]) && !(i == 6 && text[i] == '.'))
            return std::nullopt;
    const int h = (text[0] - '0') * 10 + (text[1] - '0');
    const int m = (text[2] - '0') * 10 + (text[3] - '0');
    const int s = (text[4] - '0') * 10 + (text[5] - '0');
    if ((text.size() > 6 && text[6] != '.') || h > 23 || m > 59 || s > 59)
        return std::nullopt;
    return h * 3600 + m * 60 + s;
}

std::optional<long long> ReadDdmmyy(std::string_view text)
{
    if (text.size() != 6)
        return std::nullopt;
    const std::string_view yy = text.substr(4, 2);
    if (!IsDigit(yy[0]) || !IsDigit(yy[1]))
        return std::nullopt;
    const int year = (yy[0] - '0') * 10 + (yy[1] - '0');
    return ReadDayMonthYear(text.substr(0, 2), text.substr(2, 2),
                            std::to_string(year >= 80 ? 1900 + year : 2000 + year));
}

std::optional<long long> ReadDayMonthYear(std::string_view day, std::string_view month, std::string_view year)
{
    const auto number = [](std::string_view digits, std::size_t size, int& value) {
        if (digits.size() != size)
            return false;
        value = 0;
        for (const char c : digits) {
            if (!IsDigit(c))
                return false;
            value = value * 10 + (c - '0');
        }
        return true;
    };
    int d = 0, m = 0, y = 0;
    if (!number(day, 2, d) || !number(month, 2, m) || !number(year, 4, y) || !IsValidDateTime(y, m, d, 0, 0, 0))
        return std::nullopt;
    return DayNumber(y, m, d);
}

std::string DecimalDegrees(std::string_view value, std::string_view hemisphere, bool latitude, std::string& problem)
{
    const char* what = latitude ? "latitude" : "longitude";
    const std::string name = std::string("the ") + what;
    if (value.empty()) {
        problem = name + " is empty";
        return {};
    }
    const std::size_t point = value.find('.');
    const std::string_view whole = value.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : value.substr(point + 1);
    bool digits = !whole.empty() && whole.size() <= (latitude ? 4u : 5u);
    for (const char c : whole)
        digits = digits && IsDigit(c);
    for (const char c : fraction)
        digits = digits && IsDigit(c);
    long long degrees = 0, minutes = 0;
    for (const char c : whole)
        minutes = minutes * 10 + (c - '0');
    degrees = minutes / 100;
    minutes %= 100;
    const int limit = latitude ? 90 : 180;
    if (!digits || minutes >= 60 || degrees > limit) {
        problem = name + " " + QuotedText(value) + " is not " + (latitude ? "ddmm.mmmm" : "dddmm.mmmm") +
                  " (degrees and minutes up to " + std::to_string(limit) + ")";
        return {};
    }
    const char sign = hemisphere == "N" || hemisphere == "E" ? '+' : hemisphere == "S" || hemisphere == "W" ? '-' : 0;
    if (!sign || (latitude && (hemisphere == "E" || hemisphere == "W")) ||
        (!latitude && (hemisphere == "N" || hemisphere == "S"))) {
        problem = name + "'s hemisphere " + QuotedText(hemisphere) + " is not " + (latitude ? "N or S" : "E or W");
        return {};
    }
    // Minutes in units of 10^-k, then degrees in units of 10^-7, rounded half up.
    const std::size_t k = std::min(fraction.size(), kMaxMinuteDecimals);
    long long scaled = minutes;
    for (std::size_t i = 0; i < k; ++i)
        scaled = scaled * 10 + (fraction[i] - '0');
    const long long unit = Power10(kDegreeDecimals);
    const long long per = 60 * Power10(k);
    const long long total = degrees * unit + (2 * scaled * unit + per) / (2 * per);
    if (total > limit * unit) {
        problem = name + " " + QuotedText(value) + " lies beyond " + std::to_string(limit) + " degrees";
        return {};
    }
    std::string text = sign == '-' && total != 0 ? "-" : "";
    std::string decimals = std::to_string(total % unit);
    text += std::to_string(total / unit) + "." + std::string(kDegreeDecimals - decimals.size(), '0') + decimals;
    return text;
}

bool ReadSpeedKnots(std::string_view value, std::string_view unit, double& knots)
{
    double speed = 0;
    if (!ReadNumber(value, speed) || speed < 0)
        return false;
    if (unit == "N")
        knots = speed;
    else if (unit == "K")
        knots = speed / 1.852;
    else if (unit == "M")
        knots = speed * 3600 / 1852;
    else if (unit == "S")
        knots = speed * 1609.344 / 1852;
    else
        return false;
    return true;
}

} // namespace tideplot::nmea
