// Signals during the command-line verbs: whether one was caught is decided as it comes, so a
// catcher that ends or begins just then neither has the program say it twice nor keeps it
// waiting. Each case runs in a process of its own.
#include "share/interrupt.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace tideplot {
namespace {

// The work notes the signal and stops, its catcher ending at once, before the thread that
// watches the signals has woken up: the work says why it stopped, and nothing else does.
void CaughtJustBeforeTheCatcherEnds()
{
    WatchSignals("tideplot test");
    {
        const InterruptCatcher catcher;
        std::raise(SIGHUP);
        if (InterruptSignal() != SIGHUP)
            std::_Exit(3);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::_Exit(0);
}

// A signal that came before the catcher was made ends the program at once, however soon the
// catcher follows it.
void ComingJustBeforeTheCatcherBegins()
{
    WatchSignals("tideplot test");
    std::raise(SIGINT);
    const InterruptCatcher catcher;
    std::this_thread::sleep_for(std::chrono::seconds(10));
    std::_Exit(0);
}

TEST(InterruptDeathTest, ACaughtSignalIsSaidOnceByTheWorkThatStops)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The watching thread wakes up a little after the signal, in a time of its own: a few tries.
    for (int attempt = 0; attempt < 5; ++attempt)
        EXPECT_EXIT(CaughtJustBeforeTheCatcherEnds(), ::testing::ExitedWithCode(0), "") << "attempt " << attempt;
}

TEST(InterruptDeathTest, ASignalBeforeTheCatcherEndsTheProgramAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EXIT(ComingJustBeforeTheCatcherBegins(), ::testing::ExitedWithCode(128 + SIGINT),
                    "tideplot test: interrupted by SIGINT\n$")
            << "attempt " << attempt;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << "attempt " << attempt;
    }
}

} // namespace
} // namespace tideplot
