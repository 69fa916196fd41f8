#include "handicap.h"

#include "records.h"
#include "text.h"

#include <algorithm>
#include <cmath>

namespace tideplot {

namespace {

struct SystemInfo {
    HandicapSystem System;
    std::string_view Name;
    std::string_view Caption;
};

constexpr SystemInfo kSystems[] = {
    {HandicapSystem::Lys, "lys", "LYS"},
    {HandicapSystem::Tcf, "tcf", "TCF: a time correction factor (IRC, ORC time-on-time)"},
    {HandicapSystem::PhrfTot, "phrf-tot", "PHRF time-on-time"},
    {HandicapSystem::Portsmouth, "portsmouth", "Portsmouth Yardstick"},
    {HandicapSystem::PhrfTod, "phrf-tod", "PHRF time-on-distance"},
    {HandicapSystem::OrcPl, "orc-pl", "ORC performance line (PLT PLD)"},
};

const SystemInfo& InfoOf(HandicapSystem system)
{
    return *std::find_if(std::begin(kSystems), std::end(kSystems),
                         [system](const SystemInfo& info) { return info.System == system; });
}

// "the rating 3000 lies outside 500 to 2000, the Portsmouth numbers taken", or "".
std::string RangeProblem(double value, double low, double high, const char* what)
{
    if (std::isfinite(value) && value >= low && value <= high)
        return {};
    return "the rating " + ShortNumberText(value) + " lies outside " + ShortNumberText(low) + " to " +
           ShortNumberText(high) + ", " + what;
}

} // namespace

std::string_view HandicapSystemName(HandicapSystem system)
{
    return InfoOf(system).Name;
}

std::string_view HandicapSystemCaption(HandicapSystem system)
{
    return InfoOf(system).Caption;
}

std::optional<HandicapSystem> HandicapSystemOfName(std::string_view name)
{
    for (const SystemInfo& info : kSystems)
        if (name.size() == info.Name.size() && EndsWithNoCase(name, info.Name))
            return info.System;
    return std::nullopt;
}

std::string HandicapSystemNames()
{
    std::string text;
    for (std::size_t i = 0; i < std::size(kSystems); ++i) {
        if (i > 0)
            text += i + 1 == std::size(kSystems) ? " or " : ", ";
        text += kSystems[i].Name;
    }
    return text;
}

bool IsTimeOnDistance(HandicapSystem system)
{
    return system == HandicapSystem::PhrfTod || system == HandicapSystem::OrcPl;
}

int RatingValueCount(HandicapSystem system)
{
    return system == HandicapSystem::OrcPl ? 2 : 1;
}

std::string RatingText(const Rating& rating)
{
    std::string text;
    for (int i = 0; i < rating.Count; ++i) {
        if (i > 0)
            text += ' ';
        text += ShortNumberText(rating.Values[static_cast<std::size_t>(i)]);
    }
    return text;
}

std::string RatingProblem(const Handicap& handicap, const Rating& rating)
{
    const int wanted = RatingValueCount(handicap.System);
    const std::string system(HandicapSystemName(handicap.System));
    if (rating.Count != wanted)
        return wanted == 2 ? "a rating under orc-pl is two numbers, PLT and PLD (such as \"1.0377 623.4\")"
                           : "a rating under " + system + " is one number";
    const double value = rating.Values[0];
    switch (handicap.System) {
    case HandicapSystem::Lys:
        return RangeProblem(value, kMinLys, kMaxLys, "the LYS numbers a replay takes");
    case HandicapSystem::Tcf:
        return RangeProblem(value, 0.2, 5, "the time correction factors taken");
    case HandicapSystem::Portsmouth:
        return RangeProblem(value, 500, 2000, "the Portsmouth numbers taken");
    case HandicapSystem::PhrfTod:
        return RangeProblem(value, -100, 400, "the PHRF ratings taken (seconds a mile)");
    case HandicapSystem::PhrfTot:
        if (std::string problem = RangeProblem(value, -100, 400, "the PHRF ratings taken (seconds a mile)");
            !problem.empty())
            return problem;
        if (!(handicap.B + value > 0))
            return "B + rating is " + ShortNumberText(handicap.B + value) + ": phrf-tot divides by it";
        return {};
    case HandicapSystem::OrcPl:
        if (std::string problem = RangeProblem(value, 0.2, 5, "the PLT factors taken"); !problem.empty())
            return problem;
        return RangeProblem(rating.Values[1], 0, 3600, "the PLD numbers taken (seconds a mile)");
    }
    return {};
}

std::string HandicapProblem(const Handicap& handicap)
{
    if (handicap.System == HandicapSystem::PhrfTot)
        for (const auto& [name, value] : {std::pair{"A", handicap.A}, std::pair{"B", handicap.B}})
            if (!(std::isfinite(value) && value > 0 && value <= 1e6))
                return std::string("phrf-tot's ") + name + " " + ShortNumberText(value) +
                       " is no number above 0 (A / (B + rating) is the factor; A 650 and B 550 are usual)";
    if (handicap.DistanceNm && !(*handicap.DistanceNm > 0 && *handicap.DistanceNm <= kMaxCourseDistanceNm))
        return "the distance " + ShortNumberText(*handicap.DistanceNm) + " lies outside 0 to " +
               ShortNumberText(kMaxCourseDistanceNm) + " nautical miles (0 itself excluded)";
    return {};
}

double TimeFactor(const Handicap& handicap, const Rating& rating)
{
    const double value = rating.Values[0];
    switch (handicap.System) {
    case HandicapSystem::PhrfTot:
        return handicap.A / (handicap.B + value);
    case HandicapSystem::Portsmouth:
        return 1000 / value;
    case HandicapSystem::PhrfTod:
    case HandicapSystem::OrcPl:
        return TimeScale(handicap, rating);
    case HandicapSystem::Lys:
    case HandicapSystem::Tcf:
        break;
    }
    return value;
}

double TimeScale(const Handicap& handicap, const Rating& rating)
{
    return handicap.System == HandicapSystem::OrcPl ? rating.Values[0] : 1.0;
}

double AllowancePerNm(const Handicap& handicap, const Rating& rating)
{
    switch (handicap.System) {
    case HandicapSystem::PhrfTod:
        return rating.Values[0];
    case HandicapSystem::OrcPl:
        return rating.Values[1];
    default:
        return 0;
    }
}

double CorrectedSeconds(const Handicap& handicap, const Rating& rating, double elapsedSeconds, double distanceNm)
{
    if (IsTimeOnDistance(handicap.System))
        return TimeScale(handicap, rating) * elapsedSeconds - AllowancePerNm(handicap, rating) * distanceNm;
    return elapsedSeconds * TimeFactor(handicap, rating);
}

std::string HandicapLine(const Handicap& handicap)
{
    // Built by appending: GCC 12 warns of an overlap in a prefix joined to a string, wrongly.
    std::string line = "handicap ";
    line += HandicapSystemName(handicap.System);
    if (handicap.System == HandicapSystem::PhrfTot && (handicap.A != kPhrfTotA || handicap.B != kPhrfTotB)) {
        line += ' ';
        line += ShortNumberText(handicap.A);
        line += ' ';
        line += ShortNumberText(handicap.B);
    }
    return line;
}

} // namespace tideplot
