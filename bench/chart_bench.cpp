// The chart view under a whole race: 7 boats, one replay step every 10 s of race time
// for 24 hours (8640 steps, about 60,000 segments). Each step loads the 7 one-segment
// documents the replay writes, frames the camera as the replay does (the centre of the
// step's segments, 3000 m of range per nautical mile of their diagonal, the heading and
// tilt read back with GetCamera) and repaints the window.
//
// The replay's pieces drawn from its series, as the windows' chart draws them (BM_Series*,
// BM_SetSeries, BM_SeekShow, BM_TailPaint): a step of 7 or 64 boats shown; playing at full
// speed with the window's throttled repaints; the series handed over (its index built); a
// seek back (every piece of the race shown at once) at 10 s and at 1 s a step (60,000 to
// 5.5 million pieces); a paint with a 10-minute tail at the race's end.
//
// The same over a map (BM_Map*, BM_ChartStepMap): tiles from a tile server on 127.0.0.1
// (the tests' TileServer, tiles that look like a map, 10 to 30 KB each) through the
// program's TileNetwork, whose disk cache a first pass over the same path has filled: the
// tiles come as they come to a sailor who has looked at these waters before.
//
//   build/bench/bench/chart_bench            (QT_QPA_PLATFORM=offscreen is the default)

#include "core/colour.h"
#include "core/geometry.h"
#include "core/replayseries.h"
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartwidget.h"
#include "earth/kmldocument.h"
#include "earth/map/mapchoice.h"
#include "earth/map/mapsource.h"
#include "earth/map/tilenetwork.h"
#include "map/tileserver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <span>
#include <string>
#include <vector>

namespace tideplot {
namespace {

constexpr double kStepSeconds = 10;
constexpr int kStepsPerDay = 8640;
constexpr int kWidePlotEvery = 90;
const QSize kWindow(1000, 750);

// Boats sailing round a triangle of about 30 NM legs at slightly different speeds, each
// weaving a little about the course to the next mark. Each step yields one piece a boat,
// as the replay draws it: loaded as its document (step) or as a value (stepPieces).
class Race {
public:
    explicit Race(int boatCount = 7, double stepSeconds = kStepSeconds) : stepSeconds_(stepSeconds)
    {
        for (int i = 0; i < boatCount; ++i) {
            Boat b;
            b.Name = "Boat" + std::to_string(i + 1) + ".txt 1.0" + std::to_string(i % 10);
            b.ColourNumber = boatCount <= 7 ? 200 * i : 20 * i;
            b.Colour = "ff" + ColourHex(b.ColourNumber);
            b.Lat = 57.5 + 0.002 * (i % 8);
            b.Lon = 11.75 - 0.003 * (i % 8) - 0.001 * (i / 8);
            b.SpeedKnots = 5.6 + 0.13 * (i % 7) + 0.02 * (i / 7);
            boats_.push_back(b);
        }
    }

    // The boats as the replay describes them: caption and colour number.
    std::vector<FleetBoat> fleet() const
    {
        std::vector<FleetBoat> fleet;
        for (const Boat& b : boats_) {
            FleetBoat boat;
            boat.Caption = b.Name;
            boat.Colour = b.ColourNumber;
            fleet.push_back(boat);
        }
        return fleet;
    }

    // The pieces of the next step, one a boat.
    const std::vector<DrawnPiece>& advance()
    {
        ++step_;
        const auto width = static_cast<std::int16_t>(step_ % kWidePlotEvery == 0 ? 5 : 1);
        pieces_.clear();
        for (std::size_t i = 0; i < boats_.size(); ++i) {
            Boat& b = boats_[i];
            const TrackPoint from{b.Lat, b.Lon, 0};
            const Mark& mark = kMarks[b.NextMark];
            const Leg toMark = CourseAndDistance(TrackPoint{mark.Lat, mark.Lon, 0}, from);
            if (toMark.Distance < 0.1)
                b.NextMark = (b.NextMark + 1) % std::size(kMarks);
            const double weave = 12 * std::sin(step_ * stepSeconds_ / 2000.0 + static_cast<double>(i));
            const double bearing = (toMark.Bearing + weave) * std::numbers::pi / 180;
            const double nm = b.SpeedKnots * stepSeconds_ / 3600;
            b.Lat += nm * std::cos(bearing) / 60;
            b.Lon += nm * std::sin(bearing) / 60 / std::cos(b.Lat * std::numbers::pi / 180);
            pieces_.push_back(DrawnPiece{step_, static_cast<std::int16_t>(i), width, clock(), from, {b.Lat, b.Lon, 0}});
        }
        return pieces_;
    }
    double clock() const { return step_ * stepSeconds_ / 86400; }

