// The truth of a race written by WriteRace as JSON: each boat's manoeuvres with their middles,
// turns and losses, and the wind every minute.
#include "racesim.h"

#include "core/datetime.h"

#include <cmath>
#include <cstdio>

namespace tideplot::racesim {

namespace {

void AppendFixed(std::string& out, double value, int decimals)
{
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    out += buffer;
}

} // namespace

std::string TruthJson(const TrueRace& race)
{
    std::string json = "{\"wind_from_deg\": ";
    AppendFixed(json, race.WindFromDeg, 1);
    json += ", \"boats\": [";
    for (std::size_t k = 0; k < race.Boats.size(); ++k) {
        const TrueBoat& boat = race.Boats[k];
        json += k ? ",\n  " : "\n  ";
        json += "{\"row\": " + std::to_string(k + 1) + ", \"file\": \"" + boat.File + "\", \"start\": \"" +
                boat.StartText + "\", \"manoeuvres\": [";
        const double start = DateValueFromText(boat.StartText);
        for (std::size_t i = 0; i < boat.Manoeuvres.size(); ++i) {
            const TrueManoeuvre& m = boat.Manoeuvres[i];
            json += i ? ",\n    " : "\n    ";
            std::string time = DateText(start + m.MiddleSeconds / kSecondsPerDay);
            time[10] = 'T';
            json += "{\"kind\": \"" + m.Kind + "\", \"middle_s\": ";
            AppendFixed(json, m.MiddleSeconds, 1);
            json += ", \"time\": \"" + time + "Z\", \"turn_deg\": ";
            AppendFixed(json, m.TurnDeg, 1);
            json += ", \"loss_m\": ";
            if (std::isfinite(m.LossMetres))
                AppendFixed(json, m.LossMetres, 1);
            else
                json += "null";
            json += m.AtMark ? ", \"at_mark\": true}" : ", \"at_mark\": false}";
        }
        json += "]}";
    }
    json += "\n],\n\"wind\": [";
    for (std::size_t i = 0; i < race.Wind.size(); i += 6) {
        std::string time = DateText(race.Wind[i].Time);
        time[10] = 'T';
        json += i ? ",\n  " : "\n  ";
        json += "{\"time\": \"" + time + "Z\", \"from_deg\": ";
        AppendFixed(json, race.Wind[i].FromDeg, 1);
        json += "}";
    }
    json += "\n]}\n";
    return json;
}

} // namespace tideplot::racesim
