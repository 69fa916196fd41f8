#pragma once

#include "logpoints.h"
#include "logreader.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The FIT file reader (the Flexible and Interoperable Data Transfer protocol of Garmin's
// watches and sailing computers, public). A FIT file is a header, data records and a CRC;
// several such files may follow each other in one file. The data records are definition
// messages (the fields of a local message type, little or big endian, with developer
// fields whose bytes are passed over) and data messages, with a normal header or a
// compressed timestamp header (the time as an offset of up to 31 seconds from the last
// timestamp). The points are the `record` messages (global number 20) with a timestamp
// (field 253, seconds since 1989-12-31 00:00:00 UTC, or the compressed header's) and a
// position (fields 0 and 1, position_lat and position_long, in semicircles: 2^31 of them
// are 180 degrees), as decimal degrees with 7 decimals and the UTC date and time. A
// `session` message (18) or the start of another file ends a track. The file's CRC
// (CRC-16 as the protocol defines it) is checked, and the header's when it has one. The
// places in messages are byte offsets: LogPlace::Line holds the offset of the message.
// See logreader.h for the contract.
namespace tideplot {

// A record message as the reader takes it.
struct FitRecord {
    std::int64_t Offset = 0;                // of its message in the file, bytes
    std::optional<std::uint32_t> Timestamp; // seconds since 1989-12-31 00:00:00 UTC
    std::optional<std::int32_t> LatSemicircles;
    std::optional<std::int32_t> LonSemicircles;
    std::optional<double> SpeedMps; // speed (field 6) or enhanced_speed (73), metres a second
};

// What reading a FIT file's messages gave besides its records.
struct FitReading {
    int Files = 0;                 // FIT files in it, one after the other
    std::int64_t Bytes = 0;        // the size of the file
    std::int64_t EndedEarlyAt = 0; // the offset of the message cut short at the end; 0: none
    std::int64_t TrailingAt = 0;   // where bytes that are no FIT file begin after its end; 0: none
};

// Reads the FIT file at `logPath` front to back through a small buffer, calling `record`
// for each record message and `trackEnds` at each session message and each chained file's
// end. Throws Error naming the file and the byte offset when it is no FIT file, a message
// is malformed (a data message of a type never defined, one longer than the data), or a
// CRC is wrong. A file cut short ends where its last complete message ends (EndedEarlyAt).
FitReading ReadFitRecords(const std::string& logPath, const std::function<void(const FitRecord&)>& record,
                          const std::function<void()>& trackEnds = {}, const LogProgress& progress = {});

// Reads the FIT file at `logPath` and adds its points to `points`. Throws Error as
// ReadFitRecords does.
LogReadResult ReadFitPoints(const std::string& logPath, LogPoints& points, const LogProgress& progress = {});

// True when `start`, the first bytes of a file, is a FIT file header.
bool LooksLikeFit(std::string_view start);

// The degrees of a position in semicircles, rounded to 7 decimals ("-33.8567844").
std::string SemicircleDegrees(std::int32_t semicircles);

} // namespace tideplot
