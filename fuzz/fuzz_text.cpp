// Runs the readers of lines, numbers and dates over arbitrary bytes: none may crash,
// and what they accept must come back the same when written again.
#include "core/datetime.h"
#include "core/error.h"
#include "core/linereader.h"
#include "core/records.h"
#include "core/text.h"
#include "fuzz_check.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <unistd.h>

using namespace tideplot;

namespace {

void Numbers(std::string_view text)
{
    try {
        const double value = LeadingNumber(text);
        Check(std::isfinite(value), "LeadingNumber gives a finite value");
        CoordinateText(value);
        DistanceText(std::fabs(value));
        ShortNumberText(value);
        try {
            RoundToInt16(value);
            RoundToInt32(value);
        } catch (const Error&) {
        }
    } catch (const Error&) {
    }
    try {
        const double value = NumberOfText(text);
        Check(std::isfinite(value), "NumberOfText gives a finite value");
    } catch (const Error&) {
    }
}

void Dates(std::string_view text)
{
    double value = 0;
    if (TryDateValueFromText(text, value)) {
        const std::string written = DateText(value);
        Check(DateValueFromText(written) == value, "a date read and written reads back the same");
    }
    try {
        RaceClockText(LeadingNumber(text) / 86400);
    } catch (const Error&) {
    }
}

void Lines(std::string_view text)
{
    for (int i = -1; i < 6; ++i)
        GetField(text, i, text.empty() ? ',' : text.back());
    const char sep = text.empty() ? ',' : text[text.size() / 2];
    try {
        ReadTrackPoint(text, sep, 39000.5);
    } catch (const Error&) {
    }
    if (IsValidUtf8(text))
        Check(IsValidUtf8(BoatDisplayName(text)), "a UTF-8 path gives a UTF-8 display name");
    // The quick test of a fix agrees with reading its numbers.
    const TrackLineFields fields = SplitTrackLine(text, sep);
    bool quickFix = false, readFix = false, quickRefused = false, readRefused = false;
    double quickTime = 0, readTime = 0, lat = 0, lon = 0;
    try {
        TrackTimeReader times;
        bool positionChecked = false;
        quickFix = ReadTrackFixTime(fields, times, quickTime, positionChecked);
        if (quickFix && !positionChecked)
            CheckTrackFixPosition(fields);
    } catch (const Error&) {
        quickRefused = true;
    }
    try {
        TrackTimeReader times;
        readFix = ReadTrackFix(fields, times, lat, lon, readTime);
    } catch (const Error&) {
        readRefused = true;
    }
    // A refused line may be refused after its fix and time were judged: only the refusal counts.
    Check(quickRefused == readRefused && (quickRefused || (quickFix == readFix && quickTime == readTime)),
          "the quick test of a fix agrees with reading its numbers");
    try {
        const BoatEntry entry = ReadBoatEntry(text);
        Check(entry.SepChar == text.back(), "the separator is the last character");
    } catch (const Error&) {
    }
}

void Reader(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = "/tmp/fuzz_text_" + std::to_string(::getpid());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    try {
        LineReader reader(path);
        std::size_t bytes = 0;
        long lines = 0;
        while (!reader.AtEnd()) {
            const std::size_t length = reader.ReadLine().size();
            Check(length <= kMaxLineBytes, "no line is longer than the limit");
            bytes += length;
            ++lines;
        }
        Check(bytes <= size, "lines hold no more bytes than the file");
        Check(lines == reader.LineNumber(), "line numbers count the lines");
    } catch (const Error&) {
        // UTF-16 text or a line that is too long: refused with a message.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Numbers(text);
    Dates(text);
    Lines(text);
    Reader(data, size);
    return 0;
}
