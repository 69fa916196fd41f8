#include "logimport.h"

#include "fitreader.h"
#include "gpxreader.h"
#include "kmlreader.h"
#include "kmz.h"
#include "logreport.h"
#include "nmeareader.h"
#include "trackwriter.h"
#include "xmlguard.h"
#include "xmlvalues.h"

#include "core/datetime.h"
#include "core/error.h"
#include "core/outputfile.h"
#include "core/text.h"
#include "core/windfile.h"

#include <QFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <memory>
#include <optional>

namespace tideplot {

namespace {

// The format is told by the root element found within this many bytes.
constexpr std::int64_t kDetectBytes = std::int64_t{16} << 20;
// An NMEA log holds a sentence within this many bytes.
constexpr qint64 kNmeaDetectBytes = qint64{64} << 10;
// The wind lines wait in this share of the points' memory.
constexpr std::int64_t kWindMemoryShare = 4;
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

std::string UpperFirst(std::string text)
{
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = char(text[0] - 'a' + 'A');
    return text;
}

std::string WithoutLog(const std::string& line, const std::string& log)
{
    return line.starts_with(log + ": ") ? line.substr(log.size() + 2) : line;
}

using Appenders = std::vector<std::unique_ptr<TrackFileAppend>>;

// The points in time order, one a second, into the track file of their piece.
Appenders AppendPoints(const std::string& logPath, const LogReading& reading, LogPoints& points,
                       LogImportResult& result)
{
    const std::vector<LogSecond> cuts = TrackCuts(reading.Result.Tracks);
    Appenders files;
    if (!result.Split)
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
            if (result.Split) {
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
    return files;
}

// The wind lines in time order, each second once, into the wind file beside the track file
// of their piece: the last piece that begins before them (or the first).
Appenders AppendWind(LogPoints& wind, LogImportResult& result)
{
    Appenders files;
    if (wind.Count() == 0)
        return files;
    const std::vector<LogPiece>& pieces = result.Pieces;
    std::vector<std::size_t> fileOfPiece(pieces.size(), ~std::size_t{0});
    const std::unique_ptr<LogPoints::Cursor> cursor = wind.Sorted();
    std::size_t piece = 0;
    bool first = true;
    LogSecond last = 0;
    while (cursor->Next()) {
        const LogSecond second = cursor->Second();
        if (!first && second == last)
            continue;
        first = false;
        last = second;
        while (piece + 1 < pieces.size() && pieces[piece + 1].First <= second)
            ++piece;
        const std::size_t of = result.Split ? piece : 0;
        if (fileOfPiece[of] == ~std::size_t{0}) {
            fileOfPiece[of] = files.size();
            const std::string path = WindFilePath(result.Split ? pieces[of].TrackFile : result.TrackFile);
            files.push_back(std::make_unique<TrackFileAppend>(path, TrackFileAppend::Kind::Wind));
            result.WindFiles.push_back(WindFileWritten{path, 0, 0, 0});
        }
        TrackFileAppend& file = *files[fileOfPiece[of]];
        WindFileWritten& written = result.WindFiles[fileOfPiece[of]];
        ++written.Seconds;
        if (file.LastSecond() && second <= *file.LastSecond()) {
            ++written.AlreadyThere;
        } else {
            file.Add(cursor->Line());
            ++written.Appended;
        }
    }
    return files;
}

} // namespace

const char* LogFormatName(LogFormat format)
{
    switch (format) {
    case LogFormat::Kmz:
        return "KMZ";
    case LogFormat::Gpx:
        return "GPX";
    case LogFormat::Nmea:
        return "NMEA 0183";
    case LogFormat::Fit:
        return "FIT";
    case LogFormat::Kml:
        break;
    }
    return "KML";
}

std::optional<LogSecond> ReadGivenDate(std::string_view text)
{
    const auto digits = [&](std::size_t at, std::size_t count, int& value) {
        value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            value = value * 10 + (text[i] - '0');
        }
        return true;
    };
    int year = 0, month = 0, day = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !digits(0, 4, year) || !digits(5, 2, month) ||
        !digits(8, 2, day) || !IsValidDateTime(year, month, day, 0, 0, 0))
        return std::nullopt;
    return DayNumber(year, month, day) * 86400;
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
    const QByteArray start = file->peek(kNmeaDetectBytes);
    const std::string_view bytes(start.constData(), std::size_t(start.size()));
    if (LooksLikeFit(bytes))
        return LogFormat::Fit;
    if (LooksLikeZip(start.left(4)))
        return LogFormat::Kmz;
    // XML starts with "<" (after a byte order mark and blanks); sentences quoted in it are no log.
    const std::size_t first = bytes.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if ((first == std::string_view::npos || bytes[first] != '<') && LooksLikeNmea(bytes))
        return LogFormat::Nmea;
    const std::int64_t size = file->size();
    xmllog::LogPartDevice device(std::move(file), size);
    // Without a "<" in its first bytes (which any XML encoding writes as one byte) no
    // element can begin: only the name can tell.
    if (bytes.find('<') != std::string_view::npos && device.openPart()) {
        QXmlStreamReader xml(&device);
        while (!xml.atEnd() && !device.failed() && device.sourceBytesRead() <= kDetectBytes) {
            if (xml.readNext() == QXmlStreamReader::StartElement)
                return xml.name() == u"gpx" ? LogFormat::Gpx : LogFormat::Kml;
        }
    }
    for (const char* ending : {".nmea", ".nma", ".log", ".txt"})
        if (EndsWithNoCase(logPath, ending))
            return LogFormat::Nmea;
    if (EndsWithNoCase(logPath, ".fit"))
        return LogFormat::Fit;
    return EndsWithNoCase(logPath, ".gpx") ? LogFormat::Gpx : LogFormat::Kml;
}

