#include "logimport.h"

#include "gpxreader.h"
#include "kmlreader.h"
#include "kmz.h"
#include "logreport.h"
#include "trackwriter.h"
#include "xmlguard.h"
#include "xmlvalues.h"

#include "core/error.h"
#include "core/text.h"

#include <QFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <memory>

namespace tideplot {

namespace {

// The format is told by the root element found within this many bytes.
constexpr std::int64_t kDetectBytes = std::int64_t{16} << 20;
// A report lists this many pieces at most.
constexpr std::size_t kPiecesListed = 10;

// Where the pieces of a log begin because a track begins there: the tracks' time spans
// joined where they overlap, and the first time of each joined span but the first. A
// track of one point (a start or finish mark beside a track) is no piece of its own.
std::vector<LogSecond> TrackCuts(const std::vector<TrackSpan>& tracks)
{
    std::vector<TrackSpan> spans;
    for (const TrackSpan& span : tracks)
        if (span.Points > 1)
            spans.push_back(span);
    std::sort(spans.begin(), spans.end(), [](const TrackSpan& a, const TrackSpan& b) { return a.First < b.First; });
    std::vector<LogSecond> cuts;
    LogSecond end = 0;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        if (i > 0 && spans[i].First > end)
            cuts.push_back(spans[i].First);
        end = i == 0 ? spans[i].Last : std::max(end, spans[i].Last);
    }
    return cuts;
}

std::string WithoutLog(const std::string& line, const std::string& log)
{
    return line.starts_with(log + ": ") ? line.substr(log.size() + 2) : line;
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

std::string PieceTrackFilePath(const std::string& logPath, int piece)
{
    return logPath + "." + std::to_string(piece) + ".txt";
}

LogFormat DetectLogFormat(const std::string& logPath)
{
    xmllog::CheckLogFile(logPath);
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

LogReading ReadLogPoints(const std::string& logPath, LogPoints& points, const LogProgress& progress,
                         const LogReadOptions& options)
{
    LogReading reading;
    reading.Format = DetectLogFormat(logPath);
    int otherKmlRead = 0;
    switch (reading.Format) {
    case LogFormat::Kml:
        reading.Result = ReadKmlPoints(logPath, points, progress, options);
        break;
    case LogFormat::Gpx:
        reading.Result = ReadGpxPoints(logPath, points, progress, options);
        break;
    case LogFormat::Kmz: {
        // doc.kml first; when it holds no point (an overlay, a legend), the others in turn.
        KmzArchive archive(logPath);
        for (int kml = 0; kml < archive.KmlCount(); ++kml) {
            LogReading entry;
            entry.Format = LogFormat::Kmz;
            entry.LinesOf = archive.KmlName(kml);
            entry.Result = ReadKmlPoints(logPath + " (" + archive.KmlName(kml) + ")", archive.OpenKml(kml),
                                         archive.KmlSize(kml), points, progress, options);
            if (kml == 0) {
                reading = entry;
            } else if (entry.Result.PointCount > 0) {
                entry.PassedOver = archive.KmlName(0);
                reading = entry;
            } else {
                ++otherKmlRead;
            }
            if (entry.Result.PointCount > 0)
                break;
        }
        break;
    }
    }
    const LogReadResult& r = reading.Result;
    if (r.PointCount == 0 && r.EndedEarlyAt > 0)
        throw Error(logPath + (reading.LinesOf.empty() ? "" : " (" + reading.LinesOf + ")") + ", line " +
                    std::to_string(r.EndedEarlyAt) +
                    ": the log ends early (was the logger stopped while writing?), before any complete point");
    reading.OtherKmlRead = otherKmlRead;
    return reading;
}

LogImportResult ImportLog(const std::string& logPath, const LogProgress& progress, const LogImportOptions& options)
{
    LogImportResult result;
    result.Log = logPath;
    result.Split = options.Split;
    result.TrackFile = options.Split ? PieceTrackFilePath(logPath, 1) : TrackFilePath(logPath);
    LogPoints points(options.Read.PointMemoryBytes);
    const LogReading reading = ReadLogPoints(logPath, points, progress, options.Read);
    result.Format = reading.Format;
    result.Entry = reading.LinesOf;
    result.PassedOver = reading.PassedOver;
    result.LogPoints = reading.Result.PointCount;
    if (reading.Result.PointCount == 0) {
        result.NoPointWarning = logPath + ": no point found: " + logreport::NoPointText(reading, reading.OtherKmlRead);
        return result;
    }
    result.Warnings = logreport::ReadingWarnings(logPath, reading);

    // The points in time order, one a second, into the track file of their piece.
    const std::vector<LogSecond> cuts = TrackCuts(reading.Result.Tracks);
    std::vector<std::unique_ptr<TrackFileAppend>> files;
    if (!options.Split)
        files.push_back(std::make_unique<TrackFileAppend>(TrackFilePath(logPath)));
    const std::unique_ptr<LogPoints::Cursor> cursor = points.Sorted();
    std::size_t nextCut = 0;
    std::string lastLine;
    LogSecond last = 0;
    while (cursor->Next()) {
        const LogSecond second = cursor->Second();
        const std::string_view line = cursor->Line();
        const bool first = result.Pieces.empty();
        if (!first && second == last) {
            ++(line == lastLine ? result.Repeats : result.SameSecond);
            continue;
        }
        bool newPiece = first || second - last > kPieceGapSeconds;
        for (; nextCut < cuts.size() && cuts[nextCut] <= second; ++nextCut)
            newPiece = true;
        if (newPiece) {
            if (options.Split) {
                if (!files.empty())
                    files.back()->Park();
                files.push_back(std::make_unique<TrackFileAppend>(PieceTrackFilePath(logPath, int(files.size()) + 1)));
            }
            result.Pieces.push_back(LogPiece{second, second, 0, files.back()->Path(), 0});
        }
        LogPiece& piece = result.Pieces.back();
        piece.Last = second;
        ++piece.Points;
        TrackFileAppend& file = *files.back();
        if (file.LastSecond() && second <= *file.LastSecond()) {
            ++result.AlreadyThere;
        } else {
            file.Add(line);
            ++piece.Appended;
        }
        last = second;
        lastLine.assign(line);
    }
    for (const std::unique_ptr<TrackFileAppend>& file : files) {
        file->Commit();
        if (file->Added() > 0)
            result.TrackFiles.push_back(file->Path());
        result.PointCount += file->Added();
    }

    if (result.AlreadyThere > 0) {
        const std::string already =
            logPath + ": " +
            logreport::AlreadyThereText(result.AlreadyThere, options.Split, files.front()->LastSecond().value_or(0));
        if (result.PointCount == 0)
            result.NoPointWarning = already;
        else
            result.Warnings.push_back(already);
    }
    for (const std::string& warning : result.Warnings)
        result.SkippedWarning += (result.SkippedWarning.empty() ? "" : "\n") + warning;
    return result;
}

LogImportResult ImportLogSplit(const std::string& logPath, const LogProgress& progress)
{
    LogImportOptions options;
    options.Split = true;
    return ImportLog(logPath, progress, options);
}

std::string PieceTimeText(const LogPiece& piece)
{
    const std::string first = LogTimeText(piece.First).substr(0, 16);
    const std::string last = LogTimeText(piece.Last).substr(0, 16);
    return first + "-" + (first.substr(0, 10) == last.substr(0, 10) ? last.substr(11) : last);
}

std::string PiecesText(const std::vector<LogPiece>& pieces)
{
    std::string text = std::to_string(pieces.size()) + (pieces.size() == 1 ? " track: " : " tracks: ");
    for (std::size_t i = 0; i < pieces.size() && i < kPiecesListed; ++i)
        text += (i > 0 ? ", " : "") + PieceTimeText(pieces[i]);
    if (pieces.size() > kPiecesListed)
        text += " and " + std::to_string(pieces.size() - kPiecesListed) + " more";
    return text;
}

std::string ImportReportText(const LogImportResult& result)
{
    using xmllog::CountText;
    std::string text;
    const bool split = result.Split;
    if (result.PointCount == 0) {
        text = "Nothing was written to " + (split ? std::string("the track files") : result.TrackFile) + ".\n\n" +
               WithoutLog(result.NoPointWarning, result.Log);
    } else if (split) {
        text = "The log's " + std::to_string(result.Pieces.size()) + " tracks went to one track file each:";
        for (const LogPiece& piece : result.Pieces)
            text += "\n" + piece.TrackFile + ": " + PieceTimeText(piece) + ", " +
                    (piece.Appended == 0 ? std::string("nothing new") : CountText(piece.Appended) + " points");
    } else {
        text = CountText(result.PointCount) + (result.PointCount == 1 ? " point was" : " points were") +
               " written to " + result.TrackFile + ".";
        if (result.CanSplit())
            text += "\n\nThe log holds " + PiecesText(result.Pieces) +
                    ". They all went to this one file; imported split, each goes to a track file of its own.";
    }
    if (!result.PassedOver.empty())
        text +=
            "\n\nThe points were read from " + result.Entry + " in the archive: " + result.PassedOver + " holds none.";
    for (const std::string& warning : result.Warnings)
        text += "\n\n" + WithoutLog(warning, result.Log);
    return text;
}

} // namespace tideplot
