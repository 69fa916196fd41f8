#include "text.h"

#include "error.h"

#include <QString>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>

namespace tideplot {

void ThrowAt(const std::string& file, long lineNumber, const std::string& what)
{
    throw Error(file + ", line " + std::to_string(lineNumber) + ": " + what);
}

std::string_view GetField(std::string_view text, int index, char separator)
{
    // Fields are short: a plain scan beats a library search call per separator.
    const char* p = text.data();
    const char* const end = p + text.size();
    for (int i = 0; i < index; ++i) {
        while (p != end && *p != separator)
            ++p;
        if (p == end)
            return {};
        ++p;
    }
    const char* const first = p;
    while (p != end && *p != separator)
        ++p;
    return std::string_view(first, static_cast<std::size_t>(p - first));
}

std::string CommaToPoint(std::string_view text)
{
    std::string out(text);
    if (const auto at = out.find(','); at != std::string::npos)
        out[at] = '.';
    return out;
}

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool IsValBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

std::string Quoted(std::string_view text)
{
    return QuotedText(text, 60);
}

// Converts a number already checked to be [-]digits[.digits][e[-]digits] (with at
// least one mantissa digit). from_chars is locale independent and correctly rounded.
double ConvertChecked(std::string_view number, std::string_view original)
{
    double value = 0;
    const char* first = number.data();
    const char* last = number.data() + number.size();
    const bool negative = *first == '-';
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow is an error. Decide by the decimal
        // magnitude: digits before the point plus the exponent.
        long magnitude = 0;
        bool leading = true;
        std::size_t i = negative ? 1 : 0;
        for (; i < number.size() && number[i] != '.' && number[i] != 'e'; ++i) {
            if (leading && number[i] == '0')
                continue;
            leading = false;
            ++magnitude;
        }
        if (const auto e = number.find('e'); e != std::string_view::npos) {
            long exponent = 0;
            std::from_chars(number.data() + e + 1, last, exponent);
            magnitude += exponent;
        }
        if (magnitude <= 0)
            return negative ? -0.0 : 0.0;
        throw Error("the number " + Quoted(original) + " is too large");
    }
    if (ec != std::errc() || ptr != last)
        throw Error("the number " + Quoted(original) + " cannot be read");
    return value;
}

// Reads sign, mantissa and exponent from `text` starting at `pos`, skipping the
// characters for which `skip` is true. Appends the normalised number to `out` and
// returns the position after the last character used, or npos when no mantissa
// digit was found.
template <typename Skip> std::size_t ScanNumber(std::string_view text, std::size_t pos, Skip skip, std::string& out)
{
    const auto n = text.size();
    auto next = [&](std::size_t p) {
        while (p < n && skip(text[p]))
            ++p;
        return p;
    };
    pos = next(pos);
    if (pos < n && (text[pos] == '+' || text[pos] == '-')) {
        if (text[pos] == '-')
            out += '-';
        pos = next(pos + 1);
    }
    bool digits = false;
    bool point = false;
    std::size_t used = pos;
    while (pos < n) {
        const char c = text[pos];
        if (IsDigit(c)) {
            out += c;
            digits = true;
        } else if (c == '.' && !point) {
            out += c;
            point = true;
        } else {
            break;
        }
        used = pos + 1;
        pos = next(pos + 1);
    }
    if (!digits)
        return std::string_view::npos;
    if (pos < n && (text[pos] == 'E' || text[pos] == 'e' || text[pos] == 'D' || text[pos] == 'd')) {
        std::string exponent = "e";
        std::size_t p = next(pos + 1);
        if (p < n && (text[p] == '+' || text[p] == '-')) {
            if (text[p] == '-')
                exponent += '-';
            p = next(p + 1);
        }
        std::string expDigitText;
        bool expDigits = false;
        std::size_t expUsed = p;
        while (p < n && IsDigit(text[p])) {
            if (!expDigitText.empty() || text[p] != '0')
                expDigitText += text[p];
            expDigits = true;
            expUsed = p + 1;
            p = next(p + 1);
        }
        if (expDigits) {
            // An exponent beyond any double's reach is cut to one that still
            // overflows or underflows, so the conversion decides.
            if (expDigitText.size() > 6)
                expDigitText = "999999";
            out += exponent;
            out += expDigitText.empty() ? std::string("0") : expDigitText;
            used = expUsed;
        }
    }
    return used;
}

} // namespace

