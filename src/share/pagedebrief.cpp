#include "share/pagedebrief.h"

#include "analysis/analysisfiles.h"
#include "analysis/analysistext.h"
#include "analysis/debrieffiles.h"
#include "core/coursefile.h"
#include "core/replay.h"
#include "core/text.h"
#include "share/pagedata.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

namespace tideplot {

namespace {

// A value as the Analysis window writes it with `decimals` decimals, as a whole number of
// its last digit (5.25 with one decimal: "5.2" as 52).
std::int64_t ShownWhole(double value, int decimals)
{
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    std::int64_t whole = 0;
    bool negative = false;
    for (const char* c = text; c < end; ++c) {
        if (*c == '-')
            negative = true;
        else if (*c >= '0' && *c <= '9')
            whole = whole * 10 + (*c - '0');
    }
    return negative ? -whole : whole;
}

std::uint64_t ZigZag(std::int64_t value)
{
    return (static_cast<std::uint64_t>(value) << 1) ^ static_cast<std::uint64_t>(value >> 63);
}

// The analysis's options as `tideplot analyse` takes them from the race's course file: its
// wind lines, and its course when it has a finish line. A course file that cannot be read
// gives neither (the page says why in its own warning).
AnalysisOptions OptionsOf(const std::string& raceFile)
{
    AnalysisOptions options;
    const std::string path = CourseFilePath(raceFile);
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return options;
    try {
        CourseFile file = ReadCourseFile(path);
        options.WindLines = std::move(file.WindLines);
        if (file.Plan.Finish)
            options.RaceCourse = std::move(file.Plan);
    } catch (const Error&) {
        return AnalysisOptions{};
    }
    return options;
}

} // namespace

std::string MotionStream(const BoatAnalysis& boat, const WindEstimate& wind, const std::vector<double>& raceSeconds)
{
    const std::vector<MotionSample>& samples = boat.Motion.Samples;
    const double lys = boat.Source.Lys;
    page::Bytes speeds, courses, vmgs;
    std::int64_t speed = 0, course = 0, vmg = 0;
    std::size_t after = 0; // the first sample at or after the moment
    for (const double moment : raceSeconds) {
        // The sample nearest the moment, the earlier of two as near (the speed graph's rule).
        const double seconds = moment / lys;
        while (after < samples.size() && samples[after].Seconds < seconds)
            ++after;
        const MotionSample* s = nullptr;
        if (!samples.empty()) {
            if (after == 0)
                s = &samples[0];
            else if (after == samples.size() || seconds - samples[after - 1].Seconds < samples[after].Seconds - seconds)
                s = &samples[after - 1];
            else
                s = &samples[after];
        }
        if (!s || std::abs(s->Seconds * lys - moment) > 60 || !std::isfinite(s->SpeedKn)) {
            speeds.put(0);
            continue;
        }
        const std::int64_t newSpeed = ShownWhole(s->SpeedKn, 1);
        speeds.put(1 + ZigZag(newSpeed - speed));
        speed = newSpeed;
        const std::int64_t newCourse = std::isfinite(s->CourseDeg) ? ShownWhole(s->CourseDeg, 0) % 360 : course;
        courses.putSigned((newCourse - course + 540) % 360 - 180);
        course = newCourse;
        const double v = wind.Known ? VmgKn(*s, wind.At(DateValueAt(boat.Source, s->Seconds))) : kNoValue;
        if (!std::isfinite(v)) {
            vmgs.put(0);
            continue;
        }
        const std::int64_t newVmg = ShownWhole(v, 1);
        vmgs.put(1 + ZigZag(newVmg - vmg));
        vmg = newVmg;
    }
    speeds.append(courses);
    speeds.append(vmgs);
    return speeds.bytes();
}

std::string ManoeuvreStream(const BoatAnalysis& boat)
{
    page::Bytes out;
    std::int64_t seconds = 0, lat = 0, lon = 0;
    for (const Manoeuvre& m : boat.Manoeuvres) {
        if (m.BeforeStart || (m.Kind != ManoeuvreKind::Tack && m.Kind != ManoeuvreKind::Gybe))
            continue;
        const std::int64_t time = page::ClockSeconds(ManoeuvreRaceTimeText(boat.Source, m));
        const std::int64_t newLat = std::llround(m.Lat * 1e6), newLon = std::llround(m.Lon * 1e6);
        out.put(ZigZag(time - seconds) * 2 + (m.Kind == ManoeuvreKind::Gybe ? 1 : 0));
        out.putSigned(newLat - lat);
        out.putSigned(newLon - lon);
        seconds = time;
        lat = newLat;
        lon = newLon;
    }
    return out.bytes();
}

PageDebrief::PageDebrief(const std::string& raceFile)
{
    try {
        RaceState state;
        state.RaceFileName = raceFile;
        StartReplay(state);
        std::vector<BoatSource> boats = BoatSources(state);
        CloseTrackFiles(state);
        job_ = StartJob<RaceAnalysis>(
            [boats = std::move(boats), options = OptionsOf(raceFile)](const std::atomic<bool>& cancel) mutable {
                options.Cancel = &cancel;
                options.GapOverTime = false; // the page does not show it
                return AnalyseRace(boats, options);
            },
            kAnalysisPriority);
    } catch (const Error& e) {
        why_ = e.what();
    }
}

PageDebrief::~PageDebrief()
{
    if (job_)
        job_->Cancel = true;
}

std::string PageDebrief::json(std::size_t boats)
{
    if (!job_)
        return {};
    while (!job_->ended())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!job_->Result) {
        why_ = job_->Failure;
        return {};
    }
    RaceAnalysis& race = *job_->Result;
    if (race.Boats.size() != boats) {
        why_ = "the analysis took another number of boats than the replay";
        return {};
    }
    const long long steps = static_cast<long long>(clocks_.size());
    const long long every = std::max<long long>(1, (steps * static_cast<long long>(boats) + kMostDebriefBoatSteps - 1) /
                                                       kMostDebriefBoatSteps);
    std::vector<double> moments;
    for (long long s = every; s <= steps; s += every)
        moments.push_back(clocks_[static_cast<std::size_t>(s - 1)]);
    const std::vector<std::string> streams =
        RunPartsFor<std::string>(static_cast<int>(boats), WorkPool::Program().threads(), [&](int k) {
            const BoatAnalysis& boat = race.Boats[static_cast<std::size_t>(k)];
            return page::PackedJson(MotionStream(boat, race.Wind, moments)) + "," +
                   page::PackedJson(ManoeuvreStream(boat), page::Packing::Noise);
        });
    // Each boat's start and legs as `analyse --json` writes them (its gap over time, which
    // the page does not show, was not worked out).
    std::string analysis = "{\"boats\": [";
    for (std::size_t k = 0; k < boats; ++k) {
        const BoatAnalysis& boat = race.Boats[k];
        analysis += (k == 0 ? "{\"row\": " : ", {\"row\": ") + std::to_string(boat.Source.Row);
        AppendBoatDebriefJson(analysis, race, boat, "");
        analysis += "}";
    }
    analysis += "]}";
    std::string json = ",\"debrief\":{\"analysis\":" + page::PackedJson(analysis);
    // The wind and the start line as the Analysis window says them.
    if (race.Wind.Known)
        json += ",\"wind\":" + page::JsonString("Wind from " + WindDegreesText(race.Wind) + " degrees, " +
                                                LocalTextAsUtf8(WindSourceText(race)));
    if (race.LineBias)
        json += ",\"line\":" + page::JsonString("Start line: " + LocalTextAsUtf8(LineBiasText(*race.LineBias)));
    json += ",\"every\":" + std::to_string(every) + ",\"boats\":[";
    for (std::size_t k = 0; k < streams.size(); ++k)
        json += (k == 0 ? "[" : ",[") + streams[k] + "]";
    return json + "]}";
}

} // namespace tideplot
