#include "xmlvalues.h"

#include "core/datetime.h"

#include <QString>

#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <system_error>

namespace tideplot {

std::string LogTimeText(LogSecond second)
{
    using namespace std::chrono;
    const long long days = second >= 0 ? second / 86400 : -((-second + 86399) / 86400);
    const int secondOfDay = int(second - days * 86400);
    const year_month_day date{sys_days{year{1899} / December / 30} + std::chrono::days{days}};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", int(date.year()), unsigned(date.month()),
                  unsigned(date.day()), secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60);
    return text;
}

double LogDateValue(LogSecond second)
{
    const long long days = second >= 0 ? second / 86400 : -((-second + 86399) / 86400);
    return DateValueOfDay(days, int(second - days * 86400));
}

} // namespace tideplot

namespace tideplot::xmllog {

namespace {

// Texts quoted in messages are cut to this many characters.
constexpr qsizetype kQuoteLength = 60;

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

std::string DegreesProblem(QStringView text, const char* what, double limit);

} // namespace

bool IsXmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

QStringView TrimXmlSpace(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsXmlSpace(text[begin]))
        ++begin;
    while (end > begin && IsXmlSpace(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

std::string Quoted(QStringView text)
{
    std::string quoted(1, '"');
    quoted += text.left(kQuoteLength).toUtf8().toStdString();
    quoted += text.size() > kQuoteLength ? "...\"" : "\"";
    return quoted;
}

std::string CountText(long count)
{
    std::string digits = std::to_string(count);
    for (auto at = std::ptrdiff_t(digits.size()) - 3; at > (digits[0] == '-' ? 1 : 0); at -= 3)
        digits.insert(std::size_t(at), 1, ',');
    return digits;
}

bool ReadLogTime(QStringView text, DateTimeFields& fields, std::string* zoneOffset)
{
    text = TrimXmlSpace(text);
    static constexpr char kForm[] = "dddd-dd-ddTdd:dd:dd";
    constexpr qsizetype kFormLength = sizeof(kForm) - 1;
    if (text.size() < kFormLength)
        return false;
    std::size_t out = 0;
    for (qsizetype i = 0; i < kFormLength; ++i) {
        const QChar c = text[i];
        if (kForm[i] == 'd') {
            if (!IsDigit(c))
                return false;
            fields[out++] = static_cast<char>(c.unicode());
            if (out == 8)
                fields[out++] = ',';
        } else if (c != QLatin1Char(kForm[i])) {
            return false;
        }
    }
    qsizetype pos = kFormLength;
    const qsizetype n = text.size();
    if (pos < n && text[pos] == u'.') {
        ++pos;
        const qsizetype digitsStart = pos;
        while (pos < n && IsDigit(text[pos]))
            ++pos;
        if (pos == digitsStart)
            return false;
    }
    std::string offset;
    if (pos < n && text[pos] == u'Z') {
        ++pos;
    } else if (pos < n && (text[pos] == u'+' || text[pos] == u'-')) {
        const QStringView zone = text.mid(pos + 1);
        const auto digits = [&](qsizetype at) { return IsDigit(zone[at]) && IsDigit(zone[at + 1]); };
        const bool ok = (zone.size() == 2 && digits(0)) || (zone.size() == 4 && digits(0) && digits(2)) ||
                        (zone.size() == 5 && digits(0) && zone[2] == u':' && digits(3));
        if (!ok)
            return false;
        const qsizetype minutesAt = zone.size() == 5 ? 3 : 2;
        const QStringView minutes = zone.size() == 2 ? QStringView(u"00") : zone.mid(minutesAt, 2);
        if (zone.left(2) != u"00" || minutes != u"00")
            offset = (text[pos] == u'+' ? "+" : "-") + zone.left(2).toString().toStdString() + ":" +
                     minutes.toString().toStdString();
        pos = n;
    }
    if (pos != n)
        return false;

    const auto number = [&](std::size_t at, std::size_t count) {
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i)
            value = value * 10 + (fields[i] - '0');
        return value;
    };
    if (!IsValidDateTime(number(0, 4), number(4, 2), number(6, 2), number(9, 2), number(11, 2), number(13, 2)))
        return false;
    if (zoneOffset)
        *zoneOffset = std::move(offset);
    return true;
}

std::string TimeProblem(QStringView text)
{
    text = TrimXmlSpace(text);
    if (text.isEmpty())
        return "the time is empty";
    return "the time " + Quoted(text) +
           " is not a date and time YYYY-MM-DDThh:mm:ss (with an optional fraction and zone)";
}

bool IsDegrees(QStringView text, double limit)
{
    qsizetype pos = 0;
    const qsizetype n = text.size();
    if (pos < n && (text[pos] == u'+' || text[pos] == u'-'))
        ++pos;
    const qsizetype numberStart = pos;
    qsizetype digits = 0;
    while (pos < n && IsDigit(text[pos]))
        ++pos, ++digits;
    if (pos < n && text[pos] == u'.') {
        ++pos;
        while (pos < n && IsDigit(text[pos]))
            ++pos, ++digits;
    }
    if (digits == 0)
        return false;
    if (pos < n && (text[pos] == u'e' || text[pos] == u'E')) {
        ++pos;
        if (pos < n && (text[pos] == u'+' || text[pos] == u'-'))
            ++pos;
        const qsizetype exponentStart = pos;
        while (pos < n && IsDigit(text[pos]))
            ++pos;
        if (pos == exponentStart)
            return false;
    }
    if (pos != n)
        return false;

    std::array<char, 64> ascii{};
    const QStringView number = text.mid(numberStart);
    if (number.size() >= qsizetype(ascii.size()))
        return false;
    for (qsizetype i = 0; i < number.size(); ++i)
        ascii[std::size_t(i)] = static_cast<char>(number[i].unicode());
    double value = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + number.size(), value);
    return error == std::errc() && end == ascii.data() + number.size() && value <= limit;
}

void AppendAscii(std::string& out, QStringView text)
{
    for (const QChar c : text)
        out += static_cast<char>(c.unicode());
}

bool IsDecimalCommaDegrees(QStringView text, double limit)
{
    const qsizetype comma = text.indexOf(u',');
    if (comma < 0 || text.indexOf(u',', comma + 1) >= 0 || text.size() > 63)
        return false;
    QString point = text.toString();
    point[comma] = u'.';
    return IsDegrees(point, limit);
}

std::string LongitudeProblem(QStringView text)
{
    return DegreesProblem(text, "longitude", 180.0);
}

std::string LatitudeProblem(QStringView text)
{
    return DegreesProblem(text, "latitude", 90.0);
}

namespace {

int Number(const DateTimeFields& fields, std::size_t at, std::size_t count)
{
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i)
        value = value * 10 + (fields[i] - '0');
    return value;
}

} // namespace

