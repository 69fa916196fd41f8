#pragma once

#include "logpoints.h"
#include "logreader.h"

#include <cstdint>
#include <memory>
#include <string>

class QIODevice;

// The KML log reader. The points of a KML log, in the order of the log:
//  - every Placemark with a TimeStamp holding a when and a Point holding coordinates
//    "lon,lat[,alt]" (both children of the Placemark; in any Folder or Document, with any
//    attributes or namespace prefix); a placemark without a time stamp or without a Point
//    (a mark, a route point, a track's LineString) is no point and is only counted;
//  - every gx:Track (or KML 2.3 Track): its when elements paired in order with its
//    gx:coord elements "lon lat [alt]".
// Its tracks are its Folders and Documents (the placemarks of each), its gx:MultiTracks
// and the gx:Tracks outside them.
// A time must read "YYYY-MM-DDThh:mm:ss", optionally followed by a fraction of a second and
// a zone ("Z", "+hh:mm"); the clock time is copied as written, without zone conversion. A
// longitude must be a decimal number from -180 to 180, a latitude one from -90 to 90; the
// track line carries both texts exactly as the log writes them. A point whose time or
// position cannot be used is skipped (so is every point of a gx:Track whose when and
// gx:coord elements do not pair up). See logreader.h for the contract.
namespace tideplot {

// Reads the KML log file at `logPath` front to back without loading it whole (a large log
// in parts on several threads) and adds its usable points to `points`. Throws Error naming
// the log, the line and what is wrong when the log cannot be read, is empty or not
// well-formed XML; `points` may then hold some of the log's points. `progress` is called on
// the calling thread.
LogReadResult ReadKmlPoints(const std::string& logPath, LogPoints& points, const LogProgress& progress = {},
                            const LogReadOptions& options = {});

// The same in one pass over a KML document served by `source` (open, `size` bytes), such as
// the KML inside a KMZ archive; `logName` names it in messages.
LogReadResult ReadKmlPoints(const std::string& logName, std::unique_ptr<QIODevice> source, std::int64_t size,
                            LogPoints& points, const LogProgress& progress = {}, const LogReadOptions& options = {});

} // namespace tideplot
