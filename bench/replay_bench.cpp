// The headless replay of a whole day's race against the floor (wc -l reading the same
// files) and a generic tool doing the same reading and interpolation (gpsbabel), side
// by side in one run, plus the peak memory of a 1-hour and a 24-hour replay and the
// check of the starts.
//
//   build/bench/bench/replay_bench [--benchmark_...]
//
// The race: 7 boats, one fix a second, generated once into $TMPDIR/tideplot-bench-race-*.
#include "bench_process.h"
#include "bench_race.h"
#include "core/racecheck.h"
#include "core/replay.h"
#include "earth/googleearth.h"
#include "replay/earthobserver.h"
#include "replay/replaysession.h"
#include "replay/trace.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Files(const std::string& dir, const char* extension)
{
    std::vector<std::string> files;
    for (int i = 1; i <= 7; ++i)
        files.push_back(dir + "/boat" + std::to_string(i) + extension);
    return files;
}

// The replay in this process: 7 boats, resolution 10, from the race file to the last
// step. With documents: every segment's KML document is built and handed to a view
// that shows nothing (what a view costs on top is the view's own benchmark).
void Replay(benchmark::State& state, bool documents)
{
    const std::string race = RaceFolder(static_cast<int>(state.range(0))) + "/race.TP1";
    long long steps = 0;
    for (auto _ : state) {
        tideplot::ReplaySession session;
        tideplot::NullApplication view(0, 0);
        tideplot::GoogleEarthObserver drawing(view);
        if (documents)
            session.addObserver(&drawing);
        session.start(race, tideplot::ReplaySettings{}, false);
        steps = 0;
        while (session.step())
            ++steps;
        session.close();
    }
    state.counters["steps"] = static_cast<double>(steps);
    state.counters["per_step"] =
        benchmark::Counter(static_cast<double>(steps) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Replay(benchmark::State& state)
{
    Replay(state, false);
}
void BM_ReplayWithDocuments(benchmark::State& state)
{
    Replay(state, true);
}

// The check of the starts after loading the race: each track's first and last fix.
void BM_StartTimeWarnings(benchmark::State& state)
{
    const std::string race = RaceFolder(static_cast<int>(state.range(0))) + "/race.TP1";
    tideplot::RaceState raceState;
    raceState.RaceFileName = race;
    tideplot::StartReplay(raceState);
    std::size_t warnings = 0;
    for (auto _ : state)
        warnings = tideplot::StartTimeWarnings(raceState).size();
    tideplot::CloseTrackFiles(raceState);
    state.counters["warnings"] = static_cast<double>(warnings);
}

// The floor: wc -l over the same seven files.
void BM_WcL(benchmark::State& state)
{
    std::vector<std::string> args{"wc", "-l"};
    for (const auto& f : Files(RaceFolder(static_cast<int>(state.range(0))), ".txt"))
        args.push_back(f);
    for (auto _ : state)
        RunMeasured(args, true);
}

// gpsbabel reading the same tracks and interpolating them every 10 seconds.
void BM_Gpsbabel(benchmark::State& state)
{
    const auto files = Files(RaceFolder(static_cast<int>(state.range(0))), ".csv");
    for (auto _ : state)
        for (const auto& f : files)
            RunMeasured({"gpsbabel", "-i", "unicsv,utc=0", "-f", f, "-x", "transform,trk=wpt,del", "-x",
                         "interpolate,time=10", "-o", "unicsv", "-F", "/dev/null"},
                        true);
}

// Peak memory of the whole program replaying the race (KiB, from the kernel's rusage).
void BM_ReplayPeakMemory(benchmark::State& state)
{
    const std::string race = RaceFolder(static_cast<int>(state.range(0))) + "/race.TP1";
    long peak = 0;
    for (auto _ : state)
        peak = RunMeasured({TIDEPLOT_EXE, "replay", race}, true).peakKiB;
    state.counters["peak_rss_KiB"] = static_cast<double>(peak);
}

} // namespace

// The timeline of a replay as Start (and a new resolution) makes it: the race played once
// unseen, its series and checkpoints kept, on the 7-boat and the 64-boat 24-hour races at
// resolutions 10 and 1 (state.range: boats, resolution).
void BM_Timeline(benchmark::State& state)
{
    const std::string race = RaceFolder(24, static_cast<int>(state.range(0))) + "/race.TP1";
    const tideplot::ReplaySettings settings{static_cast<double>(state.range(1)), 90};
    long long steps = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        tideplot::ReplaySession session;
        session.start(race, settings, true);
        steps = session.stepCount();
        bytes = session.series().bytes();
        session.close();
    }
    state.counters["steps"] = static_cast<double>(steps);
    state.counters["series_MB"] = static_cast<double>(bytes) / (1 << 20);
}
BENCHMARK(BM_Timeline)
    ->Args({7, 10})
    ->Args({7, 1})
    ->Args({64, 10})
    ->Args({64, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

BENCHMARK(BM_Replay)->Arg(24)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ReplayWithDocuments)->Arg(24)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_StartTimeWarnings)->Arg(24)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WcL)->Arg(24)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Gpsbabel)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ReplayPeakMemory)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
