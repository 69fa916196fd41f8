#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

// Text helpers shared by every reader and writer of the program. Text here is the
// bytes of the files (the system's 8-bit code page); positions count bytes.
namespace tideplot {

// The field `index` (counted from 0) of `text` split at `separator`. Blanks stay part
// of the field. An index past the last field gives an empty text; a negative index
// gives the first field.
std::string_view GetField(std::string_view text, int index, char separator);

// The first "," of `text` turned into "."; a text without "," comes back unchanged.
std::string CommaToPoint(std::string_view text);

// a if a > b, otherwise b (so b on a tie).
inline double MaxOf(double a, double b)
{
    return a > b ? a : b;
}
// b if a > b, otherwise a (so a on a tie).
inline double MinOf(double a, double b)
{
    return a > b ? b : a;
}

// The leading-number value of a text: blanks (space, tab, line feed) anywhere are
// skipped, then an optional sign, digits with at most one "." and an optional
// exponent ("E" or "D", optional sign, digits) are read up to the first character
// that does not fit. A text without a number gives 0; "," is not a decimal point.
// Throws Error when the number is too large for a double.
double LeadingNumber(std::string_view text);

// The whole text read as one number ("read as a number"): blanks (space, tab) around it
// are allowed; between them stands an optional sign ("+" or "-"), digits with at most one
// "." (a digit on at least one side of it: "5.", ".5"), and an optional exponent ("E", "e",
// "D" or "d", an optional sign, digits). Anything else is no number: "", "abc", "nan",
// "inf", "0x10", "1,05", "1.0.0", "5e", "1 0". Throws Error quoting the text when it is
// no number or too large for a double.
double NumberOfText(std::string_view text);
// The same, false instead of the error for a text that is no number (too large a number
// still throws).
bool TryNumberOfText(std::string_view text, double& value);

// Rounding to a whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
// Throws Error when the result does not fit the integer type or the value is no number.
std::int32_t RoundToInt32(double value);
std::int16_t RoundToInt16(double value);

// "###0.000": at least one digit before the point, exactly three after it.
std::string DistanceText(double value);
// The number DistanceText writes a `value` from 0 up with, in thousandths, when it is told
// without writing the text (nearly always); false otherwise.
bool DistanceThousandthsOf(double value, std::uint64_t& thousandths);

// "##0.###########" with "." as decimal point: at most 11 decimals, trailing zeros
// dropped, a whole number keeps its point (12 -> "12.", 57.5 -> "57.5").
std::string CoordinateText(double value);
// The same, appended to `out` without building a temporary string.
void AppendCoordinateText(std::string& out, double value);

// A number with up to 15 significant digits and no trailing zeros (1.05 -> "1.05",
// 1.0 -> "1").
std::string ShortNumberText(double value);

// `text` in double quotes for a message, on one readable line: control characters
// (a NUL, a line break) written as \xNN, and a text longer than `maxBytes` cut before
// a character, with "..." after it.
std::string QuotedText(std::string_view text, std::size_t maxBytes = 80);

// True when `text` is well-formed UTF-8 (no stray or missing continuation bytes, no
// overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// The start of the last `count` characters of `text`: UTF-8 characters when the text is
// well-formed UTF-8, else bytes (one character each in an 8-bit code page).
std::size_t LastCharactersStart(std::string_view text, std::size_t count);

// The name of a file as messages give it: its name without the folder.
std::string FileLabel(const std::string& path);

// Whether `text` ends with `suffix`, ASCII letters of either case alike (".KML" ends with
// ".kml").
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// Text with the blanks (space characters) at both ends removed, or at its end only.
std::string_view TrimSpaces(std::string_view text);
// Text with spaces and tabs at both ends removed.
std::string_view TrimBlanks(std::string_view text);
std::string_view TrimTrailingSpaces(std::string_view text);

// Appends one field of a CSV line (RFC 4180): as it is, or in double quotes with each quote
// doubled when it holds a comma, a quote or a line break.
void AppendCsvField(std::string& out, std::string_view field);

// Appends `text` as a JSON string: in quotes, quotes and backslashes escaped, control
// characters as \u00XX; other bytes (UTF-8) as they are.
void AppendJsonText(std::string& out, std::string_view text);

// Text in the system's 8-bit code page (names from files) as UTF-8.
std::string LocalTextAsUtf8(const std::string& bytes);
// The same text as the windows show it.
QString LocalText(std::string_view bytes);

} // namespace tideplot