LogSecond DayStartOf(const DateTimeFields& fields)
{
    return DayNumber(Number(fields, 0, 4), Number(fields, 4, 2), Number(fields, 6, 2)) * 86400;
}

DateTimeFields FieldsOfSecond(LogSecond second)
{
    // LogTimeText's "YYYY-MM-DD hh:mm:ss" with its separators left out.
    const std::string text = LogTimeText(second);
    DateTimeFields fields{};
    std::size_t at = 0;
    for (const std::size_t from : {0, 5, 8})
        for (std::size_t i = 0; i < (from == 0 ? 4u : 2u); ++i)
            fields[at++] = text[from + i];
    fields[at++] = ',';
    for (const std::size_t from : {11, 14, 17})
        for (std::size_t i = 0; i < 2; ++i)
            fields[at++] = text[from + i];
    return fields;
}

LogSecond SecondOf(const DateTimeFields& fields)
{
    return DayStartOf(fields) + Number(fields, 9, 2) * 3600 + Number(fields, 11, 2) * 60 + Number(fields, 13, 2);
}

namespace {

std::string DegreesProblem(QStringView text, const char* what, double limit)
{
    if (IsDegrees(text, limit))
        return {};
    const std::string name = std::string("the ") + what;
    if (text.isEmpty())
        return name + " is empty";
    if (IsDecimalCommaDegrees(text, limit))
        return name + " " + Quoted(text) + " is written with a decimal comma; a GPS log writes a decimal point";
    const int degrees = int(limit);
    return name + " " + Quoted(text) + " is not a number from -" + std::to_string(degrees) + " to " +
           std::to_string(degrees);
}

} // namespace

} // namespace tideplot::xmllog
