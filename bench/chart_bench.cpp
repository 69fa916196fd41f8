// The chart view under a whole race: 7 boats, one replay step every 10 s of race time
// for 24 hours (8640 steps, about 60,000 segments). Each step loads the 7 one-segment
// documents the replay writes, frames the camera as the replay does (the centre of the
// step's segments, 3000 m of range per nautical mile of their diagonal, the heading and
// tilt read back with GetCamera) and repaints the window. The replay's series drawn as the
// windows' chart draws them: chart_series_bench.cpp, in the same program.
//
// The same over a map (BM_Map*, BM_ChartStepMap): tiles from a tile server on 127.0.0.1
// (the tests' TileServer, tiles that look like a map, 10 to 30 KB each) through the
// program's TileNetwork, whose disk cache a first pass over the same path has filled: the
// tiles come as they come to a sailor who has looked at these waters before.
//
//   build/bench/bench/chart_bench            (QT_QPA_PLATFORM=offscreen is the default)

#include "chart_bench_race.h"
#include "earth/map/mapchoice.h"
#include "earth/map/tilenetwork.h"
#include "map/tileserver.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>

namespace tideplot {
namespace {

using namespace chartbench;

// One replay step and the repaint of the window, after `stepsBefore` steps of the race.
void BM_ChartStep(benchmark::State& state, int stepsBefore)
{
    Replay replay(stepsBefore);
    ChartWidget& w = *replay.chart.widget();
    const Counted counted(w);
    for (auto _ : state) {
        replay.race.step(replay.chart);
        w.repaint();
    }
    counted.report(state);
}
BENCHMARK_CAPTURE(BM_ChartStep, race_start, 10)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ChartStep, race_half, kStepsPerDay / 2)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ChartStep, race_end, kStepsPerDay)->Iterations(1000)->Unit(benchmark::kMicrosecond);

// The dearest repaint: the whole race in view and the cached picture of the tracks drawn
// anew (the user turns the chart by a degree each time).
std::shared_ptr<MapSource> MapOfTheWholeRace(ChartApplication& chart);

void BM_ChartRedrawWholeRace(benchmark::State& state, bool withMap)
{
    Replay replay(kStepsPerDay);
    ChartWidget& w = *replay.chart.widget();
    CameraInfoGE camera = replay.chart.GetCamera(2);
    camera.FocusPointLatitude = 57.6;
    camera.FocusPointLongitude = 11.25;
    camera.Range = 100000;
    replay.chart.SetCamera(camera, 10.0);
    std::shared_ptr<MapSource> map;
    if (withMap)
        map = MapOfTheWholeRace(replay.chart);
    const Counted counted(w);
    int turn = 0;
    for (auto _ : state) {
        camera.Azimuth = ++turn % 2;
        replay.chart.SetCamera(camera, 10.0);
        w.repaint();
    }
    counted.report(state);
}
BENCHMARK_CAPTURE(BM_ChartRedrawWholeRace, without_map, false)->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ChartRedrawWholeRace, with_map, true)->Iterations(50)->Unit(benchmark::kMillisecond);

// The saved picture of the whole race (--screenshot), drawn without the cache.
void BM_ChartRenderImageWholeRace(benchmark::State& state)
{
    Replay replay(kStepsPerDay);
    CameraInfoGE camera = replay.chart.GetCamera(2);
    camera.FocusPointLatitude = 57.6;
    camera.FocusPointLongitude = 11.25;
    camera.Range = 100000;
    replay.chart.SetCamera(camera, 10.0);
    const Counted counted(*replay.chart.widget());
    for (auto _ : state)
        benchmark::DoNotOptimize(replay.chart.renderImage(kWindow));
    counted.report(state);
}
BENCHMARK(BM_ChartRenderImageWholeRace)->Iterations(20)->Unit(benchmark::kMillisecond);

// ---- Over a map ----------------------------------------------------------------------

