#include "share/interrupt.h"

#include "core/error.h"

#include <atomic>
#include <csignal>
#include <cstring>

#include <unistd.h>

namespace tideplot {

namespace {

constexpr int kSlots = 4;
constexpr std::size_t kMaxPath = 4096;

volatile std::sig_atomic_t noted = 0;
// The files a forced end removes: written only outside the handler, while the slot's
// flag is off, and read by the handler only while it is on.
char paths[kSlots][kMaxPath];
std::atomic<bool> used[kSlots];

struct sigaction oldInterrupt, oldTerminate;

extern "C" void OnSignal(int signal)
{
    if (noted == 0) {
        noted = signal;
        return;
    }
    for (int i = 0; i < kSlots; ++i)
        if (used[i].load())
            ::unlink(paths[i]);
    ::_exit(128 + signal);
}

} // namespace

InterruptCatcher::InterruptCatcher()
{
    noted = 0;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &oldInterrupt);
    sigaction(SIGTERM, &action, &oldTerminate);
}

InterruptCatcher::~InterruptCatcher()
{
    sigaction(SIGINT, &oldInterrupt, nullptr);
    sigaction(SIGTERM, &oldTerminate, nullptr);
}

int InterruptSignal()
{
    return noted;
}

void ThrowIfInterrupted()
{
    const int signal = noted;
    if (signal != 0)
        throw Error(std::string("interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
}

RemovedOnForcedExit::RemovedOnForcedExit(const std::string& path)
{
    if (path.size() >= kMaxPath)
        return;
    for (int i = 0; i < kSlots; ++i) {
        if (!used[i].load()) {
            std::memcpy(paths[i], path.c_str(), path.size() + 1);
            used[i].store(true);
            slot_ = i;
            return;
        }
    }
}

RemovedOnForcedExit::~RemovedOnForcedExit()
{
    if (slot_ >= 0)
        used[slot_].store(false);
}

} // namespace tideplot