    // One step as the replay draws into Google Earth: a document a boat, then the camera.
    void step(ApplicationGE& earth)
    {
        for (const DrawnPiece& p : advance())
            earth.LoadKmlData(Document(boats_[static_cast<std::size_t>(p.Boat)], p));
        frame(earth);
    }
    void frame(ApplicationGE& earth) const { FrameOn(earth, pieces_); }

    // The camera as the replay frames it on a step's pieces.
    static void FrameOn(ApplicationGE& earth, std::span<const DrawnPiece> pieces)
    {
        TrackPoint boxMin{90, 180, 0}, boxMax{-90, -180, 0};
        for (const DrawnPiece& p : pieces) {
            boxMin.Lat = std::min({boxMin.Lat, p.From.Lat, p.To.Lat});
            boxMin.Lon = std::min({boxMin.Lon, p.From.Lon, p.To.Lon});
            boxMax.Lat = std::max({boxMax.Lat, p.From.Lat, p.To.Lat});
            boxMax.Lon = std::max({boxMax.Lon, p.From.Lon, p.To.Lon});
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
        std::int32_t ColourNumber = 0;
        double Lat = 0, Lon = 0, SpeedKnots = 6;
        std::size_t NextMark = 0;
    };
    struct Mark {
        double Lat, Lon;
    };
    static constexpr Mark kMarks[] = {{57.95, 11.2}, {57.3, 10.75}, {57.5, 11.75}};

    static std::string Document(const Boat& b, const DrawnPiece& p)
    {
        auto n = [](double v) { return KmlNumberText(v).toStdString(); };
        return "<Document><name>" + b.Name + "</name><open>1</open><Style id=\"Style\"><LineStyle><width>" +
               std::to_string(p.Width) + "</width><color>" + b.Colour +
               "</color></LineStyle></Style><Placemark><styleUrl>#Style</styleUrl><LineString><coordinates>" +
               n(p.To.Lon) + "," + n(p.To.Lat) + ",0," + n(p.From.Lon) + "," + n(p.From.Lat) +
               ",0</coordinates></LineString></Placemark></Document>";
    }

    double stepSeconds_;
    std::vector<Boat> boats_;
    std::vector<DrawnPiece> pieces_;
    std::int32_t step_ = 0;
};

struct Replay {
    explicit Replay(int stepsBefore, std::shared_ptr<MapSource> map = nullptr)
    {
        ChartWidget& w = *chart.widget();
        w.resize(kWindow);
        chart.setMapSource(std::move(map));
        w.show();
        QApplication::processEvents();
        for (int i = 0; i < stepsBefore; ++i) {
            race.step(chart);
            if (w.mapSource())
                QApplication::processEvents();
        }
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

// ---- The replay's series ---------------------------------------------------------------

// The race as the replay keeps it: each step every boat's position, the piece from its
// position at the step before drawn from step 2 on, the step's clock and width. `steps`
// steps of `boats` boats a step every `stepSeconds`.
std::unique_ptr<ReplaySeries> SeriesOf(int boats, double stepSeconds, long long steps)
{
    Race race(boats, stepSeconds);
    auto series = std::make_unique<ReplaySeries>();
    series->clear(boats);
    StepOutcome outcome;
    outcome.Boats.resize(static_cast<std::size_t>(boats));
    for (long long s = 1; s <= steps; ++s) {
        const std::vector<DrawnPiece>& pieces = race.advance();
        outcome.RaceClock = race.clock();
        outcome.LineWidth = pieces.front().Width;
        for (const DrawnPiece& p : pieces) {
            BoatStep& boat = outcome.Boats[static_cast<std::size_t>(p.Boat)];
            boat.Moved = boat.HasPosition = true;
            boat.Position = p.To;
            boat.Drawn = s > 1;
        }
        series->append(outcome);
    }
    return series;
}

long long StepsOfDay(double stepSeconds)
{
    return static_cast<long long>(86400 / stepSeconds);
}

// The camera as the replay frames it on the pieces of the series' step `step`.
void FrameOnStep(ApplicationGE& earth, const ReplaySeries& series, long long step)
{
    std::vector<DrawnPiece> pieces;
    for (int k = 0; k < series.boatCount(); ++k)
        if (series.sample(k, step).drawn())
            pieces.push_back(series.piece(k, step));
    Race::FrameOn(earth, pieces);
}

// A shown chart that stands at step `stepsBefore` of a series `stepsAfter` steps longer
// (shown at once, as after a seek), framed on the fleet as the replay frames it, with a
// tail of `tailMinutes`. step() shows the next step as playing does.
struct SeriesReplay {
    SeriesReplay(int boats, double stepSeconds, long long stepsBefore, long long stepsAfter, double tailMinutes)
        : series(SeriesOf(boats, stepSeconds, stepsBefore + stepsAfter)), shown(stepsBefore)
    {
        ChartWidget& w = *chart.widget();
        w.resize(kWindow);
        chart.setFleet(Race(boats).fleet());
        chart.setTailMinutes(tailMinutes);
        chart.setSeries(series.get());
        chart.showStep(shown, 0);
        FrameOnStep(chart, *series, shown);
        w.show();
        QApplication::processEvents();
        w.repaint();
    }
    // The next step: shown, and the camera framed on its pieces.
    void step()
    {
        ++shown;
        chart.showStep(shown, shown - 1);
        FrameOnStep(chart, *series, shown);
    }
    std::unique_ptr<ReplaySeries> series;
    long long shown;
    ChartApplication chart;
};

// One step (shown, the camera set) and a synchronous repaint of the window: the dearest
// case, a repaint for every step.
void BM_SeriesStep(benchmark::State& state, int boats, double stepSeconds, double tailMinutes)
{
    SeriesReplay replay(boats, stepSeconds, StepsOfDay(stepSeconds), state.max_iterations, tailMinutes);
    ChartWidget& w = *replay.chart.widget();
    const Counted counted(w);
    double stepUs = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        replay.step();
        stepUs += static_cast<double>(timer.nsecsElapsed()) / 1e3;
        w.repaint();
    }
    counted.report(state);
    state.counters["step_us"] = stepUs / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(BM_SeriesStep, boats7_race_end, 7, 10.0, 0.0)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SeriesStep, boats64_race_end, 64, 10.0, 0.0)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SeriesStep, boats7_race_end_tail10, 7, 10.0, 10.0)
    ->Iterations(1000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SeriesStep, boats64_race_end_tail10, 64, 10.0, 10.0)
    ->Iterations(1000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SeriesStep, boats7_1s_race_end_tail10, 7, 1.0, 10.0)
    ->Iterations(1000)
    ->Unit(benchmark::kMicrosecond);

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// Playing as fast as the replay can (Playspeed 0) with the window shown: one step, then a
// turn of the event loop, which repaints the window when the throttle lets it (at most
// every 15 ms). From the middle of the 24-hour race at 1 s a step, 20,000 steps (5,000
// of 64 boats).
void BM_SeriesPlay(benchmark::State& state, int boats, double tailMinutes)
{
    SeriesReplay replay(boats, 1, 43200, state.max_iterations, tailMinutes);
    ChartWidget& w = *replay.chart.widget();
    const PaintCounter paints(&w);
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        replay.step();
        QApplication::processEvents();
    }
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    state.counters["steps_per_s"] = static_cast<double>(state.iterations()) / seconds;
    state.counters["paints_per_s"] = paints.paints / seconds;
}
BENCHMARK_CAPTURE(BM_SeriesPlay, boats7, 7, 0.0)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SeriesPlay, boats7_tail10, 7, 10.0)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SeriesPlay, boats64, 64, 0.0)->Iterations(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_SeriesPlay, boats64_tail10, 64, 10.0)->Iterations(5000)->Unit(benchmark::kMicrosecond);

