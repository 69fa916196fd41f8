#pragma once

#include "logpoints.h"
#include "logreader.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The log import: a GPS log (KML, KMZ, GPX, NMEA 0183 or FIT) becomes a track file beside
// it. Its usable points are sorted by time (points of one second keep the order of the
// log), and the first point of each second gives one track line "LAT,LON,YYYYMMDD,hhmmss"
// ended by CR LF, with "," as separator: the latitude and longitude text exactly as the log
// writes them (NMEA and FIT logs, which write them otherwise, as decimal degrees with 7
// decimals), the date and clock time of the point's time as written (no zone conversion;
// fractions of a second and the zone mark are dropped). The lines go after those of the
// track file, and only lines later than its last one: so a track file stays in time order,
// each second once, and importing a log again adds nothing. The wind, heading and boat
// speed of an NMEA log go the same way to the wind file beside the track file
// (core/windfile.h). The format is told by the log's content: a FIT file header is a FIT
// file, a zip archive a KMZ, a file whose first lines hold an NMEA sentence an NMEA log, an
// XML document whose root is "gpx" a GPX log, any other XML a KML log.
namespace tideplot {

enum class LogFormat { Kml, Kmz, Gpx, Nmea, Fit };

// "KML", "KMZ", "GPX", "NMEA 0183", "FIT".
const char* LogFormatName(LogFormat format);

// The filters of the import button's file dialog, in the order offered: the program's
// classic one first, then every log the import reads.
inline constexpr const char* kImportFileFilterKml = "All Files (*.KML)";
// The dialog matches both without regard to case.
inline constexpr const char* kImportFileFilterLogs =
    "GPS logs: KML, KMZ, GPX, NMEA 0183, FIT (*.kml *.kmz *.gpx *.nmea *.nma *.log *.txt *.fit)";

// Two points of a log further apart than this belong to different pieces of it.
constexpr LogSecond kPieceGapSeconds = 3600;

// What reading a log gave.
struct LogReading {
    LogFormat Format = LogFormat::Kml;
    // The KML document read inside a KMZ archive ("doc.kml"), where the line numbers of
    // messages count; empty for the log itself.
    std::string LinesOf;
    // The archive's first KML document, when another one was read because it holds no
    // point; empty otherwise.
    std::string PassedOver;
    // The archive's other KML documents read, that held no point either.
    int OtherKmlRead = 0;
    LogReadResult Result;
};

// A piece of a log: a track of its own, or a stretch of its points that more than
// kPieceGapSeconds part from the rest. The pieces of a log follow each other in time.
struct LogPiece {
    LogSecond First = 0; // its first and last point's time, as written in the log
    LogSecond Last = 0;
    long Points = 0;       // its points, one a second
    std::string TrackFile; // the track file it went to
    long Appended = 0;     // its points appended there (those later than the file's last line)
};

// A wind file an NMEA log's instruments went to (core/windfile.h), beside the track file of
// the log or of its piece.
struct WindFileWritten {
    std::string Path;
    long Seconds = 0;      // lines of the log for it, one a second
    long Appended = 0;     // of them appended (those later than the file's last line)
    long AlreadyThere = 0; // the others
};

// What one import did.
struct LogImportResult {
    std::string Log;
    bool Split = false; // one track file per piece
    LogFormat Format = LogFormat::Kml;
    std::string Entry;      // the KML document read inside a KMZ archive
    std::string PassedOver; // the archive's first KML document, when it held no point
    // The track files the import appended to: TrackFilePath(log), or the pieces' files
    // when the log was split. Nothing is created for a log without usable points.
    std::vector<std::string> TrackFiles;
    std::string TrackFile; // the first of them, or where a log without a split would go
    long PointCount = 0;   // lines appended, in all files
    long LogPoints = 0;    // usable points of the log, repeats and all
    long Repeats = 0;      // exact repeats of the point before them (same second and position)
    long SameSecond = 0;   // other points in a second that already has one
    long AlreadyThere = 0; // points not later than the last line of their track file
    std::vector<LogPiece> Pieces;
    // The wind files, when the log has instruments' sentences (one per piece when split).
    std::vector<WindFileWritten> WindFiles;
    // How the wind went there, one line each: which sentences gave the true wind, and how.
    std::vector<std::string> WindNotes;
    // The log has several pieces: ImportLogSplit writes one track file for each.
    bool CanSplit() const { return Pieces.size() > 1; }
    // One line each, naming the log, for the command's "warning:" lines and the window's
    // report: skipped points, points out of order, several pieces, points already there,
    // a log cut short, zone offsets, a clock that was not set.
    std::vector<std::string> Warnings;
    // When nothing was appended: why ("LOG: no point found: it holds ..." or "LOG: 26
    // points already in the track file were skipped ..."); empty otherwise.
    std::string NoPointWarning;
    // The warnings other than NoPointWarning, one per line, for the window's report.
    std::string SkippedWarning;
};

// The track file that the import of `logPath` appends to: the log's path followed by
// ".txt" (day1.kml gives day1.kml.txt, day1.kmz day1.kmz.txt, day1.gpx day1.gpx.txt).
std::string TrackFilePath(const std::string& logPath);
// The track file of the log's piece `piece` (from 1) when it is split: day1.gpx gives
// day1.gpx.1.txt, day1.gpx.2.txt, ...
std::string PieceTrackFilePath(const std::string& logPath, int piece);

// The format of the log at `logPath`, by its content (by its name ending only when its
// content tells nothing: no FIT header, no zip archive, no NMEA sentence in its first lines
// and no root element within its first 16 MiB; ".nmea", ".nma", ".log" and ".txt" are NMEA,
// ".fit" FIT, ".gpx" GPX, any other KML). Throws Error when the
// log cannot be opened or is no regular file (a folder, a FIFO, a device).
LogFormat DetectLogFormat(const std::string& logPath);

// Reads the log at `logPath`, whatever its format, and adds its usable points to `points`
// and the lines of its wind file (an NMEA log's) to `wind` when it is given (see the
// readers: kmlreader.h, gpxreader.h, nmeareader.h, fitreader.h). In a KMZ archive the KML
// documents are read in turn (doc.kml first) until one holds a point. Throws Error naming
// the log, the line and the fault when the log cannot be read, and when it ends early
// before any complete point; `points` may then hold some of the log's points.
LogReading ReadLogPoints(const std::string& logPath, LogPoints& points, const LogProgress& progress = {},
                         const LogReadOptions& options = {}, LogPoints* wind = nullptr);

// The first second (LogSecond) of the day a text "YYYY-MM-DD" names, for
// LogReadOptions::GivenDate; nothing when the text is no such date.
std::optional<LogSecond> ReadGivenDate(std::string_view text);

struct LogImportOptions {
    bool Split = false; // one track file per piece (PieceTrackFilePath)
    LogReadOptions Read;
};

// The whole import: reads every point of the log, then appends the lines of the points
// later than each track file's last line to it, and the wind lines later than each wind
// file's last line to it, all files or none (see TrackFileAppend). Nothing is written when
// no point is added: a log without usable points creates no track file. When anything
// fails the files are left as they were (not created when they were missing) and Error
// says what failed.
LogImportResult ImportLog(const std::string& logPath, const LogProgress& progress = {},
                          const LogImportOptions& options = {});
// The import with one track file per piece of the log (LogImportResult::TrackFiles).
LogImportResult ImportLogSplit(const std::string& logPath, const LogProgress& progress = {});

// "2008-07-12 09:58-16:40", or "2008-07-12 22:10-2008-07-13 01:40" across midnight.
std::string PieceTimeText(const LogPiece& piece);

// "3 tracks: 2008-07-12 09:58-16:40, 2008-07-13 10:01-15:30, 2008-07-14 09:00-12:00".
std::string PiecesText(const std::vector<LogPiece>& pieces);

// What the import did, in a few lines for a message box: what was written where, then
// every warning (without the log's name in front).
std::string ImportReportText(const LogImportResult& result);

} // namespace tideplot
