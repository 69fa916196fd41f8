// Generated windward-leeward races of several laps in a shifting wind (tools/coursesim.h),
// their every start, rounding and finish known: the results by the course against that
// truth, and the course proposed from the tracks against the course sailed.
#include "analysis/courseproposal.h"
#include "analysis/raceanalysis.h"
#include "core/coursefile.h"
#include "core/geometry.h"
#include "core/replay.h"
#include "core/results.h"
#include "coursesim.h"

#include <gtest/gtest.h>

#include <filesystem>

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

RaceAnalysis Analyse(const std::string& raceFile)
{
    RaceState state;
    state.RaceFileName = raceFile;
    StartReplay(state);
    const std::vector<BoatSource> boats = BoatSources(state);
    CloseTrackFiles(state);
    return AnalyseRace(boats);
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
