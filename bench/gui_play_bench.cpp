// The windows under a real X display, playing (run under xvfb-run; the program is
// gui_bench, its start-up benchmarks in gui_bench.cpp):
//
// - BM_PlayWholeRace/B/R: the race of B boats (7 or 64), 24 hours at one fix a second,
//   opened in the set-up window, Start (the chart window shown), Resolution R, play speed 0
//   and Play, until the end of the race; reports steps a second, and the time a Stop click
//   takes to stop a replay that plays (stop_ms).
// - BM_PlayMemory/B/R: the same played to the end in a process of its own (this program
//   started again with --play-to-end), whose peak resident memory (VmHWM in
//   /proc/self/status) it reports after Start and at the end.
// - BM_Seek/B: the replay position set to steps all over the same race at resolution 1, the
//   chart drawn again and painted; and a drag from end to end.
// - BM_PlayWithAnalysisWindow: the 64-boat, 24-hour race (one fix a second, 5.5 million
//   fixes) started: the time Start takes (start_s: the race counted through, the whole race
//   shown), the time from Start until its analysis is there (analysis_s) and the longest the
//   windows were busy meanwhile (busiest_ms); then played whole at play speed 0, in turns with
//   the Analysis window closed and open (its graph of every boat's speed and VMG following the
//   replay), five times each: the median steps a second of each and how much slower the open
//   window makes it (goal: 10 % at most), also counted in the windows' thread's processor time
//   (steps_per_cpu_s_*, slower_cpu_pct), which the machine's other work does not sway; the points the graph draws, how
//   often it drew its chart while the replay played, and the time a wind typed takes to judge every turn again
//   (wind_ms).

#include "gui_bench_started.h"

#include "core/freedmemory.h"
#include "core/replay.h"
#include "earth/chart/chartapplication.h"
#include "earth/chart/chartwidget.h"
#include "ui/speedgraph.h"

#include <QMouseEvent>
#include <QSlider>
#include <QTableView>
#include <QThread>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <time.h>

namespace {

using namespace guibench;

// The processor time of every thread of this program so far, in seconds.
double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The peak resident memory of this process so far, in KiB: VmHWM of /proc/self/status.
long PeakKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

} // namespace

int guibench::PlayToEnd(int boats, double resolution)
{
    Started s(RaceFile(boats));
    if (!s.ok)
        return 1;
    QTest::qWait(200); // the windows painted once
    const long startedKiB = PeakKiB();
    const double seconds = s.playToEnd(resolution);
    if (!s.control->session().atEnd())
        return 1;
    std::printf("%.3f %ld %.3f %lld %ld\n", s.startSeconds, startedKiB, seconds, s.control->session().position(),
                PeakKiB());
    return 0;
}