// The series handed to the chart, as at Start and after new settings: the index of its
// blocks built over the whole race.
void BM_SetSeries(benchmark::State& state, int boats, double stepSeconds)
{
    const std::unique_ptr<ReplaySeries> series = SeriesOf(boats, stepSeconds, StepsOfDay(stepSeconds));
    ChartApplication chart;
    chart.setFleet(Race(boats).fleet());
    for (auto _ : state)
        chart.setSeries(series.get());
    state.counters["pieces"] = static_cast<double>(boats) * static_cast<double>(series->stepCount() - 1);
}
BENCHMARK_CAPTURE(BM_SetSeries, boats7_10s, 7, 10.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SetSeries, boats7_1s, 7, 1.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SetSeries, boats64_1s, 64, 1.0)->Unit(benchmark::kMillisecond)->Iterations(5);

// A seek back at the end of the 24-hour race, and the window repainted, the camera on the
// fleet at the race's end or on the whole race: `back` steps back from the last (the cached
// picture goes back to its last snapshot before the step and draws on; the seek forward to
// the end again, between the iterations, is not timed), or with `back` 0 the dearest: the
// whole race drawn again (the camera turned a degree each time, as a seek to a moment whose
// fleet lies elsewhere moves it).
void BM_SeekShow(benchmark::State& state, int boats, double stepSeconds, bool wholeRaceInView, double tailMinutes,
                 long long back)
{
    const std::unique_ptr<ReplaySeries> series = SeriesOf(boats, stepSeconds, StepsOfDay(stepSeconds));
    const long long last = series->stepCount();
    ChartApplication chart;
    ChartWidget& w = *chart.widget();
    w.resize(kWindow);
    chart.setFleet(Race(boats).fleet());
    chart.setTailMinutes(tailMinutes);
    chart.setSeries(series.get());
    if (wholeRaceInView)
        chart.SetCamera({.FocusPointLatitude = 57.6, .FocusPointLongitude = 11.25, .Range = 100000}, 10);
    else
        FrameOnStep(chart, *series, last);
    chart.showStep(last, 0);
    w.show();
    QApplication::processEvents();
    w.repaint();
    CameraInfoGE camera = chart.GetCamera(2);
    double showMs = 0, repaintMs = 0;
    QElapsedTimer timer;
    int turn = 0;
    for (auto _ : state) {
        timer.start();
        if (back > 0) {
            chart.showStep(last - back, 0);
        } else {
            chart.showStep(0, 0);
            chart.showStep(last, 0);
            camera.Azimuth = ++turn % 2;
            chart.SetCamera(camera, 10.0);
        }
        showMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
        timer.start();
        w.repaint();
        repaintMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (back > 0) {
            state.PauseTiming();
            chart.showStep(last, last - back);
            w.repaint();
            state.ResumeTiming();
        }
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["pieces"] = static_cast<double>(boats) * static_cast<double>(last - 1);
    state.counters["showStep_ms"] = showMs / n;
    state.counters["repaint_ms"] = repaintMs / n;
}
BENCHMARK_CAPTURE(BM_SeekShow, boats7_10s_fleet, 7, 10.0, false, 0.0, 0)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SeekShow, boats7_10s_whole_race, 7, 10.0, true, 0.0, 0)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SeekShow, boats7_10s_fleet_tail10, 7, 10.0, false, 10.0, 0)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SeekShow, boats7_1s_fleet, 7, 1.0, false, 0.0, 0)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SeekShow, boats7_1s_whole_race, 7, 1.0, true, 0.0, 0)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SeekShow, boats7_1s_fleet_tail10, 7, 1.0, false, 10.0, 0)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SeekShow, boats64_1s_fleet, 64, 1.0, false, 0.0, 0)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SeekShow, boats64_1s_whole_race, 64, 1.0, true, 0.0, 0)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SeekShow, boats64_1s_whole_race_back1, 64, 1.0, true, 0.0, 1)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SeekShow, boats64_1s_whole_race_back5400, 64, 1.0, true, 0.0, 5400)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

