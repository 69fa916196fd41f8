// The results of a 64-boat race, one fix a second (goal: a 24-hour race in under 2 s).
//
//   build/bench/bench/results_bench [--benchmark_...]
//
// The race: 64 boats from ten runs of the race generator (7 boats each, seeds 1 to 10, all
// on the same course), generated once into $TMPDIR/tideplot-bench-results-64x<H>h, its race
// file naming s1/boat1.txt ... s10/boat1.txt. Two finish lines:
// - the start line, laid so that the run back to the leeward mark finishes: every boat
//   finishes after about a lap, and its track is read up to there only;
// - a line ten miles north that nobody reaches: every track is read to its end (the
//   dearest case, and the one the goal is about).
#include "bench_process.h"
#include "core/results.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kBoats = 64;
constexpr int kBoatsPerRun = 7;

std::string Fleet64Race(int hours)
{
    const fs::path dir = fs::temp_directory_path() / ("tideplot-bench-results-64x" + std::to_string(hours) + "h");
    const fs::path race = dir / "race.TP1";
    if (fs::exists(race))
        return race.string();
    std::string entries;
    int boats = 0;
    for (int seed = 1; boats < kBoats; ++seed) {
        std::string folder = std::to_string(seed);
        folder.insert(folder.begin(), 's'); // not "s" + ...: GCC 12 warns about that falsely (-Wrestrict)
        const std::string command = std::string(TIDEPLOT_RACEGEN) + " --out " + (dir / folder).string() +
                                    " --boats 7 --hours " + std::to_string(hours) + " --interval 1 --seed " +
                                    std::to_string(seed);
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "cannot generate the race: %s\n", command.c_str());
            std::exit(1);
        }
        std::ifstream in(dir / folder / "race.TP1");
        for (std::string line; boats < kBoats && std::getline(in, line); ++boats)
            entries += folder + "/" + line + "\n";
    }
    std::ofstream(race, std::ios::binary) << entries;
    return race.string();
}

// The generator's start line: through 57.6 N 11.5 E square to the mean wind from 220
// degrees. P1 at its south-eastern end, P2 at its north-western one: boats start going
// south-west (right to left) and finish on the run back (left to right).
tideplot::FinishLine StartLine()
{
    const double pi = std::acos(-1.0);
    const double metresPerDegreeLat = 60 * 1852.0;
    const double metresPerDegreeLon = metresPerDegreeLat * std::cos(57.6 * pi / 180);
    const double east = 250 * std::sin(130 * pi / 180), north = 250 * std::cos(130 * pi / 180);
    return {57.6 + north / metresPerDegreeLat, 11.5 + east / metresPerDegreeLon, 57.6 - north / metresPerDegreeLat,
            11.5 - east / metresPerDegreeLon};
}

const tideplot::FinishLine kNobodysLine{57.8, 11.4, 57.8, 11.6};

void BM_Results(benchmark::State& state)
{
    const std::string race = Fleet64Race(24);
    const tideplot::FinishLine line = state.range(0) == 0 ? StartLine() : kNobodysLine;
    std::size_t finished = 0;
    for (auto _ : state) {
        const auto results = tideplot::RaceResults(race, line);
        finished = 0;
        for (const auto& r : results)
            finished += r.Finished ? 1 : 0;
    }
    state.counters["finished"] = static_cast<double>(finished);
    state.SetLabel(state.range(0) == 0 ? "start line: all finish after a lap" : "nobody finishes: tracks read whole");
}

// The command as a user runs it, and its peak memory (KiB, the kernel's rusage of the
// child): a 1-hour and a 24-hour race, nobody finishing, so every track is read whole.
void BM_ResultsCommand(benchmark::State& state)
{
    const std::string race = Fleet64Race(static_cast<int>(state.range(0)));
    char finish[160];
    std::snprintf(finish, sizeof finish, "%.6f,%.6f,%.6f,%.6f", kNobodysLine.Lat1, kNobodysLine.Lon1, kNobodysLine.Lat2,
                  kNobodysLine.Lon2);
    const std::vector<std::string> args{TIDEPLOT_EXE, "results", race, "--finish", finish, "--csv", "/dev/null"};
    long peak = 0;
    for (auto _ : state)
        peak = RunMeasured(args).peakKiB;
    state.counters["peak_rss_KiB"] = static_cast<double>(peak);
}

} // namespace

BENCHMARK(BM_Results)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ResultsCommand)->Arg(1)->Arg(24)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
