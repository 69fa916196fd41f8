// What writing the track file whole costs: appending the lines of a log (1,000 lines, 37 KB)
// to a track file of 100 MB (TIDEPLOT_BENCH_TRACK_MB changes the size), which the import
// does by copying the old content and the new lines to a temporary file beside it, syncing
// it to disk and renaming it over the track file (AppendTrackLines). Beside it, for scale:
// the same lines appended in place (open for appending, one write), which a kill or a full
// disk can cut, once without and once with syncing the file to disk.
#include "import/trackwriter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* kLine = "59.312345,18.412345,20070818,100000\r\n"; // 37 bytes
constexpr int kNewLines = 1000;

// The track file is written once in the temporary folder and removed at exit.
class TrackFile {
public:
    TrackFile()
    {
        const char* mb = std::getenv("TIDEPLOT_BENCH_TRACK_MB");
        const long megabytes = mb ? std::strtol(mb, nullptr, 10) : 100;
        path_ =
            (std::filesystem::temp_directory_path() / ("tideplot_trackbench_" + std::to_string(::getpid()) + ".txt"))
                .string();
        std::string block = std::string(tideplot::kTrackHeaderLine);
        while (block.size() < (std::size_t{1} << 20))
            block += kLine;
        std::FILE* out = std::fopen(path_.c_str(), "wb");
        for (long i = 0; out && i < megabytes; ++i)
            std::fwrite(block.data(), 1, block.size(), out);
        if (!out || std::fclose(out) != 0) {
            std::fprintf(stderr, "cannot write %s\n", path_.c_str());
            std::exit(1);
        }
        for (int i = 0; i < kNewLines; ++i)
            lines_ += kLine;
    }
    ~TrackFile() { std::filesystem::remove(path_); }
    const std::string& Path() const { return path_; }
    const std::string& Lines() const { return lines_; }

private:
    std::string path_;
    std::string lines_;
};

const TrackFile& Track()
{
    static const TrackFile track;
    return track;
}

void BM_AppendTrackLines(benchmark::State& state)
{
    const TrackFile& track = Track();
    for (auto _ : state)
        tideplot::AppendTrackLines(track.Path(), track.Lines());
    state.counters["track_MB"] = double(std::filesystem::file_size(track.Path())) / 1e6;
    state.SetBytesProcessed(state.iterations() * std::int64_t(std::filesystem::file_size(track.Path())));
}
BENCHMARK(BM_AppendTrackLines)->Unit(benchmark::kMillisecond)->UseRealTime();

// In place, as a plain append (argument 0) or followed by fdatasync (argument 1).
void BM_AppendInPlace(benchmark::State& state)
{
    const TrackFile& track = Track();
    for (auto _ : state) {
        const int fd = ::open(track.Path().c_str(), O_WRONLY | O_APPEND);
        const bool ok =
            fd >= 0 && ::write(fd, track.Lines().data(), track.Lines().size()) == ssize_t(track.Lines().size());
        if (!ok || (state.range(0) == 1 && ::fdatasync(fd) != 0) || ::close(fd) != 0)
            state.SkipWithError("append failed");
    }
}
BENCHMARK(BM_AppendInPlace)->ArgName("sync")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
