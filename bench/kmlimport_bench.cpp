// The KML log import over a log of 200,000 placemarks in the layout gpsbabel writes
// (TIDEPLOT_BENCH_KML_POINTS changes the count). Reports the log's bytes per second.
#include "kml_log_generator.h"

#include "core/kmlreader.h"
#include "core/logimport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// The log is written once, in the temporary folder, and removed at exit.
class BenchLog {
public:
    BenchLog()
    {
        const char* count = std::getenv("TIDEPLOT_BENCH_KML_POINTS");
        points_ = count ? std::strtol(count, nullptr, 10) : 200000;
        path_ = (std::filesystem::temp_directory_path() / ("tideplot_kmlbench_" + std::to_string(::getpid()) + ".kml"))
                    .string();
        std::FILE* out = std::fopen(path_.c_str(), "wb");
        if (!out || !tideplot::bench::WriteGpsbabelKmlLog(out, points_) || std::fclose(out) != 0) {
            std::fprintf(stderr, "cannot write %s\n", path_.c_str());
            std::exit(1);
        }
        bytes_ = std::int64_t(std::filesystem::file_size(path_));
    }
    ~BenchLog()
    {
        std::filesystem::remove(path_);
        std::filesystem::remove(tideplot::TrackFilePath(path_));
    }
    const std::string& Path() const { return path_; }
    std::int64_t Bytes() const { return bytes_; }
    long Points() const { return points_; }

private:
    std::string path_;
    std::int64_t bytes_ = 0;
    long points_ = 0;
};

const BenchLog& Log()
{
    static const BenchLog log;
    return log;
}

// Reading the log into track lines, without the track file: in one pass (argument 1) and
// in parts on one thread per processor (argument 0).
void BM_ReadKmlTrackLines(benchmark::State& state)
{
    const BenchLog& log = Log();
    tideplot::LogReadOptions options;
    options.Threads = int(state.range(0));
    for (auto _ : state) {
        std::string lines;
        const tideplot::LogReadResult result = tideplot::ReadKmlTrackLines(log.Path(), lines, {}, options);
        if (result.PointCount != log.Points())
            state.SkipWithError("wrong point count");
        state.counters["parts"] = result.Parts;
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetBytesProcessed(state.iterations() * log.Bytes());
    state.counters["points"] = double(log.Points());
}
BENCHMARK(BM_ReadKmlTrackLines)->ArgName("threads")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole import, the append to a fresh track file included.
void BM_ImportLog(benchmark::State& state)
{
    const BenchLog& log = Log();
    const std::string trackFile = tideplot::TrackFilePath(log.Path());
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(trackFile);
        state.ResumeTiming();
        const tideplot::LogImportResult result = tideplot::ImportLog(log.Path());
        if (result.PointCount != log.Points())
            state.SkipWithError("wrong point count");
    }
    state.SetBytesProcessed(state.iterations() * log.Bytes());
}
BENCHMARK(BM_ImportLog)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