namespace {

// The common case, a plain decimal such as "57.7012345" or "-11.5" followed by the end
// of the field or a character that cannot continue a number: read in place. `used` is
// the length of the number.
bool PlainLeadingNumber(std::string_view text, double& value, std::size_t& used)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (negative)
        ++p;
    const char* const digitsFrom = p;
    std::uint64_t mantissa = 0;
    while (p != end && IsDigit(*p))
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p++ - '0');
    const auto wholeDigits = p - digitsFrom;
    if (wholeDigits == 0)
        return false;
    std::ptrdiff_t decimals = 0;
    if (p != end && *p == '.') {
        const char* const fractionFrom = ++p;
        while (p != end && IsDigit(*p))
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p++ - '0');
        decimals = p - fractionFrom;
    }
    if (p != end) {
        const char c = *p;
        if (IsValBlank(c) || c == '.' || c == 'E' || c == 'e' || c == 'D' || c == 'd')
            return false;
    }
    used = static_cast<std::size_t>(p - text.data());
    // A whole number below 2^53 and one division by an exact power of ten give the
    // correctly rounded value (Clinger, "How to read floating point numbers
    // accurately", PLDI 1990, the fast path).
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                              1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (wholeDigits + decimals <= 18 && mantissa <= (std::uint64_t{1} << 53)) {
        const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[decimals];
        value = negative ? -magnitude : magnitude;
        return true;
    }
    const auto [ptr, ec] = std::from_chars(text.data(), p, value, std::chars_format::fixed);
    return ec == std::errc() && ptr == p;
}

} // namespace

double LeadingNumber(std::string_view text)
{
    double plain = 0;
    std::size_t used = 0;
    if (PlainLeadingNumber(text, plain, used))
        return plain;
    std::string number;
    number.reserve(24);
    if (ScanNumber(text, 0, IsValBlank, number) == std::string_view::npos)
        return 0;
    return ConvertChecked(number, text);
}

bool TryNumberOfText(std::string_view text, double& value)
{
    // A plain decimal that fills the whole text, the usual field of a track line.
    double plain = 0;
    std::size_t used = 0;
    if (PlainLeadingNumber(text, plain, used) && used == text.size()) {
        value = plain;
        return true;
    }
    const auto trimmed = TrimBlanks(text);
    auto none = [](char) { return false; };
    std::string number;
    const auto scanned = ScanNumber(trimmed, 0, none, number);
    if (scanned == std::string_view::npos || scanned != trimmed.size())
        return false;
    value = ConvertChecked(number, text);
    return true;
}

double NumberOfText(std::string_view text)
{
    double value = 0;
    if (!TryNumberOfText(text, value))
        throw Error(Quoted(text) + " is not a number");
    return value;
}

namespace {

template <typename Int> Int RoundHalfEven(double value)
{
    if (!std::isfinite(value))
        throw Error("the value is not a number");
    double whole = std::floor(value);
    const double rest = value - whole;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    if (whole < static_cast<double>(std::numeric_limits<Int>::min()) ||
        whole > static_cast<double>(std::numeric_limits<Int>::max())) {
        char buffer[64];
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
        (void)ec;
        throw Error("the number " + std::string(buffer, end) + " is out of range (" +
                    std::to_string(std::numeric_limits<Int>::min()) + " to " +
                    std::to_string(std::numeric_limits<Int>::max()) + ")");
    }
    return static_cast<Int>(whole);
}

} // namespace

std::int32_t RoundToInt32(double value)
{
    return RoundHalfEven<std::int32_t>(value);
}
std::int16_t RoundToInt16(double value)
{
    return RoundHalfEven<std::int16_t>(value);
}

namespace {

// Writes `count` digits of `value` (zero-padded) ending at `end`, two at a time.
char* PutDigits(char* end, std::uint64_t value, int count)
{
    static constexpr char kPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                     "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                     "8081828384858687888990919293949596979899";
    while (count >= 2) {
        const auto pair = static_cast<std::size_t>(value % 100) * 2;
        value /= 100;
        *--end = kPairs[pair + 1];
        *--end = kPairs[pair];
        count -= 2;
    }
    if (count == 1)
        *--end = static_cast<char>('0' + value % 10);
    return end;
}

// |value| scaled by 10^decimals and rounded, when that rounding is certain from the
// double product: the product's error is far below 0.01 for the magnitudes allowed
// here, so a fraction not within 0.01 of one half rounds as the exact decimal
// expansion of the value would. False when unsure (the caller then uses to_chars).
bool ScaledUnits(double value, double scale, double limit, std::uint64_t& units)
{
    const double magnitude = std::fabs(value);
    if (!(magnitude < limit))
        return false;
    const double scaled = magnitude * scale;
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (std::fabs(fraction - 0.5) < 0.01)
        return false;
    units = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
    return true;
}

bool AppendCoordinateFast(std::string& out, double value)
{
    constexpr std::uint64_t kScale = 100000000000ULL; // 11 decimals
    std::uint64_t units = 0;
    if (!ScaledUnits(value, 1e11, 1e4, units))
        return false;
    const std::uint64_t whole = units / kScale;
    std::uint64_t fraction = units % kScale;
    int decimals = 11;
    while (decimals > 0 && fraction % 10 == 0) {
        fraction /= 10;
        --decimals;
    }
    char text[32];
    char* const end = text + sizeof text;
    char* first = PutDigits(end, fraction, decimals);
    *--first = '.';
    int wholeDigits = 1;
    for (std::uint64_t w = whole; w >= 10; w /= 10)
        ++wholeDigits;
    first = PutDigits(first, whole, wholeDigits);
    if (value < 0 && units != 0)
        *--first = '-';
    out.append(first, static_cast<std::size_t>(end - first));
    return true;
}

} // namespace

