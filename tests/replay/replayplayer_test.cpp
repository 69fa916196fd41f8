// The player on its timer: it plays to the end and stops there, one step a turn at an
// interval and several at 0; Stop stops it; a failure stops it and is told; of seeks asked
// for in a row only the last is carried out.
#include "core/error.h"
#include "replay/replayplayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tideplot {
namespace {

// A replay of `last` steps that fails at step `failAt` (0: never).
struct FakeReplay {
    explicit FakeReplay(int lastStep, int failAtStep = 0) : last(lastStep), failAt(failAtStep) {}
    int last;
    int failAt;
    int steps = 0;
    int ticks = 0;
    std::vector<long long> seeks;
    std::vector<std::string> failures;

    ReplayPlayer::Replay replay()
    {
        return {[this] {
                    if (steps >= last)
                        return false;
                    if (++steps == failAt)
                        throw Error("a line that cannot be read");
                    return true;
                },
                [this] { return steps >= last; },
                [this](long long step) {
                    if (step < 0)
                        throw Error("no such step");
                    seeks.push_back(step);
                },
                [this](const std::string& message) { failures.push_back(message); }, [this] { ++ticks; }};
    }
};

// Runs the events until `done` or for at most `ms`.
bool RunUntil(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return done();
}

class ReplayPlayerTest : public ::testing::Test {
protected:
    int argc = 1;
    char name[32] = "replayplayer_test";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
};

TEST_F(ReplayPlayerTest, PlaysToTheEndAndStopsThere)
{
    const struct {
        int intervalMs;
        int last;
        bool oneStepATurn;
    } cases[] = {{0, 2000, false}, {1, 5, true}, {20, 3, true}};
    for (const auto& c : cases) {
        FakeReplay fake{c.last};
        ReplayPlayer player(fake.replay());
        player.play(c.intervalMs);
        EXPECT_TRUE(player.playing());
        ASSERT_TRUE(RunUntil([&] { return !player.playing(); })) << c.intervalMs;
        EXPECT_EQ(fake.steps, c.last);
        if (c.oneStepATurn)
            EXPECT_EQ(fake.ticks, c.last) << c.intervalMs;
        else
            EXPECT_LT(fake.ticks, c.last) << "several steps a turn at 0";
        EXPECT_TRUE(fake.failures.empty());
    }
}

TEST_F(ReplayPlayerTest, StopAndAFailureStopIt)
{
    FakeReplay stopped{1000};
    ReplayPlayer player(stopped.replay());
    player.play(5);
    ASSERT_TRUE(RunUntil([&] { return stopped.steps >= 2; }));
    player.stop();
    const int steps = stopped.steps;
    RunUntil([] { return false; }, 50);
    EXPECT_EQ(stopped.steps, steps);
    EXPECT_FALSE(player.playing());

    FakeReplay failing{1000, 3};
    ReplayPlayer failed(failing.replay());
    failed.play(0);
    ASSERT_TRUE(RunUntil([&] { return !failing.failures.empty(); }));
    EXPECT_FALSE(failed.playing());
    EXPECT_EQ(failing.steps, 3);
    EXPECT_EQ(failing.failures, std::vector<std::string>{"a line that cannot be read"});
}

TEST_F(ReplayPlayerTest, OfSeeksInARowOnlyTheLastIsCarriedOut)
{
    FakeReplay fake{100};
    ReplayPlayer player(fake.replay());
    for (const long long step : {10, 40, 25})
        player.requestSeek(step);
    ASSERT_TRUE(RunUntil([&] { return !fake.seeks.empty(); }));
    RunUntil([] { return false; }, 30);
    EXPECT_EQ(fake.seeks, std::vector<long long>{25});
    player.requestSeek(7);
    player.dropSeek();
    player.requestSeek(-1); // fails
    ASSERT_TRUE(RunUntil([&] { return !fake.failures.empty(); }));
    EXPECT_EQ(fake.seeks, std::vector<long long>{25});
    EXPECT_EQ(fake.failures, std::vector<std::string>{"no such step"});
}

} // namespace
} // namespace tideplot
