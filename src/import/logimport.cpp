#include "logimport.h"

#include "core/error.h"
#include "gpxreader.h"
#include "kmlreader.h"
#include "kmz.h"
#include "core/text.h"
#include "trackwriter.h"
#include "xmlpass.h"

#include <QFile>
#include <QXmlStreamReader>

#include <vector>

namespace tideplot {

namespace {

using xmllog::CountText;

// The format is told by the root element found within this many bytes.
constexpr std::int64_t kDetectBytes = std::int64_t{16} << 20;

// "a LineString" / "3 LineStrings".
std::string Counted(long count, const std::string& one, const std::string& many)
{
    return count == 1 ? one : CountText(count) + " " + many;
}

// "a, b and c".
std::string Listed(const std::vector<std::string>& items)
{
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += i + 1 == items.size() ? " and " : ", ";
        text += items[i];
    }
    return text;
}

std::string Where(const LogReading& reading, long line)
{
    return (reading.LinesOf.empty() ? "" : reading.LinesOf + " ") + "line " + std::to_string(line);
}

std::string SkippedText(const LogReading& reading)
{
    const SkippedPoints& skipped = reading.Result.Skipped;
    return Counted(skipped.Count, "1 point", "points") + " skipped, " + (skipped.Count == 1 ? "at " : "the first at ") +
           Where(reading, skipped.FirstLine) + ": " + skipped.FirstReason;
}

// What a log without usable points holds, and what the import would need.
std::string NoPointText(const LogReading& reading)
{
    const LogContents& c = reading.Result.Contents;
    std::vector<std::string> holds;
    std::string nothing;
    if (reading.Format == LogFormat::Gpx) {
        if (c.TrackPoints > 0)
            holds.push_back(Counted(c.TrackPoints, "one track point", "track points"));
        if (c.RoutePoints > 0)
            holds.push_back(Counted(c.RoutePoints, "one route point", "route points") +
                            " (a route is a plan, not a track)");
        if (c.Waypoints > 0)
            holds.push_back(Counted(c.Waypoints, "one waypoint", "waypoints"));
        nothing = "no track point (trkpt), route point or waypoint";
    } else {
        if (c.LineStrings > 0)
            holds.push_back(Counted(c.LineStrings, "a LineString", "LineStrings") + " of " +
                            Counted(c.LineStringPoints, "1 point", "points") + " without a time per point");
        if (c.UntimedPlacemarks > 0)
            holds.push_back(Counted(c.UntimedPlacemarks, "a placemark", "placemarks") + " without a time stamp");
        if (c.Tracks > 0)
            holds.push_back(Counted(c.Tracks, "a gx:Track", "gx:Tracks"));
        nothing = "no placemark with a position, gx:Track or LineString";
    }
    std::string text = "it holds " + (holds.empty() ? nothing : Listed(holds));
    if (reading.Result.Skipped.Count > 0)
        text += "; " + SkippedText(reading);
    return text + "; the import needs a track with a time at each point: a KML gx:Track, KML placemarks with time "
                  "stamps, or a GPX track (trkpt elements with a time)";
}

} // namespace

const char* LogFormatName(LogFormat format)
{
    switch (format) {
    case LogFormat::Kmz:
        return "KMZ";
    case LogFormat::Gpx:
        return "GPX";
    case LogFormat::Kml:
        break;
    }
    return "KML";
}

std::string TrackFilePath(const std::string& logPath)
{
    return logPath + ".txt";
}

LogFormat DetectLogFormat(const std::string& logPath)
{
    const QString path = QFile::decodeName(logPath.c_str());
    QString failure;
    std::unique_ptr<QIODevice> file = xmllog::OpenLogFile(path, 0, failure);
    if (!file)
        throw Error("cannot open \"" + logPath + "\": " + failure.toStdString());
    if (LooksLikeZip(file->peek(4)))
        return LogFormat::Kmz;
    const std::int64_t size = file->size();
    xmllog::LogPartDevice device(std::move(file), size);
    if (device.openPart()) {
        QXmlStreamReader xml(&device);
        while (!xml.atEnd() && !device.failed() && device.sourceBytesRead() <= kDetectBytes) {
            if (xml.readNext() == QXmlStreamReader::StartElement)
                return xml.name() == u"gpx" ? LogFormat::Gpx : LogFormat::Kml;
        }
    }
    return EndsWithNoCase(logPath, ".gpx") ? LogFormat::Gpx : LogFormat::Kml;
}

LogReading ReadLogTrackLines(const std::string& logPath, std::string& lines, const LogProgress& progress,
                             const LogReadOptions& options)
{
    LogReading reading;
    reading.Format = DetectLogFormat(logPath);
    switch (reading.Format) {
    case LogFormat::Kml:
        reading.Result = ReadKmlTrackLines(logPath, lines, progress, options);
        break;
    case LogFormat::Gpx:
        reading.Result = ReadGpxTrackLines(logPath, lines, progress, options);
        break;
    case LogFormat::Kmz: {
        KmzArchive archive(logPath);
        reading.LinesOf = archive.KmlName();
        reading.Result = ReadKmlTrackLines(logPath + " (" + archive.KmlName() + ")", archive.OpenKml(),
                                           archive.KmlSize(), lines, progress);
        break;
    }
    }
    return reading;
}

LogImportResult ImportLog(const std::string& logPath, const LogProgress& progress)
{
    LogImportResult result;
    result.TrackFile = TrackFilePath(logPath);
    std::string lines;
    const LogReading reading = ReadLogTrackLines(logPath, lines, progress);
    result.PointCount = reading.Result.PointCount;
    if (result.PointCount == 0)
        result.NoPointWarning = logPath + ": no point found: " + NoPointText(reading);
    else if (reading.Result.Skipped.Count > 0)
        result.SkippedWarning = logPath + ": " + SkippedText(reading);
    AppendTrackLines(result.TrackFile, lines);
    return result;
}

} // namespace tideplot
