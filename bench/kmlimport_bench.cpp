// The log import over a KML log of 200,000 placemarks in the layout gpsbabel writes
// (TIDEPLOT_BENCH_KML_POINTS changes the count) and over a GPX log of 1,000,000 track points
// in the layout GPS loggers write (TIDEPLOT_BENCH_GPX_POINTS). Reports the log's bytes per
// second.
#include "kml_log_generator.h"

#include "import/gpxreader.h"
#include "import/kmlreader.h"
#include "import/logimport.h"
#include "import/xmlguard.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// A log is written once, in the temporary folder, and removed at exit.
class BenchLog {
public:
    explicit BenchLog(bool gpx)
    {
        const char* count = std::getenv(gpx ? "TIDEPLOT_BENCH_GPX_POINTS" : "TIDEPLOT_BENCH_KML_POINTS");
        points_ = count ? std::strtol(count, nullptr, 10) : gpx ? 1000000 : 200000;
        path_ = (std::filesystem::temp_directory_path() /
                 ("tideplot_importbench_" + std::to_string(::getpid()) + (gpx ? ".gpx" : ".kml")))
                    .string();
        std::FILE* out = std::fopen(path_.c_str(), "wb");
        const auto write = gpx ? tideplot::bench::WriteGpxLog : tideplot::bench::WriteGpsbabelKmlLog;
        if (!out || !write(out, points_) || std::fclose(out) != 0) {
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

const BenchLog& KmlLog()
{
    static const BenchLog log(false);
    return log;
}

const BenchLog& GpxLog()
{
    static const BenchLog log(true);
    return log;
}

// Reading the log's points, without sorting them or writing the track file: in one pass
// (argument 1) and in parts on one thread per processor (argument 0).
template <bool Gpx> void BM_ReadTrackLines(benchmark::State& state)
{
    const BenchLog& log = Gpx ? GpxLog() : KmlLog();
    tideplot::LogReadOptions options;
    options.Threads = int(state.range(0));
    for (auto _ : state) {
        tideplot::LogPoints points(options.PointMemoryBytes);
        const tideplot::LogReadResult result = Gpx ? tideplot::ReadGpxPoints(log.Path(), points, {}, options)
                                                   : tideplot::ReadKmlPoints(log.Path(), points, {}, options);
        if (result.PointCount != log.Points())
            state.SkipWithError("wrong point count");
        state.counters["parts"] = result.Parts;
        benchmark::DoNotOptimize(points.Count());
    }
    state.SetBytesProcessed(state.iterations() * log.Bytes());
    state.counters["points"] = double(log.Points());
}
void BM_ReadKmlTrackLines(benchmark::State& state)
{
    BM_ReadTrackLines<false>(state);
}
void BM_ReadGpxTrackLines(benchmark::State& state)
{
    BM_ReadTrackLines<true>(state);
}
BENCHMARK(BM_ReadKmlTrackLines)->ArgName("threads")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadGpxTrackLines)->ArgName("threads")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The guard that holds a log to the XML limits (import/xmlguard.h) alone, over the log in
// memory in the 64 KiB reads the import makes: the bytes a second it passes on.
template <bool Gpx> void BM_LimitGuard(benchmark::State& state)
{
    const BenchLog& log = Gpx ? GpxLog() : KmlLog();
    std::string bytes(std::size_t(log.Bytes()), '\0');
    std::FILE* in = std::fopen(log.Path().c_str(), "rb");
    if (!in || std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size()) {
        state.SkipWithError("cannot read the log");
        return;
    }
    std::fclose(in);
    constexpr std::size_t kRead = 64 << 10;
    std::string out;
    for (auto _ : state) {
        tideplot::xmllog::XmlLimitGuard guard;
        for (std::size_t at = 0; at < bytes.size(); at += kRead) {
            out.clear();
            if (!guard.scan(bytes.data() + at, std::int64_t(std::min(kRead, bytes.size() - at)), out))
                state.SkipWithError(guard.failure().c_str());
        }
        benchmark::DoNotOptimize(guard.lineBreaks());
    }
    state.SetBytesProcessed(state.iterations() * log.Bytes());
}
void BM_LimitGuardKml(benchmark::State& state)
{
    BM_LimitGuard<false>(state);
}
void BM_LimitGuardGpx(benchmark::State& state)
{
    BM_LimitGuard<true>(state);
}
BENCHMARK(BM_LimitGuardKml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LimitGuardGpx)->Unit(benchmark::kMillisecond);

// The whole import, the format told by the content, the sorting and the write of a fresh
// track file included.
template <bool Gpx> void BM_ImportLog(benchmark::State& state)
{
    const BenchLog& log = Gpx ? GpxLog() : KmlLog();
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
void BM_ImportKmlLog(benchmark::State& state)
{
    BM_ImportLog<false>(state);
}
void BM_ImportGpxLog(benchmark::State& state)
{
    BM_ImportLog<true>(state);
}
BENCHMARK(BM_ImportKmlLog)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportGpxLog)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
