#pragma once

#include "linereader.h"

#include <optional>
#include <string>
#include <string_view>

// The wind file: what a boat's instruments measured, one line a second, beside its track
// file (the import of an NMEA log writes it). Each line is
// "YYYYMMDD,hhmmss,TWD,TWS,AWA,AWS,HDG,BSP" ended by CR LF:
//   TWD  the true wind's direction, where it comes from, degrees true, 0 to below 360
//   TWS  the true wind's speed, knots
//   AWA  the apparent wind's angle off the bow, degrees, -180 to 180: positive when the
//        wind comes over starboard, negative over port
//   AWS  the apparent wind's speed, knots
//   HDG  the boat's heading, degrees true, 0 to below 360
//   BSP  the boat's speed through the water, knots
// A field is empty where the log had no value for that second. The date and time are the
// track file's (as the log writes them, no zone conversion). The file starts with the
// column header kWindHeaderLine; lines holding "#" at its top are comments.
namespace tideplot {

inline constexpr std::string_view kWindHeaderLine = "Date,Time,TWD,TWS,AWA,AWS,HDG,BSP\r\n";

// The wind file beside a track file: its name with ".wind.txt" in place of ".txt"
// (race.nmea.txt gives race.nmea.wind.txt, race.nmea.1.txt race.nmea.1.wind.txt), or
// ".wind.txt" after a name that does not end in ".txt".
std::string WindFilePath(const std::string& trackFilePath);

// One second of a wind file.
struct WindFileLine {
    double Time = 0; // date value (datetime.h) of the second
    std::optional<double> TwdDeg;
    std::optional<double> TwsKnots;
    std::optional<double> AwaDeg;
    std::optional<double> AwsKnots;
    std::optional<double> HdgDeg;
    std::optional<double> BspKnots;
    long Line = 0; // of the file
};

// The line of one second, without its line end: `date` "YYYYMMDD", `time` "hhmmss", the
// angles with one decimal (TWD and HDG brought to 0 to below 360, AWA to -180 to 180), the
// speeds with two.
std::string WindLineText(std::string_view date, std::string_view time, const WindFileLine& values);

// Reads a wind file front to back, a line at a time (LineReader: CR LF, LF or CR; never
// loaded whole).
class WindFileReader {
public:
    // Throws Error naming the file when it cannot be opened.
    explicit WindFileReader(const std::string& path);

    // The next second; false at the end of the file. Throws Error naming the file, the
    // line and the field when a line cannot be read (a date that is none, a number that is
    // none or out of its range, a line of other than eight fields).
    bool next(WindFileLine& line);

private:
    LineReader file_;
    bool headerSkipped_ = false;
};

} // namespace tideplot