namespace {

// Play at the play speed 0 with the chart window shown, to the end of the race of
// state.range(0) boats at the resolution state.range(1), with a finish line when
// state.range(2): steps a second (the chart and the
// texts repaint at most every 15 ms; the steps are counted anew at a resolution other than
// Start's 10 s when Play is clicked, which the time includes). Then Play again from the
// start and, after a second, a click on Stop posted through the event queue: the time until
// the timer is off (stop_ms).
void BM_PlayWholeRace(benchmark::State& state)
{
    const QString race = RaceFile(static_cast<int>(state.range(0)), state.range(2) != 0);
    for (auto _ : state) {
        Started s(race);
        if (!s.ok) {
            state.SkipWithError("the set-up window cannot start the race");
            return;
        }
        const double cpuBefore = ProcessCpuSeconds();
        double countSeconds = 0, countBusiestMs = 0;
        const double seconds = s.playToEnd(static_cast<double>(state.range(1)), &countSeconds, &countBusiestMs);
        const double cpuSeconds = ProcessCpuSeconds() - cpuBefore;
        const long long steps = s.control->session().position();

        s.control->session().seek(0);
        s.click("cmdPlay");
        QTest::qWait(1000);
        auto* stop = s.control->findChild<QPushButton*>(QStringLiteral("cmdStop"));
        QElapsedTimer answering;
        answering.start();
        const QPointF centre = QRectF(stop->rect()).center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(
                stop,
                new QMouseEvent(type, centre, stop->mapToGlobal(centre), Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier));
        while (s.control->session().playing() && answering.elapsed() < 10'000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

        state.SetIterationTime(seconds);
        state.counters["steps"] = static_cast<double>(steps);
        state.counters["steps_per_s"] = steps / seconds;
        state.counters["count_s"] = countSeconds;
        state.counters["count_busiest_ms"] = countBusiestMs;
        state.counters["cpu_us_per_step"] = cpuSeconds * 1e6 / static_cast<double>(steps);
        state.counters["stop_ms"] = answering.nsecsElapsed() / 1e6;
    }
}
BENCHMARK(BM_PlayWholeRace)
    ->Args({7, 10, 0})
    ->Args({64, 10, 0})
    ->Args({64, 1, 0})
    ->Args({64, 1, 1})
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->Repetitions(2);

// The peak memory of the whole program playing the race of state.range(0) boats to its end
// at the resolution state.range(1): this program started again with --play-to-end, so that
// no other benchmark's memory counts.
void BM_PlayMemory(benchmark::State& state)
{
    const int boats = static_cast<int>(state.range(0));
    const double resolution = static_cast<double>(state.range(1));
    RaceFolder(24, boats); // generated before the clock runs
    for (auto _ : state) {
        const std::string command = "/proc/" + std::to_string(getpid()) + "/exe --play-to-end " +
                                    std::to_string(boats) + " " + std::to_string(resolution);
        FILE* child = popen(command.c_str(), "r");
        double startS = 0, playS = 0;
        long startedKiB = 0, peakKiB = 0;
        long long steps = 0;
        const int read =
            child ? std::fscanf(child, "%lf %ld %lf %lld %ld", &startS, &startedKiB, &playS, &steps, &peakKiB) : 0;
        if (!child || pclose(child) != 0 || read != 5) {
            state.SkipWithError("the replay did not play to its end");
            return;
        }
        state.SetIterationTime(playS);
        state.counters["start_s"] = startS;
        state.counters["steps"] = static_cast<double>(steps);
        state.counters["peak_MB_after_start"] = startedKiB / 1024.0;
        state.counters["peak_MB"] = peakKiB / 1024.0;
    }
}
BENCHMARK(BM_PlayMemory)->Args({64, 1})->Args({64, 10})->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

// Seeking with the replay position to steps anywhere in the whole race of state.range(0)
// boats (resolution 1: some 100,000 steps), with a finish line when state.range(1), the
// chart drawn again and painted: the time from setting the slider to the chart window
// painted, each seek on its own; the dearest, one step back from the end (back_from_end_ms);
// and a drag from end to end.
void BM_Seek(benchmark::State& state)
{
    const QString race = RaceFile(static_cast<int>(state.range(0)), state.range(1) != 0);
    Started s(race);
    if (!s.ok) {
        state.SkipWithError("the set-up window cannot start the race");
        return;
    }
    s.control->findChild<QLineEdit*>(QStringLiteral("txtResolution"))->setText(QStringLiteral("1"));
    s.control->findChild<QLineEdit*>(QStringLiteral("txtPlayspeed"))->setText(QStringLiteral("1000"));
    s.click("cmdPlay"); // counts the steps at the new resolution, then plays
    while (s.control->session().buildingTimeline())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    s.click("cmdStop");
    auto* slider = s.control->findChild<QSlider*>(QStringLiteral("sldPosition"));
    tideplot::ChartWidget* chart = dynamic_cast<tideplot::ChartApplication&>(*s.main->earth()).widget();
    const int count = slider->maximum();
    // Milliseconds from setting the slider to the chart painted. (Painted into a picture of
    // its own: a repaint of the window is left out while the window system holds it back.)
    const auto seekTo = [&](int target) {
        QElapsedTimer elapsed;
        elapsed.start();
        slider->setValue(target);
        while (s.control->session().position() != target)
            QCoreApplication::processEvents();
        chart->grab();
        return elapsed.nsecsElapsed() / 1e6;
    };
    // Steps anywhere, one after the other: half of the seeks go back (the chart drawn again
    // up to the step), half go on (the chart adds the steps between).
    std::mt19937 random(24);
    std::uniform_int_distribution<int> anywhere(0, count);
    double worst = 0;
    const int redrawsBefore = chart->trackLayerRedraws();
    int slow = 0;
    for (auto _ : state) {
        const int redraws = chart->trackLayerRedraws();
        const int target = anywhere(random);
        const double ms = seekTo(target);
        if (std::getenv("TIDEPLOT_BENCH_SEEKS"))
            std::fprintf(stderr, "seek to %d: %.1f ms%s\n", target, ms,
                         chart->trackLayerRedraws() > redraws ? ", the chart drawn whole" : "");
        worst = std::max(worst, ms);
        slow += ms > 250;
        state.SetIterationTime(ms / 1000);
    }
    state.counters["over_250ms"] = slow;
    state.counters["steps"] = count;
    state.counters["worst_ms"] = worst;
    state.counters["chart_redraws"] = chart->trackLayerRedraws() - redrawsBefore;
    // The dearest seek: from the end of the race one step back, everything drawn again.
    seekTo(count);
    state.counters["back_from_end_ms"] = seekTo(count - 1);

    // A drag from the end to the start in two seconds, the slider moved 60 times a second as
    // a mouse moves it: the seeks the window carried out, and the longest the window was
    // busy at a time (the seeks are coalesced: never more than one in flight).
    QElapsedTimer drag;
    drag.start();
    constexpr int kMoves = 120;
    double busiest = 0;
    for (int move = 1; move <= kMoves; ++move) {
        slider->setValue(count - static_cast<int>(static_cast<long long>(count) * move / kMoves));
        while (drag.elapsed() < move * 1000 / 60) {
            QElapsedTimer turn;
            turn.start();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            busiest = std::max(busiest, turn.nsecsElapsed() / 1e6);
        }
    }
    while (s.control->session().position() != slider->value())
        QCoreApplication::processEvents();
    state.counters["drag_ms"] = drag.nsecsElapsed() / 1e6;
    state.counters["drag_busiest_ms"] = busiest;
}
BENCHMARK(BM_Seek)
    ->Args({7, 0})
    ->Args({64, 0})
    ->Args({64, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);

double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

struct Pace {
    double StepsPerSecond = 0;    // of the wall clock
    double StepsPerCpuSecond = 0; // of the windows' thread: what the machine's other work takes is not counted
};

// Plays the race from its start to its end at play speed 0.
Pace PlayWhole(const Started& s)
{
    s.control->session().seek(0);
    QElapsedTimer playing;
    playing.start();
    const double cpu = ThreadCpuSeconds();
    s.click("cmdPlay");
    while (s.control->session().playing() && playing.elapsed() < 600'000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const auto steps = static_cast<double>(s.control->session().position());
    return {steps / (playing.nsecsElapsed() / 1e9), steps / (ThreadCpuSeconds() - cpu)};
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The whole race played five times with the Analysis window closed, and five with it open
// and its graph drawn.
struct Paces {
    std::vector<double> closed, open, closedCpu, openCpu;
    double redraws = 0;
    bool ok = true;
};
Paces PlayWithWindowClosedAndOpen(Started& s, benchmark::State& state)
{
    Paces paces;
    for (int turn = 0; turn < 5; ++turn) {
        const Pace without = PlayWhole(s);
        paces.closed.push_back(without.StepsPerSecond);
        paces.closedCpu.push_back(without.StepsPerCpuSecond);
        s.click("cmdAnalysis");
        QWidget* window = s.main->findChild<QWidget*>(QStringLiteral("frmAnalysis"));
        if (!window || !QTest::qWaitForWindowExposed(window)) {
            state.SkipWithError("the Analysis window does not open again");
            paces.ok = false;
            return paces;
        }
        auto* graph = window->findChild<tideplot::SpeedGraph*>();
        // The lines are made once the window is laid out; the replay plays with them drawn.
        if (!QTest::qWaitFor([&] { return graph->pointCount() > 0; }, 10'000))
            state.SkipWithError("the graph was not drawn");
        QTest::qWait(500);
        const int before = graph->redraws();
        const Pace with = PlayWhole(s);
        paces.open.push_back(with.StepsPerSecond);
        paces.openCpu.push_back(with.StepsPerCpuSecond);
        paces.redraws = std::max(paces.redraws, static_cast<double>(graph->redraws() - before));
        window->close();
        QTest::qWait(50);
    }
    return paces;
}

void BM_PlayWithAnalysisWindow(benchmark::State& state)
{
    const QString race = QString::fromStdString(AnalyseRaceFile(64, 24));
    for (auto _ : state) {
        QElapsedTimer started;
        started.start();
        Started s(race);
        if (!s.ok) {
            state.SkipWithError("the set-up window cannot start the race");
            return;
        }
        const double startSeconds = started.nsecsElapsed() / 1e9;
        // The analysis works on a worker thread; the windows stay answerable meanwhile.
        s.click("cmdAnalysis");
        QWidget* window = s.main->findChild<QWidget*>(QStringLiteral("frmAnalysis"));
        auto* table = window ? window->findChild<QTableView*>(QStringLiteral("lstManoeuvres")) : nullptr;
        if (!table) {
            state.SkipWithError("no Analysis window");
            return;
        }
        double busiest = 0;
        while (table->model()->rowCount() == 0 && started.elapsed() < 600'000) {
            QElapsedTimer turn;
            turn.start();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            busiest = std::max(busiest, turn.nsecsElapsed() / 1e6);
            QThread::msleep(1);
        }
        const double analysisSeconds = started.nsecsElapsed() / 1e9;
        auto* graph = window->findChild<tideplot::SpeedGraph*>();
        if (!QTest::qWaitFor([&] { return graph->pointCount() > 0; }, 10'000))
            state.SkipWithError("the graph was not drawn");
        QTest::qWait(500);
        const double points = static_cast<double>(graph->pointCount());

        // A wind typed: every turn judged again, on the windows' thread.
        auto* wind = window->findChild<QLineEdit*>(QStringLiteral("txtWind"));
        const QString estimated = wind->text();
        QElapsedTimer judging;
        judging.start();
        wind->setText(QString::number(std::fmod(estimated.toDouble() + 10, 360)));
        QTest::keyClick(wind, Qt::Key_Return);
        const double windMs = judging.nsecsElapsed() / 1e6;
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("cmdEstimate")), Qt::LeftButton);
        window->close();
        QTest::qWait(50);

        s.control->findChild<QLineEdit*>(QStringLiteral("txtPlayspeed"))->setText(QStringLiteral("0"));
        const Paces paces = PlayWithWindowClosedAndOpen(s, state);
        if (!paces.ok)
            return;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);

        state.SetIterationTime(analysisSeconds);
        state.counters["start_s"] = startSeconds;
        state.counters["analysis_s"] = analysisSeconds;
        state.counters["busiest_ms"] = busiest;
        state.counters["steps"] = static_cast<double>(s.control->session().position());
        state.counters["steps_per_s_closed"] = Median(paces.closed);
        state.counters["steps_per_s_open"] = Median(paces.open);
        state.counters["slower_pct"] = 100 * (1 - Median(paces.open) / Median(paces.closed));
        state.counters["steps_per_cpu_s_closed"] = Median(paces.closedCpu);
        state.counters["steps_per_cpu_s_open"] = Median(paces.openCpu);
        state.counters["slower_cpu_pct"] = 100 * (1 - Median(paces.openCpu) / Median(paces.closedCpu));
        state.counters["graph_points"] = points;
        state.counters["graph_redraws_playing"] = paces.redraws;
        state.counters["wind_ms"] = windMs;
        state.counters["peak_rss_mb"] = usage.ru_maxrss / 1024.0;
    }
}
BENCHMARK(BM_PlayWithAnalysisWindow)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
