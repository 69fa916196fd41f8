#include "share/pagemapcourse.h"

#include "core/results.h"
#include "core/text.h"
#include "share/pagedata.h"

namespace tideplot::page {

namespace {

// The page's results table: the columns of the CSV up to the track file.
constexpr std::size_t kPageResultColumns = 8;

// A line's two ends as [lat1, lon1, lat2, lon2].
std::string EndsJson(double lat1, double lon1, double lat2, double lon2)
{
    std::string json(1, '[');
    for (const double value : {lat1, lon1, lat2, lon2}) {
        if (json.size() > 1)
            json += ',';
        json += JsonNumber(value);
    }
    return json + ']';
}

// The start line and the marks for the chart: {"start": [lat1, lon1, lat2, lon2] or null,
// "marks": [{"name", "gate", "side" ("port", "starboard" or "" for a gate), "lat", "lon",
// "lat2", "lon2" (a gate's second buoy)}]}.
std::string CourseJson(const Course& course)
{
    std::string json = "{\"start\":";
    if (course.Start)
        json += EndsJson(course.Start->Lat1, course.Start->Lon1, course.Start->Lat2, course.Start->Lon2);
    else
        json += "null";
    json += ",\"marks\":[";
    for (std::size_t i = 0; i < course.Marks.size(); ++i) {
        const CourseMark& mark = course.Marks[i];
        json += i == 0 ? "{" : ",{";
        json += "\"name\":" + JsonString(LocalTextAsUtf8(mark.Name));
        json += ",\"gate\":";
        json += mark.Gate ? "true" : "false";
        json += ",\"side\":" + JsonString(mark.Gate ? std::string() : std::string(MarkSideName(mark.Side)));
        json += ",\"lat\":" + JsonNumber(mark.Lat) + ",\"lon\":" + JsonNumber(mark.Lon);
        if (mark.Gate)
            json += ",\"lat2\":" + JsonNumber(mark.Lat2) + ",\"lon2\":" + JsonNumber(mark.Lon2);
        json += "}";
    }
    return json + "]}";
}

} // namespace

std::vector<TileLayer> PageTileLayers(const MapChoice& map, QString& attribution)
{
    switch (map.kind) {
    case MapChoice::Kind::None:
    case MapChoice::Kind::Mbtiles:
        return {};
    case MapChoice::Kind::OpenStreetMap:
        attribution = QString::fromUtf8(kOpenStreetMapAttribution);
        return {{QString::fromLatin1(kOpenStreetMapUrl), 19, false}};
    case MapChoice::Kind::OpenSeaMap:
        attribution = QString::fromUtf8(kOpenSeaMapAttribution);
        return {{QString::fromLatin1(kOpenStreetMapUrl), 19, false},
                {QString::fromLatin1(kOpenSeaMapSeamarkUrl), 18, true}};
    case MapChoice::Kind::UrlTemplate: {
        CheckTileUrlTemplate(map.text);
        attribution = QStringLiteral("Map tiles: ") + TileServerName(map.text);
        return {{map.text, 19, false}};
    }
    }
    return {};
}

std::string MapLayersJson(const MapChoice& map)
{
    QString attribution;
    const std::vector<TileLayer> layers = PageTileLayers(map, attribution);
    if (layers.empty())
        return {};
    std::string json = ",\"map\":{\"attribution\":" + JsonString(attribution.toStdString()) + ",\"layers\":[";
    for (std::size_t i = 0; i < layers.size(); ++i) {
        json += i == 0 ? "{" : ",{";
        json += "\"url\":" + JsonString(layers[i].url.toStdString());
        if (layers[i].url.contains(QLatin1String("{s}")))
            json += ",\"subdomains\":" + JsonString(kTileSubdomains);
        json += ",\"maxZoom\":" + std::to_string(layers[i].maxZoom);
        json += ",\"overlay\":";
        json += layers[i].overlay ? "true" : "false";
        json += "}";
    }
    return json + "]}";
}

std::string CourseDataJson(const Course& course, const std::string& raceFile, const std::string& board)
{
    const FinishLine& line = *course.Finish;
    std::string json = ",\"finish\":" + EndsJson(line.Lat1, line.Lon1, line.Lat2, line.Lon2);
    if (!course.FinishOnly())
        json += ",\"course\":" + CourseJson(course);
    json += ",\"leaderboard\":" + PackedJson(board);
    json += ",\"results\":[";
    bool first = true;
    for (const BoatResult& result : RaceResults(raceFile, course)) {
        json += first ? "[" : ",[";
        first = false;
        const auto texts = ResultTexts(result);
        for (std::size_t i = 0; i < kPageResultColumns; ++i) {
            if (i > 0)
                json += ',';
            AppendJsonString(json, texts[i]);
        }
        json += "]";
    }
    return json + "]";
}

} // namespace tideplot::page
