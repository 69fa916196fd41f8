// The replay's pieces drawn from its series, as the windows' chart draws them (BM_Series*,
// BM_SetSeries, BM_SeekShow, BM_TailPaint): a step of 7 or 64 boats shown; playing at full
// speed with the window's throttled repaints; the series handed over (its index built); a
// seek back (every piece of the race shown at once) at 10 s and at 1 s a step (60,000 to
// 5.5 million pieces); a paint with a 10-minute tail at the race's end.
// The chart's race and window: chart_bench_race.h.
//
//   build/bench/bench/chart_bench            (QT_QPA_PLATFORM=offscreen is the default)

#include "chart_bench_race.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <memory>

namespace tideplot {
namespace {

using namespace chartbench;

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

} // namespace
} // namespace tideplot
