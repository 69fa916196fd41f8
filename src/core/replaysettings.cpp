// The replay's settings as numbers, read from the texts the control window and the
// command line give them.
#include "core/error.h"
#include "core/replay.h"
#include "core/text.h"

namespace tideplot {

bool ValidResolution(double seconds)
{
    return seconds >= kMinResolutionSeconds && seconds <= kMaxResolutionSeconds;
}

std::string ResolutionProblem(std::string_view text)
{
    double seconds = 0;
    bool number = false;
    try {
        number = TryNumberOfText(text, seconds);
    } catch (const Error&) {
        number = false; // too large
    }
    if (number && ValidResolution(seconds))
        return {};
    return QuotedText(text) + " is not a number of seconds from " + ShortNumberText(kMinResolutionSeconds) + " to " +
           ShortNumberText(kMaxResolutionSeconds);
}

ReplaySettings ReadReplaySettings(std::string_view resolutionText, std::string_view pointsText)
{
    ReplaySettings settings;
    if (const std::string problem = ResolutionProblem(resolutionText); !problem.empty())
        throw Error("Resolution: " + problem);
    settings.ResolutionSeconds = NumberOfText(resolutionText);
    try {
        settings.StepsPerWidePlot = RoundToInt16(NumberOfText(pointsText));
    } catch (const Error& e) {
        throw Error(std::string("Points (steps between wide plots): ") + e.what());
    }
    return settings;
}

} // namespace tideplot
