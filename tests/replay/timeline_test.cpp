// The timeline built on the caller's thread: every step of the race kept, any step reached
// from the checkpoint before it; beyond its budget nothing kept but where the race ends and
// the verdict, whose finest resolution fits and whose next finer one does not.
#include "core/datetime.h"
#include "replay/generatedrace.h"
#include "replay/timeline.h"

#include <gtest/gtest.h>

#include <atomic>

namespace tideplot {
namespace {

using testing::GeneratedRace;
using testing::TempDir;

struct Race {
    RaceState state;
    RaceCheckpoint atStart;
    explicit Race(const std::string& raceFile)
    {
        state.RaceFileName = raceFile;
        state.RaceClock = kRaceClockAtStart;
        StartReplay(state);
        atStart = SaveCheckpoint(state);
    }
};

constexpr MemoryBudget kRoomy{std::size_t{256} << 20, std::size_t{256} << 20};

TEST(Timeline, GoesToAnyStepFromTheCheckpointBeforeIt)
{
    TempDir dir;
    Race race(GeneratedRace(dir));
    const ReplaySettings settings{3, 7};
    const Timeline timeline = Timeline::Build(race.state, race.atStart, settings, kRoomy);
    ASSERT_TRUE(timeline.seekable());
    ASSERT_TRUE(timeline.built());
    EXPECT_FALSE(timeline.overBudget());
    const long long steps = timeline.series().stepCount();
    ASSERT_GT(steps, 3 * kCheckpointSteps);
    EXPECT_EQ(timeline.endClock(), timeline.series().raceClock(steps));
    for (const long long step : {1LL, kCheckpointSteps, kCheckpointSteps + 1, 2 * kCheckpointSteps + 17, steps}) {
        long long at = timeline.restoreBefore(race.state, step);
        EXPECT_LE(at, step - 1);
        EXPECT_GT(at, step - 1 - kCheckpointSteps);
        StepOutcome outcome;
        while (at < step) {
            ReplayStep(race.state, settings, outcome);
            ++at;
        }
        EXPECT_EQ(outcome.RaceClock, timeline.series().raceClock(step)) << step;
        for (int boat = 0; boat < 3; ++boat) {
            const BoatStep kept = timeline.series().boatStep(boat, step);
            const BoatStep& played = outcome.Boats[static_cast<std::size_t>(boat)];
            EXPECT_EQ(played.Position.Lat, kept.Position.Lat) << step << " " << boat;
            EXPECT_EQ(played.Position.Lon, kept.Position.Lon) << step << " " << boat;
        }
    }
}

TEST(Timeline, BeyondItsBudgetKeepsNothingButItsVerdict)
{
    TempDir dir;
    Race race(GeneratedRace(dir));
    const ReplaySettings settings{3, 7};
    const Timeline whole = Timeline::Build(race.state, race.atStart, settings, kRoomy);
    const long long steps = whole.series().stepCount();
    const MemoryBudget tight{TimelineBytes(3, steps / 3), TimelineBytes(3, steps / 3) * 2};
    const Timeline cut = Timeline::Build(race.state, race.atStart, settings, tight);
    EXPECT_FALSE(cut.seekable());
    EXPECT_TRUE(cut.built());
    EXPECT_EQ(cut.series().stepCount(), 0);
    // Where the race ends, measured in coarse steps: the same step's clock (both kinds of steps
    // round their clocks their own way).
    EXPECT_NEAR(cut.endClock(), whole.endClock(), 1e-3 / kSecondsPerDay);
    ASSERT_TRUE(cut.overBudget());
    const TimelineVerdict& verdict = *cut.overBudget();
    EXPECT_FALSE(verdict.fits());
    EXPECT_EQ(verdict.Steps, steps);
    EXPECT_EQ(verdict.ResolutionSeconds, 3);
    EXPECT_EQ(verdict.BudgetBytes, tight.TimelineBytes);
    EXPECT_EQ(verdict.WholeBytes, tight.WholeBytes);
    EXPECT_GE(verdict.NeededBytes, TimelineBytes(3, steps));
    // The finest resolution that fits is a round one: a hundredth of it finer does not fit.
    ASSERT_GT(verdict.FinestSeconds, 3);
    EXPECT_TRUE(JudgeTimeline(cut.endClock(), 3, tight, verdict.FinestSeconds).fits());
    EXPECT_FALSE(JudgeTimeline(cut.endClock(), 3, tight, verdict.FinestSeconds * 0.9).fits());
    const Timeline coarse = Timeline::Build(race.state, race.atStart, ReplaySettings{verdict.FinestSeconds, 7}, tight);
    EXPECT_TRUE(coarse.seekable());
    EXPECT_LE(TimelineBytes(3, coarse.series().stepCount()), tight.TimelineBytes);
}

// A budget that holds not one step has no resolution that fits; one of a race with no
// steps to speak of always fits.
TEST(TimelineVerdict, SaysWhenNoResolutionFits)
{
    const double dayLater = kRaceClockAtStart + 1;
    const struct {
        double endClock;
        std::size_t budget;
        bool fits;
        bool someResolution;
    } cases[] = {
        {dayLater, 1000, false, false},
        {dayLater, TimelineBytes(64, 100), false, true},
        {dayLater, TimelineBytes(64, 200000), true, false},
        {kRaceClockAtStart, TimelineBytes(64, 20), true, false},
    };
    for (const auto& c : cases) {
        const TimelineVerdict verdict = JudgeTimeline(c.endClock, 64, MemoryBudget{c.budget, c.budget}, 1);
        EXPECT_EQ(verdict.fits(), c.fits) << c.budget;
        EXPECT_EQ(verdict.FinestSeconds > 0, c.someResolution) << c.budget;
    }
}

TEST(Timeline, ACancelledBuildGivesNone)
{
    TempDir dir;
    Race race(GeneratedRace(dir));
    const std::atomic<bool> cancel{true};
    const Timeline none = Timeline::Build(race.state, race.atStart, ReplaySettings{3, 7}, kRoomy, &cancel);
    EXPECT_FALSE(none.built());
    EXPECT_EQ(none.series().stepCount(), 0);
}

} // namespace
} // namespace tideplot
