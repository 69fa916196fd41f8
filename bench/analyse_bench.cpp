// The race analysis (goal: `tideplot analyse` of a 64-boat 24-hour race logged every second,
// 5.5 million fixes, in under 3 s and 300 MB; of a 7-boat 2-hour race in under 0.3 s; on
// races whose wind shifts, tacks and gybes found with recall and precision of 95 % or more
// and the wind within 5 degrees at every moment).
//
//   build/bench/bench/analyse_bench [--benchmark_...]
//
// The races, generated once into $TMPDIR/tideplot-bench-analyse-<B>x<H>h:
// `tideplot-racegen --boats B --hours H --interval 1 --seed 29`.
// - BM_AnalyseCommand: the command as a user runs it, start-up included, with --json and --csv
//   (the table on stdout, the files beside the race), and with --series too (every fix as CSV),
//   or with the course and --legs --legs-csv (the same race as course.TP1, its course file the
//   course proposed from the tracks with its start line as the finish: the starts, roundings,
//   legs and gaps of every boat); its wall time, CPU time (all threads) and peak resident
//   memory, from the kernel's rusage of the child.
// - BM_AnalyseLongTracks: the command on the worst cases a race may be (goal: under 300 MB
//   whatever the tracks): entries of one track of up to 10 million fixes.
// - BM_AnalyseRace: the library in the benchmark's process on one thread and on as many as the
//   processor has: reading the tracks, smoothing, turns, the wind, the manoeuvres.
// - BM_WindOverTime: races of tideplot-manoeuvregen whose wind shifts by 20 to 40 degrees,
//   linearly or in steps, against their truth: recall and precision of the tacks and gybes
//   (the same kind, the middle within 10 s), the wind's largest and 95th-percentile error
//   over the minutes from the first start to the last fix, and the share of them with a wind.
#include "analysis/courseproposal.h"
#include "analysis/raceanalysis.h"
#include "bench_process.h"
#include "bench_race.h"
#include "core/coursefile.h"
#include "core/datetime.h"
#include "core/replay.h"
#include "racesim.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The race of AnalyseRaceFile as course.TP1 beside it, with a course file: the course proposed
// from the tracks, its start line the finish too. Made once.
std::string CourseRaceFile(int boats, int hours)
{
    const fs::path race = AnalyseRaceFile(boats, hours);
    const fs::path course = race.parent_path() / "course.TP1";
    if (!fs::exists(course.string() + ".course")) {
        fs::copy_file(race, course, fs::copy_options::overwrite_existing);
        tideplot::RaceState state;
        state.RaceFileName = course.string();
        tideplot::StartReplay(state);
        const std::vector<tideplot::BoatSource> sources = tideplot::BoatSources(state);
        tideplot::CloseTrackFiles(state);
        tideplot::Course plan = tideplot::ProposeCourse(tideplot::AnalyseRace(sources)).Plan;
        plan.Finish = plan.Start;
        tideplot::SaveCourse(course.string(), plan);
    }
    return course.string();
}

// Arguments: boats, hours, 1 to write the series too, 2 the legs with the course.
void BM_AnalyseCommand(benchmark::State& state)
{
    const bool legs = state.range(2) == 2;
    const std::string race = legs ? CourseRaceFile(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)))
                                  : AnalyseRaceFile(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const std::string out = fs::path(race).parent_path() / "analysis.";
    std::vector<std::string> args{TIDEPLOT_EXE, "analyse", race, "--json", out + "json", "--csv", out + "csv"};
    if (state.range(2) == 1) {
        args.push_back("--series");
        args.push_back(out + "series.csv");
    } else if (legs) {
        args.insert(args.end(), {"--legs", "--legs-csv", out + "legs.csv"});
    }
    Measured last;
    double cpu = 0, peak = 0;
    for (auto _ : state) {
        last = RunMeasured(args);
        state.SetIterationTime(last.seconds);
        cpu += last.cpuSeconds;
        peak = std::max(peak, static_cast<double>(last.peakKiB));
    }
    state.counters["cpu_s"] = cpu / static_cast<double>(state.iterations());
    state.counters["peak_rss_KiB"] = peak;
    state.SetLabel(state.range(2) == 1 ? "--json --csv --series"
                   : legs              ? "--json --csv --legs --legs-csv"
                                       : "--json --csv");
}

// The worst cases a race may be (LongTrackRaceFile): the command with --json and --csv on
// `entries` entries of a track of `fixes` fixes that turns every `turnSeconds`. Arguments:
// entries, fixes, turnSeconds.
void BM_AnalyseLongTracks(benchmark::State& state)
{
    const std::string race =
        LongTrackRaceFile(static_cast<int>(state.range(0)), state.range(1), static_cast<int>(state.range(2)));
    const std::string out = fs::path(race).parent_path() / "analysis.";
    const std::vector<std::string> args{TIDEPLOT_EXE, "analyse", race, "--json", out + "json", "--csv", out + "csv"};
    Measured last;
    double cpu = 0, peak = 0;
    for (auto _ : state) {
        last = RunMeasured(args);
        state.SetIterationTime(last.seconds);
        cpu += last.cpuSeconds;
        peak = std::max(peak, static_cast<double>(last.peakKiB));
    }
    state.counters["cpu_s"] = cpu / static_cast<double>(state.iterations());
    state.counters["peak_rss_KiB"] = peak;
    state.counters["fixes"] = static_cast<double>(state.range(0)) * static_cast<double>(state.range(1));
}

