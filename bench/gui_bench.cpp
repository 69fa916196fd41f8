// The windows under a real X display (run it under xvfb-run):
//
//   xvfb-run -a -s '-screen 0 1280x1024x24' build/bench/bench/gui_bench
//
// - BM_StartupToSetUpWindow: from starting `tideplot RACE.TP1` to its set-up window
//   mapped on the screen, seen from outside as an X client (MapNotify of the window
//   titled "Tideplot1.0"); the sample race; a fresh settings folder.
// - BM_PlayWholeRace: the 7-boat, 24-hour race (one fix a second) opened in the set-up
//   window, Start (the chart window shown), play speed 0 and Play, until the end of the
//   race; reports steps a second, and the time a Stop click takes to stop a replay that
//   plays (stop_ms).
// - BM_Seek: the replay position set to steps all over the same race at resolution 1, the
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
#include "bench_race.h"
#include "core/replay.h"
#include "earth/earthfactory.h"
#include "earth/replayview.h"
#include "ui/frmcontrol.h"
#include "ui/frmmain.h"
#include "ui/speedgraph.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <benchmark/benchmark.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::string WindowName(xcb_connection_t* x, xcb_window_t window)
{
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(x, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(x, cookie, nullptr);
    std::string name;
    if (reply) {
        name.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                    static_cast<std::size_t>(xcb_get_property_value_length(reply)));
        std::free(reply);
    }
    return name;
}

