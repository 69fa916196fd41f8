#include "resultsjson.h"

#include "datetime.h"
#include "error.h"
#include "outputfile.h"
#include "text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace tideplot {

namespace {

// The shortest plain decimal that reads back as `value`.
void AppendNumber(std::string& out, double value)
{
    std::array<char, 512> buffer;
    const auto [end, ec] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value + 0.0, std::chars_format::fixed);
    if (ec != std::errc())
        throw Error("the results' JSON: a number cannot be written");
    out.append(buffer.data(), end);
}

// Seconds to the tenth.
void AppendSeconds(std::string& out, double seconds)
{
    const long long tenths = std::llround(seconds * 10);
    out += tenths < 0 ? "-" : "";
    out += std::to_string(std::llabs(tenths) / 10) + "." + std::to_string(std::llabs(tenths) % 10);
}

void AppendLine(std::string& out, const std::optional<FinishLine>& line)
{
    if (!line) {
        out += "null";
        return;
    }
    out += '[';
    const std::array<double, 4> values{line->Lat1, line->Lon1, line->Lat2, line->Lon2};
    for (std::size_t i = 0; i < values.size(); ++i) {
        out += i ? ", " : "";
        AppendNumber(out, values[i]);
    }
    out += ']';
}

void AppendField(std::string& out, const char* name, double value)
{
    out += ", \"";
    out += name;
    out += "\": ";
    AppendNumber(out, value);
}

void AppendCourse(std::string& out, const Course& course)
{
    out += "{\"start\": ";
    AppendLine(out, course.Start);
    out += ", \"finish\": ";
    AppendLine(out, course.Finish);
    out += ",\n    \"marks\": [";
    for (std::size_t i = 0; i < course.Marks.size(); ++i) {
        const CourseMark& mark = course.Marks[i];
        out += i ? ",\n      {\"name\": " : "\n      {\"name\": ";
        AppendJsonText(out, mark.Name);
        out += mark.Gate ? ", \"kind\": \"gate\", \"side\": null" : ", \"kind\": \"mark\", \"side\": ";
        if (!mark.Gate)
            AppendJsonText(out, MarkSideName(mark.Side));
        AppendField(out, "lat", mark.PointLat());
        AppendField(out, "lon", mark.PointLon());
        if (mark.Gate) {
            AppendField(out, "lat1", mark.Lat);
            AppendField(out, "lon1", mark.Lon);
            AppendField(out, "lat2", mark.Lat2);
            AppendField(out, "lon2", mark.Lon2);
        }
        out += '}';
    }
    out += "],\n    \"course\": [";
    const std::vector<std::size_t> lap = course.Lap();
    for (std::size_t i = 0; i < lap.size(); ++i) {
        out += i ? ", " : "";
        AppendJsonText(out, course.Marks[lap[i]].Name);
    }
    out += "], \"laps\": " + std::to_string(course.Laps) + "}";
}

void AppendRoundings(std::string& out, const BoatResult& result)
{
    out += ",\n     \"marks\": [";
    for (std::size_t i = 0; i < result.Roundings.size(); ++i) {
        const MarkRounding& r = result.Roundings[i];
        out += i ? ",\n       {\"name\": " : "\n       {\"name\": ";
        AppendJsonText(out, r.Mark);
        out += ", \"lap\": " + std::to_string(r.Lap) + ", \"time\": ";
        AppendJsonText(out, IsoText(result.StartTime, r.ElapsedSeconds, true));
        out += ", \"elapsed_s\": ";
        AppendSeconds(out, r.ElapsedSeconds);
        out += ", \"corrected_s\": ";
        AppendSeconds(out, r.CorrectedSeconds);
        out += ", \"rank\": " + std::to_string(r.Rank) + "}";
    }
    out += "]";
}

void AppendBoat(std::string& out, const BoatResult& result, long row)
{
    const auto texts = ResultTexts(result);
    out += "{\"row\": " + std::to_string(row) + ", \"name\": ";
    AppendJsonText(out, texts[1]);
    out += ", \"file\": ";
    AppendJsonText(out, texts[7]);
    AppendField(out, "lys", result.Lys);
    out += ", \"rating\": ";
    if (result.Rating.size() == 2) {
        out += '[';
        AppendNumber(out, result.Rating[0]);
        out += ", ";
        AppendNumber(out, result.Rating[1]);
        out += ']';
    } else {
        AppendNumber(out, result.Rating.empty() ? result.Lys : result.Rating[0]);
    }
    out += ",\n     \"status\": ";
    AppendJsonText(out, texts[8]);
    out += ", \"rank\": " + (result.Finished ? std::to_string(result.Rank) : std::string("null"));
    out += ", \"gun\": ";
    AppendJsonText(out, IsoText(result.StartTime, 0, false));
    out += ", \"started\": ";
    if (result.StartedSeconds)
        AppendJsonText(out, IsoText(result.StartTime, *result.StartedSeconds, true));
    else
        out += "null";
    out += result.Ocs ? ", \"ocs\": true" : ", \"ocs\": false";
    AppendRoundings(out, result);
    out += ",\n     \"finish\": ";
    if (result.Finished) {
        AppendJsonText(out, IsoText(result.StartTime, result.ElapsedSeconds, true));
        out += ", \"elapsed_s\": ";
        AppendSeconds(out, result.ElapsedSeconds);
        out += ", \"corrected_s\": ";
        AppendSeconds(out, result.CorrectedSeconds);
    } else {
        out += "null, \"elapsed_s\": null, \"corrected_s\": null";
    }
    out += '}';
}

} // namespace

std::string IsoText(double gun, double seconds, bool tenth)
{
    const long long tenths =
        std::llround(gun * kSecondsPerDay) * 10 + std::llround(seconds * (tenth ? 10 : 1)) * (tenth ? 1 : 10);
    const long long whole = tenths >= 0 ? tenths / 10 : -((-tenths + 9) / 10);
    std::string text = DateText(static_cast<double>(whole) / kSecondsPerDay);
    text[10] = 'T';
    return tenth ? text + "." + std::to_string(tenths - whole * 10) + "Z" : text + "Z";
}

std::string ResultsJson(const Course& course, const std::vector<BoatResult>& results, const ResultsHandicap& handicap)
{
    std::string json = "{\"handicap\": {\"system\": ";
    AppendJsonText(json, HandicapSystemName(handicap.Rule.System));
    const bool tot = handicap.Rule.System == HandicapSystem::PhrfTot;
    const auto optional = [&](const char* name, std::optional<double> value) {
        json += std::string(", \"") + name + "\": ";
        if (value)
            AppendNumber(json, *value);
        else
            json += "null";
    };
    optional("a", tot ? std::optional(handicap.Rule.A) : std::nullopt);
    optional("b", tot ? std::optional(handicap.Rule.B) : std::nullopt);
    optional("distance_nm", handicap.DistanceNm);
    json += "},\n \"course\": ";
    AppendCourse(json, course);
    json += ",\n \"boats\": [";
    for (std::size_t i = 0; i < results.size(); ++i) {
        json += i ? ",\n    " : "\n    ";
        AppendBoat(json, results[i], results[i].EntryLine);
    }
    json += "\n]}\n";
    return json;
}

} // namespace tideplot
