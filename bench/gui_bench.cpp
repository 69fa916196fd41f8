// The windows under a real X display (run it under xvfb-run):
//
//   xvfb-run -a -s '-screen 0 1280x1024x24' build/bench/bench/gui_bench
//
// - BM_StartupToSetUpWindow: from starting `tideplot RACE.TP1` to its set-up window
//   mapped on the screen, seen from outside as an X client (MapNotify of the window
//   titled "Tideplot1.0"); the sample race; a fresh settings folder.
// - BM_PlayWholeRace: the 7-boat, 24-hour race (one fix a second) opened in the set-up
//   window, Start (the chart window shown), play speed 1 and Play, until every track
//   file is at its end; reports steps a second. Then, with the timer still running, a
//   click on Stop is posted to the control window and the time until the timer is off
//   is reported (stop_ms).
#include "bench_race.h"
#include "core/replay.h"
#include "earth/earthfactory.h"
#include "ui/frmcontrol.h"
#include "ui/frmmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>

#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

void BM_PlayWholeRace(benchmark::State& state)
{
    const QString race = QString::fromStdString(RaceFolder(24) + "/race.TP1");
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    settings.setValue(QStringLiteral("Settings/MainWidth"), 11820);
    settings.setValue(QStringLiteral("Settings/MainHeight"), 12000);
    for (auto _ : state) {
        tideplot::FrmMain::Options options;
        options.settings = &settings;
        options.createEarth = [] {
            return tideplot::CreateApplicationGE(tideplot::EarthChoice{tideplot::EarthChoice::Kind::Chart, {}});
        };
        tideplot::FrmMain main(std::move(options));
        main.show();
        if (!QTest::qWaitForWindowExposed(&main) || !main.openRaceFile(race)) {
            state.SkipWithError("the set-up window cannot open the race");
            return;
        }
        QTest::mouseClick(main.findChild<QPushButton*>(QStringLiteral("cmdStart")), Qt::LeftButton);
        tideplot::FrmControl* control = main.controlWindow();
        auto* speed = control->findChild<QLineEdit*>(QStringLiteral("txtPlayspeed"));
        speed->setText(QStringLiteral("1"));
        auto* stop = control->findChild<QPushButton*>(QStringLiteral("cmdStop"));

        QElapsedTimer playing;
        playing.start();
        QTest::mouseClick(control->findChild<QPushButton*>(QStringLiteral("cmdPlay")), Qt::LeftButton);
        while (!tideplot::AllTrackFilesAtEnd(main.raceState()) && playing.elapsed() < 600'000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double seconds = playing.nsecsElapsed() / 1e9;
        const long long steps = control->session().position();

        // The race is over; the timer still runs. A click on Stop, through the event queue.
        QElapsedTimer answering;
        answering.start();
        const QPointF centre = QRectF(stop->rect()).center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(
                stop,
                new QMouseEvent(type, centre, stop->mapToGlobal(centre), Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier));
        while (control->session().playing() && answering.elapsed() < 10'000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double stopMs = answering.nsecsElapsed() / 1e6;

        state.SetIterationTime(seconds);
        state.counters["steps"] = static_cast<double>(steps);
        state.counters["steps_per_s"] = steps / seconds;
        state.counters["stop_ms"] = stopMs;
        control->close();
    }
}
BENCHMARK(BM_PlayWholeRace)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1)->Repetitions(2);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
