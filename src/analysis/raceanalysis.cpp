#include "raceanalysis.h"

#include "gapseries.h"
#include "windseries.h"

#include "core/courseprogress.h"

#include "core/datetime.h"
#include "core/replay.h"
#include "core/text.h"
#include "core/workpool.h"

#include <QThread>

#include <algorithm>
#include <cmath>
#include <exception>

namespace tideplot {

namespace {

void Summarise(BoatAnalysis& boat, const WindEstimate& wind)
{
    BoatSummary& summary = boat.Summary;
    summary = BoatSummary{};
    summary.DistanceNm = boat.Motion.DistanceNm;
    if (boat.Motion.SailingSeconds > 0)
        summary.MeanSpeedKn = boat.Motion.DistanceNm / (boat.Motion.SailingSeconds / 3600);
    double tackLoss = 0;
    for (const Manoeuvre& m : boat.Manoeuvres) {
        if (m.BeforeStart)
            continue;
        if (m.Kind == ManoeuvreKind::Tack) {
            ++summary.Tacks;
            tackLoss += m.LossMetres;
        } else if (m.Kind == ManoeuvreKind::Gybe) {
            ++summary.Gybes;
        }
    }
    if (summary.Tacks > 0)
        summary.MeanTackLossMetres = tackLoss / summary.Tacks;
    TimeOnEachTack(boat.Motion, boat.Source.StartTime, wind, 0, INFINITY, summary.PortSeconds,
                   summary.StarboardSeconds);
}

// The race's own wind: its wind lines, else measured, else the estimate.
WindEstimate RaceWind(const RaceAnalysis& race)
{
    if (!race.WindLines.empty()) {
        double firstStart = INFINITY;
        for (const BoatAnalysis& boat : race.Boats)
            firstStart = std::min(firstStart, boat.Source.StartTime);
        return TypedWindSeries(race.WindLines, std::isfinite(firstStart) ? firstStart : 0);
    }
    std::vector<const std::vector<WindPoint>*> measured;
    for (const BoatAnalysis& boat : race.Boats)
        if (!boat.MeasuredWind.empty())
            measured.push_back(&boat.MeasuredWind);
    const WindEstimate wind = MeasuredWind(measured, race.Estimate);
    return wind.Known ? wind : race.Estimate;
}

// The wind at the gun, or where it is not known then (an estimate rests on turns, and the
// first come after the start), the first known in the ten minutes after it.
double WindNearTheGun(const WindEstimate& wind, double gun)
{
    for (int minute = 0; wind.Known && minute <= 10; ++minute)
        if (const double from = wind.At(gun + minute * 60 / kSecondsPerDay); std::isfinite(from))
            return from;
    return kNoValue;
}

void Judge(RaceAnalysis& race, std::optional<double> windFromDeg, bool gapOverTime = true)
{
    race.Wind = windFromDeg ? GivenWind(*windFromDeg) : RaceWind(race);
    const CourseGeometry* course = race.Course.get();
    // A course of a finish line alone has no marks: roundings are told from the wind then.
    const bool marks = course && !course->sequence().empty();
    double firstStart = INFINITY;
    for (BoatAnalysis& boat : race.Boats) {
        firstStart = std::min(firstStart, boat.Source.StartTime);
        boat.Manoeuvres = ClassifyTurns(boat.Motion, race.Wind, boat.Source.StartTime,
                                        marks ? &boat.Sailed.RoundingSeconds : nullptr);
        Summarise(boat, race.Wind);
        if (course) {
            boat.Legs = BoatLegs(*course, boat, race.Wind);
            if (course->start())
                boat.Start = BoatStart(course->start()->line(), boat.Motion.Samples, boat.Sailed);
        } else if (gapOverTime) {
            boat.Sailed.ToSailNm = AxisToSailNm(boat, race.Wind);
        }
    }
    RankLegs(race.Boats);
    race.LineBias.reset();
    if (course && course->start() && std::isfinite(firstStart))
        race.LineBias = LineBias(course->start()->line(), WindNearTheGun(race.Wind, firstStart));
    if (gapOverTime)
        GapSeries(race);
    if (race.Wind.Source != WindSource::Estimated) {
        for (const BoatAnalysis& boat : race.Boats) {
            race.Wind.Tacks += boat.Summary.Tacks;
            race.Wind.Gybes += boat.Summary.Gybes;
        }
    }
}

// The boat's measured wind over its fixes, from its wind file when it has one; a file that
// cannot be read is left out, saying why.
void ReadBoatWind(BoatAnalysis& boat)
{
    const std::vector<MotionSample>& samples = boat.Motion.Samples;
    if (samples.empty())
        return;
    try {
        boat.MeasuredWind = ReadMeasuredWind(boat.Source.TrackPath, DateValueAt(boat.Source, samples.front().Seconds),
                                             DateValueAt(boat.Source, samples.back().Seconds));
    } catch (const Error& e) {
        boat.MeasuredWind.clear();
        boat.MeasuredWindError = e.what();
    }
}

} // namespace

std::vector<BoatSource> BoatSources(const RaceState& state)
{
    std::vector<BoatSource> boats;
    for (int k = 0; k < state.BoatCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        BoatSource boat;
        boat.TrackPath = state.TrackFile[i] ? state.TrackFile[i]->Path() : std::string();
        boat.Sep = state.SepChar[i];
        boat.StartTime = state.StartTime[i];
        boat.Lys = state.BoatLys[i];
        boat.Name = state.BoatName[i];
        boat.Caption = LegendCaption(state, k);
        boat.Row = state.EntryLine[i];
        boat.Colour = state.BoatColour[i];
        boats.push_back(std::move(boat));
    }
    return boats;
}

RaceAnalysis AnalyseRace(const std::vector<BoatSource>& boats, const AnalysisOptions& options)
{
    TrackAnalysisOptions track;
    track.Cancel = options.Cancel;
    if (options.MostSamplesKept > 0)
        track.MostSamplesKept =
            std::max<std::size_t>(2, options.MostSamplesKept / std::max<std::size_t>(1, boats.size()));
    track.MostTurns = std::max<std::size_t>(1, kMostTurnsKept / std::max<std::size_t>(1, boats.size()));
    const auto cancelled = [&] { return options.Cancel && options.Cancel->load(); };
    // Each boat is a part of its own, on the program's pool (this thread among them): a part
    // returns its boat, and reads nothing another part writes. Boats are begun in race order
    // and none after a failure, so every boat before a failing one was analysed: the first
    // failure in race order is the one a single pass meets.
    const int boatCount = static_cast<int>(boats.size());
    int threads = options.Threads > 0 ? options.Threads : QThread::idealThreadCount();
    threads = std::clamp(threads, 1, std::clamp(boatCount, 1, kMostBoatsAtOnce));
    // The course made ready once, shared by the boats' parts (read only).
    std::shared_ptr<const CourseGeometry> course;
    if (options.RaceCourse && options.RaceCourse->Finish)
        course = std::make_shared<const CourseGeometry>(*options.RaceCourse);
    RaceAnalysis race;
    race.Course = course;
    race.Boats = RunPartsFor<BoatAnalysis>(
        boatCount, threads,
        [&](int k) {
            const BoatSource& source = boats[static_cast<std::size_t>(k)];
            BoatAnalysis boat;
            boat.Source = source;
            boat.Motion = AnalyseTrack(source.TrackPath, source.Sep, source.StartTime, track, boat.Reading);
            ReadBoatWind(boat);
            if (course)
                boat.Sailed = SailCourse(course, boat.Motion.Samples);
            return boat;
        },
        cancelled);
    if (cancelled())
        throw AnalysisCancelled();
    std::vector<WindBoat> winds;
    for (const BoatAnalysis& boat : race.Boats)
        winds.push_back({&boat.Motion, boat.Source.StartTime});
    race.Estimate = EstimateWind(winds);
    race.WindLines = options.WindLines;
    Judge(race, options.WindFromDeg, options.GapOverTime);
    return race;
}

void SetWind(RaceAnalysis& race, std::optional<double> windFromDeg)
{
    Judge(race, windFromDeg);
}

std::vector<std::string> AnalysisWarnings(const RaceAnalysis& race)
{
    const auto count = [](long n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    std::vector<std::string> warnings;
    for (const BoatAnalysis& boat : race.Boats) {
        const TrackReading& r = boat.Reading;
        const std::string file = FileLabel(boat.Source.TrackPath) + ": ";
        if (r.PassedOver > 0)
            warnings.push_back(file + count(r.PassedOver, "fix", "fixes") + " not later than the fix before " +
                               (r.PassedOver == 1 ? "it was" : "them were") + " left out (the first on line " +
                               std::to_string(r.FirstPassedOverLine) + ")");
        std::string text;
        if (r.Glitches > 0)
            text = count(r.Glitches, "fix", "fixes") + " out of reach at 50 knots of the track either side " +
                   (r.Glitches == 1 ? "was" : "were") + " left out of speed, distance and manoeuvres (" +
                   (r.Glitches == 1 ? "line " : "the first on line ") + std::to_string(r.FirstGlitchLine) + ")";
        if (r.Jumps > 0)
            text += (text.empty() ? "" : "; ") + std::string("the track jumps out of reach at 50 knots ") +
                    (r.Jumps == 1 ? "on line " + std::to_string(r.FirstJumpLine) + " and goes on there"
                                  : count(r.Jumps, "time", "times") + ", the first on line " +
                                        std::to_string(r.FirstJumpLine) + ", and goes on there each time") +
                    ": nothing is measured across " + (r.Jumps == 1 ? "the jump" : "a jump");
        if (!text.empty())
            warnings.push_back(file + text);
        if (!boat.MeasuredWindError.empty())
            warnings.push_back(boat.MeasuredWindError + "; its wind was left out");
    }
    return warnings;
}

} // namespace tideplot
