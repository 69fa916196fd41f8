#include "analysisfiles.h"

#include "debrieffiles.h"

#include "core/datetime.h"
#include "core/text.h"

#include <QString>

#include <cmath>

namespace tideplot {

namespace {

// A number with exactly `decimals` decimals, "." as point, by integer arithmetic (no locale).
void AppendFixed(std::string& out, double value, int decimals)
{
    static constexpr double kScale[] = {1, 10, 100, 1000, 1e4, 1e5, 1e6, 1e7};
    long long n = std::llround(value * kScale[decimals]);
    if (n < 0) {
        out += '-';
        n = -n;
    }
    char digits[32];
    int length = 0;
    for (int i = 0; i < decimals; ++i) {
        digits[length++] = static_cast<char>('0' + n % 10);
        n /= 10;
    }
    if (decimals > 0)
        digits[length++] = '.';
    do {
        digits[length++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0);
    while (length > 0)
        out += digits[--length];
}

} // namespace

std::string FixedText(double value, int decimals)
{
    std::string text;
    AppendFixed(text, value, decimals);
    return text;
}

namespace {

// A value, or `none` when it is not a number.
void AppendValue(std::string& out, double value, int decimals, std::string_view none)
{
    if (std::isfinite(value))
        AppendFixed(out, value, decimals);
    else
        out += none;
}

// The texts of a manoeuvre, in the order of the CSV's columns after row and name.
struct ManoeuvreTexts {
    std::string kind, time, raceTime;
};

ManoeuvreTexts TextsOf(const BoatAnalysis& boat, const Manoeuvre& m)
{
    return {std::string(ManoeuvreKindName(m.Kind)), IsoTimeText(DateValueAt(boat.Source, m.MiddleSeconds)),
            RaceClockText(RaceClockAt(boat.Source, m.MiddleSeconds))};
}

// The numbers of a manoeuvre after its time: lat, lon, courses, speeds, duration, loss, each
// preceded by `separator` and with `none` for a value not known.
void AppendManoeuvreNumbers(std::string& out, const Manoeuvre& m, std::string_view separator, std::string_view none,
                            bool named)
{
    const auto field = [&](const char* name) {
        out += separator;
        if (named) {
            out += '"';
            out += name;
            out += "\": ";
        }
    };
    field("lat");
    AppendValue(out, m.Lat, 7, none);
    field("lon");
    AppendValue(out, m.Lon, 7, none);
    field("course_before");
    AppendValue(out, m.CourseBeforeDeg, 1, none);
    field("course_after");
    AppendValue(out, m.CourseAfterDeg, 1, none);
    field("speed_before_kn");
    AppendValue(out, m.SpeedBeforeKn, 2, none);
    field("min_speed_kn");
    AppendValue(out, m.MinSpeedKn, 2, none);
    field("speed_after_kn");
    AppendValue(out, m.SpeedAfterKn, 2, none);
    field("duration_s");
    AppendValue(out, m.DurationSeconds, 1, none);
    field("loss_m");
    AppendValue(out, m.LossMetres, 1, none);
}

// hh:mm:ss of a second of the day.
void AppendClock(std::string& out, long long secondOfDay)
{
    const auto two = [&out](long long n) {
        out += static_cast<char>('0' + n / 10);
        out += static_cast<char>('0' + n % 10);
    };
    two(secondOfDay / 3600);
    out += ':';
    two(secondOfDay / 60 % 60);
    out += ':';
    two(secondOfDay % 60);
}

std::string_view SourceName(const WindEstimate& wind)
{
    if (!wind.Known)
        return "unknown";
    switch (wind.Source) {
    case WindSource::Given:
        return "given";
    case WindSource::Measured:
        return "measured";
    case WindSource::Estimated:
    case WindSource::Unknown:
        break;
    }
    return "estimated";
}

// "from_deg": the mean, "source", "tacks", "gybes" and "series" of a wind, without braces.
void AppendWindFields(std::string& json, const WindEstimate& wind)
{
    json += "\"from_deg\": ";
    AppendValue(json, wind.Known ? wind.FromDeg : NAN, 1, "null");
    json += ", \"source\": \"";
    json += SourceName(wind);
    json += "\", \"tacks\": " + std::to_string(wind.Tacks) + ", \"gybes\": " + std::to_string(wind.Gybes) +
            ", \"series\": [";
    for (std::size_t i = 0; wind.Known && i < wind.Series.size(); ++i) {
        const WindPoint& p = wind.Series[i];
        json += i == 0 ? "\n    {\"time\": \"" : ",\n    {\"time\": \"";
        json += IsoTimeText(p.Time) + "\", \"from_deg\": ";
        AppendValue(json, p.FromDeg, 1, "null");
        if (wind.Source == WindSource::Estimated)
            json += ", \"turns\": " + std::to_string(p.Support);
        else if (wind.Source == WindSource::Measured)
            json += p.Support > 0 ? ", \"measured\": true" : ", \"measured\": false";
        json += "}";
    }
    json += wind.Known && !wind.Series.empty() ? "\n  ]" : "]";
}

} // namespace

std::string IsoTimeText(double dateValue)
{
    std::string text = DateText(dateValue);
    text[10] = 'T';
    return text + "Z";
}

std::string AnalysisJson(const RaceAnalysis& race)
{
    std::string json = "{\n  \"wind\": {";
    const WindEstimate& wind = race.Wind;
    AppendWindFields(json, wind);
    if (wind.Known && wind.Source != WindSource::Estimated) {
        // The estimate beside the wind given or measured, and how far it lies from it.
        const WindDifference difference = CompareWinds(race.Estimate, wind);
        json += ",\n  \"estimate\": {\"difference_deg\": ";
        AppendValue(json, difference.MeanDeg, 1, "null");
        json += ", \"mean_abs_difference_deg\": ";
        AppendValue(json, difference.MeanAbsoluteDeg, 1, "null");
        json += ", ";
        AppendWindFields(json, race.Estimate);
        json += "}";
    }
    json += "},\n  \"start_line\": " + StartLineJson(race) + ",\n";
    json += "  \"boats\": [";
    for (std::size_t k = 0; k < race.Boats.size(); ++k) {
        const BoatAnalysis& boat = race.Boats[k];
        const BoatSummary& summary = boat.Summary;
        json += k == 0 ? "\n    {" : ",\n    {";
        json += "\"row\": " + std::to_string(boat.Source.Row) + ", \"name\": ";
        AppendJsonText(json, LocalTextAsUtf8(boat.Source.Name));
        json += ", \"caption\": ";
        AppendJsonText(json, LocalTextAsUtf8(boat.Source.Caption));
        json += ", \"lys\": " + ShortNumberText(boat.Source.Lys) + ", \"gun\": \"" +
                IsoTimeText(boat.Source.StartTime) + "\", \"distance_nm\": ";
        AppendFixed(json, summary.DistanceNm, 3);
        json += ", \"mean_speed_kn\": ";
        AppendFixed(json, summary.MeanSpeedKn, 2);
        json += ", \"tacks\": " + std::to_string(summary.Tacks) + ", \"gybes\": " + std::to_string(summary.Gybes) +
                ", \"mean_tack_loss_m\": ";
        AppendValue(json, summary.MeanTackLossMetres, 1, "null");
        json += ", \"port_s\": ";
        AppendValue(json, wind.Known ? summary.PortSeconds : NAN, 0, "null");
        json += ", \"starboard_s\": ";
        AppendValue(json, wind.Known ? summary.StarboardSeconds : NAN, 0, "null");
        AppendBoatDebriefJson(json, race, boat, "     ");
        json += ",\n     \"manoeuvres\": [";
        for (std::size_t i = 0; i < boat.Manoeuvres.size(); ++i) {
            const Manoeuvre& m = boat.Manoeuvres[i];
            const ManoeuvreTexts texts = TextsOf(boat, m);
            json += i == 0 ? "\n      {" : ",\n      {";
            json += "\"kind\": \"" + texts.kind + "\", \"time\": \"" + texts.time + "\", \"race_time\": \"" +
                    texts.raceTime + "\", \"before_start\": " + (m.BeforeStart ? "true" : "false");
            AppendManoeuvreNumbers(json, m, ", ", "null", true);
            json += "}";
        }
        json += boat.Manoeuvres.empty() ? "]}" : "\n     ]}";
    }
    json += race.Boats.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return json;
}

std::string ManoeuvresCsv(const RaceAnalysis& race)
{
    std::string csv = "row,name,kind,time,race_time,lat,lon,course_before,course_after,speed_before_kn,"
                      "min_speed_kn,speed_after_kn,duration_s,loss_m\r\n";
    for (const BoatAnalysis& boat : race.Boats) {
        const std::string name = LocalTextAsUtf8(boat.Source.Name);
        for (const Manoeuvre& m : boat.Manoeuvres) {
            const ManoeuvreTexts texts = TextsOf(boat, m);
            csv += std::to_string(boat.Source.Row);
            csv += ',';
            AppendCsvField(csv, name);
            csv += ',' + texts.kind + ',' + texts.time + ',' + texts.raceTime;
            AppendManoeuvreNumbers(csv, m, ",", "", false);
            csv += "\r\n";
        }
    }
    return csv;
}

void WriteSeriesCsv(const RaceAnalysis& race, const std::function<void(std::string_view)>& write)
{
    std::string out = "row,time,race_time,lat,lon,sog_kn,cog_deg,vmg_kn\r\n";
    constexpr std::size_t kPiece = 1 << 20;
    out.reserve(kPiece + 256);
    for (const BoatAnalysis& boat : race.Boats) {
        const std::string row = std::to_string(boat.Source.Row);
        const long long start = std::llround(boat.Source.StartTime * kSecondsPerDay);
        long long day = -1;
        std::string date; // "YYYY-MM-DDT"
        const auto line = [&](const MotionSample& s) {
            const long long when = start + s.Seconds;
            const long long today = (when - ((when % 86400) + 86400) % 86400) / 86400;
            if (today != day) {
                day = today;
                date = DateText(static_cast<double>(day)).substr(0, 10) + "T";
            }
            out += row;
            out += ',';
            out += date;
            AppendClock(out, ((when % 86400) + 86400) % 86400);
            out += "Z,";
            out += RaceClockText(RaceClockAt(boat.Source, s.Seconds));
            out += ',';
            AppendFixed(out, s.Lat7 * 1e-7, 7);
            out += ',';
            AppendFixed(out, s.Lon7 * 1e-7, 7);
            out += ',';
            AppendValue(out, s.SpeedKn, 2, "");
            out += ',';
            AppendValue(out, s.CourseDeg, 1, "");
            out += ',';
            if (race.Wind.Known)
                AppendValue(out, VmgKn(s, race.Wind.At(DateValueAt(boat.Source, s.Seconds))), 2, "");
            out += "\r\n";
            if (out.size() >= kPiece) {
                write(out);
                out.clear();
            }
        };
        if (boat.Motion.KeptEvery == 1) {
            for (const MotionSample& s : boat.Motion.Samples)
                line(s);
            continue;
        }
        // The result kept every n-th fix: the track is analysed again, every sample written as it comes.
        TrackAnalysisOptions every;
        every.EverySample = line;
        TrackReading reading;
        AnalyseTrack(boat.Source.TrackPath, boat.Source.Sep, boat.Source.StartTime, every, reading);
    }
    write(out);
}

} // namespace tideplot
