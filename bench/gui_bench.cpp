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
#include "bench_race.h"
#include "core/replay.h"
#include "earth/earthfactory.h"
#include "earth/replayview.h"
#include "ui/frmcontrol.h"
#include "ui/frmmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>

#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <poll.h>
#include <sys/wait.h>
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

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
