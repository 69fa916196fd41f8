// The replay's video: the whole command on the 7-boat, 12- and 24-hour races at resolution
// 60 and 1280x720 (wall time, CPU time, frames a second, peak memory of the process), and
// in this process the fresh picture of the last frame and a frame painted and encoded.
//
//   build/bench/bench/video_bench [--benchmark_...]
//
// The races: 7 boats, one fix a second, generated once into $TMPDIR/tideplot-bench-race-*.
#include "bench_process.h"
#include "bench_race.h"
#include "replay/earthobserver.h"
#include "replay/replaysession.h"
#include "share/replayvideo.h"
#include "share/videoencoder.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// tideplot replay RACE --resolution 60 --video OUT.mp4 (1280x720, 30 frames a second).
void BM_VideoCommand(benchmark::State& state)
{
    const std::string dir = RaceFolder(static_cast<int>(state.range(0)));
    const std::string out = (fs::temp_directory_path() / "tideplot-bench-video.mp4").string();
    const long long frames = tideplot::CountReplaySteps(dir + "/race.TP1", tideplot::ReplaySettings{60, 90});
    Measured last;
    for (auto _ : state) {
        last = RunMeasured({TIDEPLOT_EXE, "replay", dir + "/race.TP1", "--resolution", "60", "--video", out});
        state.SetIterationTime(last.seconds);
    }
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["frames_per_s"] = static_cast<double>(frames) / last.seconds;
    state.counters["cpu_s"] = last.cpuSeconds;
    state.counters["peak_rss_KiB"] = static_cast<double>(last.peakKiB);
    state.counters["MB"] = static_cast<double>(fs::file_size(out)) / 1e6;
    fs::remove(out);
}

// The replay to its last step with the chart drawn through the replay's documents, as
// the export loop draws the video's frames; the fleet and the last frame for the legend.
struct ChartAtEnd : tideplot::FrameObserver {
    tideplot::ChartPicture chart;
    tideplot::FleetInfo fleet;
    tideplot::FleetFrame last;

    explicit ChartAtEnd(int hours)
    {
        tideplot::ReplaySession session;
        tideplot::GoogleEarthObserver drawing(chart);
        session.addObserver(&drawing);
        session.addObserver(this);
        session.start(RaceFolder(hours) + "/race.TP1", tideplot::ReplaySettings{60, 90}, false);
        while (session.step()) {
        }
        session.close();
    }
    void raceStarted(const tideplot::FleetInfo& f) override { fleet = f; }
    void frame(const tideplot::FleetFrame& f) override { last = f; }
};

// One frame's picture at the end of the 24-hour race, under the replay's camera.
void BM_FramePicture(benchmark::State& state)
{
    static ChartAtEnd end(24);
    for (auto _ : state)
        benchmark::DoNotOptimize(tideplot::ReplayPicture(end.chart, end.fleet, end.last, QSize(1280, 720)));
}

// One frame as the video makes it, the camera moving a little each time as the replay
// moves it: painted through the chart window's cached picture, the legend, the conversion
// to yuv420p and H.264 (whose threads the CPU column leaves out; the wall time has them).
void BM_FramePaintAndEncode(benchmark::State& state)
{
    static ChartAtEnd end(24);
    const std::string out = (fs::temp_directory_path() / "tideplot-bench-encode.mp4").string();
    {
        tideplot::VideoEncoder encoder(QString::fromStdString(out), {QSize(1280, 720), 30});
        tideplot::CameraInfoGE camera = end.chart.GetCamera(2);
        for (auto _ : state) {
            camera.FocusPointLongitude += 2e-5;
            end.chart.SetCamera(camera, 10);
            encoder.addFrame(tideplot::ReplayPicture(end.chart, end.fleet, end.last, QSize(1280, 720),
                                                     tideplot::ChartDrawing::Painted));
        }
        encoder.finish();
    }
    fs::remove(out);
}

} // namespace

BENCHMARK(BM_VideoCommand)->Arg(12)->Arg(24)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_FramePicture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramePaintAndEncode)->Unit(benchmark::kMillisecond)->Iterations(300)->UseRealTime();

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
