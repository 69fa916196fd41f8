#include "datetime.h"

#include "error.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace tideplot {

namespace {

using namespace std::chrono;

constexpr sys_days kEpoch = sys_days{year{1899} / December / 30};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Reads 1 to maxDigits digits at pos.
bool ReadNumber(std::string_view text, std::size_t& pos, int maxDigits, int& value)
{
    int count = 0;
    value = 0;
    while (pos < text.size() && IsDigit(text[pos]) && count < maxDigits) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++count;
    }
    return count > 0 && (pos >= text.size() || !IsDigit(text[pos]));
}

bool Expect(std::string_view text, std::size_t& pos, char c)
{
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

} // namespace

bool IsValidDateTime(int y, int mo, int d, int h, int mi, int s)
{
    if (y < 1 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31)
        return false;
    const year_month_day date{year{y}, month{static_cast<unsigned>(mo)}, day{static_cast<unsigned>(d)}};
    return date.ok() && h >= 0 && h <= 23 && mi >= 0 && mi <= 59 && s >= 0 && s <= 59;
}

long long DayNumber(int yearValue, int monthValue, int dayValue)
{
    const year_month_day date{year{yearValue}, month{static_cast<unsigned>(monthValue)},
                              day{static_cast<unsigned>(dayValue)}};
    return (sys_days{date} - kEpoch).count();
}

double DateValueOfDay(long long days, int secondOfDay)
{
    // One rounding of the exact value; before the epoch the time still counts forward.
    if (days >= 0)
        return static_cast<double>(days * 86400 + secondOfDay) / kSecondsPerDay;
    return static_cast<double>(days * 86400 - secondOfDay) / kSecondsPerDay;
}

double DateValue(int yearValue, int monthValue, int dayValue, int hour, int minute, int second)
{
    return DateValueOfDay(DayNumber(yearValue, monthValue, dayValue), hour * 3600 + minute * 60 + second);
}

bool TryDateValueFromText(std::string_view text, double& value)
{
    std::size_t pos = 0;
    const std::size_t n = text.size();
    while (pos < n && IsBlank(text[pos]))
        ++pos;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!(pos + 4 <= n && IsDigit(text[pos]) && IsDigit(text[pos + 1]) && IsDigit(text[pos + 2]) &&
          IsDigit(text[pos + 3])))
        return false;
    if (!ReadNumber(text, pos, 4, y) || !Expect(text, pos, '-') || !ReadNumber(text, pos, 2, mo) ||
        !Expect(text, pos, '-') || !ReadNumber(text, pos, 2, d))
        return false;
    if (pos >= n || !IsBlank(text[pos]))
        return false;
    while (pos < n && IsBlank(text[pos]))
        ++pos;
    if (!ReadNumber(text, pos, 2, h) || !Expect(text, pos, ':') || !ReadNumber(text, pos, 2, mi))
        return false;
    if (Expect(text, pos, ':') && !ReadNumber(text, pos, 2, s))
        return false;
    while (pos < n && IsBlank(text[pos]))
        ++pos;
    if (pos != n)
        return false;
    if (!IsValidDateTime(y, mo, d, h, mi, s))
        return false;
    value = DateValue(y, mo, d, h, mi, s);
    return true;
}

double DateValueFromText(std::string_view text)
{
    double value = 0;
    if (!TryDateValueFromText(text, value)) {
        std::string shown(text.substr(0, 60));
        throw Error("\"" + shown + (text.size() > 60 ? "..." : "") + "\" is not a valid date and time");
    }
    return value;
}

namespace {

// Splits a date value into whole days and seconds of the day, rounded to the second.
void SplitDateValue(double dateValue, long long& days, long long& seconds)
{
    if (!std::isfinite(dateValue) || std::fabs(dateValue) > 3.0e6)
        throw Error("the date value is out of range");
    const double whole = std::trunc(dateValue);
    days = static_cast<long long>(whole);
    seconds = std::llround(std::fabs(dateValue - whole) * kSecondsPerDay);
    if (seconds >= 86400) {
        seconds -= 86400;
        days += dateValue < 0 ? -1 : 1;
    }
}

} // namespace

std::string DateText(double dateValue)
{
    long long days = 0, seconds = 0;
    SplitDateValue(dateValue, days, seconds);
    const year_month_day date{kEpoch + std::chrono::days{days}};
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02lld:%02lld:%02lld", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), seconds / 3600,
                  seconds / 60 % 60, seconds % 60);
    return buffer;
}

std::string RaceClockText(double raceClockDays)
{
    long long days = 0, seconds = 0;
    SplitDateValue(raceClockDays, days, seconds);
    const long long hours = (days < 0 ? -days : days) * 24 + seconds / 3600;
    // Before the gun the clock counts down with a minus sign; a clock that rounds to
    // 00:00:00 has none.
    const bool beforeTheGun = raceClockDays < 0 && (days != 0 || seconds != 0);
    // Written digit by digit: the replay writes one at every step.
    std::string text;
    text.reserve(16);
    if (beforeTheGun)
        text += '-';
    if (hours >= 100)
        text += std::to_string(hours / 100);
    const auto two = [&text](long long n) {
        text += static_cast<char>('0' + n / 10);
        text += static_cast<char>('0' + n % 10);
    };
    two(hours % 100);
    text += ':';
    two(seconds / 60 % 60);
    text += ':';
    two(seconds % 60);
    return text;
}

} // namespace tideplot
