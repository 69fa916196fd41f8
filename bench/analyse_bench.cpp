// The race analysis (goal: `tideplot analyse` of a 64-boat 24-hour race logged every second,
// 5.5 million fixes, in under 5 s and 200 MB; of a 7-boat 2-hour race in under 0.3 s).
//
//   build/bench/bench/analyse_bench [--benchmark_...]
//
// The races, generated once into $TMPDIR/tideplot-bench-analyse-<B>x<H>h:
// `tideplot-racegen --boats B --hours H --interval 1 --seed 29`.
// - BM_AnalyseCommand: the command as a user runs it, start-up included, with --json and --csv
//   (the table on stdout, the files beside the race), and with --series too (every fix as CSV);
//   its wall time, CPU time (all threads) and peak resident memory, from the kernel's rusage of
//   the child.
// - BM_AnalyseLongTracks: the command on the worst cases a race may be (goal: under 300 MB
//   whatever the tracks): entries of one track of up to 10 million fixes.
// - BM_AnalyseRace: the library in the benchmark's process on one thread and on as many as the
//   processor has: reading the tracks, smoothing, turns, the wind, the manoeuvres.
#include "analysis/raceanalysis.h"
#include "bench_process.h"
#include "bench_race.h"
#include "core/replay.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Arguments: boats, hours, 1 to write the series too.
void BM_AnalyseCommand(benchmark::State& state)
{
    const std::string race = AnalyseRaceFile(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const std::string out = fs::path(race).parent_path() / "analysis.";
    std::vector<std::string> args{TIDEPLOT_EXE, "analyse", race, "--json", out + "json", "--csv", out + "csv"};
    if (state.range(2) != 0) {
        args.push_back("--series");
        args.push_back(out + "series.csv");
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
    state.SetLabel(state.range(2) != 0 ? "--json --csv --series" : "--json --csv");
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

} // namespace

BENCHMARK(BM_AnalyseCommand)
    ->Args({7, 2, 0})
    ->Args({64, 24, 0})
    ->Args({64, 24, 1})
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
