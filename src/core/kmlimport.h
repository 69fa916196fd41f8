#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The KML log import: a GPS log exported as KML becomes a track file beside it. Every
// point of the log adds one track line "LAT,LON,YYYYMMDD,hhmmss" ended by CR LF, with
// "," as separator: the latitude and longitude text exactly as the log writes it, the
// date and clock time of the log's time stamp as written (no zone conversion; fractions
// of a second and the zone mark are dropped).
namespace tideplot {

// Called while a log is read, now and then and once at its end: the bytes of the log
// read so far and the size of the log, in bytes.
using KmlImportProgress = std::function<void(std::int64_t bytesRead, std::int64_t totalBytes)>;

// What one import did.
struct KmlImportResult {
    std::string TrackFile; // the file the lines were appended to
    long PointCount = 0;   // lines appended; 0 when the log holds no usable point
};

// How a log is read. A large log is cut at placemarks into parts that are read at the
// same time on several threads; every part is checked to be exactly the XML it would be in
// one pass over the whole log, and when that cannot be shown (or the log has an error) the
// log is read again in one pass, so the result is always that of one pass.
struct KmlReadOptions {
    int Threads = 0;                                   // parts at most; 0: one per processor
    std::int64_t MinPartBytes = std::int64_t{4} << 20; // no part is smaller than this
};

// What reading a log gave.
struct KmlReadResult {
    long PointCount = 0; // track lines added
    int Parts = 1;       // the number of parts the log was read in; 1: one pass
};

// The track file that the import of `logPath` appends to: the log's path followed by
// ".txt" (day1.kml gives day1.kml.txt).
std::string KmlTrackFilePath(const std::string& logPath);

// Reads the log at `logPath` as XML, front to back without loading it whole, and
// appends one track line (with its CR LF) per point to `lines`, in the order of the log:
//  - every Placemark with a TimeStamp holding a when and a Point holding coordinates
//    "lon,lat[,alt]" (both children of the Placemark; in any Folder or Document, with any
//    attributes or namespace prefix); placemarks without either are passed over;
//  - every gx:Track: its when elements paired in order with its gx:coord elements
//    "lon lat [alt]".
// A time must read "YYYY-MM-DDThh:mm:ss", optionally followed by a fraction of a second
// and a zone ("Z", "+hh:mm"); a longitude must be a decimal number from -180 to 180, a
// latitude one from -90 to 90. Throws Error naming the log, the line and what is wrong
// when the log cannot be read, is empty or not well-formed XML, or holds a point whose
// time or coordinates cannot be read; `lines` may then hold part of the log's lines.
// `progress` is called on the calling thread.
KmlReadResult ReadKmlTrackLines(const std::string& logPath, std::string& lines, const KmlImportProgress& progress = {},
                                const KmlReadOptions& options = {});

// Appends `bytes` to the file at `path`, creating it when missing: all of them or none.
// When writing fails part way the file is cut back to its old size, so it keeps its
// old content byte for byte. Throws Error naming the file.
void AppendAllOrNothing(const std::string& path, std::string_view bytes);

// The whole import: reads every point of the log, then appends their lines to
// KmlTrackFilePath(logPath). The track file is created (empty) when missing, also for a
// log without points. When anything fails the track file is left as it was (not
// created when it was missing) and Error says what failed. Importing a log twice
// appends its points twice.
KmlImportResult ImportKmlLog(const std::string& logPath, const KmlImportProgress& progress = {});

} // namespace tideplot