void BM_StartupToSetUpWindow(benchmark::State& state)
{
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);
    QTemporaryDir config;
    const std::string race = std::string(TIDEPLOT_SOURCE_DIR) + "/examples/sample-race/race.TP1";

    for (auto _ : state) {
        const auto started = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
            std::freopen("/dev/null", "w", stderr);
            execl(TIDEPLOT_EXE, TIDEPLOT_EXE, race.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        bool shown = false;
        while (!shown) {
            pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
            if (poll(&fd, 1, 10000) <= 0)
                break;
            while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
                if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                    const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                    shown = shown || WindowName(x, map->window) == "Tideplot1.0";
                }
                std::free(event);
            }
        }
        const auto mapped = Clock::now();
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        if (!shown) {
            state.SkipWithError("the set-up window did not appear");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(mapped - started).count());
    }
    xcb_disconnect(x);
}
BENCHMARK(BM_StartupToSetUpWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The set-up window with the 24-hour race open and Start pressed: the chart window and the
// control window shown, the map off.
struct Started {
    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    std::unique_ptr<tideplot::FrmMain> main;
    tideplot::FrmControl* control = nullptr;
    bool ok = false;

    explicit Started(const QString& race)
    {
        settings.setValue(QStringLiteral("Map/Source"), QStringLiteral("none"));
        tideplot::FrmMain::Options options;
        options.settings = &settings;
        options.createEarth = [] {
            return tideplot::CreateApplicationGE(tideplot::EarthChoice{tideplot::EarthChoice::Kind::Chart, {}});
        };
        main = std::make_unique<tideplot::FrmMain>(std::move(options));
        main->show();
        if (!QTest::qWaitForWindowExposed(main.get()) || !main->openRaceFile(race))
            return;
        QTest::mouseClick(main->findChild<QPushButton*>(QStringLiteral("cmdStart")), Qt::LeftButton);
        control = main->controlWindow();
        ok = control && QTest::qWaitForWindowExposed(main->earth()->replayView()->window());
    }
    ~Started()
    {
        if (control)
            control->close();
    }
    void click(const char* button) const
    {
        QTest::mouseClick(control->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
    }
};

// Play at the play speed 0 with the chart window shown, to the end of the race: steps a
// second (the chart and the texts repaint at most every 15 ms). Then Play again from the
// start and, after a second, a click on Stop posted through the event queue: the time
// until the timer is off (stop_ms).
void BM_PlayWholeRace(benchmark::State& state)
{
    const QString race = QString::fromStdString(RaceFolder(24) + "/race.TP1");
    for (auto _ : state) {
        Started s(race);
        if (!s.ok) {
            state.SkipWithError("the set-up window cannot start the race");
            return;
        }
        s.control->findChild<QLineEdit*>(QStringLiteral("txtPlayspeed"))->setText(QStringLiteral("0"));
        QElapsedTimer playing;
        playing.start();
        s.click("cmdPlay");
        while (s.control->session().playing() && playing.elapsed() < 600'000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double seconds = playing.nsecsElapsed() / 1e9;
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
        state.counters["stop_ms"] = answering.nsecsElapsed() / 1e6;
    }
}
BENCHMARK(BM_PlayWholeRace)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(2);

// Seeking with the replay position to steps spread over the whole race (resolution 1: some
// 100,000 steps), the chart drawn again and painted: the time from setting the slider to
// the chart window painted, each seek on its own, and a drag from end to end.
void BM_Seek(benchmark::State& state)
{
    const QString race = QString::fromStdString(RaceFolder(24) + "/race.TP1");
    Started s(race);
    if (!s.ok) {
        state.SkipWithError("the set-up window cannot start the race");
        return;
    }
    s.control->findChild<QLineEdit*>(QStringLiteral("txtResolution"))->setText(QStringLiteral("1"));
    s.control->findChild<QLineEdit*>(QStringLiteral("txtPlayspeed"))->setText(QStringLiteral("1000"));
    s.click("cmdPlay"); // counts the steps at the new resolution
    s.click("cmdStop");
    auto* slider = s.control->findChild<QSlider*>(QStringLiteral("sldPosition"));
    QWidget* chart = s.main->earth()->replayView()->window();
    const int count = slider->maximum();
    int next = 0;
    double worst = 0;
    long long seeks = 0;
    for (auto _ : state) {
        const int target = static_cast<int>((static_cast<long long>(next) * 7919) % (count + 1));
        ++next;
        QElapsedTimer elapsed;
        elapsed.start();
        slider->setValue(target);
        while (s.control->session().position() != target)
            QCoreApplication::processEvents();
        chart->repaint();
        const double ms = elapsed.nsecsElapsed() / 1e6;
        worst = std::max(worst, ms);
        ++seeks;
        state.SetIterationTime(ms / 1000);
    }
    state.counters["steps"] = count;
    state.counters["worst_ms"] = worst;

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
BENCHMARK(BM_Seek)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

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
        QTest::qWaitFor([&] { return graph->pointCount() > 0; }, 10'000);
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
        std::vector<double> closed, open, closedCpu, openCpu;
        double redraws = 0;
        for (int turn = 0; turn < 5; ++turn) {
            const Pace without = PlayWhole(s);
            closed.push_back(without.StepsPerSecond);
            closedCpu.push_back(without.StepsPerCpuSecond);
            s.click("cmdAnalysis");
            window = s.main->findChild<QWidget*>(QStringLiteral("frmAnalysis"));
            if (!window || !QTest::qWaitForWindowExposed(window)) {
                state.SkipWithError("the Analysis window does not open again");
                return;
            }
            graph = window->findChild<tideplot::SpeedGraph*>();
            // The lines are made once the window is laid out; the replay plays with them drawn.
            QTest::qWaitFor([&] { return graph->pointCount() > 0; }, 10'000);
            QTest::qWait(500);
            const int before = graph->redraws();
            const Pace with = PlayWhole(s);
            open.push_back(with.StepsPerSecond);
            openCpu.push_back(with.StepsPerCpuSecond);
            redraws = std::max(redraws, static_cast<double>(graph->redraws() - before));
            window->close();
            QTest::qWait(50);
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);

        state.SetIterationTime(analysisSeconds);
        state.counters["start_s"] = startSeconds;
        state.counters["analysis_s"] = analysisSeconds;
        state.counters["busiest_ms"] = busiest;
        state.counters["steps"] = static_cast<double>(s.control->session().position());
        state.counters["steps_per_s_closed"] = Median(closed);
        state.counters["steps_per_s_open"] = Median(open);
        state.counters["slower_pct"] = 100 * (1 - Median(open) / Median(closed));
        state.counters["steps_per_cpu_s_closed"] = Median(closedCpu);
        state.counters["steps_per_cpu_s_open"] = Median(openCpu);
        state.counters["slower_cpu_pct"] = 100 * (1 - Median(openCpu) / Median(closedCpu));
        state.counters["graph_points"] = points;
        state.counters["graph_redraws_playing"] = redraws;
        state.counters["wind_ms"] = windMs;
        state.counters["peak_rss_mb"] = usage.ru_maxrss / 1024.0;
    }
}
BENCHMARK(BM_PlayWithAnalysisWindow)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
