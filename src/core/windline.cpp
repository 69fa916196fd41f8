#include "windline.h"

#include "error.h"
#include "text.h"

#include <string>
#include <vector>

namespace tideplot {

namespace {

std::vector<std::string_view> Words(std::string_view text)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t begin = text.find_first_not_of(" \t", at);
        if (begin == std::string_view::npos)
            break;
        const std::size_t end = std::min(text.find_first_of(" \t", begin), text.size());
        words.push_back(text.substr(begin, end - begin));
        at = end;
    }
    return words;
}

// "HH:MM:SS" (hours of one digit or more) in seconds; -1 when it is none.
double ClockSeconds(std::string_view text)
{
    const std::size_t first = text.find(':');
    if (first == std::string_view::npos || first == 0 || first > 3 || text.size() != first + 6 ||
        text[first + 3] != ':')
        return -1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == first || i == first + 3)
            continue;
        if (text[i] < '0' || text[i] > '9')
            return -1;
    }
    const auto number = [&](std::size_t from, std::size_t count) {
        return std::stod(std::string(text.substr(from, count)));
    };
    const double minutes = number(first + 1, 2), secs = number(first + 4, 2);
    if (minutes >= 60 || secs >= 60)
        return -1;
    return number(0, first) * 3600 + minutes * 60 + secs;
}

} // namespace

TypedWind TypedWindFromText(std::string_view values)
{
    const std::string usage = "the wind line " + QuotedText(values) +
                              " is not \"DEG\" (the whole race), \"HH:MM:SS DEG\" (the race clock), \"HH:MM:SSZ DEG\" "
                              "or \"HH:MM:SS UTC DEG\"";
    std::vector<std::string_view> words = Words(values);
    TypedWind wind;
    // One direction alone: the wind of the whole race, from the first start on.
    if (words.size() == 1)
        words.insert(words.begin(), "00:00:00");
    if (words.size() == 3 && (words[1] == "UTC" || words[1] == "utc")) {
        wind.Utc = true;
        words.erase(words.begin() + 1);
    }
    if (words.size() != 2)
        throw Error(usage);
    std::string_view time = words[0];
    if (time.ends_with('Z') || time.ends_with('z')) {
        if (wind.Utc)
            throw Error(usage);
        wind.Utc = true;
        time.remove_suffix(1);
    }
    const bool before = !wind.Utc && time.starts_with('-');
    if (before)
        time.remove_prefix(1);
    const double seconds = ClockSeconds(time);
    if (seconds < 0 || (wind.Utc && seconds >= 86400))
        throw Error(usage);
    wind.Seconds = before ? -seconds : seconds;
    double degrees = 0;
    if (!TryNumberOfText(words[1], degrees) || !(degrees >= 0 && degrees <= 360))
        throw Error("the wind line " + QuotedText(values) + ": the direction " + QuotedText(words[1]) +
                    " is no number of degrees from 0 to 360");
    wind.FromDeg = degrees;
    return wind;
}

} // namespace tideplot
