#include "app/analysetables.h"

#include "analysis/analysisfiles.h"
#include "analysis/analysistext.h"
#include "core/results.h"
#include "core/text.h"

#include <algorithm>
#include <cmath>

namespace tideplot {

namespace {

// The number of characters a terminal shows for a UTF-8 text (one per character).
std::size_t ShownWidth(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Number(double value, int decimals)
{
    return std::isfinite(value) ? FixedText(value, decimals) : "-";
}

} // namespace

std::string TextTable(const std::vector<std::vector<std::string>>& rows, std::size_t left)
{
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], ShownWidth(row[i]));
    }
    std::string table;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string pad(widths[i] - ShownWidth(row[i]), ' ');
            if (i > 0)
                line += "  ";
            line += i < left ? row[i] + pad : pad + row[i];
        }
        line.erase(line.find_last_not_of(' ') + 1);
        table += line + "\n";
    }
    return table;
}

std::string StartTable(const RaceAnalysis& race)
{
    if (!race.LineBias)
        return {};
    const StartLineBias& bias = *race.LineBias;
    std::string text = "Start line: " + LineBiasText(bias) + "\n";
    std::vector<std::vector<std::string>> rows{{"Boat", "To line m", "Along", "Speed kn", "Late s", "OCS"}};
    for (const BoatAnalysis& boat : race.Boats) {
        if (!boat.Start)
            continue;
        const StartReport& s = *boat.Start;
        rows.push_back({boat.Source.Name, Number(s.LineDistanceMetres, 1), Number(s.LinePosition, 2),
                        Number(s.SpeedKn, 2), Number(s.SecondsLate, 1),
                        s.Returned ? "returned"
                        : s.Ocs    ? "yes"
                                   : "no"});
    }
    return text + TextTable(rows, 1);
}

std::string LegsTable(const RaceAnalysis& race)
{
    if (!race.Course)
        return {};
    std::vector<std::vector<std::string>> rows{{"Boat", "Leg", "Lap", "Kind", "Start", "End", "Time", "nm", "Mean kn",
                                                "VMG kn", "Tacks", "Gybes", "Loss m", "Rank", "Gap"}};
    for (const BoatAnalysis& boat : race.Boats) {
        for (const LegAnalysis& leg : boat.Legs) {
            const std::string kind(LegKindName(leg.Kind));
            const double corrected = leg.EndSeconds * boat.Source.Lys;
            rows.push_back(
                {boat.Source.Name, leg.From + "-" + leg.To, std::to_string(leg.Lap), kind.empty() ? "-" : kind,
                 DurationText(leg.StartSeconds), DurationText(leg.EndSeconds), DurationText(leg.Seconds()),
                 FixedText(leg.DistanceNm, 2), Number(leg.MeanSpeedKn, 2), Number(leg.VmgKn, 2),
                 std::to_string(leg.Tacks), std::to_string(leg.Gybes), Number(leg.MeanLossMetres, 1),
                 std::to_string(leg.Rank),
                 std::isfinite(leg.GapSeconds) ? GapDurationText(corrected - leg.GapSeconds, corrected) : "-"});
        }
    }
    if (rows.size() == 1)
        return "Legs: no boat sailed a leg of the course whole\n";
    return "Legs (times from each boat's gun; rank and gap on corrected time at the leg's end)\n" + TextTable(rows, 4);
}

} // namespace tideplot
