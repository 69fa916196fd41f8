#include "debrieffiles.h"

#include "analysisfiles.h"

#include "core/datetime.h"
#include "core/text.h"

#include <cmath>

namespace tideplot {

namespace {

std::string Value(double value, int decimals, const char* none)
{
    return std::isfinite(value) ? FixedText(value, decimals) : std::string(none);
}

// The fields of a leg after its row and name, in the CSV's order: from, to, lap, kind, start,
// end, seconds, distance_nm, mean_speed_kn, vmg_kn, tacks, gybes, mean_loss_m, port_s,
// starboard_s, rank, gap_s.
struct LegTexts {
    std::string kind, start, end, seconds, distance, speed, vmg, loss, port, starboard, gap;
};

LegTexts TextsOf(const BoatAnalysis& boat, const LegAnalysis& leg, const char* none)
{
    const bool wind = leg.Kind != LegKind::Unknown;
    return {std::string(LegKindName(leg.Kind)),
            IsoTimeText(DateValueAt(boat.Source, leg.StartSeconds)),
            IsoTimeText(DateValueAt(boat.Source, leg.EndSeconds)),
            FixedText(leg.Seconds(), 1),
            FixedText(leg.DistanceNm, 3),
            Value(leg.MeanSpeedKn, 2, none),
            Value(leg.VmgKn, 2, none),
            Value(leg.MeanLossMetres, 1, none),
            wind ? FixedText(leg.PortSeconds, 0) : std::string(none),
            wind ? FixedText(leg.StarboardSeconds, 0) : std::string(none),
            Value(leg.GapSeconds, 1, none)};
}

// `text` as a JSON string.
std::string JsonText(std::string_view text)
{
    std::string out;
    AppendJsonText(out, text);
    return out;
}

void AppendStart(std::string& json, const BoatAnalysis& boat)
{
    if (!boat.Start) {
        json += "null";
        return;
    }
    const StartReport& s = *boat.Start;
    json += "{\"line_distance_m\": " + Value(s.LineDistanceMetres, 1, "null") +
            ", \"line_position\": " + Value(s.LinePosition, 3, "null") +
            ", \"speed_kn\": " + Value(s.SpeedKn, 2, "null") +
            ", \"seconds_late\": " + Value(s.SecondsLate, 1, "null") + ", \"ocs\": " + (s.Ocs ? "true" : "false") +
            ", \"returned\": " + (s.Returned ? "true" : "false") + "}";
}

} // namespace

std::string StartLineJson(const RaceAnalysis& race)
{
    if (!race.LineBias)
        return "null";
    const StartLineBias& bias = *race.LineBias;
    return "{\"wind_deg\": " + Value(bias.WindFromDeg, 1, "null") +
           ", \"bias_deg\": " + Value(bias.BiasDeg, 1, "null") + ", \"favoured\": " +
           (bias.FavouredEnd == 1   ? "\"P1\""
            : bias.FavouredEnd == 2 ? "\"P2\""
                                    : "null") +
           "}";
}

void AppendBoatDebriefJson(std::string& json, const RaceAnalysis& race, const BoatAnalysis& boat,
                           const std::string& indent)
{
    json += ",\n" + indent + "\"start\": ";
    AppendStart(json, boat);
    json += ",\n" + indent + "\"legs\": [";
    for (std::size_t i = 0; i < boat.Legs.size(); ++i) {
        const LegAnalysis& leg = boat.Legs[i];
        const LegTexts t = TextsOf(boat, leg, "null");
        json += (i == 0 ? "\n  " : ",\n  ") + indent + "{\"from\": " + JsonText(LocalTextAsUtf8(leg.From)) +
                ", \"to\": " + JsonText(LocalTextAsUtf8(leg.To)) + ", \"lap\": " + std::to_string(leg.Lap) +
                ", \"kind\": " + (t.kind.empty() ? "null" : "\"" + t.kind + "\"") + ", \"start\": \"" + t.start +
                "\", \"end\": \"" + t.end + "\", \"seconds\": " + t.seconds + ", \"distance_nm\": " + t.distance +
                ", \"mean_speed_kn\": " + t.speed + ", \"vmg_kn\": " + t.vmg +
                ", \"tacks\": " + std::to_string(leg.Tacks) + ", \"gybes\": " + std::to_string(leg.Gybes) +
                ", \"mean_loss_m\": " + t.loss + ", \"port_s\": " + t.port + ", \"starboard_s\": " + t.starboard +
                ", \"rank\": " + std::to_string(leg.Rank) + ", \"gap_s\": " + t.gap + "}";
    }
    json += boat.Legs.empty() ? "]" : "\n" + indent + "]";
    json += ",\n" + indent + "\"gap_series\": [";
    for (std::size_t i = 0; i < boat.GapSeconds.size(); ++i) {
        json += i % 4 == 0 ? (i == 0 ? "\n  " : ",\n  ") + indent : ", ";
        json += "{\"time\": \"" +
                IsoTimeText(race.GapFirstTime + static_cast<double>(i) * race.GapStepSeconds / kSecondsPerDay) +
                "\", \"gap_s\": " + Value(boat.GapSeconds[i], 1, "null") + "}";
    }
    json += boat.GapSeconds.empty() ? "]" : "\n" + indent + "]";
}

std::string LegsCsv(const RaceAnalysis& race)
{
    std::string csv = "row,name,from,to,lap,kind,start,end,seconds,distance_nm,mean_speed_kn,vmg_kn,tacks,gybes,"
                      "mean_loss_m,port_s,starboard_s,rank,gap_s\r\n";
    for (const BoatAnalysis& boat : race.Boats) {
        const std::string name = LocalTextAsUtf8(boat.Source.Name);
        for (const LegAnalysis& leg : boat.Legs) {
            const LegTexts t = TextsOf(boat, leg, "");
            csv += std::to_string(boat.Source.Row) + ',';
            AppendCsvField(csv, name);
            csv += ',';
            AppendCsvField(csv, LocalTextAsUtf8(leg.From));
            csv += ',';
            AppendCsvField(csv, LocalTextAsUtf8(leg.To));
            csv += ',' + std::to_string(leg.Lap) + ',' + t.kind + ',' + t.start + ',' + t.end + ',' + t.seconds + ',' +
                   t.distance + ',' + t.speed + ',' + t.vmg + ',' + std::to_string(leg.Tacks) + ',' +
                   std::to_string(leg.Gybes) + ',' + t.loss + ',' + t.port + ',' + t.starboard + ',' +
                   std::to_string(leg.Rank) + ',' + t.gap + "\r\n";
        }
    }
    return csv;
}

} // namespace tideplot