// The tile server and the disk cache, shared by the map benchmarks.
struct TileCache {
    TileCache()
    {
        server.mapLike = true;
        server.cacheHeaders = "Cache-Control: max-age=86400";
        TileNetworkOptions options;
        options.CacheDirectory = folder.path();
        network = std::make_shared<TileNetwork>(options);
    }
    std::shared_ptr<MapSource> map() const
    {
        return OpenMap({MapChoice::Kind::UrlTemplate, server.urlTemplate()}, network);
    }
    QTemporaryDir folder;
    testing::TileServer server;
    std::shared_ptr<TileNetwork> network;
};

TileCache& Tiles()
{
    static TileCache tiles;
    return tiles;
}

// The map under the whole race, its tiles (of both headings the benchmark turns to) in memory.
std::shared_ptr<MapSource> MapOfTheWholeRace(ChartApplication& chart)
{
    ChartWidget& w = *chart.widget();
    auto map = Tiles().map();
    w.setMapSource(map);
    CameraInfoGE camera = chart.GetCamera(2);
    for (const double azimuth : {1.0, 0.0}) {
        camera.Azimuth = azimuth;
        chart.SetCamera(camera, 10.0);
        w.repaint();
        while (map->loading())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        w.repaint();
    }
    return map;
}

// Runs `frame` (which moves the view) `frames` times on a window over a fresh map whose disk
// cache a first pass over the same frames has filled: each frame moves the view, repaints the
// window and hands the tiles that came meanwhile to the chart, as the event loop would.
struct MapFrames {
    MapFrames(Replay& replay, int frames, const std::function<void(ChartWidget&, int)>& frame, bool withMap = true)
        : replay(replay), frames(frames), frame(frame)
    {
        ChartWidget& w = *replay.chart.widget();
        start = replay.chart.GetCamera(2);
        if (!withMap)
            return;
        w.setMapSource(Tiles().map());
        for (int i = 0; i < frames; ++i) { // the first pass: every tile into the disk cache
            frame(w, i);
            w.repaint();
            while (w.mapSource()->loading())
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        replay.chart.SetCamera(start, 10);
        w.setMapSource(Tiles().map()); // empty memory, warm disk
        w.repaint();
        areaRedrawsBefore = w.mapAreaRedraws();
        redrawsBefore = w.trackLayerRedraws();
    }
    // One frame; returns its milliseconds.
    double run(int i)
    {
        ChartWidget& w = *replay.chart.widget();
        QElapsedTimer timer;
        timer.start();
        frame(w, i % frames);
        w.repaint();
        QApplication::processEvents();
        const double ms = timer.nsecsElapsed() / 1e6;
        slowestMs = std::max(slowestMs, ms);
        totalMs += ms;
        slowFrames += ms > 1000.0 / 30;
        if (w.mapSource())
            mostMapBytes = std::max(mostMapBytes, w.mapSource()->memoryBytes());
        if (i % frames == frames - 1)
            replay.chart.SetCamera(start, 10);
        return ms;
    }
    void report(benchmark::State& state) const
    {
        const auto n = static_cast<double>(state.iterations());
        const ChartWidget& w = *replay.chart.widget();
        state.counters["fps"] = 1000 * n / totalMs;
        state.counters["slowest_ms"] = slowestMs;
        state.counters["frames_over_33ms"] = slowFrames;
        if (w.mapSource()) {
            state.counters["map_MB_most"] = static_cast<double>(mostMapBytes) / (1024 * 1024);
            state.counters["map_MB_limit"] = static_cast<double>(w.mapSource()->memoryLimitBytes()) / (1024 * 1024);
            state.counters["tiles_in_memory"] = w.mapSource()->tilesInMemory();
        }
        state.counters["tile_redraws_per_frame"] = (w.mapAreaRedraws() - areaRedrawsBefore) / n;
        state.counters["whole_redraws_per_frame"] = (w.trackLayerRedraws() - redrawsBefore) / n;
    }
    Replay& replay;
    int frames;
    std::function<void(ChartWidget&, int)> frame;
    CameraInfoGE start;
    double slowestMs = 0;
    double totalMs = 0;
    int slowFrames = 0;
    qint64 mostMapBytes = 0;
    int areaRedrawsBefore = replay.chart.widget()->mapAreaRedraws();
    int redrawsBefore = replay.chart.widget()->trackLayerRedraws();
};

void FrameOnTheRace(Replay& replay, double rangeMetres)
{
    CameraInfoGE camera = replay.chart.GetCamera(2);
    camera.FocusPointLatitude = 57.6;
    camera.FocusPointLongitude = 11.25;
    camera.Range = rangeMetres;
    replay.chart.SetCamera(camera, 10.0);
}

// Dragging the chart 12 pixels a frame, 300 frames east then back: about 14 tiles of new
// ground each way at zoom 12, the whole race drawn.
void BM_MapPan(benchmark::State& state, bool withMap)
{
    Replay replay(kStepsPerDay);
    FrameOnTheRace(replay, 20000);
    MapFrames frames(
        replay, 600,
        [](ChartWidget& w, int i) {
            w.panBy({i < 300 ? -12.0 : 12.0, 0});
        },
        withMap);
    int i = 0;
    for (auto _ : state)
        frames.run(i++);
    frames.report(state);
}
BENCHMARK_CAPTURE(BM_MapPan, without_map, false)->Iterations(1200)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MapPan, with_map, true)->Iterations(1200)->Unit(benchmark::kMillisecond);

