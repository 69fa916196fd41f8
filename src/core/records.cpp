#include "records.h"

#include "datetime.h"
#include "error.h"
#include "text.h"

namespace tideplot {

namespace {

// Up to `count` characters of `text` from the 0-based `start`, as many as exist.
std::string_view Mid(std::string_view text, std::size_t start, std::size_t count)
{
    if (start >= text.size())
        return {};
    return text.substr(start, count);
}

std::string Shown(std::string_view text)
{
    constexpr std::size_t kMax = 80;
    return "\"" + std::string(text.substr(0, kMax)) + (text.size() > kMax ? "...\"" : "\"");
}

} // namespace

BoatEntry ReadBoatEntry(std::string_view line)
{
    BoatEntry entry;
    const auto startField = GetField(line, 1, ',');
    double start = 0;
    if (!TryDateValueFromText(startField, start))
        throw Error("the start time " + Shown(TrimSpaces(startField)) + " is not a valid date and time");
    entry.StartTime = start;
    try {
        entry.Lys = LeadingNumber(GetField(line, 2, ','));
    } catch (const Error& e) {
        throw Error(std::string("the LYS number: ") + e.what());
    }
    try {
        entry.Colour = RoundToInt32(LeadingNumber(GetField(line, 3, ',')));
    } catch (const Error& e) {
        throw Error(std::string("the colour number: ") + e.what());
    }
    entry.SepChar = line.empty() ? ',' : line.back();
    const auto field0 = GetField(line, 0, ',');
    entry.Name = BoatDisplayName(field0);
    entry.TrackFile = std::string(TrimTrailingSpaces(field0));
    return entry;
}

std::string BoatDisplayName(std::string_view field0)
{
    constexpr std::size_t kNameLength = 20;
    if (field0.size() > kNameLength)
        field0.remove_prefix(field0.size() - kNameLength);
    return std::string(TrimSpaces(field0));
}

std::string BoatEntryLine(std::string_view trackFile, std::string_view startTime, std::string_view lys,
                          std::string_view colour, std::string_view sepChar)
{
    std::string line;
    line.reserve(trackFile.size() + startTime.size() + lys.size() + colour.size() + sepChar.size() + 12);
    for (const auto part : {trackFile, startTime, lys, colour}) {
        line += part;
        line += kEntrySeparator;
    }
    line += sepChar;
    return line;
}

double TrackPointTime(std::string_view line, char sep)
{
    if (line.empty())
        return 0;
    const auto d = GetField(line, 2, sep);
    const auto t = GetField(line, 3, sep);
    // At most "YYYY-MM-DD hh:mm:ss": 19 characters.
    char buffer[24];
    std::size_t length = 0;
    auto put = [&](std::string_view part) {
        for (const char c : part)
            buffer[length++] = c;
    };
    put(Mid(d, 0, 4));
    put("-");
    put(Mid(d, 4, 2));
    put("-");
    put(Mid(d, 6, 2));
    put(" ");
    put(Mid(t, 0, 2));
    put(":");
    put(Mid(t, 2, 2));
    put(":");
    put(Mid(t, 4, 2));
    const std::string_view text(buffer, length);
    double value = 0;
    if (!TryDateValueFromText(text, value))
        throw Error("the date " + Shown(d) + " and time " + Shown(t) + " give no valid date and time (" + Shown(text) +
                    ")");
    return value;
}

double TrackLineLatitude(std::string_view line, char sep)
{
    return LeadingNumber(GetField(line, 0, sep));
}

TrackPoint ReadTrackPoint(std::string_view line, char sep, double startTime)
{
    TrackPoint point;
    point.Lat = LeadingNumber(GetField(line, 0, sep));
    point.Lon = LeadingNumber(GetField(line, 1, sep));
    point.Elapsed = TrackPointTime(line, sep) - startTime;
    return point;
}

} // namespace tideplot
