#pragma once

#include <string>
#include <string_view>

// Date values: days since 1899-12-30 00:00:00 as a double, the time of day as the
// fraction (one second is 1/86400), as the OLE Automation date counts them. For a
// date before 1899-12-30 the whole part counts the days back and the fraction still
// adds the time of day (-1.25 is 1899-12-29 06:00:00).
namespace tideplot {

inline constexpr double kSecondsPerDay = 86400.0;

// Reads "YYYY-MM-DD hh:mm:ss" and the same with shorter digit counts
// ("2007-1-1 9:05", the seconds may be left out); blanks around the text and one or
// more blanks between date and time are allowed. Throws Error quoting the text when
// it is not a valid date and time (month 13, 24:00:01, February 30, a missing part,
// letters).
double DateValueFromText(std::string_view text);

// Like DateValueFromText, but returns false instead of throwing.
bool TryDateValueFromText(std::string_view text, double& value);

// True when the parts name a real date (year 1 to 9999) and a time of day 00:00:00 to 23:59:59.
bool IsValidDateTime(int year, int month, int day, int hour, int minute, int second);

// Days since 1899-12-30 of a valid date.
long long DayNumber(int year, int month, int day);
// The date value of a day number and a time of day in seconds (0 to 86399).
double DateValueOfDay(long long dayNumber, int secondOfDay);

// Date value from its parts; the parts must already be valid.
double DateValue(int year, int month, int day, int hour, int minute, int second);

// "YYYY-MM-DD hh:mm:ss", rounded to the nearest second.
std::string DateText(double dateValue);

// The race clock as "hh:mm:ss", rounded to the second; before the gun (a negative clock)
// with a minus sign: "-00:05:00" ... "-00:00:10", "00:00:00", "00:00:10". The hours keep
// counting past a day: "24:00:00", "48:45:00", "100:00:00".
std::string RaceClockText(double raceClockDays);

} // namespace tideplot
