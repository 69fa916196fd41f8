#pragma once

#include "core/exitcleanup.h"

#include <string>

// Ctrl+C (SIGINT), SIGTERM and SIGHUP (the terminal closed) during the command-line verbs.
//
// Once WatchSignals has run, each of them ends the program at once: the temporary files
// of outputs still being written are removed (ForcedExit, exitcleanup.h), older files
// stay as they were, and the exit status is 128 + the signal. A line on stderr says so.
//
// Work that stops cleanly at its next step (the replay) holds an InterruptCatcher: the
// first signal is then only noted, and the work takes its usual way out after a failure.
// A second signal, or the work still running kStopWithinSeconds after the first, ends the
// program at once as above: a read that waits, a picture that waits for its map tiles,
// nothing keeps it running. (A second signal after the work has stopped, and said so,
// ends it without another line.) Whether a signal was caught is decided once, as it comes.
//
// The signal handler only notes the signal and wakes a thread of its own, which does the
// rest; a handler does not stay in any child process the program starts.
namespace tideplot {

inline constexpr int kStopWithinSeconds = 3;

// Installs the handlers and starts the thread that watches for signals; `program` starts
// the line said on stderr ("tideplot results"). Later calls only change the name.
void WatchSignals(const std::string& program);

// While one lives, the first signal is noted instead of ending the program
// (InterruptSignal() then names it); see above. Starts the watch when it has not started
// (named "tideplot"). One at a time.
class InterruptCatcher {
public:
    InterruptCatcher();
    ~InterruptCatcher();
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;
};

// The signal noted since the catcher was made (SIGINT, SIGTERM, SIGHUP), 0 when none.
int InterruptSignal();

// Throws Error ("interrupted by SIGINT") when a signal was noted.
void ThrowIfInterrupted();

// "SIGINT", "SIGTERM", "SIGHUP" (or "signal N").
std::string SignalName(int signal);

} // namespace tideplot
