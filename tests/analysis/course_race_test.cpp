// Generated windward-leeward races of several laps in a shifting wind (tools/coursesim.h),
// their every start, rounding and finish known: the results by the course against that
// truth, the analysis' start, legs, roundings and gaps against it, and the course proposed
// from the tracks against the course sailed.
#include "analysis/courseproposal.h"
#include "analysis/raceanalysis.h"
#include "core/coursefile.h"
#include "core/geometry.h"
#include "core/replay.h"
#include "core/results.h"
#include "coursesim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>

namespace tideplot {
namespace {

namespace fs = std::filesystem;

const fs::path kScratch = fs::path(TIDEPLOT_BINARY_DIR) / "course-race-test";

// Six boats, three laps: two sail it cleanly; one is over the line at its gun and comes back;
// one is over and sails on; one leaves W on the wrong side on lap 2; one is slow. The finish
// line lies across the beat, so every boat crosses it on each beat before its last.
coursesim::RaceOptions SixBoats(const std::string& name)
{
    coursesim::RaceOptions o;
    o.Out = kScratch / name;
    o.Laps = 3;
    o.Seed = 37;
    o.NoiseMetres = 1.0;
    o.Boats = {
        {1.00, 5.0, 0, 8, true, 0, -60, 180},     {1.05, 4.9, 30, 4, true, 0, 40, 150},
        {1.12, 5.2, 60, -12, true, 0, 0, 200},    {1.20, 5.6, 90, -8, false, 0, 100, 170},
        {1.00, 5.1, 120, 15, true, 2, -100, 160}, {0.95, 4.2, 150, 30, true, 0, 20, 190},
    };
    return o;
}

std::string Status(const BoatResult& r)
{
    return StatusText(r);
}

TEST(CourseRace, ResultsFollowTheRulesOnAGeneratedRace)
{
    const coursesim::TrueRace truth = coursesim::WriteRace(SixBoats("six"));
    const Course course = ReadCourse(truth.RaceFile.string());
    ASSERT_EQ(course.Sequence().size(), 6u);
    std::vector<BoatResult> results = RaceResults(truth.RaceFile.string(), course);
    ASSERT_EQ(results.size(), truth.Boats.size());
    int finished = 0;
    for (const coursesim::TrueBoat& boat : truth.Boats) {
        const auto r =
            std::find_if(results.begin(), results.end(), [&](const BoatResult& b) { return b.Boat == boat.File; });
        ASSERT_NE(r, results.end()) << boat.File;
        EXPECT_EQ(Status(*r), boat.Status) << boat.File;
        EXPECT_EQ(r->Ocs, boat.Ocs) << boat.File;
        ASSERT_EQ(r->StartedSeconds.has_value(), boat.StartSeconds.has_value()) << boat.File;
        if (boat.StartSeconds) {
            EXPECT_NEAR(*r->StartedSeconds, *boat.StartSeconds, 2.0) << boat.File;
        }
        ASSERT_EQ(r->Roundings.size(), boat.RoundingSeconds.size()) << boat.File;
        for (std::size_t i = 0; i < boat.RoundingSeconds.size(); ++i)
            EXPECT_NEAR(r->Roundings[i].ElapsedSeconds, boat.RoundingSeconds[i], 3.0) << boat.File << " rounding " << i;
        ASSERT_EQ(r->Finished, boat.FinishSeconds.has_value()) << boat.File;
        if (boat.FinishSeconds) {
            ++finished;
            EXPECT_NEAR(r->ElapsedSeconds, *boat.FinishSeconds, 1.0) << boat.File;
        }
    }
    // What the boats were told to do is what the truth says they did.
    EXPECT_EQ(truth.Boats[2].Status, "finished");
    EXPECT_TRUE(truth.Boats[2].Ocs);
    EXPECT_EQ(truth.Boats[3].Status, "OCS");
    EXPECT_EQ(truth.Boats[4].Status, "missed W lap 2");
    EXPECT_EQ(finished, 4);
}

RaceAnalysis Analyse(const std::string& raceFile, const std::optional<Course>& course = std::nullopt)
{
    RaceState state;
    state.RaceFileName = raceFile;
    StartReplay(state);
    const std::vector<BoatSource> boats = BoatSources(state);
    CloseTrackFiles(state);
    AnalysisOptions options;
    options.RaceCourse = course;
    return AnalyseRace(boats, options);
}

// The analysis with the course: each boat's start against the line where the truth has it
// (within 5 m, OCS and back as it was), its legs ending at its true roundings and finish
// (within 5 s) with the kind of each, tacks only on the beats and gybes only on the runs, a
// rounding at every mark and no tack or gybe there; ranks at the finish as the results', and
// the gap to the leader at the end the corrected time behind the winner.
TEST(CourseRace, StartLegsAndGapsFollowTheRace)
{
    const coursesim::TrueRace truth = coursesim::WriteRace(SixBoats("legs"));
    const Course course = ReadCourse(truth.RaceFile.string());
    const RaceAnalysis race = Analyse(truth.RaceFile.string(), course);
    ASSERT_TRUE(race.Wind.Known);
    const std::vector<BoatResult> results = RaceResults(truth.RaceFile.string(), course);
    double winner = INFINITY;
    for (const BoatResult& r : results)
        winner = r.Finished ? std::min(winner, r.CorrectedSeconds) : winner;
    for (std::size_t k = 0; k < truth.Boats.size(); ++k) {
        const coursesim::TrueBoat& t = truth.Boats[k];
        const BoatAnalysis& boat = race.Boats[k];
        ASSERT_TRUE(boat.Start) << t.File;
        EXPECT_NEAR(boat.Start->LineDistanceMetres, t.LineMetresAtGun, 5) << t.File;
        EXPECT_NEAR(boat.Start->LinePosition, t.LinePositionAtGun, 0.02) << t.File;
        EXPECT_EQ(boat.Start->Ocs, t.Ocs) << t.File;
        EXPECT_EQ(boat.Start->Returned, t.Ocs && t.StartSeconds.has_value()) << t.File;
        std::vector<double> ends = t.RoundingSeconds;
        if (t.FinishSeconds)
            ends.push_back(*t.FinishSeconds);
        ASSERT_EQ(boat.Legs.size(), t.StartSeconds ? ends.size() : 0u) << t.File;
        for (std::size_t i = 0; i < boat.Legs.size(); ++i) {
            const LegAnalysis& leg = boat.Legs[i];
            const std::string what = t.File + " leg " + leg.From + "-" + leg.To;
            EXPECT_NEAR(leg.StartSeconds, i == 0 ? *t.StartSeconds : ends[i - 1], 5) << what;
            EXPECT_NEAR(leg.EndSeconds, ends[i], 5) << what;
            const bool run = leg.To == "L";
            EXPECT_EQ(leg.Kind, run ? LegKind::Downwind : LegKind::Upwind) << what;
            EXPECT_EQ(run ? leg.Tacks : leg.Gybes, 0) << what;
            EXPECT_GT(leg.VmgKn, 0) << what;
            EXPECT_NEAR(leg.MeanSpeedKn, SixBoats("legs").Boats[k].SpeedKn, 0.6) << what;
        }
        for (const double rounding : t.RoundingSeconds) {
            const auto near = [&](ManoeuvreKind kind) {
                return std::any_of(boat.Manoeuvres.begin(), boat.Manoeuvres.end(), [&](const Manoeuvre& m) {
                    return m.Kind == kind && std::fabs(m.MiddleSeconds - rounding) <= 15;
                });
            };
            EXPECT_TRUE(near(ManoeuvreKind::Rounding)) << t.File << " at " << rounding;
            EXPECT_FALSE(near(ManoeuvreKind::Tack) || near(ManoeuvreKind::Gybe)) << t.File << " at " << rounding;
        }
        const auto r =
            std::find_if(results.begin(), results.end(), [&](const BoatResult& b) { return b.Boat == t.File; });
        if (r->Finished) {
            EXPECT_EQ(boat.Legs.back().To, "finish");
            EXPECT_EQ(boat.Legs.back().Rank, r->Rank) << t.File;
            EXPECT_NEAR(boat.Legs.back().GapSeconds, r->CorrectedSeconds - winner, 0.5) << t.File;
            ASSERT_FALSE(boat.GapSeconds.empty());
            EXPECT_NEAR(boat.GapSeconds.back(), r->CorrectedSeconds - winner, 5) << t.File;
        }
    }
}

// The line's bias: square to the wind it favours neither end; the wind veered from square
// comes more from the P1 end.
TEST(CourseRace, StartLineBiasFavoursTheUpwindEnd)
{
    const FinishLine eastward{57.6, 11.5, 57.6, 11.51}; // its course side to the south
    const struct {
        double wind, bias;
        int favoured;
    } cases[] = {{180, 0, 0}, {190, 10, 1}, {165, -15, 2}, {200.3, 20.3, 1}};
    for (const auto& c : cases) {
        const StartLineBias bias = LineBias(eastward, c.wind);
        EXPECT_NEAR(std::fabs(bias.BiasDeg), std::fabs(c.bias), 0.1) << c.wind;
        EXPECT_EQ(bias.FavouredEnd, c.favoured) << c.wind;
    }
    EXPECT_EQ(LineBias(eastward, NAN).FavouredEnd, 0);
}

// The course proposed from the tracks is the course sailed: its marks where they are (within
// a few metres), on their sides, in their order, its laps; its start line square to the
// first leg; and by it the boats finish as they finished the course sailed.
TEST(CourseRace, ProposalIsTheCourseSailed)
{
    const coursesim::TrueRace truth = coursesim::WriteRace(SixBoats("proposal"));
    const Course sailed = ReadCourse(truth.RaceFile.string());
    const CourseProposal proposal = ProposeCourse(Analyse(truth.RaceFile.string()));
    const Course& proposed = proposal.Plan;
    ASSERT_EQ(proposed.Marks.size(), 2u) << CourseTextLines(proposed).size();
    for (std::size_t i = 0; i < 2; ++i) {
        const CourseMark &got = proposed.Marks[i], &want = sailed.Marks[i];
        EXPECT_LT(PlaneDistanceNm(got.Lat, got.Lon, want.Lat, want.Lon) * 1852, 15) << want.Name;
        EXPECT_EQ(got.Side, MarkSide::Port) << want.Name;
        EXPECT_EQ(proposal.Marks[i].Boats, 6) << want.Name;
    }
    EXPECT_EQ(proposed.Laps, 3);
    ASSERT_TRUE(proposed.Start);
    const FinishLine& start = *proposed.Start;
    const TrackPoint w{sailed.Marks[0].Lat, sailed.Marks[0].Lon, 0}, l{sailed.Marks[1].Lat, sailed.Marks[1].Lon, 0};
    const TrackPoint p1{start.Lat1, start.Lon1, 0}, p2{start.Lat2, start.Lon2, 0};
    const double square = CourseAndDistance(p2, p1).Bearing - CourseAndDistance(w, l).Bearing;
    EXPECT_NEAR(std::fabs(std::remainder(square, 180.0)), 90, 10) << square;

    Course withFinish = proposed;
    withFinish.Finish = sailed.Finish;
    for (const BoatResult& r : RaceResults(truth.RaceFile.string(), withFinish))
        EXPECT_EQ(StatusText(r), r.Boat == "boat5.txt" ? "missed M1 lap 2" : "finished") << r.Boat;
}

} // namespace
} // namespace tideplot
