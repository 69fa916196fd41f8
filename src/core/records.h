#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The two records that carry a race into the replay: the boat entry line (one per
// boat, in the boat list and the race file) and the track line (one per GPS point).
namespace tideplot {

// A position and its time: Lat and Lon in decimal degrees (north and east positive),
// Elapsed in days since the boat's start time.
struct TrackPoint {
    double Lat = 0;
    double Lon = 0;
    double Elapsed = 0;
};

// The fields between which a boat entry line is written.
inline constexpr std::string_view kEntrySeparator = " , ";

// A boat entry line read into its values.
struct BoatEntry {
    std::string TrackFile;   // field 0 without its trailing blanks
    double StartTime = 0;    // date value
    double Lys = 0;          // LYS handicap number
    std::int32_t Colour = 0; // colour number
    char SepChar = ',';      // separator of the track lines: the last character of the line
    std::string Name;        // display name
};

// The LYS numbers a race takes. A boat with LYS L is shown at T / L of race clock T,
// so the replay needs L times the boat's sailing time to reach its end: far outside
// this range (1e308, say) the race would never end, and no handicap rule comes near
// these limits (LYS numbers lie between about 0.5 and 2).
inline constexpr double kMinLys = 0.01;
inline constexpr double kMaxLys = 100;

// The earliest start time taken: date values count from 1899-12-30, and the replay
// takes day 0 as "no time".
inline constexpr std::string_view kEarliestStartText = "1900-01-01 00:00:00";

// Splits a boat entry line at "," and reads its values. Throws Error naming the
// field that cannot be read (the caller adds the file and line): a start time that is
// no date and time or lies before 1900, an LYS number that is not a number from
// kMinLys to kMaxLys, a track file name holding a NUL byte.
BoatEntry ReadBoatEntry(std::string_view line);

// The display name made from field 0 of a boat entry: its last 20 characters
// (including the blank before the ","), with blanks at both ends removed. Characters
// are UTF-8 characters when field 0 is UTF-8, so no letter is ever cut in two; bytes
// otherwise.
std::string BoatDisplayName(std::string_view field0);

// Builds a boat entry line: the five texts joined by " , ", each as given.
std::string BoatEntryLine(std::string_view trackFile, std::string_view startTime, std::string_view lys,
                          std::string_view colour, std::string_view sepChar);

// The date value of a track line: the year, month and day of field 2 (characters 1-4,
// 5-6, 7-8) and the hour, minute and second of field 3 (characters 1-2, 3-4, 5-6),
// fields split at `sep`. An empty line gives 0. Throws Error quoting the line when
// the fields give no valid date and time.
double TrackPointTime(std::string_view line, char sep);

// The first four fields of a track line, split at `sep` in one pass (GetField's rules).
struct TrackLineFields {
    std::string_view Lat, Lon, Date, Time;
};
TrackLineFields SplitTrackLine(std::string_view line, char sep);

// TrackPointTime of a non-empty line whose date and time fields are given; the Try
// form returns false instead of throwing.
double TrackFieldsTime(std::string_view date, std::string_view time);
bool TryTrackFieldsTime(std::string_view date, std::string_view time, double& value);

// TryTrackFieldsTime for the lines of one track, read front to back: consecutive
// lines mostly share their date, whose day number is then reused.
class TrackTimeReader {
public:
    bool read(std::string_view date, std::string_view time, double& value);

private:
    char date_[8] = {};
    long long dayNumber_ = 0;
    bool known_ = false;
};

// Throws Error quoting the field when the latitude lies outside -90 to 90 or the
// longitude outside -180 to 180: such a position is on no globe.
void CheckOnGlobe(const TrackLineFields& fields, double lat, double lon);
// The same for a line whose position is not read otherwise: plain decimals such as
// "57.7012345" are judged by their whole degrees, without reading the number.
void CheckOnGlobe(const TrackLineFields& fields);

// A track line read into a TrackPoint: Lat and Lon are the leading-number values of
// fields 0 and 1, Elapsed is the line's date value minus `startTime`. Throws Error
// naming the field when the position is off the globe or the time cannot be read.
TrackPoint ReadTrackPoint(std::string_view line, char sep, double startTime);

// The latitude of a track line (the leading-number value of field 0).
double TrackLineLatitude(std::string_view line, char sep);

} // namespace tideplot