std::string DistanceText(double value)
{
    if (!std::isfinite(value))
        throw Error("a distance is not a finite number");
    if (std::uint64_t units = 0; ScaledUnits(value, 1e3, 1e12, units)) {
        char text[32];
        char* const end = text + sizeof text;
        char* first = PutDigits(end, units % 1000, 3);
        *--first = '.';
        std::uint64_t whole = units / 1000;
        int wholeDigits = 1;
        for (std::uint64_t w = whole; w >= 10; w /= 10)
            ++wholeDigits;
        first = PutDigits(first, whole, wholeDigits);
        if (value < 0 && units != 0)
            *--first = '-';
        return std::string(first, end);
    }
    std::array<char, 400> buffer;
    const auto [end, ec] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value + 0.0, std::chars_format::fixed, 3);
    std::string out(buffer.data(), end);
    if (out == "-0.000")
        out.erase(0, 1);
    return out;
}

bool DistanceThousandthsOf(double value, std::uint64_t& thousandths)
{
    return std::isfinite(value) && value >= 0 && ScaledUnits(value, 1e3, 1e12, thousandths);
}

void AppendCoordinateText(std::string& out, double value)
{
    if (!std::isfinite(value))
        throw Error("a coordinate is not a finite number");
    if (AppendCoordinateFast(out, value))
        return;
    std::array<char, 400> buffer;
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, 11);
    while (end[-1] == '0')
        --end;
    const char* begin = buffer.data();
    // A value that rounds to zero is written without a sign.
    if (*begin == '-' && end - begin == 3 && begin[1] == '0' && begin[2] == '.')
        ++begin;
    out.append(begin, static_cast<std::size_t>(end - begin));
}

std::string CoordinateText(double value)
{
    std::string out;
    AppendCoordinateText(out, value);
    return out;
}

std::string ShortNumberText(double value)
{
    std::array<char, 64> buffer;
    const auto [end, ec] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value + 0.0, std::chars_format::general, 15);
    return std::string(buffer.data(), end);
}

std::string QuotedText(std::string_view text, std::size_t maxBytes)
{
    std::size_t shown = text.size();
    if (shown > maxBytes) {
        shown = maxBytes;
        // Not inside a UTF-8 character: back up over its continuation bytes.
        for (int i = 0; i < 3 && shown > 0 && (static_cast<unsigned char>(text[shown]) & 0xC0) == 0x80; ++i)
            --shown;
    }
    std::string out = "\"";
    for (const char c : text.substr(0, shown)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    if (shown < text.size())
        out += "...";
    out += '"';
    return out;
}

bool IsValidUtf8(std::string_view text)
{
    // The well-formed byte sequences of the Unicode Standard, ch. 3.9, table 3-7.
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p != end) {
        const unsigned lead = *p++;
        if (lead < 0x80)
            continue;
        int more = 0;
        unsigned low = 0x80, high = 0xBF; // the range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            more = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            more = 2;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            more = 3;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (end - p < more || *p < low || *p > high)
            return false;
        for (++p, --more; more > 0; --more, ++p)
            if (*p < 0x80 || *p > 0xBF)
                return false;
    }
    return true;
}

std::size_t LastCharactersStart(std::string_view text, std::size_t count)
{
    if (!IsValidUtf8(text))
        return text.size() > count ? text.size() - count : 0;
    std::size_t start = text.size();
    for (std::size_t characters = 0; start > 0 && characters < count; ++characters) {
        --start;
        while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
            --start;
    }
    return start;
}

std::string FileLabel(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    if (text.size() < suffix.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return std::equal(suffix.begin(), suffix.end(), text.end() - suffix.size(),
                      [&](char a, char b) { return lower(a) == lower(b); });
}

std::string_view TrimSpaces(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string_view TrimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string_view TrimTrailingSpaces(std::string_view text)
{
    const auto last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

void AppendCsvField(std::string& out, std::string_view field)
{
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (const char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void AppendJsonText(std::string& out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

QString LocalText(std::string_view bytes)
{
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string LocalTextAsUtf8(const std::string& bytes)
{
    return LocalText(bytes).toUtf8().toStdString();
}

} // namespace tideplot
