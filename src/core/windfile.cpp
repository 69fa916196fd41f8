#include "windfile.h"

#include "datetime.h"
#include "error.h"
#include "text.h"
#include "trackfixes.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace tideplot {

namespace {

constexpr int kFields = 8;
constexpr std::array<const char*, kFields> kFieldNames{"date", "time", "TWD", "TWS", "AWA", "AWS", "HDG", "BSP"};

bool AllDigits(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Digits(std::string_view text, std::size_t at, std::size_t count)
{
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

void AppendFixed(std::string& out, const std::optional<double>& value, int decimals)
{
    out += ',';
    if (!value)
        return;
    char text[64];
    // Rounded before it is written, so that no "-0.0" is written.
    const double scale = decimals == 1 ? 10.0 : 100.0;
    const double rounded = std::round(*value * scale) / scale + 0.0;
    const auto [end, ec] = std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed, decimals);
    if (ec == std::errc())
        out.append(text, end);
}

// An angle in degrees brought to [low, low + 360) after rounding to a tenth.
std::optional<double> Turned(const std::optional<double>& deg, double low)
{
    if (!deg)
        return std::nullopt;
    double tenths = std::round(*deg * 10);
    const double low10 = low * 10;
    tenths = std::fmod(tenths - low10, 3600.0);
    if (tenths < 0)
        tenths += 3600.0;
    return (tenths + low10) / 10;
}

// Reads one number field into `value` (left empty for an empty field).
void ReadValue(std::string_view field, int index, std::optional<double>& value, const std::string& where)
{
    if (field.empty())
        return;
    double number = 0;
    if (!TryNumberOfText(field, number))
        throw Error(where + ": the " + kFieldNames[std::size_t(index)] + " " + QuotedText(field) + " is no number");
    const bool angle = index == 2 || index == 6;
    const bool signedAngle = index == 4;
    const bool ok = angle ? number >= 0 && number <= 360 : signedAngle ? number >= -180 && number <= 180 : number >= 0;
    if (!ok)
        throw Error(where + ": the " + kFieldNames[std::size_t(index)] + " " + QuotedText(field) + " is not " +
                    (angle         ? "an angle from 0 to 360"
                     : signedAngle ? "an angle from -180 to 180"
                                   : "a speed of 0 knots or more"));
    value = number;
}

} // namespace

std::string WindFilePath(const std::string& trackFilePath)
{
    constexpr std::string_view kTxt = ".txt";
    if (trackFilePath.size() > kTxt.size() && trackFilePath.ends_with(kTxt))
        return trackFilePath.substr(0, trackFilePath.size() - kTxt.size()) + ".wind.txt";
    return trackFilePath + ".wind.txt";
}

std::string WindLineText(std::string_view date, std::string_view time, const WindFileLine& values)
{
    std::string line;
    line.reserve(64);
    line.append(date);
    line += ',';
    line.append(time);
    AppendFixed(line, Turned(values.TwdDeg, 0), 1);
    AppendFixed(line, values.TwsKnots, 2);
    std::optional<double> awa = Turned(values.AwaDeg, -180);
    if (awa && *awa == -180)
        awa = 180;
    AppendFixed(line, awa, 1);
    AppendFixed(line, values.AwsKnots, 2);
    AppendFixed(line, Turned(values.HdgDeg, 0), 1);
    AppendFixed(line, values.BspKnots, 2);
    return line;
}

WindFileReader::WindFileReader(const std::string& path) : file_(path) {}

bool WindFileReader::next(WindFileLine& line)
{
    if (!headerSkipped_) {
        headerSkipped_ = true;
        SkipTrackHeader(file_);
    }
    while (!file_.AtEnd()) {
        const std::string_view text = file_.ReadLine();
        if (text.find_first_not_of(" \t") == std::string_view::npos)
            continue;
        const std::string where = FileLabel(file_.Path()) + ", line " + std::to_string(file_.LineNumber());
        std::array<std::string_view, kFields> fields;
        std::string_view rest = text;
        int count = 0;
        for (;; ++count) {
            const std::size_t comma = rest.find(',');
            if (count < kFields)
                fields[std::size_t(count)] = rest.substr(0, comma);
            if (comma == std::string_view::npos)
                break;
            rest.remove_prefix(comma + 1);
        }
        if (count + 1 != kFields)
            throw Error(where + ": the line holds " + std::to_string(count + 1) +
                        " fields instead of 8 (YYYYMMDD,hhmmss,TWD,TWS,AWA,AWS,HDG,BSP)");
        const std::string_view date = fields[0], time = fields[1];
        if (date.size() != 8 || !AllDigits(date) || time.size() != 6 || !AllDigits(time) ||
            !IsValidDateTime(Digits(date, 0, 4), Digits(date, 4, 2), Digits(date, 6, 2), Digits(time, 0, 2),
                             Digits(time, 2, 2), Digits(time, 4, 2)))
            throw Error(where + ": the date and time " + QuotedText(std::string(date) + "," + std::string(time)) +
                        " are not YYYYMMDD,hhmmss");
        line = WindFileLine{};
        line.Line = file_.LineNumber();
        line.Time = DateValue(Digits(date, 0, 4), Digits(date, 4, 2), Digits(date, 6, 2), Digits(time, 0, 2),
                              Digits(time, 2, 2), Digits(time, 4, 2));
        std::optional<double>* const values[] = {&line.TwdDeg,   &line.TwsKnots, &line.AwaDeg,
                                                 &line.AwsKnots, &line.HdgDeg,   &line.BspKnots};
        for (int i = 2; i < kFields; ++i)
            ReadValue(fields[std::size_t(i)], i, *values[i - 2], where);
        return true;
    }
    return false;
}

} // namespace tideplot
