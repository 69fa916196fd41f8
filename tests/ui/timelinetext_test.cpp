// What the windows say of a timeline beyond its memory budget, from the verdict's numbers.
#include "ui/timelinetext.h"

#include <gtest/gtest.h>

namespace tideplot {
namespace {

constexpr std::size_t kMB = std::size_t{1} << 20;

TEST(TimelineText, SaysTheStepsTheBytesAndTheFinestResolutionThatFits)
{
    const struct {
        TimelineVerdict verdict;
        const char* text;
    } cases[] = {
        {{1201, 3, 35 * kMB / 10, kMB, kMB, 11},
         "the race takes 1201 steps at a resolution of 3 s, and its timeline would need 3.5 MB, more than the "
         "1.0 MB the replay may use (the setting Replay/MemoryMB): the finest resolution that fits is 11 s"},
        {{86401, 0.25, 300 * kMB, 120 * kMB, 256 * kMB, 0.38},
         "the race takes 86401 steps at a resolution of 0.25 s, and its timeline would need 300 MB, more than the "
         "120 MB it may have of the 256 MB the replay may use (the setting Replay/MemoryMB): the finest resolution "
         "that fits is 0.38 s"},
        {{9, 1, 2 * kMB, kMB / 2, kMB / 2, 0},
         "the race takes 9 steps at a resolution of 1 s, and its timeline would need 2.0 MB, more than the 0.5 MB "
         "the replay may use (the setting Replay/MemoryMB): no resolution up to 86400 s fits"},
        // Found beyond its budget within a step or two of it.
        {{900, 2, 15 * kMB, 16 * kMB, 16 * kMB, 0}, "the replay's timeline does not fit the 16.0 MB it may use"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OverBudgetText(c.verdict).toStdString(), c.text);
}

TEST(TimelineText, AFailureOfTheReplaySaysItsVerdictOrWhatWentWrong)
{
    const TimelineVerdict verdict{1201, 3, 35 * kMB / 10, kMB, kMB, 11};
    EXPECT_EQ(ReplayFailureText(TimelineOverBudget(verdict)), OverBudgetText(verdict));
    EXPECT_EQ(ReplayFailureText(Error("race.TP1, line 3: no date")), QStringLiteral("race.TP1, line 3: no date"));
}

} // namespace
} // namespace tideplot
