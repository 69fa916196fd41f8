#pragma once

#include <string>

// Ctrl+C (SIGINT) and SIGTERM during long work that writes files: the work stops at its
// next step and takes its usual way out after a failure, which removes its temporary
// files and leaves the older files as they were.
namespace tideplot {

// While one lives, the first SIGINT or SIGTERM is noted instead of ending the process
// (InterruptSignal() then names it). A second one removes the files registered with
// RemovedOnForcedExit and ends the process at once, with status 128 + the signal. The
// handlers that were there before come back when it is destroyed. One at a time.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;
};

// The signal noted since the catcher was made (SIGINT, SIGTERM), 0 when none.
int InterruptSignal();

// Throws Error ("interrupted by SIGINT") when a signal was noted.
void ThrowIfInterrupted();

// Registers a file that a forced end (the second signal) removes, while this lives.
// At most a few at once; a path beyond them is not registered.
class RemovedOnForcedExit {
public:
    explicit RemovedOnForcedExit(const std::string& path);
    ~RemovedOnForcedExit();
    RemovedOnForcedExit(const RemovedOnForcedExit&) = delete;
    RemovedOnForcedExit& operator=(const RemovedOnForcedExit&) = delete;

private:
    int slot_ = -1;
};

} // namespace tideplot