// Arguments: boats, hours, threads (0: one per processor).
void BM_AnalyseRace(benchmark::State& state)
{
    tideplot::RaceState race;
    race.RaceFileName = AnalyseRaceFile(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    tideplot::StartReplay(race);
    const std::vector<tideplot::BoatSource> boats = tideplot::BoatSources(race);
    tideplot::CloseTrackFiles(race);
    tideplot::AnalysisOptions options;
    options.Threads = static_cast<int>(state.range(2));
    std::size_t fixes = 0;
    for (auto _ : state) {
        const tideplot::RaceAnalysis analysis = tideplot::AnalyseRace(boats, options);
        fixes = 0;
        for (const auto& boat : analysis.Boats)
            fixes += boat.Motion.Samples.size();
        benchmark::DoNotOptimize(analysis.Wind.FromDeg);
    }
    state.counters["fixes"] = static_cast<double>(fixes);
    state.SetLabel(state.range(2) == 1 ? "one thread" : "a thread per processor");
}

// The truth's tacks and gybes found (the same kind, the middle within 10 s): true, found, matched.
std::array<int, 3> Matches(const tideplot::racesim::TrueRace& truth, const tideplot::RaceAnalysis& race)
{
    std::array<int, 3> counts{};
    for (std::size_t k = 0; k < truth.Boats.size(); ++k) {
        const auto& found = race.Boats[k].Manoeuvres;
        std::vector<bool> used(found.size(), false);
        for (const auto& m : found)
            counts[1] += m.Kind == tideplot::ManoeuvreKind::Tack || m.Kind == tideplot::ManoeuvreKind::Gybe ? 1 : 0;
        for (const auto& t : truth.Boats[k].Manoeuvres) {
            if (t.Kind == "turn" || t.AtMark)
                continue;
            ++counts[0];
            for (std::size_t i = 0; i < found.size(); ++i)
                if (!used[i] && tideplot::ManoeuvreKindName(found[i].Kind) == t.Kind &&
                    std::fabs(found[i].MiddleSeconds - t.MiddleSeconds) <= 10) {
                    used[i] = true;
                    ++counts[2];
                    break;
                }
        }
    }
    return counts;
}

// Arguments: seed, wind shift (degrees), steps (0: linearly), seconds between fixes.
void BM_WindOverTime(benchmark::State& state)
{
    namespace sim = tideplot::racesim;
    sim::RaceOptions o;
    o.Seed = static_cast<std::uint64_t>(state.range(0));
    o.WindShiftDeg = static_cast<double>(state.range(1));
    o.WindShiftSteps = static_cast<int>(state.range(2));
    o.IntervalMin = o.IntervalMax = static_cast<int>(state.range(3));
    o.Boats = 8;
    o.Hours = 2;
    o.WindFromDeg = static_cast<double>(state.range(0) * 47 % 360);
    o.Out = fs::temp_directory_path() / ("tideplot-bench-wind-" + std::to_string(state.range(0)));
    const sim::TrueRace truth = sim::WriteRace(o);
    tideplot::RaceState race;
    race.RaceFileName = truth.RaceFile.string();
    tideplot::StartReplay(race);
    const std::vector<tideplot::BoatSource> boats = tideplot::BoatSources(race);
    tideplot::CloseTrackFiles(race);
    tideplot::RaceAnalysis analysis;
    for (auto _ : state)
        analysis = tideplot::AnalyseRace(boats);
    const std::array<int, 3> m = Matches(truth, analysis);
    double first = INFINITY, last = -INFINITY;
    for (const auto& boat : analysis.Boats) {
        first = std::min(first, boat.Source.StartTime);
        last = std::max(last, tideplot::DateValueAt(boat.Source, boat.Motion.Samples.back().Seconds));
    }
    std::vector<double> errors;
    int minutes = 0;
    for (double t = first; t <= last; t += 60 / tideplot::kSecondsPerDay, ++minutes) {
        const double wind = analysis.Wind.At(t);
        if (!std::isnan(wind))
            errors.push_back(std::fabs(tideplot::AngleDifference(wind, truth.WindAt(t))));
    }
    std::sort(errors.begin(), errors.end());
    state.counters["recall"] = m[0] ? static_cast<double>(m[2]) / m[0] : 0;
    state.counters["precision"] = m[1] ? static_cast<double>(m[2]) / m[1] : 0;
    state.counters["wind_max_deg"] = errors.empty() ? NAN : errors.back();
    state.counters["wind_p95_deg"] = errors.empty() ? NAN : errors[errors.size() * 95 / 100];
    state.counters["wind_known"] = minutes ? static_cast<double>(errors.size()) / minutes : 0;
    fs::remove_all(o.Out);
}

} // namespace

BENCHMARK(BM_WindOverTime)
    ->Args({31, 40, 0, 1})
    ->Args({32, -30, 0, 2})
    ->Args({33, 30, 3, 1})
    ->Args({34, -20, 1, 1})
    ->Args({35, 25, 2, 5})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_AnalyseCommand)
    ->Args({7, 2, 0})
    ->Args({64, 24, 0})
    ->Args({64, 24, 1})
    ->Args({7, 2, 2})
    ->Args({64, 24, 2})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
// 8 and 64 entries of a track of just under 10 million fixes (116 days) turning every two
// hours, and 64 entries of a 4-day track turning every 160 s: 2,160 turns a boat,
// near the most a boat of 64 may have (kMostTurnsKept / 64).
BENCHMARK(BM_AnalyseLongTracks)
    ->Args({8, 9'990'000, 7200})
    ->Args({64, 9'990'000, 7200})
    ->Args({64, 345'600, 160})
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(BM_AnalyseRace)->Args({64, 24, 1})->Args({64, 24, 0})->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
