#include "share/pagedata.h"

#include "core/error.h"
#include "core/text.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include <zlib.h>

namespace tideplot::page {

namespace {

// A zlib stream of `bytes`: Huffman codes alone for numbers that are noise (fast, and
// smaller than with repeats looked for), zlib's default level for the rest.
std::string Deflated(const std::string& bytes, Packing packing)
{
    z_stream stream{};
    const bool noise = packing == Packing::Noise;
    if (deflateInit2(&stream, noise ? 1 : Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 9,
                     noise ? Z_HUFFMAN_ONLY : Z_DEFAULT_STRATEGY) != Z_OK)
        throw Error("the web page's data cannot be packed: zlib failed to start");
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        throw Error("the web page's data cannot be packed: zlib failed");
    return out;
}

std::string TwoDigits(std::int64_t n)
{
    return std::string{static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)};
}

// The texts the page's script writes from whole numbers, written here the same way: each
// number read from the replay's own text is checked to give that text back.
std::string ThousandthsText(std::int64_t thousandths)
{
    const std::string fraction = std::to_string(thousandths % 1000);
    return std::to_string(thousandths / 1000) + "." + std::string(3 - fraction.size(), '0') + fraction;
}

std::string ClockText(std::int64_t seconds)
{
    const std::int64_t a = seconds < 0 ? -seconds : seconds;
    const std::int64_t hours = a / 3600;
    std::string text = seconds < 0 ? "-" : "";
    if (hours < 10)
        text += '0';
    text += std::to_string(hours);
    text += ':';
    text += TwoDigits(a / 60 % 60);
    text += ':';
    text += TwoDigits(a % 60);
    return text;
}

std::string DurationOfSeconds(std::int64_t seconds)
{
    return std::to_string(seconds / 3600) + ":" + TwoDigits(seconds / 60 % 60) + ":" + TwoDigits(seconds % 60);
}

// Digits, ":" and "." of a text, read as one whole number (minutes and seconds count 60).
bool ReadWhole(std::string_view text, std::int64_t& value)
{
    value = 0;
    std::int64_t part = 0;
    bool any = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            if (part > 1'000'000'000'000)
                return false;
            part = part * 10 + (c - '0');
            any = true;
        } else if (c == ':') {
            value = (value + part) * 60;
            part = 0;
        } else if (c != '.') {
            return false;
        }
    }
    value += part;
    return any;
}

} // namespace

void Unexpected(std::string_view what, std::string_view text)
{
    throw Error("the web page cannot hold the " + std::string(what) + " " + QuotedText(text) +
                ": it is not written the way the replay writes it");
}

std::int64_t DistanceThousandths(std::string_view text)
{
    // The replay's own texts ("0.201", "12.345": no sign, no leading zero, three decimals,
    // few enough digits to read without overflow) read at once; any other is checked the
    // long way, by writing its number back.
    if (const std::size_t n = text.size(); n >= 5 && n <= 13 && text[n - 4] == '.' && (text[0] != '0' || n == 5)) {
        std::int64_t value = 0;
        bool digits = true;
        for (std::size_t i = 0; i < n && digits; ++i) {
            const char c = text[i];
            digits = i == n - 4 || (c >= '0' && c <= '9');
            value = i == n - 4 ? value : value * 10 + (c - '0');
        }
        if (digits)
            return value;
    }
    std::int64_t value = 0;
    if (text.size() < 5 || text[text.size() - 4] != '.' || !ReadWhole(text, value) || ThousandthsText(value) != text)
        Unexpected("distance", text);
    return value;
}

std::int64_t DurationSeconds(std::string_view text)
{
    std::int64_t value = 0;
    if (!ReadWhole(text, value) || DurationOfSeconds(value) != text)
        Unexpected("time", text);
    return value;
}

std::int64_t ClockSeconds(std::string_view text)
{
    const bool negative = !text.empty() && text.front() == '-';
    std::int64_t value = 0;
    if (!ReadWhole(negative ? text.substr(1) : text, value))
        Unexpected("race time", text);
    if (negative)
        value = -value;
    if (ClockText(value) != text)
        Unexpected("race time", text);
    return value;
}

void AppendJsonString(std::string& out, std::string_view utf8)
{
    out += '"';
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == '<' || c == '>' || c == '&') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else if (c == 0xe2 && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(utf8[i + 2]) == 0xa8 ||
                    static_cast<unsigned char>(utf8[i + 2]) == 0xa9)) {
            // The line and paragraph separators, which older scripts take for line breaks.
            out += static_cast<unsigned char>(utf8[i + 2]) == 0xa8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

std::string JsonString(std::string_view utf8)
{
    std::string out;
    AppendJsonString(out, utf8);
    return out;
}

std::string JsonNumber(double value)
{
    if (!std::isfinite(value))
        return "null";
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value + 0.0);
    return std::string(text, end);
}

void TrackStreams::piece(long long stepsSince, bool joined, std::int64_t startLat, std::int64_t startLon,
                         std::int64_t moveLat, std::int64_t moveLon)
{
    heads.put(static_cast<std::uint64_t>(stepsSince) * 2 + (joined ? 0 : 1));
    if (!joined) {
        lats.putSigned(startLat);
        lons.putSigned(startLon);
        std::fill(std::begin(latMoves_), std::end(latMoves_), 0);
        std::fill(std::begin(lonMoves_), std::end(lonMoves_), 0);
    }
    const auto foretold = [](const std::int64_t* moves) {
        std::int64_t sum = 0;
        for (int i = 0; i < kHistory; ++i)
            sum += moves[i];
        return static_cast<std::int64_t>(std::floor(static_cast<double>(sum + kHistory / 2) / kHistory));
    };
    lats.putSigned(moveLat - foretold(latMoves_));
    lons.putSigned(moveLon - foretold(lonMoves_));
    latMoves_[next_] = moveLat;
    lonMoves_[next_] = moveLon;
    next_ = (next_ + 1) % kHistory;
}

std::string PackedJson(const std::string& bytes, Packing packing)
{
    if (bytes.empty())
        return "\"\"";
    const std::string packed = Deflated(bytes, packing);
    std::string digits;
    for (char c = '!'; c <= '~' && digits.size() < 85; ++c)
        if (std::string_view("\"\\<>&").find(c) == std::string_view::npos)
            digits += c;
    std::string json = "\"";
    json.reserve(packed.size() * 5 / 4 + 8);
    for (std::size_t at = 0; at < packed.size(); at += 4) {
        const std::size_t count = std::min<std::size_t>(4, packed.size() - at);
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i)
            value = value << 8 | (i < count ? static_cast<std::uint8_t>(packed[at + i]) : 0u);
        char group[5];
        for (int i = 4; i >= 0; --i) {
            group[i] = digits[value % 85];
            value /= 85;
        }
        json.append(group, count + 1);
    }
    return json + '"';
}

} // namespace tideplot::page
