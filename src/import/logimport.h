#pragma once

#include "logreader.h"

#include <string>

// The log import: a GPS log (KML, KMZ or GPX) becomes a track file beside it. Every usable
// point of the log adds one track line "LAT,LON,YYYYMMDD,hhmmss" ended by CR LF, with ","
// as separator: the latitude and longitude text exactly as the log writes it, the date and
// clock time of the point's time as written (no zone conversion; fractions of a second and
// the zone mark are dropped). The format is told by the log's content: a zip archive is a
// KMZ, an XML document whose root is "gpx" a GPX log, any other XML a KML log.
namespace tideplot {

enum class LogFormat { Kml, Kmz, Gpx };

// "KML", "KMZ", "GPX".
const char* LogFormatName(LogFormat format);

// The filters of the import button's file dialog, in the order offered: the program's
// classic one first, then every log the import reads.
inline constexpr const char* kImportFileFilterKml = "All Files (*.KML)";
// The dialog matches both without regard to case.
inline constexpr const char* kImportFileFilterLogs = "GPS logs: KML, KMZ, GPX (*.kml *.kmz *.gpx)";

// What reading a log gave.
struct LogReading {
    LogFormat Format = LogFormat::Kml;
    // Where the line numbers of messages count: the KML document inside a KMZ archive
    // ("doc.kml"); empty for the log itself.
    std::string LinesOf;
    LogReadResult Result;
};

// What one import did.
struct LogImportResult {
    std::string TrackFile; // the file the lines were appended to
    long PointCount = 0;   // lines appended; 0 when the log holds no usable point
    // One line each, naming the log, for the command's "warning:" lines and the window's
    // report; empty when there is nothing to say:
    std::string SkippedWarning; // "LOG: 3 points skipped, the first at line 57: the latitude ..."
    std::string NoPointWarning; // "LOG: no point found: it holds ...; the import needs ..."
};

// The track file that the import of `logPath` appends to: the log's path followed by
// ".txt" (day1.kml gives day1.kml.txt, day1.kmz day1.kmz.txt, day1.gpx day1.gpx.txt).
std::string TrackFilePath(const std::string& logPath);

// The format of the log at `logPath`, by its content (by its name ending only when its
// content tells nothing: no root element within its first 16 MiB). Throws Error when the
// log cannot be opened.
LogFormat DetectLogFormat(const std::string& logPath);

// Reads the log at `logPath`, whatever its format, and appends the track lines of its
// usable points to `lines` (see the readers: kmlreader.h, gpxreader.h; a KMZ archive's KML
// document is read in one pass). Throws Error naming the log, the line and the fault when
// the log cannot be read; `lines` may then hold part of the log's lines.
LogReading ReadLogTrackLines(const std::string& logPath, std::string& lines, const LogProgress& progress = {},
                             const LogReadOptions& options = {});

// The whole import: reads every point of the log, then appends their lines to
// TrackFilePath(logPath) all or nothing (see AppendTrackLines: the track file gets its
// column header line when it is new or empty). A log without usable points creates a
// missing track file (holding the header) and leaves an existing one as it is. When
// anything fails the track file is left as it was (not created when it was missing) and
// Error says what failed. Importing a log twice appends its points twice.
LogImportResult ImportLog(const std::string& logPath, const LogProgress& progress = {});

} // namespace tideplot
