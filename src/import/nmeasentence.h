#pragma once

// One line of an NMEA 0183 log as the NMEA reader takes it apart: the sentence in it and
// its fields, and the values it writes (positions in degrees and minutes, times of day,
// dates, angles, speeds). Internal to the NMEA reader.

#include "logreader.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tideplot::nmea {

// The fields a sentence may have; those after them are not looked at.
constexpr std::size_t kMaxFields = 24;

// A sentence: "$IIMWV,058,R,12.7,N,A*1A" has the talker "II", the type "MWV" and the
// fields "058", "R", "12.7", "N", "A". A proprietary sentence ("$PGRME,...") has the talker
// "P" and the rest of its address as its type.
struct Sentence {
    std::string_view Talker;
    std::string_view Type;
    std::array<std::string_view, kMaxFields> Fields;
    std::size_t Count = 0;
    bool HasChecksum = false;
    // The field `i` (from 0), "" past the last one.
    std::string_view operator[](std::size_t i) const { return i < Count ? Fields[i] : std::string_view(); }
};

enum class LineKind {
    Blank,        // nothing but blanks
    Sentence,     // a sentence, whose checksum (when it has one) is right
    BadChecksum,  // a sentence whose checksum is wrong or is no checksum
    NotASentence, // anything else
};

// Takes a log line apart. Whatever stands before the sentence's "$" (or "!") is passed
// over: a logger's timestamp ("2019-07-01T10:00:00.123Z $GPRMC,...", "1561975200.123
// $GPRMC,...") or an NMEA 4.10 tag block ("\s:gps,c:1561975200*5B\$GPRMC,..."). The
// checksum "*hh" is checked when the sentence has one; a sentence without one is taken.
// `problem` gets why a line is no sentence or fails its checksum.
LineKind ReadLine(std::string_view line, Sentence& sentence, std::string& problem);

// A number as a sentence writes it: digits with an optional sign and decimal point
// ("058", "-1.5", "+17.5", "12."); false for anything else (an empty field, "1e3", "n/a").
bool ReadNumber(std::string_view text, double& value);

// A time of day "hhmmss" with an optional fraction ("103144", "103144.25"): its second of
// the day (the fraction dropped), or nothing when the text is no time of day.
std::optional<int> ReadTimeOfDay(std::string_view text);

// A date "ddmmyy" (RMC; years 80 to 99 are 1980 to 1999, the others 2000 to 2079) or the
// three ZDA fields: the day number (datetime.h), or nothing when they are no date.
std::optional<long long> ReadDdmmyy(std::string_view text);
std::optional<long long> ReadDayMonthYear(std::string_view day, std::string_view month, std::string_view year);

// A latitude "ddmm.mmmm" with its hemisphere "N" or "S" (`latitude` true), or a longitude
// "dddmm.mmmm" with "E" or "W", as decimal degrees rounded to 7 decimals ("46.2421667",
// "-6.1770167"), worked out from the digits exactly; "" with `problem` set when the text is
// no such position.
std::string DecimalDegrees(std::string_view value, std::string_view hemisphere, bool latitude, std::string& problem);

// The decimals of the degrees DecimalDegrees writes.
constexpr int kDegreeDecimals = 7;

// A speed "12.7" in the unit "N" (knots), "K" (km/h), "M" (m/s) or "S" (statute miles an
// hour), in knots; false when either is no such thing.
bool ReadSpeedKnots(std::string_view value, std::string_view unit, double& knots);

} // namespace tideplot::nmea
