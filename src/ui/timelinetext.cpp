#include "ui/timelinetext.h"

#include "core/replay.h"
#include "core/text.h"

#include <cstdio>

namespace tideplot {

std::string MegabytesText(std::size_t bytes)
{
    const double megabytes = static_cast<double>(bytes) / (1 << 20);
    char text[32];
    std::snprintf(text, sizeof text, megabytes < 100 ? "%.1f MB" : "%.0f MB", megabytes);
    return text;
}

QString OverBudgetText(const TimelineVerdict& verdict)
{
    // A timeline found beyond its budget within a step or two of it: no more to say.
    if (verdict.fits())
        return LocalText("the replay's timeline does not fit the " + MegabytesText(verdict.BudgetBytes) +
                         " it may use");
    // (Built by appending: GCC 12 warns of an overlap in an inserted prefix, wrongly.)
    std::string text = "the race takes ";
    text += std::to_string(verdict.Steps);
    text += " steps at a resolution of ";
    text += ShortNumberText(verdict.ResolutionSeconds);
    text += " s, and its timeline would need ";
    text += MegabytesText(verdict.NeededBytes);
    text += ", more than the ";
    text += MegabytesText(verdict.BudgetBytes);
    if (verdict.WholeBytes > verdict.BudgetBytes) {
        text += " it may have of the ";
        text += MegabytesText(verdict.WholeBytes);
    }
    text += " the replay may use (the setting Replay/MemoryMB): ";
    if (verdict.FinestSeconds > 0) {
        text += "the finest resolution that fits is ";
        text += ShortNumberText(verdict.FinestSeconds);
        text += " s";
    } else {
        text += "no resolution up to ";
        text += ShortNumberText(kMaxResolutionSeconds);
        text += " s fits";
    }
    return LocalText(text);
}

QString ReplayFailureText(const std::exception& failure)
{
    if (const auto* over = dynamic_cast<const TimelineOverBudget*>(&failure))
        return OverBudgetText(over->verdict());
    return LocalText(failure.what());
}

} // namespace tideplot
