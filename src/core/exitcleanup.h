#pragma once

#include <string>

// Files that must not outlive the program when a signal ends it at once: the temporary
// files of outputs still being written (every OutputFile's, the video's). The program
// ends through ForcedExit from the thread that watches for signals (share/interrupt.h),
// never from a signal handler, so the list is an ordinary one behind a lock.
namespace tideplot {

// Registers a file that ForcedExit removes, while this lives.
class RemovedOnForcedExit {
public:
    explicit RemovedOnForcedExit(std::string path);
    ~RemovedOnForcedExit();
    RemovedOnForcedExit(const RemovedOnForcedExit&) = delete;
    RemovedOnForcedExit& operator=(const RemovedOnForcedExit&) = delete;

private:
    std::string path_;
};

// While one lives, ForcedExit waits: files being put in place (renamed over the old ones)
// are never left half done by a forced end. Hold it only for quick work.
class ForcedExitHeld {
public:
    ForcedExitHeld();
    ~ForcedExitHeld();
    ForcedExitHeld(const ForcedExitHeld&) = delete;
    ForcedExitHeld& operator=(const ForcedExitHeld&) = delete;
};

// Waits for every ForcedExitHeld to end, removes the registered files and ends the
// process with `status` at once (no destructors run, no buffers flushed). `message`, when
// not empty, goes to stderr first as it is.
[[noreturn]] void ForcedExit(int status, const std::string& message);

} // namespace tideplot
