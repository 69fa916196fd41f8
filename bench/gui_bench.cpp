// The windows under a real X display (run it under xvfb-run):
//
//   xvfb-run -a -s '-screen 0 1366x768x24' build/bench/bench/gui_bench
//
// - BM_StartupToSetUpWindow: from starting `tideplot RACE.TP1` to its set-up window
//   mapped on the screen, seen from outside as an X client (MapNotify of the window
//   titled "Tideplot1.0"); the sample race; a fresh settings folder.
// - BM_Start: the 64-boat, 24-hour race (one fix a second, tideplot-racegen --boats 64
//   --hours 24 --interval 1) opened in the set-up window and Start clicked: the time the
//   click takes (the race loaded and played once unseen to count its steps, at the default
//   resolution of 10 s), and the chart window then shown.
// - Playing (BM_PlayWholeRace, BM_PlayMemory, BM_Seek, BM_PlayWithAnalysisWindow):
//   gui_play_bench.cpp, in the same program.
#include "gui_bench_started.h"

#include "core/freedmemory.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace guibench;
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

// Start on the 64-boat race: the race loaded and played once unseen to count its steps (at
// the default resolution of 10 s, in the background: the click itself (click_ms) and the
// longest the windows were busy at a time until the count was done (busiest_ms)); then the
// chart window shown.
void BM_Start(benchmark::State& state)
{
    const QString race = RaceFile(64);
    for (auto _ : state) {
        QElapsedTimer shown;
        shown.start();
        Started s(race);
        if (!s.ok) {
            state.SkipWithError("the set-up window cannot start the race");
            return;
        }
        state.SetIterationTime(s.startSeconds);
        state.counters["steps"] = static_cast<double>(s.control->session().stepCount());
        state.counters["click_ms"] = s.clickSeconds * 1e3;
        state.counters["busiest_ms"] = s.busiestMs;
    }
}
BENCHMARK(BM_Start)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    tideplot::LimitMemoryPools(); // as the program's windows do
    QApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--play-to-end") == 0)
        return PlayToEnd(std::atoi(argv[2]), std::atof(argv[3]));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