LogReading ReadLogPoints(const std::string& logPath, LogPoints& points, const LogProgress& progress,
                         const LogReadOptions& options, LogPoints* wind)
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
    case LogFormat::Nmea:
        reading.Result = ReadNmeaPoints(logPath, points, wind, progress, options);
        break;
    case LogFormat::Fit:
        reading.Result = ReadFitPoints(logPath, points, progress);
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
    // Bytes of anything (random data, a picture named .log) hold a line that reads as a
    // sentence now and then, and rarely end with a line end: no NMEA log that was cut short.
    if (r.PointCount == 0 && reading.Format == LogFormat::Nmea && r.Unread.Count > 100 * r.Contents.Sentences)
        throw Error(logPath + ": no position in its " + xmllog::CountText(r.Unread.Count + r.Contents.Sentences) +
                    " lines, of which only " + xmllog::CountText(r.Contents.Sentences) +
                    " read as NMEA 0183 sentences (the first line that did not: " + r.Unread.FirstReason +
                    "): this is no NMEA log; the import reads NMEA 0183, GPX, KML, KMZ and FIT logs");
    if (r.PointCount == 0 && r.EndedEarlyAt > 0)
        throw Error(logPath + (reading.LinesOf.empty() ? "" : " (" + reading.LinesOf + ")") +
                    (reading.Format == LogFormat::Fit ? ", byte " : ", line ") + std::to_string(r.EndedEarlyAt) +
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
    LogPoints wind(options.Read.PointMemoryBytes / kWindMemoryShare);
    const LogReading reading = ReadLogPoints(logPath, points, progress, options.Read, &wind);
    result.Format = reading.Format;
    result.Entry = reading.LinesOf;
    result.PassedOver = reading.PassedOver;
    result.LogPoints = reading.Result.PointCount;
    if (reading.Result.PointCount == 0) {
        result.NoPointWarning = logPath + ": no point found: " + logreport::NoPointText(reading, reading.OtherKmlRead);
        return result;
    }
    result.Warnings = logreport::ReadingWarnings(logPath, reading);

    const Appenders tracks = AppendPoints(logPath, reading, points, result);
    const Appenders winds = AppendWind(wind, result);
    std::vector<PreparedFile> prepared;
    for (const Appenders* files : {&tracks, &winds})
        for (const std::unique_ptr<TrackFileAppend>& file : *files)
            if (std::optional<PreparedFile> ready = file->Prepare())
                prepared.push_back(std::move(*ready));
    CommitTogether(prepared);
    for (const std::unique_ptr<TrackFileAppend>& file : tracks) {
        if (file->Added() > 0)
            result.TrackFiles.push_back(file->Path());
        result.PointCount += file->Added();
    }
    if (!result.WindFiles.empty()) {
        result.WindNotes = logreport::WindNotes(reading.Result.Wind);
        for (const std::string& warning : logreport::WindWarnings(reading.Result.Wind))
            result.Warnings.push_back(logPath + ": " + warning);
    }

    if (result.AlreadyThere > 0) {
        const std::string already =
            logPath + ": " +
            logreport::AlreadyThereText(result.AlreadyThere, options.Split, tracks.front()->LastSecond().value_or(0));
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
    for (const WindFileWritten& wind : result.WindFiles)
        text += "\n\n" + logreport::WindFileText(wind) + ".";
    for (const std::string& note : result.WindNotes)
        text += (&note == &result.WindNotes.front() ? "\n\n" : "\n") + UpperFirst(note) + ".";
    for (const std::string& warning : result.Warnings)
        text += "\n\n" + WithoutLog(warning, result.Log);
    return text;
}

} // namespace tideplot
