#include "share/interrupt.h"

#include "core/error.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tideplot {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> noted{0};
std::atomic<bool> catching{false};
// The handler writes each signal's number here, with kCaughtBit when a catcher lived as it
// came; the watching thread reads it. The handler's word is the one that counts: a catcher
// that ends (or begins) before the watching thread wakes up changes nothing of how that
// signal is taken.
int wakeRead = -1;
int wakeWrite = -1;
constexpr unsigned char kCaughtBit = 0x80;

struct Signal {
    int Number = 0; // 0: none
    bool Caught = false;
};

std::mutex startLock;
bool started = false;
std::string programName = "tideplot";

extern "C" void OnSignal(int signal)
{
    const int savedErrno = errno;
    const bool caught = catching.load();
    if (caught) {
        int none = 0;
        noted.compare_exchange_strong(none, signal);
    }
    const auto byte = static_cast<unsigned char>(signal | (caught ? kCaughtBit : 0));
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite, &byte, 1);
    errno = savedErrno;
}

// The next signal; none when none came within `timeoutMs` (-1: wait as long as it takes).
Signal NextSignal(int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return {};
            wait = static_cast<int>(left.count());
        }
        pollfd wake{wakeRead, POLLIN, 0};
        if (::poll(&wake, 1, wait) <= 0)
            continue; // interrupted by the handler itself, or the time is up (checked above)
        unsigned char byte = 0;
        if (::read(wakeRead, &byte, 1) == 1)
            return {byte & ~kCaughtBit, (byte & kCaughtBit) != 0};
    }
}

std::string Name()
{
    const std::lock_guard<std::mutex> guard(startLock);
    return programName;
}

void Watch()
{
    for (;;) {
        const Signal signal = NextSignal(-1);
        const int first = signal.Number;
        // Not caught: it ends the program here. Caught: the work stops at its next step and
        // says so itself; a second signal, or a work that does not stop, ends it at once.
        if (!signal.Caught)
            ForcedExit(128 + first, Name() + ": interrupted by " + SignalName(first) + "\n");
        // A second one after the work stopped (a closed terminal sends SIGHUP twice) ends
        // the program quietly: the work has said why it stopped.
        if (const Signal second = NextSignal(kStopWithinSeconds * 1000); second.Number != 0)
            ForcedExit(128 + (second.Caught ? second.Number : first),
                       second.Caught ? Name() + ": " + SignalName(second.Number) + " after " + SignalName(first) +
                                           ": stopped at once, temporary files removed\n"
                                     : std::string());
        if (catching.load())
            ForcedExit(128 + first, Name() + ": interrupted by " + SignalName(first) + ", and the work did not stop " +
                                        "within " + std::to_string(kStopWithinSeconds) +
                                        " s: stopped at once, temporary files removed\n");
    }
}

} // namespace

void WatchSignals(const std::string& program)
{
    const std::lock_guard<std::mutex> guard(startLock);
    programName = program;
    if (started)
        return;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return; // no watch: the signals keep their default action, which also ends the program
    ::fcntl(ends[1], F_SETFL, ::fcntl(ends[1], F_GETFL) | O_NONBLOCK);
    wakeRead = ends[0];
    wakeWrite = ends[1];
    std::thread(Watch).detach();
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        sigaction(signal, &action, nullptr);
    started = true;
}

InterruptCatcher::InterruptCatcher()
{
    bool running = false;
    {
        const std::lock_guard<std::mutex> guard(startLock);
        running = started;
    }
    if (!running)
        WatchSignals("tideplot");
    noted = 0;
    catching = true;
}

InterruptCatcher::~InterruptCatcher()
{
    catching = false;
}

int InterruptSignal()
{
    return noted.load();
}

void ThrowIfInterrupted()
{
    if (const int signal = noted.load())
        throw Error("interrupted by " + SignalName(signal));
}

std::string SignalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "signal " + std::to_string(signal);
    }
}

} // namespace tideplot