// Zooming in by 6 % a frame for 60 frames about a point off the centre, then out again: five
// zoom levels of tiles each way, the cached picture drawn whole every few frames.
void BM_MapZoom(benchmark::State& state, bool withMap)
{
    Replay replay(kStepsPerDay);
    FrameOnTheRace(replay, 60000);
    MapFrames frames(
        replay, 120, [](ChartWidget& w, int i) { w.zoomBy(i < 60 ? 1.06 : 1 / 1.06, QPointF(600, 300)); }, withMap);
    int i = 0;
    for (auto _ : state)
        frames.run(i++);
    frames.report(state);
}
BENCHMARK_CAPTURE(BM_MapZoom, without_map, false)->Iterations(480)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MapZoom, with_map, true)->Iterations(480)->Unit(benchmark::kMillisecond);

// A long way over new ground, 40 pixels a frame for 3000 frames: far more tiles than fit in
// 64 MB pass through memory.
void BM_MapMemory(benchmark::State& state)
{
    Replay replay(10);
    FrameOnTheRace(replay, 20000);
    MapFrames frames(replay, 3000, [](ChartWidget& w, int i) {
        w.panBy({i % 600 < 300 ? -40.0 : 0, i % 600 < 300 ? 0 : -40.0});
    });
    int i = 0;
    for (auto _ : state)
        frames.run(i++);
    frames.report(state);
}
BENCHMARK(BM_MapMemory)->Iterations(3000)->Unit(benchmark::kMillisecond);

// A replay step with and without a map, at the end of the race: the step and repaint of
// BM_ChartStep and the event loop's turn after it (which hands over the tiles). A first
// replay over the same steps has put the race's waters into the disk cache; the map then
// starts with its memory empty (tiles come from the disk cache as the boats sail into new
// waters) or holding the tiles of that first replay.
enum class StepMap { None, FromDisk, InMemory };
void BM_ChartStepMap(benchmark::State& state, StepMap kind)
{
    std::shared_ptr<MapSource> map;
    if (kind != StepMap::None) {
        map = Tiles().map();
        Replay warm(kStepsPerDay + 1000, map);
        while (map->loading())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (kind == StepMap::FromDisk)
            map = Tiles().map();
    }
    Replay replay(kStepsPerDay, map);
    ChartWidget& w = *replay.chart.widget();
    const Counted counted(w);
    const int areaRedrawsBefore = w.mapAreaRedraws();
    for (auto _ : state) {
        replay.race.step(replay.chart);
        w.repaint();
        QApplication::processEvents();
    }
    counted.report(state);
    state.counters["tile_redraws_per_1000"] =
        1000.0 * (w.mapAreaRedraws() - areaRedrawsBefore) / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(BM_ChartStepMap, without_map, StepMap::None)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ChartStepMap, map_in_memory, StepMap::InMemory)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ChartStepMap, map_from_disk_cache, StepMap::FromDisk)
    ->Iterations(1000)
    ->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace tideplot

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