// A paint with a 10-minute tail at the end of the 24-hour race of 7 boats, the camera on
// the fleet: the cached sea under the tail's pieces drawn afresh; still, or dragged 12
// pixels a frame (30 frames one way, then back, the fleet in view). Without a tail for
// comparison.
void BM_TailPaint(benchmark::State& state, double stepSeconds, double tailMinutes, bool pan)
{
    const std::unique_ptr<ReplaySeries> series = SeriesOf(7, stepSeconds, StepsOfDay(stepSeconds));
    const long long last = series->stepCount();
    ChartApplication chart;
    ChartWidget& w = *chart.widget();
    w.resize(kWindow);
    chart.setFleet(Race().fleet());
    chart.setSeries(series.get());
    chart.setTailMinutes(tailMinutes);
    chart.showStep(last, 0);
    FrameOnStep(chart, *series, last);
    w.show();
    QApplication::processEvents();
    w.repaint();
    const Counted counted(w);
    int frame = 0;
    for (auto _ : state) {
        if (pan)
            w.panBy({frame++ % 60 < 30 ? -12.0 : 12.0, 0});
        w.repaint();
    }
    counted.report(state);
    const double from = series->raceClock(last) - tailMinutes / 1440;
    long long tailPieces = 0;
    for (long long s = 2; tailMinutes > 0 && s <= last; ++s)
        if (series->raceClock(s) >= from)
            tailPieces += series->boatCount();
    state.counters["tail_pieces"] = static_cast<double>(tailPieces);
}
BENCHMARK_CAPTURE(BM_TailPaint, at10s_tail10, 10.0, 10.0, false)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TailPaint, at1s_tail10, 1.0, 10.0, false)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TailPaint, at1s_tail10_pan, 1.0, 10.0, true)->Iterations(1200)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TailPaint, at1s_whole, 1.0, 0.0, false)->Iterations(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_TailPaint, at1s_whole_pan, 1.0, 0.0, true)->Iterations(1200)->Unit(benchmark::kMicrosecond);

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
