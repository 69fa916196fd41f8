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
// field that cannot be read (the caller adds the file and line): an entry of more fields
// than five (a "," inside a value, such as a decimal comma; the separator "," at the end
// of the line is no field of its own), a start time that is no date and time or lies
// before 1900, an LYS number whose text is not a number from its first character to its
// last (NumberOfText's forms, blanks around it aside) or lies outside kMinLys to kMaxLys,
// a track file name holding a NUL byte.
BoatEntry ReadBoatEntry(std::string_view line);

// What is wrong with the typed start time, LYS number and colour of a boat entry (the set-up
// window's boxes Start tid, LYS tal and Färg): a "," in one of them, which would split the
// entry line into more fields than an entry has; "" when there is none. The LYS text is taken
// as given: pass it through LysBoxText first.
std::string EntryBoxesCommaProblem(std::string_view startTime, std::string_view lys, std::string_view colour);

// The LYS box's text with a decimal comma written as a point ("1,05" -> "1.05"): a text
// holding one "," and no "." only; any other text comes back unchanged.
std::string LysBoxText(std::string_view typed);

// The display name made from field 0 of a boat entry: the file name alone (what follows
// the last "/" or "\", with the blank before the ","), its last 20 characters, with
// blanks at both ends removed. Characters are UTF-8 characters when the name is UTF-8, so
// no letter is ever cut in two; bytes otherwise.
std::string BoatDisplayName(std::string_view field0);

// Builds a boat entry line: the five texts joined by " , ", each as given.
std::string BoatEntryLine(std::string_view trackFile, std::string_view startTime, std::string_view lys,
                          std::string_view colour, std::string_view sepChar);

// The date value of a track line: the year, month and day of field 2, exactly eight
// digits YYYYMMDD, and the hour, minute and second of the first six characters of field
// 3, digits hhmmss (what follows them, such as fractions of a second, is ignored), fields
// split at `sep`. An empty line gives 0. Throws Error naming the field when the date is
// not eight digits, the time does not start with six digits, or they give no valid date
// and time.
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
    friend class TrackFixTimeReader;
    char date_[8] = {};
    long long dayNumber_ = 0;
    bool known_ = false;
};

// Throws Error quoting the field when the latitude lies outside -90 to 90 or the
// longitude outside -180 to 180: such a position is on no globe.
void CheckOnGlobe(const TrackLineFields& fields, double lat, double lon);

// The fix of a track line, split into `fields`. A line whose latitude reads as 0 (the
// leading-number value of field 0: an empty line, a point logged without a fix, a line of
// text) has no fix: false, and nothing else of it is read. Otherwise the line is a fix:
// its latitude and longitude must each be a number (NumberOfText's forms, blanks around
// it aside: not "abc", "nan", "inf", "0x10" or empty) on the globe, and its date and time
// as TrackPointTime reads them; `lat`, `lon` and `time` (a date value) are set. Throws
// Error naming the field that cannot be read.
bool ReadTrackFix(const TrackLineFields& fields, TrackTimeReader& times, double& lat, double& lon, double& time);

// ReadTrackFix in two parts, for a reader that passes over some fixes before it reads
// their position: whether the line is a fix (its latitude not 0) and then its time; then,
// unless `positionChecked` came back true (plain decimals such as "57.7012345" on the
// globe, judged without being converted), whether its latitude and longitude are numbers
// on the globe. Each throws Error naming the field.
bool ReadTrackFixTime(const TrackLineFields& fields, TrackTimeReader& times, double& time, bool& positionChecked);
void CheckTrackFixPosition(const TrackLineFields& fields);

// SplitTrackLine and ReadTrackFixTime for the lines of one track, read front to back. A
// line of the usual fix's shape, the shape of the last line read whole (the same length
// and separators, the same sign, whole degrees and point in each coordinate, the same
// date), is judged from the bytes that change from line to line: the decimals and the
// time. The results are those of reading it whole.
class TrackFixTimeReader {
public:
    // Sets `fields` to SplitTrackLine(line, sep) and returns ReadTrackFixTime(fields, ...);
    // throws as ReadTrackFixTime does.
    bool read(std::string_view line, char sep, TrackLineFields& fields, double& time, bool& positionChecked);

    // The lines of the shape in a reader's buffer that a replay's step passes over: from
    // `begin` (with kScanPaddingBytes readable bytes after `end`), each line of the shape whose
    // line break (LF, CR LF or CR) lies before `end`, and so does the byte after a CR, while it
    // is a repeat (its time is `last`, then the time of the last line passed over that is
    // none) or its time - `start` is not above `after`. Their times are those read() gives.
    struct ShapedRun {
        std::size_t Bytes = 0;      // of the lines passed over, with their line breaks
        long Lines = 0;             // the lines passed over
        const char* Last = nullptr; // the last of them that is no repeat; null when none is
        long LastLine = 0;          // its place among them, from 1
        double LastTime = 0;        // its time
    };
    ShapedRun passShaped(const char* begin, const char* end, char sep, double last, double start, double after) const;
    // The fields of a line of the shape (passShaped passed over it).
    TrackLineFields shapedFields(const char* begin) const;
    // The length of a line of the shape without its line break.
    std::size_t shapedLength() const { return length_; }

private:
    // Whether `line` has the shape; then its fields and time are set.
    bool readShaped(std::string_view line, char sep, TrackLineFields& fields, double& time) const;
    // Whether the `length_` bytes at `begin`, split as the shape, are of it: then `seconds` is
    // set, the line's time in seconds from the epoch.
    bool shapedBody(const char* begin, long long& seconds) const;
    // Learns the shape of a line read whole, a fix whose position was checked.
    void learn(std::string_view line, char sep, const TrackLineFields& fields);

    struct Coordinate {
        std::uint32_t From = 0;        // where the field starts in the line
        std::uint32_t End = 0;         // where it ends
        std::uint64_t Prefix = 0;      // the eight bytes from its start, only those up to its point kept
        std::uint64_t PrefixMask = 0;  // those bytes
        std::uint64_t DecimalMask = 0; // its decimals in the eight bytes that end with it
    };
    TrackTimeReader times_;
    std::uint32_t length_ = 0; // of the shaped line; 0: no shape learnt
    char sep_ = 0;
    std::uint64_t separators_ = 0; // bit i set when byte i is a separator
    Coordinate lat_, lon_;
    std::uint32_t dateFrom_ = 0, timeFrom_ = 0, timeEnd_ = 0;
    std::uint64_t date_ = 0;   // the date's eight bytes
    long long daySeconds_ = 0; // the date's day number times 86400
    bool dayBeforeEpoch_ = false;
};

// A track line read into a TrackPoint: a fix as ReadTrackFix reads it; a line without a
// fix (at the end of a file the replay takes one) with Lat and Lon the leading-number
// values of fields 0 and 1, on the globe. Elapsed is the line's date value (0 for an
// empty line) minus `startTime`. Throws Error naming the field that cannot be read.
TrackPoint ReadTrackPoint(std::string_view line, char sep, double startTime);

} // namespace tideplot
