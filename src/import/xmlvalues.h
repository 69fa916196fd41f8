#pragma once

// The values the XML log readers (KML, GPX) take from a log's text: times, degrees, and the
// words messages quote them in. Internal to the log readers.

#include "logreader.h"

#include <QStringView>

#include <array>
#include <cstddef>
#include <string>

namespace tideplot::xmllog {

// "YYYYMMDD,hhmmss": the date and time fields of a track line.
constexpr std::size_t kDateTimeLength = 15;
using DateTimeFields = std::array<char, kDateTimeLength>;

bool IsXmlSpace(QChar c);
QStringView TrimXmlSpace(QStringView text);

// The text in double quotes, cut to 60 characters, for messages.
std::string Quoted(QStringView text);

// "1,329": a count as messages write it.
std::string CountText(long count);

// Reads a time "YYYY-MM-DDThh:mm:ss", optionally followed by a fraction of a second and a
// zone ("Z", "+hh:mm", "+hhmm", "+hh"), into the date and time fields of a track line. The
// clock time is kept as written; the fraction and the zone are dropped. `zoneOffset` (when
// given) gets the zone's offset from UTC as "+hh:mm", or "" when the time is in UTC or
// names no zone.
bool ReadLogTime(QStringView text, DateTimeFields& fields, std::string* zoneOffset = nullptr);

// Why a time cannot be used: "the time is empty" or "the time "..." is not ...".
std::string TimeProblem(QStringView text);

// The clock time of valid fields as a LogSecond, and the first second of their date.
LogSecond SecondOf(const DateTimeFields& fields);
LogSecond DayStartOf(const DateTimeFields& fields);
// The fields of a second: its date and clock time.
DateTimeFields FieldsOfSecond(LogSecond second);

// A decimal number as logs write degrees ("-12.5", "59.3251", "1e-3") whose value lies
// within +-limit.
bool IsDegrees(QStringView text, double limit);
// Appends a text known to be ASCII (it passed IsDegrees) as it stands.
void AppendAscii(std::string& out, QStringView text);

// Why a longitude or latitude text cannot be used, "" when it can. A number written with a
// decimal comma ("37,549225") is named as such.
std::string LongitudeProblem(QStringView text);
std::string LatitudeProblem(QStringView text);

// True when the text reads as degrees within +-limit once its one comma is a point.
bool IsDecimalCommaDegrees(QStringView text, double limit);

} // namespace tideplot::xmllog
