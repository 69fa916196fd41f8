// The chart view under a whole race: 7 boats, one replay step every 10 s of race time
// for 24 hours (8640 steps, about 60,000 segments). Each step loads the 7 one-segment
// documents the replay writes, frames the camera as the replay does (the centre of the
// step's segments, 3000 m of range per nautical mile of their diagonal, the heading and
// tilt read back with GetCamera) and repaints the window.
//
//   build-chart/bench/chart_bench            (QT_QPA_PLATFORM=offscreen is the default)

#include "core/colour.h"
#include "core/geometry.h"
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartwidget.h"
#include "earth/kmldocument.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace tideplot {
namespace {

constexpr double kStepSeconds = 10;
constexpr int kStepsPerDay = 8640;
constexpr int kWidePlotEvery = 90;
const QSize kWindow(1000, 750);

// Boats sailing round a triangle of about 30 NM legs at slightly different speeds, each
// weaving a little about the course to the next mark.
class Race {
public:
    Race()
    {
        const int colourNumbers[] = {0, 200, 400, 600, 800, 1000, 1200};
        for (int i = 0; i < 7; ++i) {
            Boat b;
            b.Name = "Boat" + std::to_string(i + 1) + ".txt 1.0" + std::to_string(i);
            b.Colour = "ff" + ColourHex(colourNumbers[i]);
            b.Lat = 57.5 + 0.002 * i;
            b.Lon = 11.75 - 0.003 * i;
            b.SpeedKnots = 5.6 + 0.13 * i;
            boats_.push_back(b);
        }
    }

    void step(ApplicationGE& earth)
    {
        ++step_;
        const int width = step_ % kWidePlotEvery == 0 ? 5 : 1;
        TrackPoint boxMin{90, 180, 0}, boxMax{-90, -180, 0};
        for (std::size_t i = 0; i < boats_.size(); ++i) {
            Boat& b = boats_[i];
            const TrackPoint from{b.Lat, b.Lon, 0};
            const Mark& mark = kMarks[b.NextMark];
            const Leg toMark = CourseAndDistance(TrackPoint{mark.Lat, mark.Lon, 0}, from);
            if (toMark.Distance < 0.1)
                b.NextMark = (b.NextMark + 1) % std::size(kMarks);
            const double weave = 12 * std::sin(step_ / 200.0 + static_cast<double>(i));
            const double bearing = (toMark.Bearing + weave) * std::numbers::pi / 180;
            const double nm = b.SpeedKnots * kStepSeconds / 3600;
            b.Lat += nm * std::cos(bearing) / 60;
            b.Lon += nm * std::sin(bearing) / 60 / std::cos(b.Lat * std::numbers::pi / 180);
            earth.LoadKmlData(Document(b, width, from));
            boxMin.Lat = std::min({boxMin.Lat, from.Lat, b.Lat});
            boxMin.Lon = std::min({boxMin.Lon, from.Lon, b.Lon});
            boxMax.Lat = std::max({boxMax.Lat, from.Lat, b.Lat});
            boxMax.Lon = std::max({boxMax.Lon, from.Lon, b.Lon});
        }
        CameraInfoGE camera;
        camera.FocusPointLatitude = (boxMin.Lat + boxMax.Lat) / 2;
        camera.FocusPointLongitude = (boxMin.Lon + boxMax.Lon) / 2;
        camera.Range = std::max(CourseAndDistance(boxMin, boxMax).Distance * 3000, 1000.0);
        camera.Azimuth = earth.GetCamera(2).Azimuth;
        camera.Tilt = earth.GetCamera(2).Tilt;
        earth.SetCamera(camera, 10.0);
    }

private:
    struct Boat {
        std::string Name, Colour;
        double Lat = 0, Lon = 0, SpeedKnots = 6;
        std::size_t NextMark = 0;
    };
    struct Mark {
        double Lat, Lon;
    };
    static constexpr Mark kMarks[] = {{57.95, 11.2}, {57.3, 10.75}, {57.5, 11.75}};

    static std::string Document(const Boat& b, int width, const TrackPoint& from)
    {
        auto n = [](double v) { return KmlNumberText(v).toStdString(); };
        return "<Document><name>" + b.Name + "</name><open>1</open><Style id=\"Style\"><LineStyle><width>" +
               std::to_string(width) + "</width><color>" + b.Colour +
               "</color></LineStyle></Style><Placemark><styleUrl>#Style</styleUrl><LineString><coordinates>" +
               n(b.Lon) + "," + n(b.Lat) + ",0," + n(from.Lon) + "," + n(from.Lat) +
               ",0</coordinates></LineString></Placemark></Document>";
    }

    std::vector<Boat> boats_;
    int step_ = 0;
};

struct Replay {
    explicit Replay(int stepsBefore)
    {
        ChartWidget& w = *chart.widget();
        w.resize(kWindow);
        w.show();
        QApplication::processEvents();
        for (int i = 0; i < stepsBefore; ++i)
            race.step(chart);
        w.repaint();
    }
    ChartApplication chart;
    Race race;
};

// Processor time of every thread of the program, in microseconds: Qt hands large fills
// and image transforms to worker threads, which the benchmark's CPU column leaves out.
double ProcessCpuMicroseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

struct Counted {
    explicit Counted(const ChartWidget& w)
        : widget(w), redrawsBefore(w.trackLayerRedraws()), cpuBefore(ProcessCpuMicroseconds())
    {
    }
    void report(benchmark::State& state) const
    {
        const auto n = static_cast<double>(state.iterations());
        state.counters["process_cpu_us"] = (ProcessCpuMicroseconds() - cpuBefore) / n;
        state.counters["segments"] = static_cast<double>(widget.tracks().segmentCount());
        state.counters["runs"] = static_cast<double>(widget.tracks().runs().size());
        state.counters["redraws_per_1000"] = 1000.0 * (widget.trackLayerRedraws() - redrawsBefore) / n;
    }
    const ChartWidget& widget;
    int redrawsBefore;
    double cpuBefore;
};

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
void BM_ChartRedrawWholeRace(benchmark::State& state)
{
    Replay replay(kStepsPerDay);
    ChartWidget& w = *replay.chart.widget();
    CameraInfoGE camera = replay.chart.GetCamera(2);
    camera.FocusPointLatitude = 57.6;
    camera.FocusPointLongitude = 11.25;
    camera.Range = 100000;
    const Counted counted(w);
    int turn = 0;
    for (auto _ : state) {
        camera.Azimuth = ++turn % 2;
        replay.chart.SetCamera(camera, 10.0);
        w.repaint();
    }
    counted.report(state);
}
BENCHMARK(BM_ChartRedrawWholeRace)->Iterations(50)->Unit(benchmark::kMillisecond);

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
