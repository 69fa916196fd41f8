// The timeline built on the program's pool: the same timeline as one built here, its progress
// told as it goes, and a build let go of under way neither waited for nor in the way of the
// next one.
#include "core/datetime.h"
#include "replay/generatedrace.h"
#include "replay/timelinebuild.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace tideplot {
namespace {

using testing::GeneratedRace;
using testing::TempDir;

constexpr MemoryBudget kRoomy{std::size_t{256} << 20, std::size_t{256} << 20};

// Waits for the build's end, keeping what it told of its progress on the way.
bool WaitFor(const TimelineBuild& build, std::vector<double>& told)
{
    for (int turns = 0; turns < 20000 && !build.ended(); ++turns) {
        told.push_back(build.done());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return build.ended();
}

TEST(TimelineBuild, OnThePoolItBuildsWhatIsBuiltHere)
{
    TempDir dir;
    RaceState state;
    state.RaceFileName = GeneratedRace(dir);
    state.RaceClock = kRaceClockAtStart;
    StartReplay(state);
    const RaceCheckpoint atStart = SaveCheckpoint(state);
    const ReplaySettings settings{1, 7};
    {
        TimelineBuild dropped(state, atStart, ReplaySettings{2, 7}, kRoomy); // let go of at once
    }
    TimelineBuild build(state, atStart, settings, kRoomy);
    EXPECT_EQ(build.settings().ResolutionSeconds, 1);
    std::vector<double> told;
    ASSERT_TRUE(WaitFor(build, told));
    EXPECT_EQ(build.failure(), "");
    const Timeline there = build.takeTimeline();

    RaceState copy = state;
    const Timeline here = Timeline::Build(copy, atStart, settings, kRoomy);
    ASSERT_TRUE(there.seekable());
    ASSERT_EQ(there.series().stepCount(), here.series().stepCount());
    EXPECT_EQ(there.endClock(), here.endClock());
    for (long long step = 1; step <= here.series().stepCount(); ++step)
        for (int boat = 0; boat < 3; ++boat) {
            const BoatStep a = there.series().boatStep(boat, step), b = here.series().boatStep(boat, step);
            ASSERT_TRUE(a.Position.Lat == b.Position.Lat && a.Position.Lon == b.Position.Lon && a.Drawn == b.Drawn)
                << "boat " << boat << " at step " << step;
        }
    // The share read only grows, from 0 to at most all of it.
    for (std::size_t i = 1; i < told.size(); ++i)
        EXPECT_LE(told[i - 1], told[i]);
    EXPECT_GE(build.done(), 0.5);
    EXPECT_LE(build.done(), 1.0);
}

} // namespace
} // namespace tideplot
