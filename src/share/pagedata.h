#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The web page's data as it is written into the page (htmlpage.h): streams of
// variable-length integers, the replay's texts held as the whole numbers the page's script
// writes them from, and JSON that can stand inside a <script> element.
namespace tideplot::page {

// A stream of variable-length integers (LEB128: seven bits a byte, the high bit set on
// every byte but the last); signed values zig-zag first (0, -1, 1, -2 ... as 0, 1, 2, 3).
class Bytes {
public:
    void put(std::uint64_t value)
    {
        while (value >= 0x80) {
            bytes_ += static_cast<char>((value & 0x7f) | 0x80);
            value >>= 7;
        }
        bytes_ += static_cast<char>(value);
    }
    void putSigned(std::int64_t value)
    {
        put((static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63));
    }
    void append(const Bytes& other) { bytes_ += other.bytes_; }
    const std::string& bytes() const { return bytes_; }
    void clear() { bytes_.clear(); }

private:
    std::string bytes_;
};

// A boat's pieces of track as three streams, each packed on its own: `heads` (per piece the
// steps since the piece before, times two, plus one when the piece does not start where the
// one before ended), `lats` and `lons` (in millionths of a degree: for a piece that does not
// join, its start from the end before; then its move less the move foretold from the last
// four, their mean rounded half up; a piece that does not join foretells from none).
// A boat sailing on costs a byte and a half a piece once packed.
class TrackStreams {
public:
    void piece(long long stepsSince, bool joined, std::int64_t startLat, std::int64_t startLon, std::int64_t moveLat,
               std::int64_t moveLon);
    Bytes heads, lats, lons;

private:
    static constexpr int kHistory = 4;
    std::int64_t latMoves_[kHistory] = {};
    std::int64_t lonMoves_[kHistory] = {};
    int next_ = 0;
};

// The replay's texts as whole numbers, each checked to give its text back as the page's
// script writes it; Error when a text is not written the way the replay writes it.
// "0.201" nautical miles as 201 thousandths:
std::int64_t DistanceThousandths(std::string_view text);
// An elapsed time "1:02:03" (hours unbounded) as 3723 seconds:
std::int64_t DurationSeconds(std::string_view text);
// A race time "-00:04:50" or "28:39:17" as seconds:
std::int64_t ClockSeconds(std::string_view text);
// Throws that Error: the page cannot hold `what` written as `text`.
[[noreturn]] void Unexpected(std::string_view what, std::string_view text);

// A JSON string that can stand inside an HTML <script> element: "<", ">" and "&" as \u
// escapes, so that no text closes the element or opens a comment in it; the line and
// paragraph separators escaped too.
void AppendJsonString(std::string& out, std::string_view utf8);
std::string JsonString(std::string_view utf8);
// A JSON number, the shortest text that reads back as `value`; null when it is not finite.
std::string JsonNumber(double value);
// Bytes as a JSON string: their zlib stream (the page inflates it with the browser's
// DecompressionStream("deflate")) in base 85, four bytes as five characters (a last group of
// n bytes as n + 1), the digits 0 to 84 written as the printable ASCII characters from "!"
// on that are neither ", \\, <, > nor &, so that the text needs no escape in the page; ""
// for none.
// Noise: numbers that do not repeat (a track's moves less their forecast).
enum class Packing { Repeats, Noise };
std::string PackedJson(const std::string& bytes, Packing packing = Packing::Repeats);

} // namespace tideplot::page
