// The race analysis on real races (tests/data/real, README.md there): a yacht whose
// instruments measured the wind, dinghies racing on their own, a fleet on a river.
#include "analysis/raceanalysis.h"
#include "core/datetime.h"
#include "core/replay.h"
#include "core/windfile.h"
#include "support/racefiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace tideplot {
namespace {

using testing::TempDir;

const std::string kData = std::string(TIDEPLOT_SOURCE_DIR) + "/tests/data/real/";

// A race of the given track files (in tests/data/real), every boat starting at `start`.
RaceAnalysis AnalyseReal(const std::vector<std::string>& tracks, const std::string& start)
{
    TempDir dir;
    std::vector<std::string> entries;
    for (const std::string& track : tracks)
        entries.push_back(kData + track + " , " + start + " , 1 , 0 , ,");
    RaceState state;
    state.RaceFileName = dir.write("race.TP1", entries);
    StartReplay(state);
    const std::vector<BoatSource> boats = BoatSources(state);
    CloseTrackFiles(state);
    return AnalyseRace(boats);
}

double CircularMean(const std::vector<double>& degrees, double& spread)
{
    double s = 0, c = 0;
    for (const double d : degrees) {
        s += std::sin(d * 3.14159265358979323846 / 180);
        c += std::cos(d * 3.14159265358979323846 / 180);
    }
    const double r = std::hypot(s, c) / static_cast<double>(degrees.size());
    spread = std::sqrt(-2 * std::log(std::max(r, 1e-9))) * 180 / 3.14159265358979323846;
    return NormalDegrees(std::atan2(s, c) * 180 / 3.14159265358979323846);
}

// The estimate against the instruments, from the start on, at the minutes where the
// instruments' wind is steady (the minutes' directions within five minutes either side
// spread by 8 degrees or less, one standard deviation): the share within 10 degrees of
// their mean, and how many such minutes there are.
double ShareWithin10Degrees(const RaceAnalysis& race, double start, int& steady)
{
    const std::vector<WindPoint>& measured = race.Boats.at(0).MeasuredWind;
    int within = 0;
    steady = 0;
    for (std::size_t i = 5; i + 5 < measured.size(); ++i) {
        std::vector<double> near;
        for (std::size_t j = i - 5; j <= i + 5; ++j)
            if (!std::isnan(measured[j].FromDeg))
                near.push_back(measured[j].FromDeg);
        double spread = 0;
        const double mean = near.size() >= 8 ? CircularMean(near, spread) : 0;
        const double estimate = race.Estimate.At(measured[i].Time);
        if (measured[i].Time < start || near.size() < 8 || spread > 8 || std::isnan(estimate))
            continue;
        ++steady;
        within += std::fabs(AngleDifference(estimate, mean)) <= 10 ? 1 : 0;
    }
    return steady > 0 ? static_cast<double>(within) / steady : 0;
}

// The instruments' tacks: the apparent wind changing sides while sailing upwind (within 70
// degrees of the bow), each side held for half a minute or more, as date values.
std::vector<double> InstrumentTacks(const std::string& track)
{
    WindFileReader reader(WindFilePath(kData + track));
    WindFileLine line;
    std::vector<std::pair<double, int>> sides; // upwind seconds and their side
    while (reader.next(line))
        if (line.AwaDeg && std::fabs(*line.AwaDeg) <= 70)
            sides.emplace_back(line.Time, *line.AwaDeg > 0 ? 1 : -1);
    // The runs of one side, and the changes between runs of 30 s or more.
    std::vector<std::pair<double, double>> runs; // first and last time of each run
    std::vector<int> runSide;
    for (const auto& [time, side] : sides) {
        if (runs.empty() || side != runSide.back()) {
            runs.emplace_back(time, time);
            runSide.push_back(side);
        }
        runs.back().second = time;
    }
    std::vector<double> tacks;
    const auto held = [&](std::size_t r) { return (runs[r].second - runs[r].first) * kSecondsPerDay >= 30; };
    for (std::size_t r = 1; r < runs.size(); ++r)
        if (held(r) && held(r - 1))
            tacks.push_back(runs[r].first);
    return tacks;
}

struct MeasuredCase {
    const char* track;
    const char* start;
    double leastShareWithin10; // of the steady minutes, when there are ten or more
    double mostMeanDifference; // degrees, the estimate's mean difference from the instruments
    // The instruments' tacks found within 40 s as tacks, or as the mark roundings they were part
    // of (a tack and a bear-away at the windward mark is a rounding, not a tack).
    double leastTackRecall;
};

// Lake Geneva: the instruments' wind is the race's; the estimate lies beside it, near it
// where it is steady, and the tacks are where the apparent wind changes sides. (On the 2014
// races the instruments' wind is seldom steady, and where it is the boat's own courses either
// side of the wind's eye put it about 10 degrees left of the instruments'.)
TEST(RealRaces, TheMeasuredWindIsTheRacesWithTheEstimateBesideIt)
{
    const MeasuredCase cases[] = {
        {"irene-2008-07-11.txt", "2008-07-11 10:35:00", 0.95, 5, 0.9},
        {"irene-2014-06-27.txt", "2014-06-27 13:30:00", 0.5, 10, 0.7},
        {"irene-2014-06-28.txt", "2014-06-28 12:15:00", 0.5, 15, 0.6},
    };
    for (const MeasuredCase& c : cases) {
        const RaceAnalysis race = AnalyseReal({c.track}, c.start);
        ASSERT_EQ(race.Wind.Source, WindSource::Measured) << c.track;
        ASSERT_TRUE(race.Estimate.Known) << c.track;
        int steady = 0;
        const double share = ShareWithin10Degrees(race, DateValueFromText(c.start), steady);
        const std::vector<double> tacks = InstrumentTacks(c.track);
        int found = 0;
        for (const double t : tacks)
            for (const Manoeuvre& m : race.Boats[0].Manoeuvres)
                if ((m.Kind == ManoeuvreKind::Tack || m.Kind == ManoeuvreKind::Rounding) &&
                    std::fabs(DateValueAt(race.Boats[0].Source, m.MiddleSeconds) - t) * kSecondsPerDay <= 40) {
                    ++found;
                    break;
                }
        const double recall = tacks.empty() ? 0 : static_cast<double>(found) / static_cast<double>(tacks.size());
        const WindDifference difference = CompareWinds(race.Estimate, race.Wind);
        char text[320];
        std::snprintf(text, sizeof text,
                      "%s: %d steady minutes, %.2f within 10 degrees; mean difference %.1f (absolute %.1f); %d "
                      "instrument tacks, %.2f found",
                      c.track, steady, share, difference.MeanDeg, difference.MeanAbsoluteDeg,
                      static_cast<int>(tacks.size()), recall);
        if (std::getenv("ANALYSIS_SCORES"))
            std::printf("%s\n", text);
        if (steady >= 10) {
            EXPECT_GE(share, c.leastShareWithin10) << text;
        }
        EXPECT_LE(std::fabs(difference.MeanDeg), c.mostMeanDifference) << text;
        EXPECT_GE(recall, c.leastTackRecall) << text;
    }
}

// Dinghies racing on their own, logged every 5 to 7 s: each gets a wind (the author's notes
// say 110 degrees) and its tacks and gybes named.
TEST(RealRaces, ABoatOnItsOwnLoggedEvery5To7SecondsGetsTheWindAndItsTacks)
{
    const char* const tracks[][2] = {{"2025-06-21-ESP29375-P01.txt", "2025-06-21 11:23:00"},
                                     {"2025-06-21-ESP30782-P01.txt", "2025-06-21 11:23:00"},
                                     {"2025-06-21-ESP29375-P02.txt", "2025-06-21 12:06:00"},
                                     {"2025-06-21-ESP30782-P02.txt", "2025-06-21 12:06:00"}};
    for (const auto& [track, start] : tracks) {
        const RaceAnalysis race = AnalyseReal({track}, start);
        ASSERT_TRUE(race.Wind.Known) << track;
        EXPECT_EQ(race.Wind.Source, WindSource::Estimated) << track;
        EXPECT_LE(std::fabs(AngleDifference(race.Wind.FromDeg, 110)), 12) << track << ": " << race.Wind.FromDeg;
        const BoatSummary& s = race.Boats[0].Summary;
        EXPECT_GE(s.Tacks, 4) << track;
        EXPECT_GE(s.Tacks + s.Gybes, 6) << track;
    }
}

// Three boats of a distance race on a river, logged every 4 to 5 s: the fleet's wind over
// the race, every boat's tacks named.
TEST(RealRaces, AFleetOnARiverGetsTheWindOverTheRace)
{
    const RaceAnalysis race =
        AnalyseReal({"elbe-Alex.txt", "elbe-Richard.txt", "elbe-Yury.txt"}, "2024-06-15 14:47:00");
    ASSERT_TRUE(race.Wind.Known);
    int known = 0;
    for (const WindPoint& p : race.Wind.Series)
        known += std::isnan(p.FromDeg) ? 0 : 1;
    EXPECT_GE(known, static_cast<int>(race.Wind.Series.size()) * 2 / 5);
    for (const BoatAnalysis& boat : race.Boats)
        EXPECT_GE(boat.Summary.Tacks, 5) << boat.Source.Name;
}

} // namespace
} // namespace tideplot
